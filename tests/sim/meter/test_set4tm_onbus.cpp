#include "set4tm_support.h"

#include "bus/requestlayer.h"
#include "meter/set4tmjudgement.h"
#include "meter/set4tmpoll.h"
#include "sim/bus.h"
#include "sim/tool/options.h"

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

    // orvek-sim's default bus, as the demo starts it.
    void defaultBusMeterForTheDemo()
    {
        sim::Bus bus;
        ToolOptions options;
        QString error;
        QVERIFY2(configureBus({"orvek-sim", "--meter-minute", "1000"}, bus, options, &error), qPrintable(error));
        Set4tmDevice *demo = nullptr;
        for (sim::Device *d : bus.devices())
            if (QLatin1String(d->kind()) == QLatin1String("set4tm"))
                demo = static_cast<Set4tmDevice *>(d);
        QVERIFY(demo);
        QCOMPARE(demo->minuteMs(), qint64(1000));
        bus.setLine({19200, paNone});
        QCOMPARE(onWire(bus, ::set4tmtest::openChannel(7, "649283"), 0), wireHex("0700"));
        QVERIFY(helpText().contains(QLatin1String("--meter-minute MS")));
    }

    // The test cycle of the meter window against the demo's meter: with a meter
    // minute of a second the pointer moves on one period at a time and the first
    // power profile row comes within a minute.
    void demoTestShowsAProfileRowWithinAMinute()
    {
        sim::Bus bus;
        ToolOptions options;
        QString error;
        QVERIFY2(configureBus({"orvek-sim", "--meter-minute", "1000"}, bus, options, &error), qPrintable(error));
        bus.setLine({19200, paNone});
        RequestLayer frames;
        auto send = [&](const set4tm::Request &request, qint64 nowMs) {
            request.frameInto(frames);
            frames.ResetRx();
            frames.VaComm1RxBuf(onWire(bus, frames.txBytes(), nowMs));
        };
        const auto open = set4tm::openChannel(7, set4tm::passwordBytes(QStringLiteral("649283")));
        send(open, 0);
        QVERIFY(set4tm::judgeExchange(open, frames).accepted());

        set4tm::ProfileFollower profile;
        profile.start();
        const auto initial = set4tm::readProfilePointer(7);
        send(initial, 350);
        QVERIFY(set4tm::acceptsPollAnswer(set4tm::PointerPollStep, frames));
        profile.takeInitialPointer(frames.RxFrame, frames.RxCount);
        const QDateTime firstStamp = profile.lastStamp();

        const auto scaling = set4tm::Scaling::fromFields(QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("30"), 1);
        std::optional<set4tm::ProfileRow> row;
        int step = set4tm::FirstPollStep;
        qint64 now = 350;
        while (!row && now < 60000) {
            now += 600; // a request and its evaluation, at 300 ms a tick
            const auto request = set4tm::pollRequest(step, 7, profile);
            send(request, now);
            QVERIFY(set4tm::acceptsPollAnswer(step, frames));
            bool readRecord = false;
            if (step == set4tm::PointerPollStep) {
                const auto check = profile.checkPointer(frames.RxFrame, frames.RxCount, scaling);
                QCOMPARE(check.journal, QStringList());
                readRecord = check.readRecord;
            } else if (step == set4tm::RecordPollStep) {
                row = profile.takeRecord(frames.RxFrame, frames.RxCount, scaling);
            }
            step = set4tm::nextPollStep(step, readRecord);
        }
        QVERIFY2(row, "no profile row within a minute");
        QCOMPARE(row->date, set4tm::dateText(firstStamp));
        QCOMPARE(row->time, set4tm::timeText(firstStamp));
        QVERIFY(row->values);
        const double activeImport = (*row->values)[0]; // kW; the period may have begun before the first request
        QVERIFY2(activeImport > 0 && activeImport < 1.9, qPrintable(QString::number(activeImport)));
        QCOMPARE(profile.lastStamp(), firstStamp.addSecs(30 * 60));
    }

    void meterMinuteIsChecked_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("zero") << QStringList{"orvek-sim", "--meter-minute", "0"} << "--meter-minute wants milliseconds";
        QTest::newRow("no meter") << QStringList{"orvek-sim", "--device", "krv:1", "--meter-minute", "1000"}
                                  << "no SET-4TM meter";
    }
    void meterMinuteIsChecked()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        sim::Bus bus;
        ToolOptions options;
        QString error;
        QVERIFY(!configureBus(arguments, bus, options, &error));
        QVERIFY2(error.contains(message), qPrintable(error));
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
