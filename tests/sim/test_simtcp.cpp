// orvek-sim served over TCP: the same bus as on the pseudo-terminal, reached
// by a plain socket and by the configurator's own network link.
#include "bus/tcp/tcplink.h"
#include "bus/vacomm.h"
#include "support/tcpsim.h"
#include "support/wire.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include <cerrno>

namespace {

// What comes back within `waitMs` of sending the frame.
QByteArray exchange(QTcpSocket &socket, const QByteArray &frame, int waitMs = 400)
{
    socket.write(frame);
    socket.flush();
    QByteArray answer;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < waitMs) {
        socket.waitForReadyRead(20);
        answer += socket.readAll();
    }
    return answer;
}

bool connectTo(QTcpSocket &socket, const QString &host, int port)
{
    socket.connectToHost(host, static_cast<quint16>(port));
    return socket.waitForConnected(5000);
}

const char *const Krv = "krv:1,code=12,model=2,version=123";

enum class Expect { Answer, WrongCrc, Silence, NoiseFirst };

} // namespace

Q_DECLARE_METATYPE(Expect)

class TestSimTcp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(qEnvironmentVariable("ORVEK_SIM")).isExecutable(), "ORVEK_SIM must name the built orvek-sim");
    }

    // A KRV-A probe, with the devices, line rate and faults of the command line.
    void probeOverTcp_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<Expect>("expect");
        const QString krv = QString::fromLatin1(Krv);
        QTest::newRow("answer") << QStringList{"--device", krv} << Expect::Answer;
        QTest::newRow("split answer") << QStringList{"--device", krv, "--fault", "split=1"} << Expect::Answer;
        QTest::newRow("corrupted answer") << QStringList{"--device", krv, "--fault", "corrupt=1"} << Expect::WrongCrc;
        QTest::newRow("dropped answer") << QStringList{"--device", krv, "--fault", "drop=1"} << Expect::Silence;
        QTest::newRow("noise before the answer") << QStringList{"--device", krv, "--fault", "noise=1"}
                                                 << Expect::NoiseFirst;
        QTest::newRow("device at another rate") << QStringList{"--device", krv + ",baud=9600"} << Expect::Silence;
        QTest::newRow("line set to its rate")
            << QStringList{"--device", krv + ",baud=9600", "--baud", "9600"} << Expect::Answer;
    }
    void probeOverTcp()
    {
        QFETCH(QStringList, args);
        QFETCH(Expect, expect);
        TcpSim sim;
        QVERIFY(sim.start(QStringList{"--quiet", "--freeze"} + args));
        QCOMPARE(sim.host, QStringLiteral("127.0.0.1"));
        QTcpSocket socket;
        QVERIFY(connectTo(socket, sim.host, sim.port));
        const QByteArray expected = wireHex("010406000C0002007B");
        const QByteArray answer = exchange(socket, wireHex("010400000003"), 600);
        switch (expect) {
        case Expect::Answer:
            QCOMPARE(answer.toHex(' '), expected.toHex(' '));
            break;
        case Expect::WrongCrc:
            QCOMPARE(answer.size(), expected.size());
            QCOMPARE(answer.left(expected.size() - 2), expected.left(expected.size() - 2));
            QVERIFY(answer != expected);
            break;
        case Expect::Silence:
            QCOMPARE(answer, QByteArray());
            break;
        case Expect::NoiseFirst:
            QCOMPARE(answer.size(), expected.size() + 1);
            QCOMPARE(answer.mid(1), expected);
            break;
        }
    }

    void secondClientIsRefusedUntilTheFirstLeaves()
    {
        TcpSim sim;
        QVERIFY(sim.start({"--quiet", "--freeze", "--device", QString::fromLatin1(Krv)}));
        const QByteArray probe = wireHex("010400000003");
        const QByteArray expected = wireHex("010406000C0002007B");
        auto first = std::make_unique<QTcpSocket>();
        QVERIFY(connectTo(*first, sim.host, sim.port));
        QCOMPARE(exchange(*first, probe), expected); // served, so taken in

        // The configurator's link is told the connection was refused.
        TcpLink second(sim.address);
        QVERIFY(!second.open(LineSettings{}));
        QCOMPARE(second.lastError().code, ECONNREFUSED);
        QCOMPARE(exchange(*first, probe), expected);

        first->disconnectFromHost();
        first.reset();
        QTcpSocket third;
        QElapsedTimer clock;
        clock.start();
        bool connected = false;
        while (!connected && clock.elapsed() < 5000) {
            connected = connectTo(third, sim.host, sim.port);
            if (!connected)
                QTest::qWait(20);
        }
        QVERIFY(connected);
        QCOMPARE(exchange(third, probe), expected);
    }

    void listenAddressRestricts_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("served");
        QTest::addColumn<QString>("refused");
        QTest::newRow("this computer by default") << QStringList{} << "127.0.0.1" << "127.0.0.2";
        QTest::newRow("given address only") << QStringList{"--listen", "127.0.0.2"} << "127.0.0.2" << "127.0.0.1";
    }
    void listenAddressRestricts()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, served);
        QFETCH(QString, refused);
        // The simulator's port number is free only on the address it was bound
        // to: another server of a parallel test may hold the same number on the
        // other address. A connection that still succeeds with the simulator
        // gone was somebody else's; then try again on a new port.
        for (int attempt = 0;; ++attempt) {
            TcpSim sim;
            QVERIFY(sim.start(QStringList{"--quiet"} + args));
            QCOMPARE(sim.host, served);
            QTcpSocket client;
            QVERIFY(connectTo(client, served, sim.port));
            client.abort();
            QTcpSocket outsider;
            if (!connectTo(outsider, refused, sim.port)) {
                QCOMPARE(outsider.error(), QAbstractSocket::ConnectionRefusedError);
                return;
            }
            outsider.abort();
            const int port = sim.port;
            sim.stop();
            QTcpSocket stranger;
            QVERIFY2(connectTo(stranger, refused, port), "the simulator answered on an address it was not given");
            QVERIFY(attempt < 3);
        }
    }

    // The configurator's port over the network link: a probe answered, then the
    // simulator going away closes the port once.
    void configuratorPortOverTcp()
    {
        TcpSim sim;
        QVERIFY(sim.start({"--quiet", "--freeze", "--device", QString::fromLatin1(Krv)}));
        TVaComm port;
        port.setPortResolver([&](int) { return sim.address; });
        port.setLinkFactory([](const QString &address) { return makeTcpLink(address); });
        QByteArray received;
        connect(&port, &TVaComm::OnRxBuf, [&](const QByteArray &bytes) { received += bytes; });
        QSignalSpy lost(&port, &TVaComm::OnLost);
        port.Open();
        QVERIFY(port.Active());
        const QByteArray probe = wireHex("010400000003");
        QCOMPARE(port.WriteBuf(reinterpret_cast<const std::uint8_t *>(probe.constData()), int(probe.size())),
                 int(probe.size()));
        const QByteArray expected = wireHex("010406000C0002007B");
        QTRY_COMPARE_WITH_TIMEOUT(received, expected, 5000);

        sim.stop();
        QVERIFY(lost.wait(5000));
        QTest::qWait(100);
        QCOMPARE(lost.count(), 1);
        QVERIFY(!port.Active());
    }
};

QTEST_GUILESS_MAIN(TestSimTcp)
#include "test_simtcp.moc"
