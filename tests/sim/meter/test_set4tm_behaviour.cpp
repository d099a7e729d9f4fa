#include "set4tm_support.h"

#include <QtTest>

using namespace set4tmtest;
using sim::Set4tmDevice;

namespace {
constexpr qint64 Minute = 60 * 1000;

// The 24-bit word of an auxiliary answer and the value the window shows for it
// with the 120...230 V variant and Ku = Ki = 1.
double shownAux(const QByteArray &answer, std::uint8_t selector)
{
    const std::uint32_t word = bigEndian(answer, 1, 3);
    const double v = word & 0x3FFFFF;
    switch (selector) {
    case 0x11: case 0x12: case 0x13: case 0x40: case 0x30: return v * 0.01;
    case 0x21: case 0x22: case 0x23: return v * 0.0001;
    case 0x00: return (word & 0x800000) ? -v * 0.002 : v * 0.002;
    default: return (word >> 16) >= 0x40 ? -v * 0.002 : v * 0.002;
    }
}

QByteArray readAux(Set4tmDevice &meter, std::uint8_t selector, qint64 nowMs)
{
    return exchange(meter, wire(QByteArray::fromHex("010811") + QByteArray(1, static_cast<char>(selector))), nowMs);
}

// A+ of an energy read; 0 (and a failure) for anything but an energy answer.
std::uint32_t activeImport(Set4tmDevice &meter, qint64 nowMs, const char *array = "01050000")
{
    const QByteArray answer = exchange(meter, wireHex(array), nowMs);
    if (answer.size() != 19) {
        QTest::qFail("no energy answer", __FILE__, __LINE__);
        return 0;
    }
    return bigEndian(answer, 1, 4);
}
} // namespace

class TestSet4tmBehaviour : public QObject
{
    Q_OBJECT

private slots:
    void channelClosesWhenIdle()
    {
        auto meter = frozenMeter();
        meter->idleCloseMs = 30000;
        QCOMPARE(statusOf(exchange(*meter, openChannel(1), 0)), 0);
        // Each request restarts the idle time.
        QCOMPARE(exchange(*meter, wireHex("010805"), 29999).size(), 5);
        QCOMPARE(exchange(*meter, wireHex("010805"), 59998).size(), 5);
        QCOMPARE(statusOf(exchange(*meter, wireHex("010805"), 89998)), 5);
        QCOMPARE(statusOf(exchange(*meter, openChannel(1), 89999)), 0);
        QCOMPARE(exchange(*meter, wireHex("010805"), 90000).size(), 5);
    }

    void modeSevenKeepsTheChannelOpen()
    {
        auto meter = frozenMeter();
        meter->idleCloseMs = 30000;
        QCOMPARE(statusOf(exchange(*meter, openChannel(1), 0)), 0);
        QCOMPARE(statusOf(exchange(*meter, wireHex("01031807"), 0)), 0);
        QCOMPARE(exchange(*meter, wireHex("010805"), 10 * Minute).size(), 5);
        // Forbidding automatic closing does not outlive the power.
        meter->powerCycle();
        QCOMPARE(statusOf(exchange(*meter, openChannel(1), 10 * Minute)), 0);
        QCOMPARE(statusOf(exchange(*meter, wireHex("010805"), 20 * Minute)), 5);
    }

