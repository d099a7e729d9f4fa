#include "bus/requestlayer.h"
#include "bus/ticktimer.h"
#include "bus/vacomm.h"
#include "devices/devicecatalogue.h"
#include "scan/devicesearch.h"
#include "sim/bus.h"
#include "sim/simlink.h"
#include "support/fakeport.h"
#include "support/wire.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(DeviceWindowKind)
Q_DECLARE_METATYPE(DeviceSearch::Status)

namespace {
QByteArray framed(const char *bodyHex)
{
    return wireHex(bodyHex);
}
} // namespace

class TestScan : public QObject
{
    Q_OBJECT
private slots:
    void probes_data()
    {
        QTest::addColumn<int>("tag");
        QTest::addColumn<int>("address");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("KRV-A") << int(TagKRV) << 1 << QByteArray::fromHex("010400000003B00B");
        QTest::newRow("ZDLT-1") << int(TagZDLT) << 1 << QByteArray::fromHex("0104FC7C000E8046");
        QTest::newRow("M-7051D") << int(TagM7051) << 1 << QByteArray::fromHex("01462013B8");
        QTest::newRow("meter at 1") << int(TagSET4TM) << 1 << QByteArray::fromHex("000001B0");
        QTest::newRow("meter at 200") << int(TagSET4TM) << 200 << QByteArray::fromHex("000001B0");
        QTest::newRow("sensor") << int(TagSensor) << 1 << QByteArray::fromHex("01030000000305CB");
        QTest::newRow("controller") << int(TagController) << 1 << QByteArray::fromHex("01020185000469DC");
        QTest::newRow("B-7720Q") << int(TagB7720Q) << 1 << QByteArray::fromHex("01020000000879CC");
        QTest::newRow("KRV-A at 247") << int(TagKRV) << 247 << framed("F70400000003");
    }
    void probes()
    {
        QFETCH(int, tag);
        QFETCH(int, address);
        QFETCH(QByteArray, frame);
        auto layer = std::make_unique<RequestLayer>();
        FrameProbe(*layer, tag, static_cast<std::uint8_t>(address));
        QCOMPARE(layer->txBytes().toHex(' '), frame.toHex(' '));
    }

    void acceptance_data()
    {
        QTest::addColumn<int>("tag");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<DeviceWindowKind>("window");
        const QByteArray krv = framed("010406000C00020069");
        const QByteArray notKrv = framed("010406000C00030069");
        const QByteArray discrete = framed("01020105");
        const QByteArray exception = framed("018402");
        QTest::newRow("KRV-A code 12 model 2") << int(TagKRV) << krv << DeviceWindowKind::KRV;
        QTest::newRow("KRV-A button, other model -> ZDLT-1") << int(TagKRV) << notKrv << DeviceWindowKind::ZDLT;
        QTest::newRow("KRV-A button, exception -> ZDLT-1") << int(TagKRV) << exception << DeviceWindowKind::ZDLT;
        QTest::newRow("ZDLT-1 takes anything") << int(TagZDLT) << exception << DeviceWindowKind::ZDLT;
        QTest::newRow("M-7051D takes anything") << int(TagM7051) << discrete << DeviceWindowKind::M7051;
        QTest::newRow("meter takes anything") << int(TagSET4TM) << framed("0000") << DeviceWindowKind::SET4TM;
        QTest::newRow("sensor") << int(TagSensor) << framed("010306007B00C80064") << DeviceWindowKind::MLX;
        QTest::newRow("sensor R3 101 rejected") << int(TagSensor) << framed("010306007B00C80065")
                                                << DeviceWindowKind::None;
        QTest::newRow("sensor R1 0 rejected") << int(TagSensor) << framed("010306000000C80010")
                                              << DeviceWindowKind::None;
        QTest::newRow("sensor button, 6 bytes -> controller") << int(TagSensor) << discrete
                                                              << DeviceWindowKind::C3940F;
        QTest::newRow("sensor button, 5 bytes -> nothing") << int(TagSensor) << exception << DeviceWindowKind::None;
        QTest::newRow("controller 6 bytes") << int(TagController) << discrete << DeviceWindowKind::C3940F;
        QTest::newRow("controller exception") << int(TagController) << exception << DeviceWindowKind::None;
        QTest::newRow("B-7720Q 6 bytes") << int(TagB7720Q) << discrete << DeviceWindowKind::B7720Q;
        QTest::newRow("B-7720Q 7 bytes") << int(TagB7720Q) << framed("0102020505") << DeviceWindowKind::None;
    }
    void acceptance()
    {
        QFETCH(int, tag);
        QFETCH(QByteArray, answer);
        QFETCH(DeviceWindowKind, window);
        const auto *rx = reinterpret_cast<const std::uint8_t *>(answer.constData());
        QCOMPARE(AcceptedWindow(tag, rx, int(answer.size())), window);
    }

