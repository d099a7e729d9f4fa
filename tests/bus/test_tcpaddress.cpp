#include "bus/tcp/tcpaddress.h"

#include <QtTest>

// Addresses of ports reached over the network, as typed into the settings.
class TestTcpAddress : public QObject
{
    Q_OBJECT

private slots:
    void validAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("canonical");
        QTest::newRow("IPv4") << "tcp://192.168.1.10:4001" << "192.168.1.10" << 4001 << "tcp://192.168.1.10:4001";
        QTest::newRow("host name") << "tcp://gw-2.plant.local:950" << "gw-2.plant.local" << 950
                                   << "tcp://gw-2.plant.local:950";
        QTest::newRow("IPv6") << "tcp://[fe80::1]:4001" << "fe80::1" << 4001 << "tcp://[fe80::1]:4001";
        QTest::newRow("IPv6 loopback") << "tcp://[::1]:502" << "::1" << 502 << "tcp://[::1]:502";
        QTest::newRow("capitals and blanks") << "  TCP://10.0.0.5:4001 " << "10.0.0.5" << 4001 << "tcp://10.0.0.5:4001";
        QTest::newRow("leading zeros are decimal") << "tcp://192.168.001.010:4001" << "192.168.1.10" << 4001
                                                   << "tcp://192.168.1.10:4001";
        QTest::newRow("lowest port") << "tcp://h:1" << "h" << 1 << "tcp://h:1";
        QTest::newRow("highest port") << "tcp://h:65535" << "h" << 65535 << "tcp://h:65535";
        QTest::newRow("fully qualified name") << "tcp://gateway.:23" << "gateway." << 23 << "tcp://gateway.:23";
    }
    void validAddresses()
    {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, canonical);
        QString error = QStringLiteral("untouched");
        const std::optional<TcpAddress> address = TcpAddress::parse(text, &error);
        QVERIFY2(address, qPrintable(error));
        QCOMPARE(address->host, host);
        QCOMPARE(int(address->port), port);
        QCOMPARE(address->text(), canonical);
        // What the settings keep reads back the same.
        const std::optional<TcpAddress> again = TcpAddress::parse(address->text());
        QVERIFY(again);
        QCOMPARE(again->text(), canonical);
        QVERIFY(isNetworkAddress(text));
    }

    void malformedAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no port") << "tcp://10.0.0.5" << "не указан номер порта";
        QTest::newRow("empty port") << "tcp://10.0.0.5:" << "не указан номер порта";
        QTest::newRow("port 0") << "tcp://10.0.0.5:0" << "от 1 до 65535";
        QTest::newRow("port 65536") << "tcp://10.0.0.5:65536" << "от 1 до 65535";
        QTest::newRow("port past any integer") << "tcp://10.0.0.5:99999999999999999999" << "от 1 до 65535";
        QTest::newRow("letter in port") << "tcp://10.0.0.5:40o1" << "должен быть числом";
        QTest::newRow("path after port") << "tcp://10.0.0.5:4001/" << "должен быть числом";
        QTest::newRow("udp") << "udp://10.0.0.5:4001" << "\"udp://\" не поддерживается";
        QTest::newRow("misspelt scheme") << "tpc://10.0.0.5:4001" << "\"tpc://\" не поддерживается";
        QTest::newRow("one slash") << "tcp:/10.0.0.5:4001" << "две косые черты";
        QTest::newRow("no scheme") << "10.0.0.5:4001" << "не указано начало tcp://";
        QTest::newRow("no host") << "tcp://:4001" << "не указан узел";
        QTest::newRow("IPv6 without brackets") << "tcp://fe80::1:4001" << "в квадратных скобках";
        QTest::newRow("unclosed bracket") << "tcp://[fe80::1:4001" << "не закрыта";
        QTest::newRow("IPv4 in brackets") << "tcp://[10.0.0.5]:4001" << "адрес IPv6";
        QTest::newRow("IPv4 part over 255") << "tcp://192.168.1.300:4001" << "не является адресом IPv4";
        QTest::newRow("IPv4 with three parts") << "tcp://192.168.1:4001" << "не является адресом IPv4";
        QTest::newRow("Cyrillic host") << "tcp://сервер:4001" << "недопустимое имя узла";
        QTest::newRow("user name") << "tcp://admin@10.0.0.5:4001" << "недопустимое имя узла";
        QTest::newRow("two colons") << "tcp://gw:1:4001" << "лишнее двоеточие";
        QTest::newRow("garbage") << "%%%" << "не указано начало tcp://";
        QTest::newRow("empty") << "   " << "адрес пуст";
    }
    void malformedAddresses()
    {
        QFETCH(QString, text);
        QFETCH(QString, reason);
        QString error;
        QVERIFY(!TcpAddress::parse(text, &error));
        // The entry as typed, what is wrong with it, and the form it should take.
        QVERIFY2(error.startsWith(QStringLiteral("Неверный адрес порта \"%1\": ").arg(text.trimmed())), qPrintable(error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("tcp://узел:порт, например tcp://192.168.1.10:4001")), qPrintable(error));
    }

    void longGarbageIsShortenedInTheMessage()
    {
        const QString text = QStringLiteral("tcp://") + QString(500, QLatin1Char('x')) + QStringLiteral(":4001/");
        QString error;
        QVERIFY(!TcpAddress::parse(text, &error));
        QVERIFY2(error.size() < 300, qPrintable(error));
    }

    void networkOrSerial_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("network");
        QTest::newRow("USB adapter") << "/dev/ttyUSB0" << false;
        QTest::newRow("bare device name") << "ttyS0" << false;
        QTest::newRow("device by path") << "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0" << false;
        QTest::newRow("nothing") << "" << false;
        QTest::newRow("tcp") << "tcp://10.0.0.5:4001" << true;
        QTest::newRow("tcp with blanks") << "  tcp://10.0.0.5:4001" << true;
        QTest::newRow("foreign scheme") << "udp://10.0.0.5:4001" << true;
        QTest::newRow("one slash") << "tcp:/10.0.0.5:4001" << true;
        QTest::newRow("address and port") << "10.0.0.5:4001" << true;
        QTest::newRow("bare IPv4") << "10.0.0.5" << true;
        QTest::newRow("IPv6 and port") << "[::1]:4001" << true;
    }
    void networkOrSerial()
    {
        QFETCH(QString, text);
        QFETCH(bool, network);
        QCOMPARE(isNetworkAddress(text), network);
    }
};

QTEST_GUILESS_MAIN(TestTcpAddress)
#include "test_tcpaddress.moc"
