#include "app/devicesearch.h"
#include "bus/requestlayer.h"
#include "bus/ticktimer.h"
#include "bus/vacomm.h"
#include "devices/devicekinds.h"
#include "support/fakeport.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(DeviceWindowKind)
Q_DECLARE_METATYPE(DeviceSearch::Status)

namespace {
QByteArray framed(const char *bodyHex)
{
    RequestLayer layer;
    layer.SendRaw(QByteArray::fromHex(bodyHex));
    return layer.txBytes();
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
    ManualTickTimer m_clock;
    std::unique_ptr<DeviceSearch> m_search;

    // Starts a KRV-A search of first..last as the main window does.
    void start(int first, int last)
    {
        m_search->lastAddress = [last] { return last; };
        m_search->prepare(TagKRV, 100, last);
        m_bus->port.Open();
        m_search->arm(first);
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
        m_search = std::make_unique<DeviceSearch>(m_bus->port, m_bus->frames, m_clock);
    }
    void cleanup()
    {
        m_search.reset();
        m_bus.reset();
    }

    void rangeFiveToFiveSendsFourProbesThenEnds()
    {
        start(5, 5);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(m_search->tick(), DeviceSearch::Outcome::Continue);
        QCOMPARE(m_search->tick(), DeviceSearch::Outcome::Exhausted);
        QCOMPARE(probedAddresses(), (QList<int>{5, 5, 5, 5}));
        QVERIFY(!m_search->isRunning());
    }

    void answerToTheThirdProbeIsJudgedAtTheNextTick()
    {
        QSignalSpy probed(m_search.get(), &DeviceSearch::probed);
        start(5, 9);
        m_search->tick();
        m_search->tick();
        m_search->tick();
        m_bus->link().receive(framed("050406000C00020069"));
        QCOMPARE(m_search->tick(), DeviceSearch::Outcome::Found);
        QCOMPARE(m_search->foundWindow(), DeviceWindowKind::KRV);
        QCOMPARE(probed.size(), 3);
        QCOMPARE(probed.last().at(0).toInt(), 5);
        QCOMPARE(m_bus->frames.RxCount, 11); // the answer stays for the window
        QVERIFY(!m_search->isRunning());
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
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestScan scan;
    TestDeviceSearch search;
    return QTest::qExec(&scan, argc, argv) | QTest::qExec(&search, argc, argv);
}
#include "test_scan.moc"