    void shortAnswerReadsNoStaleRegisters()
    {
        // Bytes past the answer must not count as registers: a 4-byte answer
        // sitting in front of an old KRV-A answer is not a KRV-A.
        std::uint8_t rx[16] = {0x01, 0x04, 0x06, 0x00, 0x0C, 0x00, 0x02, 0x00, 0x69};
        QCOMPARE(AcceptedWindow(TagKRV, rx, 4), DeviceWindowKind::ZDLT);
        QCOMPARE(AcceptedWindow(TagKRV, rx, 9), DeviceWindowKind::KRV);
    }
};

// The search without a window, on a manual clock and an in-memory port.
class TestDeviceSearch : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakePort> m_bus;
    std::unique_ptr<ManualTickTimer> m_ticks;
    std::unique_ptr<DeviceSearch> m_search;

    // Starts a KRV-A search of first..last as the main window does.
    void start(int first, int last)
    {
        DeviceSearch::Plan plan;
        plan.tag = TagKRV;
        plan.port = 3;
        plan.line = {9600, paEven};
        plan.first = first;
        plan.last = last;
        plan.intervalMs = 100;
        m_search->start(plan);
    }
    QList<int> probedAddresses()
    {
        QList<int> addresses;
        const QByteArray w = m_bus->link().written;
        for (int i = 0; i + 8 <= w.size(); i += 8)
            addresses << std::uint8_t(w.at(i));
        return addresses;
    }