    void profilePointerFollowsTheClock_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<qint64>("at");
        QTest::addColumn<QByteArray>("stampAndPointer");
        // Clock 14:07:00 at 0; pointer 0x0100 belongs to the period now running.
        QTest::newRow("30 min, same period") << 30 << 23 * Minute - 1 << QByteArray::fromHex("00140812260100");
        QTest::newRow("30 min, next period") << 30 << 23 * Minute << QByteArray::fromHex("30140812260108");
        QTest::newRow("30 min, three later") << 30 << 83 * Minute << QByteArray::fromHex("30150812260118");
        QTest::newRow("30 min, past midnight") << 30 << 593 * Minute << QByteArray::fromHex("000009122601A0");
        QTest::newRow("1 min") << 1 << 3 * Minute << QByteArray::fromHex("10140812260118");
        QTest::newRow("60 min") << 60 << 53 * Minute << QByteArray::fromHex("00150812260108");
    }
    void profilePointerFollowsTheClock()
    {
        QFETCH(int, minutes);
        QFETCH(qint64, at);
        QFETCH(QByteArray, stampAndPointer);
        Set4tmDevice meter(1);
        meter.live = false;
        meter.idleCloseMs = 24 * 60 * Minute;
        meter.profile.minutes = minutes;
        meter.setClock(meterTime(2026, 12, 8, 14, 7), 0);
        meter.profile.pointer = 0x0100;
        QCOMPARE(statusOf(exchange(meter, openChannel(1), 0)), 0);
        QCOMPARE(exchange(meter, wireHex("010804"), at), wire(QByteArray(1, '\x01') + stampAndPointer));
    }

    // A short meter minute: a 30-minute period closes after 30 s of bus time.
    void shortMinuteRunsTheProfile()
    {
        Set4tmDevice meter(1);
        meter.live = false;
        meter.idleCloseMs = 24 * 60 * Minute;
        QVERIFY(meter.setOption(QStringLiteral("minutems"), QStringLiteral("1000")));
        meter.setClock(meterTime(2026, 12, 8, 14, 7), 0);
        meter.profile.pointer = 0x0100;
        QCOMPARE(statusOf(exchange(meter, openChannel(1), 0)), 0);
        QCOMPARE(exchange(meter, wireHex("010804"), 22999), wire(QByteArray::fromHex("0100140812260100")));
        QCOMPARE(exchange(meter, wireHex("010804"), 23000), wire(QByteArray::fromHex("0130140812260108")));
        QCOMPARE(meter.clockAt(53000), meterTime(2026, 12, 8, 15, 0));
    }

    // Writing the integration time starts the profile afresh.
    void integrationTimeInitialisesTheProfile()
    {
        auto meter = frozenMeter();
        meter->profile.pointer = 0x0200;
        meter->profile.writeRecord(0x01F8, {1, 2, 3, 4});
        QCOMPARE(statusOf(exchange(*meter, wireHex("01030005"), 0)), 0);
        QCOMPARE(exchange(*meter, wireHex("010804"), 0), wire(QByteArray::fromHex("0105140812260000")));
        QCOMPARE(exchange(*meter, wireHex("01060301F808"), 0), wire(QByteArray(1, '\x01') + QByteArray(8, '\0')));
    }

    // A live meter, read the way the window reads it, shows a plausible network.
    void liveValuesLookReal()
    {
        Set4tmDevice meter(1);
        meter.liveSeed = 42;
        meter.setClock(meterTime(2026, 12, 8, 14, 7), 0);
        QCOMPARE(statusOf(exchange(meter, openChannel(1), 0)), 0);
        QSet<double> voltages;
        for (qint64 t = 1000; t <= 20000; t += 1000) {
            for (std::uint8_t sel : {0x11, 0x12, 0x13}) {
                const double u = shownAux(readAux(meter, sel, t), sel);
                QVERIFY2(u > 225 && u < 235, qPrintable(QString::number(u)));
                voltages.insert(u);
            }
            for (std::uint8_t sel : {0x21, 0x22, 0x23}) {
                const double i = shownAux(readAux(meter, sel, t), sel);
                QVERIFY2(i > 2.2 && i < 2.8, qPrintable(QString::number(i)));
            }
            const double f = shownAux(readAux(meter, 0x40, t), 0x40);
            QVERIFY(f > 49.85 && f < 50.15);
            const double cos = shownAux(readAux(meter, 0x30, t), 0x30);
            QVERIFY(cos > 0.89 && cos < 0.95);
            const double p = shownAux(readAux(meter, 0x00, t), 0x00);
            QVERIFY2(p > 1300 && p < 1900, qPrintable(QString::number(p)));
            const double q = shownAux(readAux(meter, 0x04, t), 0x04);
            QVERIFY2(q > 500 && q < 900, qPrintable(QString::number(q)));
        }
        QVERIFY2(voltages.size() > 10, "live values move");
    }

    void frozenValuesStayPut()
    {
        auto meter = frozenMeter();
        meter->idleCloseMs = 24 * 60 * Minute;
        const QByteArray energy = exchange(*meter, wireHex("01050000"), 0);
        const QByteArray voltage = readAux(*meter, 0x11, 0);
        QCOMPARE(exchange(*meter, wireHex("01050000"), 60 * Minute), energy);
        QCOMPARE(readAux(*meter, 0x11, 60 * Minute), voltage);
    }

    // Energy and the profile record of an hour agree with the power shown.
    void energyGrowsWithThePower()
    {
        Set4tmDevice meter(1);
        meter.liveSeed = 7;
        meter.idleCloseMs = 24 * 60 * Minute;
        meter.setClock(meterTime(2026, 12, 8, 14, 0), 0);
        meter.profile.pointer = 0x0400;
        QCOMPARE(statusOf(exchange(meter, openChannel(1), 0)), 0);
        const std::uint32_t start = activeImport(meter, 0);
        // A request a minute through a slice, then nothing for a while.
        for (qint64 t = Minute; t <= 30 * Minute; t += Minute)
            exchange(meter, wireHex("0100"), t);
        const double kWh = (activeImport(meter, 90 * Minute) - start) * 0.0001 * 4;
        QVERIFY2(kWh > 1.3 * 1.5 && kWh < 1.9 * 1.5, qPrintable(QString::number(kWh)));

        // Three 30-minute records, each showing the average power in kW.
        for (int record = 0; record < 3; ++record) {
            const int pointer = 0x0400 + 8 * record;
            const QByteArray request = QByteArray::fromHex("010603") + QByteArray(1, char(pointer >> 8))
                + QByteArray(1, char(pointer & 0xFF)) + QByteArray(1, '\x08');
            const QByteArray answer = exchange(meter, wire(request), 90 * Minute);
            QCOMPARE(answer.size(), 11);
            const double kW = bigEndian(answer, 1, 2) * 3 * 0.008 / 30;
            QVERIFY2(kW > 1.3 && kW < 1.9, qPrintable(QString::number(kW)));
            QCOMPARE(bigEndian(answer, 3, 2), 0u);
            QVERIFY(bigEndian(answer, 5, 2) > 0);
        }
    }

    void previousDayFollowsMidnight()
    {
        Set4tmDevice meter(1);
        meter.idleCloseMs = 24 * 60 * Minute;
        meter.setClock(meterTime(2026, 12, 8, 23, 50), 0);
        QCOMPARE(statusOf(exchange(meter, openChannel(1), 0)), 0);
        const std::uint32_t start = activeImport(meter, 0);
        const std::uint32_t later = activeImport(meter, 20 * Minute);
        const std::uint32_t yesterday = activeImport(meter, 20 * Minute, "01055000");
        // Up to midnight: about half of the 20 minutes.
        QVERIFY(later > start);
        QVERIFY2(yesterday > (later - start) * 0.35 && yesterday < (later - start) * 0.65,
                 qPrintable(QStringLiteral("%1 of %2").arg(yesterday).arg(later - start)));
    }

    void auxSignBits_data()
    {
        QTest::addColumn<int>("selector");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QByteArray>("word");
        QTest::newRow("P import") << 0x00 << qint64(1000) << QByteArray::fromHex("0003E8");
        QTest::newRow("P export") << 0x00 << qint64(-1000) << QByteArray::fromHex("8003E8");
        QTest::newRow("Q inductive") << 0x04 << qint64(1000) << QByteArray::fromHex("0003E8");
        QTest::newRow("Q capacitive") << 0x04 << qint64(-1000) << QByteArray::fromHex("4003E8");
        QTest::newRow("P beyond 22 bits") << 0x00 << qint64(-0x500000) << QByteArray::fromHex("BFFFFF");
        QTest::newRow("Q beyond 22 bits") << 0x04 << qint64(0x500000) << QByteArray::fromHex("3FFFFF");
    }
    void auxSignBits()
    {
        QFETCH(int, selector);
        QFETCH(qint64, value);
        QFETCH(QByteArray, word);
        auto meter = frozenMeter();
        (selector == 0 ? meter->aux.activePower : meter->aux.reactivePower) = value;
        const QByteArray answer = readAux(*meter, static_cast<std::uint8_t>(selector), 0);
        QCOMPARE(answer, wire(QByteArray(1, '\x01') + word));
        // The window's own sign rule agrees with the sign of the value.
        QCOMPARE(shownAux(answer, static_cast<std::uint8_t>(selector)) < 0, value < 0);
    }

    // Exported power: A- and the P sign bit, cos phi stays unsigned.
    void exportingLoad()
    {
        Set4tmDevice meter(1);
        meter.idleCloseMs = 24 * 60 * Minute;
        meter.load.exporting = true;
        meter.setClock(meterTime(2026, 12, 8, 14, 0), 0);
        meter.energy = {};
        QCOMPARE(statusOf(exchange(meter, openChannel(1), 0)), 0);
        exchange(meter, wireHex("0100"), 1);
        const QByteArray energy = exchange(meter, wireHex("01050000"), 60 * Minute);
        QCOMPARE(energy.size(), 19);
        QCOMPARE(bigEndian(energy, 1, 4), 0u);
        QVERIFY(bigEndian(energy, 5, 4) > 0);
        QVERIFY(shownAux(readAux(meter, 0x00, 60 * Minute), 0x00) < 0);
        QCOMPARE(static_cast<std::uint8_t>(readAux(meter, 0x30, 60 * Minute).at(1)) & 0xC0, 0);
    }

    void busyFault()
    {
        auto meter = frozenMeter();
        meter->faults.busy = 1.0;
        QCOMPARE(exchange(*meter, wireHex("01030507"), 0), wireHex("0104"));
        QCOMPARE(meter->address(), std::uint8_t(1));

        auto countBusy = [](std::uint32_t seed, QVector<int> &which) {
            auto m = frozenMeter();
            m->liveSeed = seed;
            m->faults.busy = 0.25;
            for (int i = 0; i < 2000; ++i)
                if (statusOf(exchange(*m, wireHex("0100"), 0)) == 4)
                    which.append(i);
        };
        QVector<int> first, again, other;
        countBusy(3, first);
        countBusy(3, again);
        countBusy(4, other);
        QVERIFY2(first.size() > 400 && first.size() < 600, qPrintable(QString::number(first.size())));
        QCOMPARE(again, first);
        QVERIFY(other != first);
    }

    void describeFrames_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("isAnswer");
        QTest::addColumn<QString>("text");
        QTest::newRow("open channel") << openChannel(1) << false << QStringLiteral("СЭТ-4ТМ: открытие канала");
        QTest::newRow("body only") << QByteArray::fromHex("0000") << false << QStringLiteral("СЭТ-4ТМ: тест канала");
        QTest::newRow("voltage read") << wireHex("01081112") << false << QStringLiteral("СЭТ-4ТМ: чтение Ub");
        QTest::newRow("address write") << wireHex("01030507") << false << QStringLiteral("СЭТ-4ТМ: запись сетевого адреса := 7");
        QTest::newRow("wrong password") << wireHex("0103") << true << QStringLiteral("СЭТ-4ТМ: статус 03 (неверный пароль)");
        QTest::newRow("energy answer") << wire(QByteArray(17, '\x01')) << true << QStringLiteral("СЭТ-4ТМ: ответ: энергия");
        QTest::newRow("one byte") << QByteArray::fromHex("01") << false << QString();
    }
    void describeFrames()
    {
        QFETCH(QByteArray, frame);
        QFETCH(bool, isAnswer);
        QFETCH(QString, text);
        QCOMPARE(Set4tmDevice(1).describe(frame, isAnswer), text);
    }

    void options_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("password") << "password" << "649283" << true;
        QTest::newRow("password too long") << "password" << "1234567" << false;
        QTest::newRow("baud") << "baud" << "19200" << true;
        QTest::newRow("baud 4800") << "baud" << "4800" << false;
        QTest::newRow("minutes 7") << "minutes" << "7" << false;
        QTest::newRow("ku") << "ku" << "100" << true;
        QTest::newRow("ku 0") << "ku" << "0" << false;
        QTest::newRow("rating") << "rating" << "57" << true;
        QTest::newRow("cos 1.5") << "cos" << "1.5" << false;
        QTest::newRow("minutems") << "minutems" << "1000" << true;
        QTest::newRow("minutems 0") << "minutems" << "0" << false;
        QTest::newRow("unknown") << "colour" << "red" << false;
    }
    void options()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(bool, accepted);
        Set4tmDevice meter(1);
        const QByteArray password = meter.password;
        QCOMPARE(meter.setOption(key, value), accepted);
        if (key == QLatin1String("password"))
            QCOMPARE(meter.password, accepted ? value.toLatin1() : password);
        if (key == QLatin1String("baud"))
            QCOMPARE(meter.baudRate(), accepted ? value.toInt() : 9600);
        if (key == QLatin1String("rating"))
            QCOMPARE(meter.aux.voltage[0], 5770u);
        if (key == QLatin1String("minutems"))
            QCOMPARE(meter.minuteMs(), accepted ? value.toLongLong() : 60000);
    }
};

QTEST_GUILESS_MAIN(TestSet4tmBehaviour)
#include "test_set4tm_behaviour.moc"
