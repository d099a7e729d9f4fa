#include "app/mainwindow.h"
#include "bus/buschannel.h"
#include "devices/krvmain.h"
#include "sim/relays.h"
#include "reliability/noise.h"
#include "support/simrig.h"
#include "support/testfixture.h"
#include "support/wire.h"
#include "widgets/rxspinedit.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(DeviceSearch::Status)

// A noisy line: a megabyte of random bytes on the in-process bus during a search
// and during a test. The buffer never overflows, noise is never a found device
// nor a good answer, the window keeps serving its event loop, and the counters
// add up; once the line is quiet the devices are heard again.
namespace {
const QString Finished = QStringLiteral("Тест завершен!\rРезультаты теста содержатся в журнале ошибок.");
constexpr qint64 FloodBytes = 1 << 20;

// A fast line, so the megabyte passes in about a second of wall time.
void makeLineFast(sim::Bus &bus)
{
    bus.setLine({10'000'000, paNone});
}

// Counts the bytes a port hands on and the turns of a 10 ms timer meanwhile.
struct FloodWatch
{
    qint64 received = 0;
    int loopTurns = 0; // 10 ms ticks between the first and the last flood byte
    QTimer timer;

    explicit FloodWatch(TVaComm &port)
    {
        QObject::connect(&port, &TVaComm::OnRxBuf, &timer, [this](const QByteArray &b) { received += b.size(); });
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (received > 0 && received < FloodBytes)
                ++loopTurns;
        });
        timer.start(10);
    }
    bool done() const { return received >= FloodBytes; }
};
} // namespace

