#include "bus/vacomm.h"
#include "sim/bus.h"
#include "sim/modbus.h"
#include "sim/relays.h"
#include "sim/simlink.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

using namespace sim;

namespace {
QByteArray frame(const char *bodyHex)
{
    return modbus::withCrc(QByteArray::fromHex(bodyHex));
}

const QByteArray KrvProbe = frame("010400000003");      // answer: 11 bytes
const QByteArray KrvTest = frame("010402080014");       // answer: 45 bytes
const QByteArray KrvProbeAnswer = frame("010406000C00020069");

// Collects what a link receives, one entry per readyRead.
struct Receiver
{
    explicit Receiver(BusLink &link)
    {
        QObject::connect(&link, &BusLink::readyRead, &link, [this, &link] {
            const QByteArray bytes = link.readAll();
            chunks.append(bytes);
            all.append(bytes);
        });
    }
    QList<QByteArray> chunks;
    QByteArray all;
};

KrvDevice *addKrv(Bus &bus, std::uint8_t address = 1)
{
    auto *d = static_cast<KrvDevice *>(bus.addDevice(Bus::makeDevice("krv", address)));
    d->live = false;
    return d;
}
} // namespace

class TestSimBus : public QObject
{
    Q_OBJECT

private slots:
    void lineTiming_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("parity");
        QTest::addColumn<qint64>("charUs");
        QTest::addColumn<qint64>("silenceUs");
        QTest::newRow("9600 8N1") << 9600 << int(paNone) << qint64(1042) << qint64(3647);
        QTest::newRow("9600 8E1") << 9600 << int(paEven) << qint64(1146) << qint64(4011);
        QTest::newRow("19200 8N1") << 19200 << int(paNone) << qint64(521) << qint64(1823);
        QTest::newRow("38400 fixed floor") << 38400 << int(paNone) << qint64(261) << qint64(1750);
        QTest::newRow("115200 fixed floor") << 115200 << int(paOdd) << qint64(96) << qint64(1750);
    }
    void lineTiming()
    {
        QFETCH(int, baud);
        QFETCH(int, parity);
        QFETCH(qint64, charUs);
        QFETCH(qint64, silenceUs);
        Bus bus;
        bus.setLine({baud, static_cast<TVaParity>(parity)});
        QCOMPARE(bus.charUs(), charUs);
        QCOMPARE(bus.silenceUs(), silenceUs);
    }

    void respondChecksCrcAndAddress_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer"); // empty: silence
        QTest::newRow("probe") << KrvProbe << KrvProbeAnswer;
        QTest::newRow("bad crc") << QByteArray(KrvProbe).replace(7, 1, "\x0C") << QByteArray();
        QTest::newRow("truncated") << KrvProbe.left(7) << QByteArray();
        QTest::newRow("two frames run together") << KrvProbe + KrvProbe << QByteArray();
        QTest::newRow("noise byte in front") << QByteArray(1, '\x55') + KrvProbe << QByteArray();
        QTest::newRow("nobody at 9") << frame("090400000003") << QByteArray();
        QTest::newRow("exception") << frame("010400030001") << frame("018402");
    }
    void respondChecksCrcAndAddress()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        Bus bus;
        addKrv(bus);
        const auto t = bus.respond(request, 0);
        QCOMPARE(t ? t->bytes.toHex() : QByteArray(), answer.toHex());
        QCOMPARE(bus.counters().frames, 1);
    }

    void framesSeparatedBySilenceAreAnsweredEach()
    {
        Bus bus;
        addKrv(bus);
        SimLink link(bus);
        QVERIFY(link.open({19200, paNone}));
        Receiver rx(link);
        link.write(KrvProbe);
        QTRY_COMPARE_WITH_TIMEOUT(rx.all, KrvProbeAnswer, 5000);
        link.write(KrvProbe);
        QTRY_COMPARE_WITH_TIMEOUT(rx.all, KrvProbeAnswer + KrvProbeAnswer, 5000);
        QCOMPARE(bus.counters().frames, 2);
        QCOMPARE(bus.counters().badFrames, 0);
    }

    void framesWithoutSilenceMergeAndFail()
    {
        Bus bus;
        addKrv(bus);
        SimLink link(bus);
        QVERIFY(link.open({19200, paNone}));
        Receiver rx(link);
        // Two writes in a row go on the wire back to back: one frame of 16 bytes.
        link.write(KrvProbe);
        link.write(KrvProbe);
        QTRY_COMPARE_WITH_TIMEOUT(bus.counters().frames, 1, 5000);
        QCOMPARE(bus.counters().badFrames, 1);
        // A frame written in two pieces without a pause is still one good frame.
        link.write(KrvProbe.left(3));
        link.write(KrvProbe.mid(3));
        QTRY_COMPARE_WITH_TIMEOUT(rx.all, KrvProbeAnswer, 5000);
        QCOMPARE(bus.counters().frames, 2);
    }

    void answerTakesItsWireTimeInFifoChunks()
    {
        Bus bus;
        KrvDevice *d = addKrv(bus);
        d->baudCode = d->activeBaudCode = 3; // 9600
        bus.setFifoBytes(16);
        bus.setThinkTimeMs(2);
        SimLink link(bus);
        QVERIFY(link.open({9600, paNone}));
        Receiver rx(link);
        QElapsedTimer clock;
        clock.start();
        link.write(KrvTest);
        QTRY_COMPARE_WITH_TIMEOUT(rx.all.size(), 45, 5000);
        // 8 request bytes, 3.5 characters of silence, 2 ms, 45 answer bytes at 1.04 ms.
        QVERIFY2(clock.elapsed() >= 8 * 1.04 + 3.6 + 2 + 45 * 1.04 - 1, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(rx.chunks.size(), 3);
        for (const QByteArray &c : rx.chunks)
            QVERIFY(c.size() <= 16);
        QVERIFY(modbus::crcValid(rx.all));
    }

    void faultRatesFollowTheSeed()
    {
        struct Run
        {
            Counters counters;
            int silent = 0;
            int badCrc = 0;
            int answersSent = 0;
            int requestsSeen = 0;
            QVector<int> outcome; // 0 silent, 1 good, 2 bad CRC
        };
        auto run = [](std::uint32_t seed) {
            Bus bus;
            KrvDevice *d = addKrv(bus);
            d->faults.drop = 0.10;
            d->faults.corrupt = 0.20;
            bus.setSeed(seed);
            Run r;
            for (int i = 0; i < 1000; ++i) {
                const auto t = bus.respond(KrvProbe, i);
                const int outcome = !t ? 0 : modbus::crcValid(t->bytes) ? 1 : 2;
                r.silent += outcome == 0;
                r.badCrc += outcome == 2;
                r.outcome.append(outcome);
            }
            r.counters = bus.counters();
            r.answersSent = d->answersSent;
            r.requestsSeen = d->requestsSeen;
            return r;
        };
        const Run first = run(42);
        // What reached the master agrees with the counters.
        QCOMPARE(first.silent, first.counters.dropped);
        QCOMPARE(first.badCrc, first.counters.corrupted);
        QCOMPARE(first.counters.answers, 1000 - first.silent);
        QCOMPARE(first.answersSent, 1000 - first.silent);
        QCOMPARE(first.requestsSeen, 1000);
        const Counters &c = first.counters;
        // 100 and 180 expected; a binomial spread of four standard deviations.
        QVERIFY2(c.dropped >= 62 && c.dropped <= 138, qPrintable(QString::number(c.dropped)));
        QVERIFY2(c.corrupted >= 130 && c.corrupted <= 230, qPrintable(QString::number(c.corrupted)));
        QCOMPARE(run(42).outcome, first.outcome);
        QVERIFY(run(43).outcome != first.outcome);
    }

    void otherFaultRates()
    {
        Bus bus;
        KrvDevice *d = addKrv(bus);
        d->faults.noise = 0.3;
        d->faults.late = 0.05;
        d->faults.lateMs = 250;
        d->faults.split = 0.5;
        bus.setSeed(7);
        int noisy = 0, late = 0, split = 0;
        for (int i = 0; i < 1000; ++i) {
            const auto t = bus.respond(KrvProbe, i);
            QVERIFY(t);
            if (t->bytes.size() == KrvProbeAnswer.size() + 1) {
                ++noisy;
                QCOMPARE(t->bytes.mid(1), KrvProbeAnswer);
            }
            late += t->delayUs >= 250000;
            split += !t->pauses.isEmpty();
        }
        QCOMPARE(noisy, bus.counters().noise);
        QCOMPARE(late, bus.counters().late);
        QCOMPARE(split, bus.counters().split);
        QVERIFY2(noisy >= 245 && noisy <= 355, qPrintable(QString::number(noisy)));
        QVERIFY2(late >= 22 && late <= 78, qPrintable(QString::number(late)));
        QVERIFY2(split >= 435 && split <= 565, qPrintable(QString::number(split)));
    }

    void scriptedFaultsComeFirst()
    {
        Bus bus;
        KrvDevice *d = addKrv(bus);
        d->faults.drop = 1.0; // the random faults apply once the script is used up
        d->script = {Action::Drop,  Action::Drop,  Action::Answer, Action::Noise, Action::Corrupt,
                     Action::Late,  Action::Split, Action::Short,  Action::Long,  Action::Refuse};
        d->faults.exceptionCode = 2;
        QVERIFY(!bus.respond(KrvProbe, 0));
        QVERIFY(!bus.respond(KrvProbe, 0));
        QCOMPARE(bus.respond(KrvProbe, 0)->bytes, KrvProbeAnswer);
        const auto noisy = bus.respond(KrvProbe, 0);
        QCOMPARE(noisy->bytes.size(), KrvProbeAnswer.size() + 1);
        QCOMPARE(noisy->bytes.mid(1), KrvProbeAnswer);
        const auto corrupt = bus.respond(KrvProbe, 0);
        QCOMPARE(corrupt->bytes.left(9), KrvProbeAnswer.left(9));
        QVERIFY(!modbus::crcValid(corrupt->bytes));
        QCOMPARE(bus.respond(KrvProbe, 0)->delayUs, bus.thinkTimeMs() * 1000 + d->faults.lateMs * 1000);
        const auto split = bus.respond(KrvProbe, 0);
        QVERIFY(!split->pauses.isEmpty());
        QCOMPARE(split->bytes, KrvProbeAnswer);
        QCOMPARE(bus.respond(KrvProbe, 0)->bytes, KrvProbeAnswer.chopped(1));
        const auto extended = bus.respond(KrvProbe, 0);
        QCOMPARE(extended->bytes.size(), KrvProbeAnswer.size() + 1);
        QCOMPARE(extended->bytes.left(KrvProbeAnswer.size()), KrvProbeAnswer);
        QCOMPARE(bus.respond(KrvProbe, 0)->bytes, modbus::withCrc(QByteArray::fromHex("018402")));
        QVERIFY(d->script.empty());
        QVERIFY(!bus.respond(KrvProbe, 0));
    }

    void lateAndSplitAnswersOverTheLink()
    {
        Bus bus;
        KrvDevice *d = addKrv(bus);
        d->faults.lateMs = 300;
        d->script = {Action::Late, Action::Split};
        bus.setSplitPauseMs(30);
        SimLink link(bus);
        QVERIFY(link.open({19200, paNone}));
        Receiver rx(link);
        QElapsedTimer clock;
        clock.start();
        link.write(KrvProbe);
        QTRY_COMPARE_WITH_TIMEOUT(rx.all, KrvProbeAnswer, 5000);
        QVERIFY(clock.elapsed() >= 300);

        rx.all.clear();
        rx.chunks.clear();
        link.write(KrvProbe);
        QTRY_COMPARE_WITH_TIMEOUT(rx.all, KrvProbeAnswer, 5000);
        QVERIFY(rx.chunks.size() >= 2);
    }

    void deviceAtAnotherBaudStaysSilent()
    {
        Bus bus;
        KrvDevice *d = addKrv(bus);
        d->baudCode = 3;
        bus.setLine({19200, paNone});
        QVERIFY(bus.respond(KrvProbe, 0)); // the new rate is not in use yet
        bus.powerCycle();
        QVERIFY(!bus.respond(KrvProbe, 0));
        QCOMPARE(bus.counters().deaf, 1);
        bus.setLine({9600, paNone});
        QVERIFY(bus.respond(KrvProbe, 0));
        bus.setLine({19200, paNone});
        bus.setBaudMatters(false);
        QVERIFY(bus.respond(KrvProbe, 0));
    }

    void deviceOfAnotherParityStaysSilentOverTheLink()
    {
        Bus bus;
        bus.setThinkTimeMs(1);
        KrvDevice *d = addKrv(bus, 1);
        d->parity = paEven;
        SimLink link(bus);
        Receiver rx(link);
        QVERIFY(link.open({19200, paOdd}));
        link.write(KrvProbe);
        QTest::qWait(60);
        QVERIFY(rx.all.isEmpty());
        QCOMPARE(bus.counters().deaf, 1);
        QVERIFY(link.applySettings({19200, paEven}));
        link.write(KrvProbe);
        QTRY_COMPARE_WITH_TIMEOUT(rx.all, KrvProbeAnswer, 5000);
    }

    void twoDevicesAtOneAddressCollide()
    {
        Bus bus;
        addKrv(bus, 1);
        KrvDevice *twin = addKrv(bus, 1);
        twin->version = 0x0100;
        const auto t = bus.respond(KrvProbe, 0);
        QVERIFY(t);
        QCOMPARE(bus.counters().collisions, 1);
        QVERIFY(t->bytes != KrvProbeAnswer);
        QVERIFY(!modbus::crcValid(t->bytes));
    }

    void purgeDropsBytesNotYetOnTheWire()
    {
        Bus bus;
        addKrv(bus);
        bus.setBaudMatters(false);
        SimLink link(bus);
        QVERIFY(link.open({1200, paNone})); // 8.3 ms a byte
        Receiver rx(link);
        link.write(KrvProbe);
        QVERIFY(link.bytesToWrite() > 0);
        QVERIFY(link.clearOutput());
        QCOMPARE(link.bytesToWrite(), qint64(0));
        link.write(KrvProbe);
        QTRY_COMPARE_WITH_TIMEOUT(rx.all, KrvProbeAnswer, 5000);
        QCOMPARE(bus.counters().badFrames, 0);
    }

    void clearInputAndCloseDiscardReceivedBytes()
    {
        Bus bus;
        addKrv(bus);
        SimLink link(bus);
        QVERIFY(link.open({19200, paNone}));
        QSignalSpy ready(&link, &BusLink::readyRead);
        link.write(KrvProbe);
        QTRY_VERIFY_WITH_TIMEOUT(ready.count() > 0, 5000);
        QVERIFY(link.clearInput());
        QVERIFY(link.readAll().isEmpty());

        link.close();
        QVERIFY(!link.isOpen());
        QCOMPARE(link.write(KrvProbe), qint64(-1));
        QCOMPARE(link.lastError().kind, BusLink::ErrorKind::Write);
        bus.inject(QByteArray::fromHex("AABB"));
        QTest::qWait(50);
        QVERIFY(link.readAll().isEmpty());
    }

    void injectedBytesReachTheMaster()
    {
        Bus bus;
        SimLink link(bus);
        QVERIFY(link.open({19200, paNone}));
        Receiver rx(link);
        bus.inject(QByteArray::fromHex("00FF7E"));
        QTRY_COMPARE_WITH_TIMEOUT(rx.all, QByteArray::fromHex("00FF7E"), 5000);
    }

    void factoryLinksOutliveTheBus()
    {
        auto bus = std::make_unique<Bus>();
        addKrv(*bus);
        const LinkFactory factory = simLinkFactory(*bus);
        auto link = factory(QStringLiteral("/dev/ttyUSB0"));
        QVERIFY(link->open({19200, paNone}));
        QVERIFY(!link->open({19200, paNone}));
        link->close();
        bus.reset();
        auto late = factory(QStringLiteral("/dev/ttyUSB0"));
        QVERIFY(!late->open({19200, paNone}));
        QCOMPARE(late->lastError().kind, BusLink::ErrorKind::NotFound);
        QCOMPARE(link->write(KrvProbe), qint64(-1));
    }

    // The configurator's port component on the bus, as the windows use it.
    void portComponentOverTheSimulatedBus()
    {
        Bus bus;
        addKrv(bus);
        TVaComm comm;
        comm.setLinkFactory(simLinkFactory(bus));
        comm.setBaudrate(br19200);
        QByteArray received;
        connect(&comm, &TVaComm::OnRxBuf, this, [&received](const QByteArray &bytes) { received += bytes; });
        comm.Open();
        QVERIFY(comm.Active());
        QCOMPARE(bus.line().baudRate, 19200);
        comm.PurgeWrite();
        QCOMPARE(comm.WriteBuf(reinterpret_cast<const std::uint8_t *>(KrvTest.constData()), KrvTest.size()),
                 int(KrvTest.size()));
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 45, 5000);
        QVERIFY(modbus::crcValid(received));
        comm.Close();
        QVERIFY(!comm.Active());
    }

    void monitorLogsBothDirections()
    {
        Bus bus;
        KrvDevice *d = addKrv(bus);
        SimLink link(bus);
        QVERIFY(link.open({19200, paNone}));
        QSignalSpy log(&bus, &Bus::frameLogged);
        d->script = {Action::Drop};
        link.write(KrvProbe);
        QTRY_COMPARE_WITH_TIMEOUT(log.count(), 2, 5000);
        QCOMPARE(log.at(0).at(1).value<Direction>(), Direction::Request);
        QCOMPARE(log.at(0).at(2).toByteArray(), KrvProbe);
        QCOMPARE(log.at(0).at(3).toString(), QString("KRV-A: чтение входных регистров 0x0000..0x0002 (3)"));
        QCOMPARE(log.at(1).at(1).value<Direction>(), Direction::Note);
        QVERIFY(log.at(1).at(3).toString().startsWith("dropped"));

        link.write(KrvProbe);
        QTRY_COMPARE_WITH_TIMEOUT(log.count(), 4, 5000);
        QCOMPARE(log.at(3).at(1).value<Direction>(), Direction::Answer);
        QCOMPARE(log.at(3).at(2).toByteArray(), KrvProbeAnswer);
        QVERIFY(log.at(3).at(0).toLongLong() >= log.at(2).at(0).toLongLong());

        link.write(QByteArray::fromHex("0104000000030000"));
        QTRY_COMPARE_WITH_TIMEOUT(log.count(), 5, 5000);
        QVERIFY(log.at(4).at(3).toString().startsWith("ошибка CRC"));
    }
};

QTEST_GUILESS_MAIN(TestSimBus)
#include "test_simbus.moc"
