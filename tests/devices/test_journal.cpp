#include "devices/krvprotocol.h"
#include "devices/testjournal.h"
#include "support/testdisk.h"

#include <QLocale>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {
QStringList summary(int count, qint32 sent, qint32 accepted, qint32 errors)
{
    TestCounters c;
    c.sent = sent;
    c.accepted = accepted;
    c.errors = errors;
    return SummaryLines(QStringLiteral("KRV-A"), {QStringLiteral("Код: 12")}, count, 300, c);
}

QString lineStarting(const QStringList &lines, const QString &prefix)
{
    for (const QString &l : lines)
        if (l.startsWith(prefix))
            return l;
    return QStringLiteral("<none>");
}
} // namespace

class TestJournal : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void summaryLayout()
    {
        const QStringList lines = summary(1000, 1001, 1000, 0);
        const QStringList expected = {QString(),
                                      QStringLiteral("[КОНФИГУРАЦИЯ KRV-A]"),
                                      QStringLiteral("Код: 12"),
                                      QString(),
                                      QStringLiteral("[ДИАГНОСТИКА KRV-A]"),
                                      QStringLiteral("Количество тестовых посылок: 1000"),
                                      QStringLiteral("Интервал опроса: 300мсек."),
                                      QStringLiteral("Отправлено посылок: 1000"),
                                      QStringLiteral("Принято без ошибок: 1000"),
                                      QStringLiteral("Принято с ошибками: 0"),
                                      QStringLiteral("Утеряно посылок: 0")};
        QCOMPARE(lines, expected);
    }

    void sentAndLost_data()
    {
        QTest::addColumn<int>("sent");
        QTest::addColumn<int>("accepted");
        QTest::addColumn<int>("errors");
        QTest::addColumn<QString>("sentLine");
        QTest::addColumn<QString>("lostLine");
        QTest::newRow("stopped before any tick") << 0 << 0 << 0 << "Отправлено посылок: 0" << "Утеряно посылок: 0";
        QTest::newRow("last answer outstanding") << 51 << 40 << 5 << "Отправлено посылок: 50"
                                                 << "Утеряно посылок: 5";
        QTest::newRow("all evaluated") << 10 << 7 << 3 << "Отправлено посылок: 10" << "Утеряно посылок: 0";
        QTest::newRow("bytes before the first request") << 3 << 3 << 1 << "<none>" << "<none>";
        QTest::newRow("nothing answered") << 1001 << 0 << 0 << "Отправлено посылок: 1000"
                                          << "Утеряно посылок: 1000";
        QTest::newRow("counters near the 32-bit limit")
            << std::numeric_limits<qint32>::max() << std::numeric_limits<qint32>::max() - 1 << 0
            << "Отправлено посылок: 2147483646" << "Утеряно посылок: 0";
    }
    void sentAndLost()
    {
        QFETCH(int, sent);
        QFETCH(int, accepted);
        QFETCH(int, errors);
        QFETCH(QString, sentLine);
        QFETCH(QString, lostLine);
        const QStringList lines = summary(1000, sent, accepted, errors);
        QCOMPARE(lineStarting(lines, QStringLiteral("Отправлено")), sentLine);
        QCOMPARE(lineStarting(lines, QStringLiteral("Утеряно")), lostLine);
        QCOMPARE(lineStarting(lines, QStringLiteral("Принято без")), QStringLiteral("Принято без ошибок: %1").arg(accepted));
    }

    void generalFormat_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("version 1.05") << 105 * 0.01 << "1,05";
        QTest::newRow("version 1.2") << 120 * 0.01 << "1,2";
        QTest::newRow("version 1") << 100 * 0.01 << "1";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("current 123.45") << 12345 * 0.01 << "123,45";
        QTest::newRow("largest current") << 4294967295u * 0.01 << "42949672,95";
        QTest::newRow("frequency 49.9") << 499 * 0.1 << "49,9";
        QTest::newRow("voltage class 10") << 65535.0 * 99 << "6487965";
    }
    void generalFormat()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(FormatGeneral(value), text);
    }

    void reportName()
    {
        QCOMPARE(ReportFileName(QStringLiteral("KRV-"), QDate(2026, 12, 8)), QStringLiteral("KRV-8-12-2026.log"));
        QCOMPARE(ReportFileName(QStringLiteral("ZDLT-"), QDate(2027, 1, 31)), QStringLiteral("ZDLT-31-1-2027.log"));
    }

    void reportBytesAreCp1251WithCrLf()
    {
        bool ok = false;
        const QByteArray bytes = ReportBytes({QStringLiteral("Тест запущен в 14:05:33"), QString(), QStringLiteral("->01")}, &ok);
        QVERIFY(ok);
        // "Т" is 0xD2 and "е" 0xE5 in Windows-1251.
        QVERIFY(bytes.startsWith(QByteArray::fromHex("D2E5F1F220")));
        QVERIFY(bytes.endsWith("\r\n\r\n->01\r\n"));
        QCOMPARE(bytes.count('\n'), 3);
        QCOMPARE(bytes.count('\r'), 3);
        QStringDecoder decode("windows-1251");
        QVERIFY(decode.isValid());
        QCOMPARE(QString(decode(bytes)), QStringLiteral("Тест запущен в 14:05:33\r\n\r\n->01\r\n"));
    }

    void failedReportKeepsThePreviousFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("KRV-1-1-2026.log"));
        QString error;
        QVERIFY(WriteReport(path, {QStringLiteral("первый")}, &error));
        QVERIFY(WriteReport(path, {QStringLiteral("второй")}, &error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QStringEncoder("windows-1251").encode(QStringLiteral("второй\r\n")));
        file.close();

        // A folder that cannot be written: the write fails, says why, and the old report stays.
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const bool failed = !WriteReport(path, {QStringLiteral("третий")}, &error);
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        if (geteuid() != 0) { // root writes anywhere
            QVERIFY(failed);
            QVERIFY(!error.isEmpty());
        }
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray now = file.readAll();
        QVERIFY(now == QStringEncoder("windows-1251").encode(QStringLiteral("второй\r\n"))
                || (!failed && now == QStringEncoder("windows-1251").encode(QStringLiteral("третий\r\n"))));
    }

    // A report that cannot be written whole leaves the old one byte for byte, says
    // why, and is not where the next report is proposed.
    void reportThatCannotBeWritten_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("full disk") << int(TestDisk::Tmpfs) << "full" << "На диске нет свободного места.";
        QTest::newRow("file size limit") << int(TestDisk::SizeLimit) << "full" << "Файл слишком велик для этого диска.";
        QTest::newRow("read-only folder") << int(TestDisk::Tmpfs) << "read-only folder"
                                          << "Запись в эту папку запрещена.";
        QTest::newRow("read-only file") << int(TestDisk::SizeLimit) << "read-only file" << "Файл защищен от записи.";
    }
    void reportThatCannotBeWritten()
    {
        QFETCH(int, mode);
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        const QString workingFolder = QDir::currentPath();
        TestDisk disk(static_cast<TestDisk::Mode>(mode));
        if (disk.mode() != mode && fault == QLatin1String("full"))
            QSKIP("no tmpfs can be mounted here; the file size limit row stands in");
        const QString path = disk.filePath(QStringLiteral("KRV-1-1-2026.log"));
        QString message;
        QVERIFY(SaveReport(path, {QStringLiteral("старый отчет")}, &message));
        const QByteArray old = QByteArray::fromHex("f1f2e0f0fbe920eef2f7e5f2") + "\r\n"; // "старый отчет"
        QTemporaryDir other;
        QVERIFY(SaveReport(other.filePath(QStringLiteral("elsewhere.log")), {QStringLiteral("x")}, &message));
        QCOMPARE(ReportFolder(), QFileInfo(other.path()).absoluteFilePath());
        QCOMPARE(QDir::currentPath(), workingFolder);

        const QStringList lines(200, QStringLiteral("<-0104280000000000000000000000000000000000000000000000"));
        bool saved = true;
        if (fault == QLatin1String("full")) {
            disk.whileFull([&] { saved = SaveReport(path, lines, &message); });
        } else {
            if (fault == QLatin1String("read-only file"))
                QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
            else if (!disk.makeReadOnly())
                QSKIP("root without a tmpfs writes into any folder");
            saved = SaveReport(path, lines, &message);
        }
        QVERIFY(!saved);
        QCOMPARE(message, QStringLiteral("Не удалось записать отчет в файл ") + path + QStringLiteral(":\r") + reason);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), old);
        QCOMPARE(disk.files(), QStringList{QStringLiteral("KRV-1-1-2026.log")});
        QCOMPARE(ReportFolder(), QFileInfo(other.path()).absoluteFilePath());
        QVERIFY(other.remove()); // as a USB stick pulled out
        QCOMPARE(ReportFolder(), workingFolder);
    }

    void krvIdentification()
    {
        const std::uint8_t rx[] = {0x01, 0x04, 0x06, 0x00, 0x0C, 0x00, 0x02, 0x00, 0x69, 0x00, 0x00};
        const krv::Identification id = krv::decodeIdentification(rx, 11);
        QCOMPARE(id.code, 12);
        QCOMPARE(id.model, 2);
        QCOMPARE(FormatGeneral(id.version), QStringLiteral("1,05"));
        const std::uint8_t zero[] = {0x01, 0x04, 0x06, 0x00, 0x0C, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00};
        QCOMPARE(FormatGeneral(krv::decodeIdentification(zero, 11).version), QStringLiteral("0"));
    }

    void krvReading()
    {
        std::uint8_t rx[45] = {0x01, 0x04, 40};
        rx[3] = 0x80; // bit 15
        rx[4] = 0x21; // bits 5 and 0
        const std::uint8_t ia[] = {0x00, 0x00, 0x30, 0x39};        // 12345 -> 123,45 A
        const std::uint8_t tripIo[] = {0xFF, 0xFF, 0xFF, 0xFF};    // largest value
        std::copy(std::begin(ia), std::end(ia), rx + 5);
        std::copy(std::begin(tripIo), std::end(tripIo), rx + 39);
        const krv::Reading r = krv::decodeReading(rx, 45);
        QCOMPARE(int(r.status), 0x8021);
        QCOMPARE(FormatGeneral(r.currents[0]), QStringLiteral("123,45"));
        QCOMPARE(FormatGeneral(r.currents[7]), QStringLiteral("42949672,95"));
        QCOMPARE(FormatGeneral(r.currents[1]), QStringLiteral("0"));
        // A short (exception) answer: nothing past it is read.
        const krv::Reading shortAnswer = krv::decodeReading(rx, 5);
        QCOMPARE(int(shortAnswer.status), 0x8021);
        QCOMPARE(shortAnswer.currents[0], 0.0);
        QCOMPARE(krv::baudCode(9600), std::uint16_t(3));
        QCOMPARE(krv::baudCode(19200), std::uint16_t(4));
    }
};

QTEST_GUILESS_MAIN(TestJournal)
#include "test_journal.moc"