private slots:
    void init()
    {
        m_bus = std::make_unique<FakePort>();
        m_ticks = std::make_unique<ManualTickTimer>();
        m_search = std::make_unique<DeviceSearch>(m_bus->channel, *m_ticks);
    }
    void cleanup()
    {
        m_search.reset();
        m_bus.reset();
    }

    void startOpensTheChannelOnTheLineOfThePlan()
    {
        start(1, 1);
        QVERIFY(m_bus->channel.isOpen());
        QCOMPARE(m_bus->links.devicesRequested, QStringList{QStringLiteral("/dev/ttyUSB2")});
        QCOMPARE(m_bus->link().settingsApplied.last(), (LineSettings{9600, paEven}));
        QCOMPARE(m_ticks->interval(), 100);
    }

    void aPortThatCannotBeOpenedStartsNothing()
    {
        m_bus->links.prepare = [](FakeLink &link) { link.openError = {BusLink::ErrorKind::NotFound, 2, {}}; };
        QSignalSpy finished(m_search.get(), &DeviceSearch::finished);
        QVERIFY_THROWS_EXCEPTION(EVaCommError, start(1, 1));
        QVERIFY(!m_search->isRunning());
        QVERIFY(!m_ticks->isActive());
        QCOMPARE(finished.size(), 0);
    }

    void rangeFiveToFiveSendsFourProbesThenEnds()
    {
        QSignalSpy finished(m_search.get(), &DeviceSearch::finished);
        start(5, 5);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(m_search->tick(), DeviceSearch::Outcome::Continue);
        QCOMPARE(probedAddresses(), (QList<int>{5, 5, 5, 5}));
        QCOMPARE(m_search->tick(), DeviceSearch::Outcome::Exhausted);
        QVERIFY(!m_search->isRunning());
        QVERIFY(!m_bus->channel.isOpen());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).value<DeviceSearch::Result>().end, DeviceSearch::Result::End::Exhausted);
    }

    void answerToTheThirdProbeIsJudgedAtTheNextTick()
    {
        QSignalSpy probed(m_search.get(), &DeviceSearch::probed);
        QSignalSpy finished(m_search.get(), &DeviceSearch::finished);
        start(5, 9);
        m_search->tick();
        m_search->tick();
        m_search->tick();
        const QByteArray answer = framed("050406000C00020069");
        m_bus->link().receive(answer);
        QCOMPARE(m_search->tick(), DeviceSearch::Outcome::Found);
        QCOMPARE(probed.size(), 3);
        QCOMPARE(probed.last().at(0).toInt(), 5);
        QCOMPARE(m_bus->frames.RxCount, 11); // the answer stays for the window
        QVERIFY(!m_search->isRunning());
        QVERIFY(m_bus->channel.isOpen());
        QCOMPARE(finished.size(), 1);
        const auto result = finished.at(0).at(0).value<DeviceSearch::Result>();
        QCOMPARE(result.end, DeviceSearch::Result::End::Found);
        QCOMPARE(result.found.kind, DeviceWindowKind::KRV);
        QCOMPARE(result.found.address, 5);
        QCOMPARE(result.found.port, 3);
        QCOMPARE(result.found.line, (LineSettings{9600, paEven}));
        QCOMPARE(result.found.answer.toHex(), answer.toHex());
    }

    void theFourthProbesAnswerIsFoundAtTheAddressItWentTo()
    {
        QSignalSpy finished(m_search.get(), &DeviceSearch::finished);
        start(5, 9);
        for (int i = 0; i < 4; ++i)
            m_search->tick();
        QCOMPARE(m_search->currentAddress(), 6);
        m_bus->link().receive(framed("050406000C00020069"));
        QCOMPARE(m_search->tick(), DeviceSearch::Outcome::Found);
        QCOMPARE(finished.at(0).at(0).value<DeviceSearch::Result>().found.address, 5);
    }

    void corruptedAnswerIsACrcErrorAndTheAddressIsProbedAgain()
    {
        QSignalSpy judged(m_search.get(), &DeviceSearch::judged);
        start(1, 1);
        m_search->tick();
        m_bus->link().receive(QByteArray(1, '\x7F') + framed("010406000C00020069"));
        QCOMPARE(m_search->tick(), DeviceSearch::Outcome::Continue);
        QCOMPARE(judged.last().at(0).value<DeviceSearch::Status>(), DeviceSearch::Status::CrcError);
        QCOMPARE(m_bus->frames.RxCount, 0);
        QCOMPARE(m_search->ProbeRepeat, 1);
        m_search->tick();
        m_bus->link().receive(framed("010406000C00020069"));
        QCOMPARE(m_search->tick(), DeviceSearch::Outcome::Found);
        QCOMPARE(probedAddresses(), (QList<int>{1, 1}));
    }

    void closingThePortStopsTheSearch()
    {
        QSignalSpy finished(m_search.get(), &DeviceSearch::finished);
        start(1, 9);
        m_search->tick();
        m_bus->channel.close();
        QVERIFY(!m_search->isRunning());
        QVERIFY(!m_ticks->isActive());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).value<DeviceSearch::Result>().end, DeviceSearch::Result::End::Stopped);
    }

    void aLastingPortFaultEndsTheSearchOnce()
    {
        QSignalSpy finished(m_search.get(), &DeviceSearch::finished);
        start(1, 9);
        m_search->tick();
        m_bus->link().receive(QByteArray::fromHex("01830200")); // a wrong CRC: the input is purged
        m_bus->link().purgeError = {BusLink::ErrorKind::Purge, 5, QStringLiteral("Input/output error")};
        m_search->tick();
        QVERIFY(!m_search->isRunning());
        QVERIFY(!m_bus->channel.isOpen());
        QCOMPARE(finished.size(), 1);
        const auto result = finished.at(0).at(0).value<DeviceSearch::Result>();
        QCOMPARE(result.end, DeviceSearch::Result::End::Failed);
        QCOMPARE(result.error, QStringLiteral("Error clearing buffers (5), Input/output error"));
    }
};

