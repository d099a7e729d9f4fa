#include "meter/set4tm_wire.h"

#include "bus/requestlayer.h"
#include "meter/set4tmpoll.h"

#include <QLocale>
#include <QtTest>

using namespace set4tmtest;
using set4tm::ProfileFollower;

namespace {
// A profile pointer answer: the BCD stamp (minutes, hours, day, month, year), then the pointer.
QByteArray pointerAnswer(const char *minuteHourDayMonthYear, std::uint16_t pointer)
{
    QByteArray body = QByteArray::fromHex("01") + QByteArray::fromHex(minuteHourDayMonthYear);
    body.append(static_cast<char>(pointer >> 8)).append(static_cast<char>(pointer & 0xFF));
    return wire(body);
}

set4tm::Scaling scaling(const QString &minutes = QStringLiteral("30"))
{
    return set4tm::Scaling::fromFields(QStringLiteral("1"), QStringLiteral("1"), minutes, 1);
}

// A follower that has read 08.12.2026 14:00 at pointer 0x0100.
ProfileFollower followerAt1400()
{
    ProfileFollower f;
    f.start();
    const QByteArray initial = pointerAnswer("0014081226", 0x0100);
    f.takeInitialPointer(bytesOf(initial), sizeOf(initial));
    return f;
}
} // namespace

