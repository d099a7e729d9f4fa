#include "bus/linkfactory.h"
#include "bus/portmap.h"
#include "bus/tcp/tcplink.h"
#include "settings/inifile.h"

#include <QTemporaryDir>
#include <QtTest>

// What the link factory makes of an address and the settings file.
class TestLinkFactory : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString ini() const { return dir.filePath(QStringLiteral("OrvekConfigurator.ini")); }

private slots:
    void init() { QFile::remove(ini()); }

    void connectTimeoutFromTheSettingsFile_data()
    {
        QTest::addColumn<QString>("stored"); // empty: no key
        QTest::addColumn<int>("expected");
        QTest::newRow("absent") << QString() << 3000;
        QTest::newRow("set") << "1500" << 1500;
        QTest::newRow("blanks") << " 800 " << 800;
        QTest::newRow("not a number") << "abc" << 3000;
        QTest::newRow("fraction") << "2.5" << 3000;
        QTest::newRow("below the least") << "5" << 100;
        QTest::newRow("zero") << "0" << 100;
        QTest::newRow("negative") << "-4000" << 100;
        QTest::newRow("above the most") << "999999" << 60000;
    }
    void connectTimeoutFromTheSettingsFile()
    {
        QFETCH(QString, stored);
        QFETCH(int, expected);
        if (!stored.isEmpty())
            IniFile(ini()).WriteString(QStringLiteral("Ports"), QStringLiteral("ConnectTimeout"), stored);
        QCOMPARE(ConnectTimeoutMs(ini()), expected);

        // The factory reads it for every link it makes.
        IniFile(ini()).WriteString(QStringLiteral("Ports"), QStringLiteral("COM1"), QStringLiteral("tcp://10.0.0.1:4001"));
        const LinkFactory factory = SettingsLinkFactory([this] { return ini(); });
        std::unique_ptr<BusLink> link = factory(ResolvePort(ini(), 1));
        auto *tcp = qobject_cast<TcpLink *>(link.get());
        QVERIFY(tcp);
        QCOMPARE(tcp->connectTimeout(), expected);
        QCOMPARE(tcp->address(), QStringLiteral("tcp://10.0.0.1:4001"));
    }

    void storedTimeoutIsHeldInItsLimits_data()
    {
        QTest::addColumn<int>("set");
        QTest::addColumn<QString>("written");
        QTest::newRow("in range") << 4500 << "4500";
        QTest::newRow("too short") << 10 << "100";
        QTest::newRow("too long") << 120000 << "60000";
    }
    void storedTimeoutIsHeldInItsLimits()
    {
        QFETCH(int, set);
        QFETCH(QString, written);
        IniFile(ini()).WriteString(QStringLiteral("Ports"), QStringLiteral("COM2"), QStringLiteral("/dev/ttyS1"));
        SetConnectTimeoutMs(ini(), set);
        QCOMPARE(IniFile(ini()).ReadString(QStringLiteral("Ports"), QStringLiteral("ConnectTimeout")), written);
        QCOMPARE(ConfiguredPort(ini(), 2), QStringLiteral("/dev/ttyS1")); // the rest of the section stays
    }

    void kindOfLink_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("network");
        QTest::newRow("usb adapter") << "/dev/ttyUSB0" << false;
        QTest::newRow("by-path name with a colon") << "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0" << false;
        QTest::newRow("server") << "tcp://192.168.1.10:4001" << true;
        QTest::newRow("server by name") << "tcp://gateway.local:4001" << true;
        QTest::newRow("malformed server") << "tcp://192.168.1.10" << true; // so its error says how it should look
    }
    void kindOfLink()
    {
        QFETCH(QString, address);
        QFETCH(bool, network);
        const std::unique_ptr<BusLink> link = CreateLink(address, LinkOptions{700});
        auto *tcp = qobject_cast<TcpLink *>(link.get());
        QCOMPARE(tcp != nullptr, network);
        if (tcp)
            QCOMPARE(tcp->connectTimeout(), 700);
        QVERIFY(!link->isOpen()); // made, not opened
    }
};

QTEST_GUILESS_MAIN(TestLinkFactory)
#include "test_linkfactory.moc"