class TestNoise : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFixture> m_fixture;

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    void init() { m_fixture = std::make_unique<TestFixture>(); }
    void cleanup()
    {
        QVERIFY2(m_fixture->clean(), m_fixture->report());
        m_fixture.reset();
    }

    // Noise whose last two bytes happen to be its CRC is still no device: no
    // Modbus frame is that long.
    void longNoiseEndingInItsCrcIsNoDevice()
    {
        sim::Bus bus;
        tuneForTests(bus);
        TFOrvekConfigurator main;
        main.channel().setLinkFactory(sim::simLinkFactory(bus));
        bool opened = false;
        main.setWindowOpener(DeviceWindowKind::ZDLT, [&](DeviceHost &, QWidget *) { opened = true; });
        main.BitBtnKRVClick(TagZDLT);
        main.Timer1->stop();
        main.Timer1Timer(); // the probe
        bus.inject(wire(noiseBytes(300, 3)));
        QVERIFY(QTest::qWaitFor([&] { return main.frames().RxCount == 302; }, 3000));
        main.Timer1Timer();
        QVERIFY(!opened);
        QCOMPARE(main.StaticTextMsg->text(), QStringLiteral("ошибка CRC"));
        QCOMPARE(main.frames().RxCount, 0);
        main.Action1Execute();
    }

    void floodDuringASearchFindsNothingAndTheSearchGoesOn()
    {
        sim::Bus bus;
        tuneForTests(bus);
        TFOrvekConfigurator main;
        main.channel().setLinkFactory(sim::simLinkFactory(bus));
        QList<QPair<DeviceWindowKind, QString>> opened;
        for (auto kind : {DeviceWindowKind::ZDLT, DeviceWindowKind::KRV})
            main.setWindowOpener(kind, [&, kind](DeviceHost &host, QWidget *) {
                opened.append({kind, host.foundAddressText()});
            });
        main.RxSpinEdit3->setValue(247);
        main.RxSpinEdit2->setValue(1);
        // The ZDLT-1 button takes any answer with a correct CRC: the most exposed to noise.
        main.BitBtnKRVClick(TagZDLT);
        main.Timer1->stop();
        makeLineFast(bus);
        QSignalSpy judged(&main.search(), &DeviceSearch::judged);
        RequestLayer &frames = main.frames();

        FloodWatch watch(*main.VaComm1);
        bus.inject(noiseBytes(FloodBytes, 1));
        int largest = 0;
        while (!watch.done()) {
            main.Timer1Timer();
            QVERIFY(QTest::qWaitFor([&] { return frames.RxCount > 3 || watch.done(); }, 5000));
            largest = std::max(largest, frames.RxCount);
        }
        QVERIFY(opened.isEmpty());
        QVERIFY(main.VaComm1->Active());
        QCOMPARE(largest, RequestLayer::Capacity); // full, and not one byte past it
        QVERIFY(!judged.isEmpty());
        for (const QList<QVariant> &j : judged)
            QCOMPARE(j.at(0).value<DeviceSearch::Status>(), DeviceSearch::Status::CrcError);
        QVERIFY2(watch.loopTurns >= 10, qPrintable(QString::number(watch.loopTurns)));

        // Quiet again: a device two addresses on is found at its address.
        const int at = main.search().currentAddress() + 2;
        QVERIFY(at <= 247);
        auto *zdlt = static_cast<sim::ZdltDevice *>(bus.addDevice(std::make_unique<sim::ZdltDevice>(std::uint8_t(at))));
        zdlt->live = false;
        QSignalSpy probed(&main.search(), &DeviceSearch::probed);
        for (int steps = 0; opened.isEmpty() && steps < 40; ++steps) {
            const int heard = bus.counters().frames;
            const int probes = probed.size();
            main.Timer1Timer();
            if (probed.size() > probes) {
                QVERIFY(QTest::qWaitFor([&] { return bus.counters().frames > heard; }, 3000));
                if (main.StaticTextAddr->text() == QString::number(at))
                    QVERIFY(QTest::qWaitFor([&] { return frames.RxCount >= 33; }, 3000));
            }
        }
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.at(0).first, DeviceWindowKind::ZDLT);
        QCOMPARE(opened.at(0).second, QString::number(at));
        main.Action1Execute();
    }

    void floodDuringATestKeepsTheCountersTrue()
    {
        SimHost host;
        auto *krv = static_cast<sim::KrvDevice *>(host.bus.addDevice(std::make_unique<sim::KrvDevice>(1)));
        krv->live = false;
        host.comm.Open();
        RequestLayer &frames = host.frames();
        frames.SendReadInputRegisters(1, 0, 3);
        host.comm.WriteBuf(frames.TxFrame, frames.TxCount);
        QVERIFY(host.waitForAnswer(11));
        TFKRV window(host, nullptr);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.findChild<TRxSpinEdit *>(QStringLiteral("RxSpinEditCount"))->setValue(100000);
        window.BitBtnStartClick();
        window.findChild<QTimer *>(QStringLiteral("TimerTest"))->stop();
        const TestCounters &counters = CountersOf<TFKRV>();
        for (int i = 0; i < 3; ++i)
            QVERIFY(host.exchange(window, 45));
        QCOMPARE(counters.accepted, 3);

        makeLineFast(host.bus);
        FloodWatch watch(host.comm);
        host.bus.inject(noiseBytes(FloodBytes, 2));
        int largest = 0;
        while (!watch.done()) {
            window.TimerTestTimer();
            QVERIFY(QTest::qWaitFor([&] { return frames.RxCount > 3 || watch.done(); }, 5000));
            largest = std::max(largest, frames.RxCount);
            QVERIFY(qint64(counters.accepted) + counters.errors <= counters.sent);
        }
        QCOMPARE(largest, RequestLayer::Capacity);
        QCOMPARE(counters.accepted, 3); // no noise taken for an answer
        QVERIFY(counters.errors > 0);
        QVERIFY2(watch.loopTurns >= 10, qPrintable(QString::number(watch.loopTurns)));

        // The answers queued behind the flood drain; then every exchange is good again.
        int goodInARow = 0;
        for (int i = 0; i < 80 && goodInARow < 3; ++i) {
            const int sent = counters.sent, accepted = counters.accepted;
            window.TimerTestTimer();
            if (counters.sent > sent)
                static_cast<void>(host.waitForAnswer(45, 1000)); // may be a lost one while the queue drains
            else
                goodInARow = counters.accepted > accepted ? goodInARow + 1 : 0;
        }
        QCOMPARE(goodInARow, 3);

        m_fixture->dialogs.expectInformation(Finished);
        window.BitBtnStopClick();
        const QStringList journal = window.journalLines();
        const int s = counters.sent, a = counters.accepted, e = counters.errors;
        QVERIFY(a + e <= s);
        QVERIFY(journal.contains(QStringLiteral("Принято без ошибок: %1").arg(a)));
        QVERIFY(journal.contains(QStringLiteral("Принято с ошибками: %1").arg(e)));
        const int outstanding = a + e < s ? 1 : 0;
        QVERIFY(journal.contains(QStringLiteral("Отправлено посылок: %1").arg(s - outstanding)));
        QVERIFY(journal.contains(QStringLiteral("Утеряно посылок: %1").arg(s - a - e - outstanding)));
        // Corrupted exchanges are journalled up to the limit, then only counted; no line runs away.
        QVERIFY(journal.size() <= 2 * CommTest::JournalledErrorLimit + 40);
        for (const QString &l : journal)
            QVERIFY2(l.size() <= 2 + 2 * JournalHexBytes + 40, qPrintable(l.left(80)));
        window.close();
    }
};

QTEST_MAIN(TestNoise)
#include "test_noise.moc"
