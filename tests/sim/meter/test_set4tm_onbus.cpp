#include "set4tm_support.h"

#include "sim/bus.h"

#include <QtTest>

using namespace set4tmtest;
using sim::Set4tmDevice;

namespace {
struct Step
{
    const char *request; // body; the CRC is added here
    const char *answer;   // body, or nullptr for silence
};

// The answer the bus puts on the wire for one request frame.
QByteArray onWire(sim::Bus &bus, const QByteArray &frame, qint64 nowMs)
{
    const auto t = bus.respond(frame, nowMs);
    return t ? t->bytes : QByteArray();
}
} // namespace

// The meter behind the simulated bus, driven the way the meter window drives it.
class TestSet4tmOnBus : public QObject
{
    Q_OBJECT

    std::unique_ptr<sim::Bus> busOwner;
    Set4tmDevice *meter = nullptr;

private slots:
    void init()
    {
        busOwner = std::make_unique<sim::Bus>();
        busOwner->setLine({9600, paNone});
        meter = static_cast<Set4tmDevice *>(busOwner->addDevice(sim::Bus::makeDevice(QStringLiteral("set4tm"), 5)));
        QVERIFY(meter);
        meter->live = false;
        meter->password = "649283";
        meter->voltageRatio = 100;
        meter->currentRatio = 40;
        meter->setClock(meterTime(2026, 12, 8, 14, 7), 0);
    }

    void openingSequenceThroughAddressZero()
    {
        const Step steps[] = {
            {"0000", "0500"},                 // the scan probe
            {"000805", "0505"},               // a read before the channel is open
            {"0001363439323833", "0500"},     // open channel, "649283"
            {"000805", "050005"},             // network address
            {"000802", "0500640028000000000000"}, // Ku 100, Ki 40
            {"000806", "05001E"},             // 30 minutes
            {"000809", "050002"},             // marking allowed
            {"050804", "0500140812260000"},   // then at its own address: profile pointer
            {"0408", nullptr},                // another address: silence
        };
        for (const Step &step : steps) {
            const QByteArray answer = onWire(*busOwner, wireHex(step.request), 0);
            QCOMPARE(answer, step.answer ? wireHex(step.answer) : QByteArray());
        }
        QCOMPARE(meter->requestsSeen, 8);
        QCOMPARE(meter->answersSent, 8);
    }

    void wrongPasswordOnBus()
    {
        QCOMPARE(onWire(*busOwner, ::set4tmtest::openChannel(0, "000000"), 0), wireHex("0503"));
        QCOMPARE(onWire(*busOwner, wireHex("000805"), 0), wireHex("0505"));
    }

    void baudChangeNeedsPowerAndLine()
    {
        QCOMPARE(onWire(*busOwner, ::set4tmtest::openChannel(5, "649283"), 0), wireHex("0500"));
        QCOMPARE(onWire(*busOwner, wireHex("05031807"), 0), wireHex("0500"));
        QCOMPARE(onWire(*busOwner, wireHex("05031516"), 0), wireHex("0510"));
        // Still at 9600 until switched off and on.
        QCOMPARE(onWire(*busOwner, wireHex("050806"), 0), wireHex("05001E"));
        busOwner->powerCycle();
        const int deaf = busOwner->counters().deaf;
        QVERIFY(onWire(*busOwner, wireHex("0500"), 0).isEmpty());
        QCOMPARE(busOwner->counters().deaf, deaf + 1);
        busOwner->setLine({19200, paNone});
        QCOMPARE(onWire(*busOwner, wireHex("050806"), 0), wireHex("0505"));
        QCOMPARE(onWire(*busOwner, ::set4tmtest::openChannel(5, "649283"), 0), wireHex("0500"));
        QCOMPARE(onWire(*busOwner, wireHex("050806"), 0), wireHex("05001E"));
    }

    void busyOnBus()
    {
        meter->faults.busy = 1.0;
        QCOMPARE(onWire(*busOwner, ::set4tmtest::openChannel(5, "649283"), 0), wireHex("0504"));
        QVERIFY(!meter->channelOpen);
    }
};

QTEST_GUILESS_MAIN(TestSet4tmOnBus)
#include "test_set4tm_onbus.moc"