class TestSet4tmPoll : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    // The cycle: request for address 5, the one answer length accepted, the successor.
    void pollCycle_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("next");
        const char *bodies[] = {"05055000", "05050000", "05081111", "05081112", "05081113", "05081121", "05081122",
                                "05081123", "05081140", "05081130", "05081100", "05081104", "050804"};
        const int lengths[] = {19, 19, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 10};
        for (int step = 1; step <= 13; ++step)
            QTest::addRow("step %d", step) << step << QByteArray::fromHex(bodies[step - 1]) << lengths[step - 1]
                                           << (step == 13 ? 1 : step + 1);
        QTest::newRow("step 14, at the last pointer") << 14 << QByteArray::fromHex("050603010008") << 11 << 1;
    }
    void pollCycle()
    {
        QFETCH(int, step);
        QFETCH(QByteArray, body);
        QFETCH(int, length);
        QFETCH(int, next);
        RequestLayer layer;
        set4tm::pollRequest(step, 5, followerAt1400()).frameInto(layer);
        QCOMPARE(layer.txBytes().toHex(), wire(body).toHex());
        QCOMPARE(set4tm::pollAnswerLength(step), length);
        QCOMPARE(set4tm::nextPollStep(step), next);
    }

    // A test answer counts only with its exact length and a correct CRC; no status rule.
    void testAnswers_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("pointer") << 13 << pointerAnswer("0014081226", 0x0100) << true;
        QTest::newRow("pointer, a byte more") << 13 << wireHex("010014081226010000") << false;
        QTest::newRow("pointer, status 0") << 13 << wireHex("0100") << false;
        QTest::newRow("pointer, wrong CRC") << 13 << QByteArray::fromHex("01001408122601000000") << false;
        QTest::newRow("energy") << 1 << wire(QByteArray(17, '\x01')) << true;
        QTest::newRow("voltage as a record") << 14 << wireHex("010059D8") << false;
    }
    void testAnswers()
    {
        QFETCH(int, step);
        QFETCH(QByteArray, answer);
        QFETCH(bool, accepted);
        RequestLayer layer;
        layer.VaComm1RxBuf(answer);
        QCOMPARE(set4tm::acceptsPollAnswer(step, layer), accepted);
    }

    void recordAfterOnePeriod()
    {
        ProfileFollower f = followerAt1400();
        const QByteArray next = pointerAnswer("3014081226", 0x0108);
        const ProfileFollower::Check check = f.checkPointer(bytesOf(next), sizeOf(next), scaling());
        QVERIFY(check.readRecord);
        QVERIFY(check.journal.isEmpty());
        QCOMPARE(set4tm::nextPollStep(13, check.readRecord), 14);
        QCOMPARE(f.lastPointer(), std::uint16_t(0x0100)); // kept until the record has been read

        const QByteArray record = wireHex("01" "04E2" "0271" "0000" "FFFF");
        const set4tm::ProfileRow row = f.takeRecord(bytesOf(record), sizeOf(record), scaling());
        QCOMPARE(row.cells(), (QStringList{"08.12.2026", "14:00:00", "1", "0,5", "0", "52,428"}));
        QCOMPARE(f.lastPointer(), std::uint16_t(0x0108));
        QCOMPARE(f.lastStamp(), QDateTime(QDate(2026, 12, 8), QTime(14, 30), Qt::UTC));
    }

    // The row still stands for the record when the ratios are unknown, and the pointer moves on.
    void recordWithUnknownRatios()
    {
        ProfileFollower f = followerAt1400();
        const QByteArray next = pointerAnswer("3014081226", 0x0108);
        QVERIFY(f.checkPointer(bytesOf(next), sizeOf(next), scaling()).readRecord);
        const QByteArray record = wireHex("01" "04E2" "0000" "0000" "0000");
        const auto unknown = set4tm::Scaling::fromFields(QStringLiteral("????"), QStringLiteral("1"), QStringLiteral("30"), 1);
        QCOMPARE(f.takeRecord(bytesOf(record), sizeOf(record), unknown).cells(),
                 (QStringList{"08.12.2026", "14:00:00", "", "", "", ""}));
        QCOMPARE(f.lastPointer(), std::uint16_t(0x0108));
    }

    void pointerJumps_data()
    {
        QTest::addColumn<bool>("initialRead");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("journal");
        QTest::newRow("two periods on") << true << pointerAnswer("0015081226", 0x0110)
                                        << QStringList{"Физический адрес: 0100",
                                                       "Дата и Время: 08.12.2026 14:00:00",
                                                       "Физический адрес(нов): 0110",
                                                       "Дата и Время(нов): 08.12.2026 15:00:00",
                                                       "power_str_time = 14:30:00",
                                                       "next_power_str_time = 15:00:00"};
        QTest::newRow("to midnight") << true << pointerAnswer("0000091226", 0x0150)
                                     << QStringList{"Физический адрес: 0100",
                                                    "Дата и Время: 08.12.2026 14:00:00",
                                                    "Физический адрес(нов): 0150",
                                                    "Дата и Время(нов): 09.12.2026",
                                                    "power_str_time = 14:30:00",
                                                    "next_power_str_time = 00:00:00"};
        QTest::newRow("after a failed initial read") << false << pointerAnswer("3000091226", 0x0158)
                                                     << QStringList{"Физический адрес: FFFF",
                                                                    "Дата и Время: 30.12.1899",
                                                                    "Физический адрес(нов): 0158",
                                                                    "Дата и Время(нов): 09.12.2026 00:30:00",
                                                                    "power_str_time = 00:30:00",
                                                                    "next_power_str_time = 00:30:00"};
    }
    void pointerJumps()
    {
        QFETCH(bool, initialRead);
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, journal);
        ProfileFollower f;
        if (initialRead)
            f = followerAt1400();
        else
            f.start();
        const ProfileFollower::Check check = f.checkPointer(bytesOf(answer), sizeOf(answer), scaling());
        QVERIFY(!check.readRecord);
        QCOMPARE(check.journal, journal);
        const set4tm::ProfilePointer followed = set4tm::decodeProfilePointer(bytesOf(answer), sizeOf(answer));
        QCOMPARE(f.lastPointer(), followed.pointer);
        QCOMPARE(f.lastStamp(), followed.stamp);
    }

    // A stamp kept from an earlier test does not make a record of "no pointer".
    void noRecordWithoutALastPointer()
    {
        ProfileFollower f = followerAt1400();
        f.start(); // the next test's initial read fails
        const QByteArray next = pointerAnswer("3014081226", 0x0108);
        const ProfileFollower::Check check = f.checkPointer(bytesOf(next), sizeOf(next), scaling());
        QVERIFY(!check.readRecord);
        QCOMPARE(check.journal.value(0), QStringLiteral("Физический адрес: FFFF"));
        QCOMPARE(f.lastPointer(), std::uint16_t(0x0108));
    }

    void unchangedPointerOrUnknownTimeDoNothing_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("minutes");
        QTest::newRow("same pointer") << pointerAnswer("3014081226", 0x0100) << "30";
        QTest::newRow("T unknown") << pointerAnswer("3014081226", 0x0108) << "??";
    }
    void unchangedPointerOrUnknownTimeDoNothing()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, minutes);
        ProfileFollower f = followerAt1400();
        const ProfileFollower::Check check = f.checkPointer(bytesOf(answer), sizeOf(answer), scaling(minutes));
        QVERIFY(!check.readRecord);
        QVERIFY(check.journal.isEmpty());
        QCOMPARE(f.lastPointer(), std::uint16_t(0x0100));
        QCOMPARE(f.lastStamp(), QDateTime(QDate(2026, 12, 8), QTime(14, 0), Qt::UTC));
    }
};

QTEST_GUILESS_MAIN(TestSet4tmPoll)
#include "test_set4tmpoll.moc"
