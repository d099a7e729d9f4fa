#include "charts/readinglog.h"

#include <QtTest>

#include <clocale>
#include <cstdlib>
#include <ctime>

using namespace charts;

namespace {
qint64 utc(int hour, int minute, int second, int ms)
{
    return QDateTime(QDate(2026, 3, 5), QTime(hour, minute, second, ms), QTimeZone::utc()).toMSecsSinceEpoch();
}

Reading reading(const QString &quantity, const QString &unit, double value, bool state = false)
{
    Reading r;
    r.quantity = quantity;
    r.unit = unit;
    r.value = value;
    r.state = state;
    return r;
}

void setZone(const char *tz)
{
    qputenv("TZ", tz);
    tzset();
}
} // namespace

class TestReadingLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Whatever the locale says, the log keeps a decimal point.
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        std::setlocale(LC_ALL, "ru_RU.UTF-8"); // where the machine has it
        setZone("MSK-3");
    }

    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    void timeIsLocalWithOffsetAndMilliseconds_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<qint64>("time");
        QTest::addColumn<QString>("text");
        QTest::newRow("east of UTC") << QByteArray("MSK-3") << utc(11, 2, 3, 250)
                                     << QStringLiteral("2026-03-05T14:02:03.250+03:00");
        QTest::newRow("west of UTC, previous day") << QByteArray("EST5") << utc(2, 0, 0, 7)
                                                   << QStringLiteral("2026-03-04T21:00:00.007-05:00");
        QTest::newRow("whole second") << QByteArray("MSK-3") << utc(20, 59, 59, 0)
                                      << QStringLiteral("2026-03-05T23:59:59.000+03:00");
    }
    void timeIsLocalWithOffsetAndMilliseconds()
    {
        QFETCH(QByteArray, zone);
        QFETCH(qint64, time);
        QFETCH(QString, text);
        setZone(zone.constData());
        QCOMPARE(isoTime(time), text);
        setZone("MSK-3");
    }

    void valuesKeepADecimalPointAndTheirDigits_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("fraction") << 12.5 << QByteArray("12.5");
        QTest::newRow("whole") << 230.0 << QByteArray("230");
        QTest::newRow("negative") << -0.25 << QByteArray("-0.25");
        QTest::newRow("tenth stays short") << 0.1 << QByteArray("0.1");
        QTest::newRow("fifteen digits") << 49.9876543210123 << QByteArray("49.9876543210123");
        QTest::newRow("beyond fifteen rounded") << 0.1 + 0.2 << QByteArray("0.3");
        QTest::newRow("small") << 1e-7 << QByteArray("1e-07");
        QTest::newRow("large") << 123456789012.0 << QByteArray("123456789012");
    }
    void valuesKeepADecimalPointAndTheirDigits()
    {
        QFETCH(double, value);
        QFETCH(QByteArray, text);
        QCOMPARE(logValue(value), text);
    }

    void csvHasAHeaderAndOneLinePerReadingInTimeOrder()
    {
        ReadingStream stream;
        qint64 now = utc(11, 2, 3, 250);
        stream.setClock([&now] { return now; });
        SeriesStore store;
        store.listen(stream);
        stream.beginTest();
        stream.publish({reading("Ia", "А", 12.5), reading("T1", "°C", -3.25), reading("Авария", "", 1, true)});
        now += 100;
        stream.publish({reading("Ia", "А", 12.75), reading("cos φ", "", 0.98)});
        now += 1000;
        stream.publish({reading("Ia", "А", 1000), reading("Авария", "", 0, true), reading("T1", "°C", -3.5)});
        stream.endTest();

        const QByteArray expected = "Время,Величина,Единица,Значение\r\n"
                                    "2026-03-05T14:02:03.250+03:00,Ia,\xD0\x90,12.5\r\n"
                                    "2026-03-05T14:02:03.250+03:00,T1,\xC2\xB0""C,-3.25\r\n"
                                    "2026-03-05T14:02:03.250+03:00,\xD0\x90\xD0\xB2\xD0\xB0\xD1\x80\xD0\xB8\xD1\x8F,,1\r\n"
                                    "2026-03-05T14:02:03.350+03:00,Ia,\xD0\x90,12.75\r\n"
                                    "2026-03-05T14:02:03.350+03:00,cos \xCF\x86,,0.98\r\n"
                                    "2026-03-05T14:02:04.350+03:00,Ia,\xD0\x90,1000\r\n"
                                    "2026-03-05T14:02:04.350+03:00,T1,\xC2\xB0""C,-3.5\r\n"
                                    "2026-03-05T14:02:04.350+03:00,\xD0\x90\xD0\xB2\xD0\xB0\xD1\x80\xD0\xB8\xD1\x8F,,0\r\n";
        // The header in UTF-8 as well.
        QVERIFY(expected.startsWith(QStringLiteral("Время,Величина").toUtf8()));
        QCOMPARE(csvBytes(store), expected);
    }

    void csvQuotesFieldsWithSeparators()
    {
        SeriesStore store;
        Reading r = reading("Uab, \"линейное\"", "В", 400);
        r.timeMs = utc(0, 0, 0, 0);
        store.add({r});
        QCOMPARE(csvBytes(store).split('\n').value(1),
                 QByteArray("2026-03-05T03:00:00.000+03:00,\"Uab, \"\"\xD0\xBB\xD0\xB8\xD0\xBD\xD0\xB5\xD0\xB9\xD0\xBD\xD0"
                            "\xBE\xD0\xB5\"\"\",\xD0\x92,400\r"));
    }

    void csvOfAFullStoreHoldsEveryKeptReading()
    {
        SeriesStore store(50);
        for (int i = 0; i < 80; ++i) {
            Reading a = reading("Ua", "В", i);
            Reading b = reading("Вход 1", "", i % 2, true);
            a.timeMs = b.timeMs = utc(10, 0, 0, 0) + 100 * i;
            store.add({a, b});
        }
        const QList<QByteArray> lines = csvBytes(store).split('\n');
        QCOMPARE(lines.size(), 1 + 100 + 1); // header, the kept readings, the empty rest after the last line end
        QVERIFY(lines.at(1).endsWith(",Ua,\xD0\x92,30\r")); // the 30 oldest were dropped
        QVERIFY(lines.at(100).endsWith(",\xD0\x92\xD1\x85\xD0\xBE\xD0\xB4 1,,1\r"));
    }
};

QTEST_GUILESS_MAIN(TestReadingLog)
#include "test_readinglog.moc"
