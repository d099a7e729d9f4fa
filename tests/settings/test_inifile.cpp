#include "settings/inifile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QStringList lines(const char *text)
{
    return QString::fromUtf8(text).split(QLatin1Char('\n'));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QString errorText(const std::function<void()> &action)
{
    try {
        action();
    } catch (const EIniWriteError &e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void writesKeepOtherLines_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("replace in place") << lines("; mine\n[A]\nx=1\ny = 2\nz=3\n[B]\ny=9")
                                          << "A" << "y" << "5"
                                          << lines("; mine\n[A]\nx=1\ny=5\nz=3\n[B]\ny=9");
        QTest::newRow("any case") << lines("[tfOrvekConfigurator]\nRXSPINEDIT1_VALUE=3") << "TFOrvekConfigurator"
                                  << "RxSpinEdit1_Value" << "4" << lines("[tfOrvekConfigurator]\nRxSpinEdit1_Value=4");
        QTest::newRow("new key ends its section") << lines("[A]\nx=1\n\n[B]\ny=2") << "A" << "n" << "7"
                                                  << lines("[A]\nx=1\nn=7\n\n[B]\ny=2");
        QTest::newRow("new key in last section") << lines("[A]\nx=1\n[B]\ny=2") << "B" << "n" << "7"
                                                 << lines("[A]\nx=1\n[B]\ny=2\nn=7");
        QTest::newRow("new key in empty section") << lines("[A]\n[B]") << "A" << "n" << "7"
                                                  << lines("[A]\nn=7\n[B]");
        QTest::newRow("new section at the end") << lines("[A]\nx=1") << "C" << "k" << "v"
                                                << lines("[A]\nx=1\n[C]\nk=v");
        QTest::newRow("empty file") << QStringList() << "C" << "k" << "v" << lines("[C]\nk=v");
        QTest::newRow("first of two sections") << lines("[A]\nx=1\n[a]\nx=2") << "A" << "x" << "3"
                                               << lines("[A]\nx=3\n[a]\nx=2");
        QTest::newRow("same key in another section") << lines("[B]\nx=1\n[A]") << "A" << "x" << "2"
                                                     << lines("[B]\nx=1\n[A]\nx=2");
        QTest::newRow("comment is no key") << lines("[A]\n;x=1") << "A" << "x" << "2" << lines("[A]\n;x=1\nx=2");
        QTest::newRow("blank-padded header") << lines("  [ A ]  \nx=1") << "A" << "x" << "2"
                                             << lines("  [ A ]  \nx=2");
    }
    void writesKeepOtherLines()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QStringList, after);
        QCOMPARE(IniFile::applyWrites(before, section, {{key, value}}), after);
    }

    void lookupMatchesAnyCaseAndTrims_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("value");
        QTest::newRow("exact") << "Main" << "Port" << true << "3";
        QTest::newRow("any case") << "MAIN" << "port" << true << "3";
        QTest::newRow("blanks around") << "Main" << "Timeout" << true << "300";
        QTest::newRow("equals in value") << "Main" << "Expr" << true << "a=b";
        QTest::newRow("other section") << "Main" << "Only" << false << "";
        QTest::newRow("comment") << "Main" << "Hidden" << false << "";
        QTest::newRow("no section") << "Nope" << "Port" << false << "";
    }
    void lookupMatchesAnyCaseAndTrims()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(bool, found);
        QFETCH(QString, value);
        const QStringList text = lines("[Main]\nPort=3\n  Timeout \t=  300  \nExpr=a=b\nEmpty=\n;Hidden=1\n"
                                       "[Other]\nOnly=1\n[main]\nPort=99");
        bool wasFound = !found;
        QCOMPARE(IniFile::lookup(text, section, key, &wasFound), value);
        QCOMPARE(wasFound, found);
    }

    void realsInGeneralFormat_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("poll timeout") << 300.0 << "300";
        QTest::newRow("coefficient") << 0.8 << "0.8";
        QTest::newRow("largest test count") << 100000.0 << "100000";
        QTest::newRow("sensor's largest count") << 1000000.0 << "1000000";
        QTest::newRow("baud rate") << 115200.0 << "115200";
        QTest::newRow("negative fraction") << -2.5 << "-2.5";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("shortest that reads back") << 0.1 + 0.2 << "0.30000000000000004";
        QTest::newRow("fraction and whole part") << 12345.678 << "12345.678";
        QTest::newRow("smallest without exponent") << 0.0001 << "0.0001";
        QTest::newRow("small with exponent") << 0.00001 << "1e-05";
        QTest::newRow("18 whole digits") << 1e17 << "100000000000000000";
        QTest::newRow("19 whole digits") << 1e18 << "1e+18";
        QTest::newRow("large with fraction digits") << 1.5e20 << "1.5e+20";
        QTest::newRow("16 whole digits") << 9007199254740993.0 << "9007199254740992";
    }
    void realsInGeneralFormat()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        // The separator is "." whatever the locale.
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        const QString written = IniReal(value);
        QLocale::setDefault(QLocale::c());
        QCOMPARE(written, text);
        bool ok = false;
        QCOMPARE(written.toDouble(&ok), value);
        QVERIFY(ok);
    }

    void fileRoundTripKeepsForeignBytes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sub/folder/OrvekConfigurator.ini"));
        IniFile ini(path);
        QCOMPARE(ini.ReadString("A", "x", "fallback"), QStringLiteral("fallback"));
        QVERIFY(ini.ReadSection("A").empty());
        ini.WriteString("A", "x", "1"); // creates the folders
        QCOMPARE(readAll(path), QByteArray("[A]\r\nx=1\r\n"));

        // A comment in another 8-bit code page survives a rewrite byte for byte.
        const QByteArray foreign = QByteArray::fromHex("3bcff0eee1e0") + "\n[A]\nx=1\ny=\xe9\n";
        writeAll(path, foreign);
        QCOMPARE(ini.ReadString("A", "y"), QStringLiteral("é"));
        ini.WriteStrings("A", {{"x", "2"}, {"z", "3"}});
        QCOMPARE(readAll(path), QByteArray::fromHex("3bcff0eee1e0") + "\r\n[A]\r\nx=2\r\ny=\xe9\r\nz=3\r\n");
        const IniFile::Entries expected{{"x", "2"}, {"y", QStringLiteral("é")}, {"z", "3"}};
        QVERIFY(ini.ReadSection("a") == expected);
    }

    void readOnlyFileIsNotWritten()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("OrvekConfigurator.ini"));
        writeAll(path, "[A]\r\nx=1\r\n");
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        IniFile ini(path);
        QCOMPARE(errorText([&] { ini.WriteString("A", "x", "2"); }), QStringLiteral("Unable to write to ") + path);
        QCOMPARE(readAll(path), QByteArray("[A]\r\nx=1\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"OrvekConfigurator.ini"});
    }

    void folderThatCannotBeMadeIsAnError()
    {
        QTemporaryDir dir;
        writeAll(dir.filePath("plain"), "x");
        const QString path = dir.filePath(QStringLiteral("plain/OrvekConfigurator.ini"));
        QCOMPARE(errorText([&] { IniFile(path).WriteString("A", "x", "2"); }),
                 QStringLiteral("Unable to write to ") + path);
    }

    void readOnlyFolderKeepsTheOldFile()
    {
        if (geteuid() == 0)
            QSKIP("root writes into read-only folders; failedWriteKeepsTheOldFile covers a failing write");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("OrvekConfigurator.ini"));
        writeAll(path, "[A]\r\nx=1\r\n");
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const QString error = errorText([&] { IniFile(path).WriteString("A", "x", "2"); });
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(error, QStringLiteral("Unable to write to ") + path);
        QCOMPARE(readAll(path), QByteArray("[A]\r\nx=1\r\n"));
    }

    // A write that stops half way (here: the file size limit, which binds root
    // too, as a full disk would) leaves the old file whole and no debris.
    void failedWriteKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("OrvekConfigurator.ini"));
        const QByteArray old = "[A]\r\nx=1\r\n";
        writeAll(path, old);

        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 64;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const QString error = errorText([&] { IniFile(path).WriteString("A", "x", QString(4096, QLatin1Char('9'))); });
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(error, QStringLiteral("Unable to write to ") + path);
        QCOMPARE(readAll(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"OrvekConfigurator.ini"});
    }

    void defaultPathFollowsXdgConfigHome()
    {
        const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
        const QByteArray savedHome = qgetenv("HOME");
        qputenv("HOME", "/home/engineer");
        qputenv("XDG_CONFIG_HOME", "/srv/conf");
        const QString fromXdg = IniFile::defaultPath();
        qputenv("XDG_CONFIG_HOME", "relative/conf");
        const QString fromRelative = IniFile::defaultPath();
        qunsetenv("XDG_CONFIG_HOME");
        const QString fromHome = IniFile::defaultPath();
        qputenv("HOME", savedHome);
        qputenv("XDG_CONFIG_HOME", savedXdg);
        QCOMPARE(fromXdg, QStringLiteral("/srv/conf/OrvekConfigurator.ini"));
        QCOMPARE(fromRelative, QStringLiteral("/home/engineer/.config/OrvekConfigurator.ini"));
        QCOMPARE(fromHome, QStringLiteral("/home/engineer/.config/OrvekConfigurator.ini"));
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_inifile.moc"