// The search on the in-process simulated bus finds each kind where it is, with its answer.
class TestSearchOnTheBus : public QObject
{
    Q_OBJECT
private slots:
    void findsEachKind_data()
    {
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("address");
        QTest::addColumn<DeviceWindowKind>("kind");
        QTest::addColumn<int>("foundAt");
        QTest::addColumn<int>("answerBytes");
        QTest::newRow("KRV-A") << int(TagKRV) << "krv" << 3 << DeviceWindowKind::KRV << 3 << 11;
        // A ZDLT-1 refuses the KRV-A probe; a refusal with a correct CRC is a ZDLT-1 all the same.
        QTest::newRow("KRV-A button finds a ZDLT-1") << int(TagKRV) << "zdlt" << 3 << DeviceWindowKind::ZDLT << 3 << 5;
        QTest::newRow("ZDLT-1") << int(TagZDLT) << "zdlt" << 4 << DeviceWindowKind::ZDLT << 4 << 33;
        QTest::newRow("M-7051D") << int(TagM7051) << "m7051" << 2 << DeviceWindowKind::M7051 << 2 << 8;
        // The meter answers the channel test to 0 whatever its address: found at the first address probed.
        QTest::newRow("meter") << int(TagSET4TM) << "set4tm" << 5 << DeviceWindowKind::SET4TM << 1 << 4;
        QTest::newRow("sensor") << int(TagSensor) << "sensor" << 4 << DeviceWindowKind::MLX << 4 << 11;
        QTest::newRow("controller") << int(TagController) << "controller" << 3 << DeviceWindowKind::C3940F << 3 << 6;
        QTest::newRow("B-7720Q") << int(TagB7720Q) << "b7720q" << 4 << DeviceWindowKind::B7720Q << 4 << 6;
    }
    void findsEachKind()
    {
        QFETCH(int, tag);
        QFETCH(QString, device);
        QFETCH(int, address);
        QFETCH(DeviceWindowKind, kind);
        QFETCH(int, foundAt);
        QFETCH(int, answerBytes);

        sim::Bus bus;
        bus.setThinkTimeMs(1);
        bus.setFifoBytes(4096); // an answer arrives whole, so a step never judges half of it
        bus.setBaudMatters(false);
        bus.addDevice(sim::Bus::makeDevice(device, std::uint8_t(address)));
        BusChannel channel;
        channel.setLinkFactory(sim::simLinkFactory(bus));
        ManualTickTimer clock;
        DeviceSearch search(channel, clock);
        QSignalSpy finished(&search, &DeviceSearch::finished);

        DeviceSearch::Plan plan;
        plan.tag = tag;
        plan.line = {19200, paNone};
        plan.first = 1;
        plan.last = 5;
        search.start(plan);
        for (int step = 0; step < 60 && search.isRunning(); ++step) {
            search.tick();
            // A probe just went out: its answer, if any, comes within a few milliseconds.
            if (search.isRunning() && channel.frames().RxCount == 0)
                (void)QTest::qWaitFor([&] { return channel.frames().RxCount > 3; }, 40);
        }
        QCOMPARE(finished.size(), 1);
        const auto result = finished.at(0).at(0).value<DeviceSearch::Result>();
        QCOMPARE(result.end, DeviceSearch::Result::End::Found);
        QCOMPARE(result.found.kind, kind);
        QCOMPARE(result.found.address, foundAt);
        QCOMPARE(result.found.line, (LineSettings{19200, paNone}));
        QCOMPARE(int(result.found.answer.size()), answerBytes);
        QCOMPARE(result.found.answer, channel.frames().rxBytes());
        QCOMPARE(int(channel.frames().CheckResponseCrc()), 1);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestScan scan;
    TestDeviceSearch search;
    TestSearchOnTheBus onTheBus;
    return QTest::qExec(&scan, argc, argv) | QTest::qExec(&search, argc, argv) | QTest::qExec(&onTheBus, argc, argv);
}
#include "test_scan.moc"
