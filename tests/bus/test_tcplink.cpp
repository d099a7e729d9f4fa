#include "bus/tcp/tcpcheck.h"
#include "bus/tcp/tcphints.h"
#include "bus/tcp/tcplink.h"
#include "bus/vacomm.h"
#include "support/tcppeer.h"
#include "support/wire.h"

#include <QSignalSpy>
#include <QtTest>

#include <cerrno>
#include <netinet/tcp.h>

namespace {

bool waitUntil(const std::function<bool()> &done, int ms = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QTest::qWait(5);
    return done();
}

// Everything the link delivers through readyRead until it holds `size` bytes.
QByteArray collect(TcpLink &link, int size)
{
    QByteArray bytes = link.readAll(); // arrived before anyone listened
    QObject context;
    QObject::connect(&link, &BusLink::readyRead, &context, [&] { bytes += link.readAll(); });
    waitUntil([&] { return bytes.size() >= size; });
    return bytes;
}

int intOption(qintptr fd, int level, int name)
{
    int value = -1;
    socklen_t size = sizeof value;
    if (::getsockopt(static_cast<int>(fd), level, name, &value, &size) != 0)
        return -1;
    return value;
}

enum class Situation { Refused, UnknownHost, TimedOut, Malformed };

} // namespace

Q_DECLARE_METATYPE(Situation)

// The link to a bus behind a serial device server, over real loopback connections.
class TestTcpLink : public QObject
{
    Q_OBJECT

    ScriptedPeer *peer = nullptr;
    std::unique_ptr<TcpLink> link;

    bool openLink()
    {
        link = std::make_unique<TcpLink>(peer->address());
        return link->open(LineSettings{}) && peer->connection(0);
    }

private slots:
    void init()
    {
        peer = new ScriptedPeer;
        QVERIFY(peer->isListening());
    }
    void cleanup()
    {
        link.reset();
        delete peer;
        peer = nullptr;
    }

    void writesLeaveInOrder_data()
    {
        QTest::addColumn<QList<QByteArray>>("writes");
        QTest::newRow("one byte") << QList<QByteArray>{QByteArray(1, '\x01')};
        QTest::newRow("probe") << QList<QByteArray>{wireHex("010400000003")};
        QTest::newRow("frames back to back")
            << QList<QByteArray>{wireHex("010400000003"), wireHex("02030000000E"), wireHex("030100000008")};
        QByteArray block(256 * 1024, Qt::Uninitialized);
        for (int i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>(i * 7 + i / 256);
        QTest::newRow("block larger than any buffer, then a frame") << QList<QByteArray>{block, wireHex("0104000A0001")};
    }
    void writesLeaveInOrder()
    {
        QFETCH(QList<QByteArray>, writes);
        QVERIFY(openLink());
        QByteArray all;
        for (const QByteArray &bytes : writes) {
            QCOMPARE(link->write(bytes), qint64(bytes.size()));
            all += bytes;
        }
        QCOMPARE(peer->received(0, int(all.size())), all);
        QVERIFY(waitUntil([&] { return link->bytesToWrite() == 0; }));
    }

    void receivedBytesComeOut_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::newRow("one answer") << QList<QByteArray>{wireHex("010406000C0002007B")};
        const QByteArray answer = wireHex("0103100001000200030004000500060007000800");
        QTest::newRow("answer in pieces") << QList<QByteArray>{answer.left(3), answer.mid(3, 9), answer.mid(12)};
        QTest::newRow("two answers") << QList<QByteArray>{wireHex("010406000C0002007B") + wireHex("020302ABCD")};
    }
    void receivedBytesComeOut()
    {
        QFETCH(QList<QByteArray>, pieces);
        QVERIFY(openLink());
        QByteArray all;
        for (const QByteArray &piece : pieces) {
            peer->send(0, piece);
            all += piece;
            QTest::qWait(10);
        }
        QCOMPARE(collect(*link, int(all.size())), all);
    }

    void smallWritesAreNotHeldBack()
    {
        QVERIFY(openLink());
        QCOMPARE(intOption(link->handle(), IPPROTO_TCP, TCP_NODELAY), 1);
        // A dead network is noticed even while nothing is being sent.
        QCOMPARE(intOption(link->handle(), SOL_SOCKET, SO_KEEPALIVE), 1);
        QCOMPARE(intOption(link->handle(), IPPROTO_TCP, TCP_USER_TIMEOUT), TcpLink::BrokenAfterMs);
    }

    void lineSettingsSendNothing()
    {
        QVERIFY(openLink());
        QVERIFY(link->applySettings(LineSettings{9600, paEven}));
        QCOMPARE(link->write("x"), qint64(1));
        QCOMPARE(peer->received(0, 1), QByteArray("x"));
        QTest::qWait(50);
        QCOMPARE(peer->received(0, 1), QByteArray("x"));
    }

    void failedOpenTellsWhatHappened_data()
    {
        QTest::addColumn<Situation>("situation");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("notFound");
        QTest::addColumn<QString>("reason");
        QTest::newRow("refused") << Situation::Refused << ECONNREFUSED << false << "подключение отклонено";
        QTest::newRow("unknown host") << Situation::UnknownHost << ENXIO << true << "не найден";
        QTest::newRow("timed out") << Situation::TimedOut << ETIMEDOUT << false << "не ответил вовремя";
        QTest::newRow("malformed") << Situation::Malformed << EINVAL << true << "Неверный адрес порта";
    }
    void failedOpenTellsWhatHappened()
    {
        QFETCH(Situation, situation);
        QFETCH(int, code);
        QFETCH(bool, notFound);
        QFETCH(QString, reason);
        SilentListener silent;
        QString address;
        QString hostPort;
        switch (situation) {
        case Situation::Refused:
            hostPort = QStringLiteral("127.0.0.1:%1").arg(closedLoopbackPort());
            address = QStringLiteral("tcp://") + hostPort;
            break;
        case Situation::UnknownHost:
            hostPort = QStringLiteral("nonexistent.invalid:4001");
            address = QStringLiteral("tcp://") + hostPort;
            break;
        case Situation::TimedOut:
            QVERIFY(silent.isReady());
            address = silent.address();
            hostPort = address.mid(6);
            break;
        case Situation::Malformed:
            address = QStringLiteral("tcp://127.0.0.1");
            hostPort = address;
            break;
        }

        TVaComm port;
        port.setPortResolver([address](int) { return address; });
        port.setLinkFactory([](const QString &device) {
            auto tcp = std::make_unique<TcpLink>(device);
            tcp->setConnectTimeout(300);
            return std::unique_ptr<BusLink>(std::move(tcp));
        });
        QSignalSpy opened(&port, &TVaComm::OnOpen);
        try {
            port.Open();
            QFAIL("the port opened");
        } catch (const EVaCommError &error) {
            QCOMPARE(error.code(), code);
            QCOMPARE(error.device(), address);
            const QString english = notFound
                ? QStringLiteral("Specified device not found (%1).").arg(address)
                : QStringLiteral("Can't open specified device %1 (Error %2, %3)")
                      .arg(address, QString::number(code), qt_error_string(code));
            QCOMPARE(QString::fromStdString(error.what()), english);
            const QString message = tcpOpenFailureMessage(error);
            QVERIFY2(message.startsWith(english + QStringLiteral("\r\r")), qPrintable(message));
            QVERIFY2(message.contains(hostPort), qPrintable(message));
            QVERIFY2(message.contains(reason), qPrintable(message));
        }
        QVERIFY(!port.Active());
        QCOMPARE(opened.count(), 0);
    }

    void connectWaitKeepsTheWindowAlive()
    {
        SilentListener silent;
        QVERIFY(silent.isReady());
        TcpLink slow(silent.address());
        slow.setConnectTimeout(500);
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(20);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!slow.open(LineSettings{}));
        const qint64 waited = clock.elapsed();
        QCOMPARE(slow.lastError().code, ETIMEDOUT);
        QVERIFY2(waited >= 450 && waited < 5000, qPrintable(QString::number(waited)));
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    }

    void closeWhileConnectingEndsTheWait()
    {
        SilentListener silent;
        QVERIFY(silent.isReady());
        TcpLink slow(silent.address());
        slow.setConnectTimeout(20000);
        QTimer::singleShot(50, &slow, [&] { slow.close(); });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!slow.open(LineSettings{}));
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(slow.lastError().code, ECANCELED);
        QVERIFY(!slow.isOpen());
    }

    void deletedWhileConnecting()
    {
        SilentListener silent;
        QVERIFY(silent.isReady());
        auto *slow = new TcpLink(silent.address());
        slow->setConnectTimeout(20000);
        QPointer<TcpLink> watch(slow);
        QTimer::singleShot(50, [slow] { delete slow; });
        QVERIFY(!slow->open(LineSettings{})); // returns without touching the deleted link
        QVERIFY(watch.isNull());
    }

    // A server that serves one client at a time listens again only once it has
    // noticed the last one leave: a connection refused a moment before it does
    // still gets through; one refused for good is reported after a short while.
    void refusalIsTriedAgainBriefly_data()
    {
        QTest::addColumn<int>("listensAfterMs"); // -1: never
        QTest::addColumn<bool>("connects");
        QTest::newRow("listening again soon") << 150 << true;
        QTest::newRow("never listening") << -1 << false;
    }
    void refusalIsTriedAgainBriefly()
    {
        QFETCH(int, listensAfterMs);
        QFETCH(bool, connects);
        const quint16 port = closedLoopbackPort();
        QTcpServer late;
        if (listensAfterMs >= 0)
            QTimer::singleShot(listensAfterMs, &late, [&] { late.listen(QHostAddress::LocalHost, port); });
        TcpLink link(QStringLiteral("tcp://127.0.0.1:%1").arg(port));
        link.setConnectTimeout(5000);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link.open(LineSettings{}), connects);
        const qint64 waited = clock.elapsed();
        if (connects) {
            QVERIFY(late.isListening());
            QVERIFY(late.hasPendingConnections() || late.waitForNewConnection(5000));
        } else {
            QCOMPARE(link.lastError().code, ECONNREFUSED);
            QVERIFY2(waited >= TcpLink::RefusedRetryMs - TcpLink::RefusedPauseMs && waited < 3000,
                     qPrintable(QString::number(waited)));
        }
    }

    // "Проверить" in the ports window: connects, says how long it took, leaves.
    void checkSaysHowItWent_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("says");
        QTest::newRow("server there") << "peer" << true << "установлено за";
        QTest::newRow("refused") << "closed port" << false << "подключение отклонено";
        QTest::newRow("timed out") << "silent" << false << "не ответил вовремя";
        QTest::newRow("malformed") << "port 0" << false << "Ожидается tcp://узел:порт";
    }
    void checkSaysHowItWent()
    {
        QFETCH(QString, where);
        QFETCH(bool, connected);
        QFETCH(QString, says);
        SilentListener silent;
        QString address = peer->address();
        if (where == QLatin1String("closed port"))
            address = QStringLiteral("tcp://127.0.0.1:%1").arg(closedLoopbackPort());
        else if (where == QLatin1String("silent"))
            address = silent.address();
        else if (where == QLatin1String("port 0"))
            address = QStringLiteral("tcp://127.0.0.1:0");
        TcpCheck check;
        const TcpCheck::Result result = check.run(address, 600);
        QCOMPARE(result.connected, connected);
        QVERIFY(!result.cancelled);
        QVERIFY2(result.text.contains(says), qPrintable(result.text));
        QVERIFY(!check.isRunning());
        if (connected) {
            QTcpSocket *served = peer->connection(0);
            QVERIFY(served);
            // It leaves at once and has sent nothing.
            QTRY_COMPARE_WITH_TIMEOUT(served->state(), QAbstractSocket::UnconnectedState, 5000);
            QCOMPARE(peer->received(0, 0), QByteArray());
        }
    }

    void checkCancelledQuietly()
    {
        SilentListener silent;
        QVERIFY(silent.isReady());
        TcpCheck check;
        QTimer::singleShot(50, &check, [&] { check.cancel(); });
        QElapsedTimer clock;
        clock.start();
        const TcpCheck::Result result = check.run(silent.address(), 20000);
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(!result.connected);
        QVERIFY(result.cancelled);
    }

    void peerEndRaisesResourceLostOnce_data()
    {
        QTest::addColumn<bool>("reset");
        QTest::newRow("server closes") << false;
        QTest::newRow("connection reset") << true;
    }
    void peerEndRaisesResourceLostOnce()
    {
        QFETCH(bool, reset);
        QVERIFY(openLink());
        QSignalSpy lost(link.get(), &BusLink::resourceLost);
        QTcpSocket *server = peer->connection(0);
        QVERIFY(server);
        if (reset) {
            server->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            const linger hard{1, 0};
            ::setsockopt(static_cast<int>(server->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            server->abort();
        } else {
            server->disconnectFromHost();
        }
        QVERIFY(lost.wait(5000));
        QTest::qWait(100);
        QCOMPARE(lost.count(), 1);
        QVERIFY(!link->isOpen());
        QCOMPARE(link->write("x"), qint64(-1));
        QCOMPARE(link->lastError().kind, BusLink::ErrorKind::Write);
        QCOMPARE(lost.count(), 1);
    }

    void lastAnswerBeforeCloseIsDelivered()
    {
        QVERIFY(openLink());
        QByteArray delivered;
        bool openAtLoss = true;
        connect(link.get(), &BusLink::readyRead, [&] { delivered += link->readAll(); });
        connect(link.get(), &BusLink::resourceLost, [&] { openAtLoss = link->isOpen(); });
        const QByteArray answer = wireHex("010406000C0002007B");
        peer->send(0, answer);
        peer->connection(0)->disconnectFromHost();
        QSignalSpy lost(link.get(), &BusLink::resourceLost);
        QVERIFY(lost.wait(5000));
        QCOMPARE(delivered, answer);
        QVERIFY(!openAtLoss);
    }

    void reopenGetsNothingOfTheOldConnection_data()
    {
        QTest::addColumn<bool>("dropped");
        QTest::newRow("closed by the program") << false;
        QTest::newRow("dropped by the server") << true;
    }
    void reopenGetsNothingOfTheOldConnection()
    {
        QFETCH(bool, dropped);
        QVERIFY(openLink());
        peer->send(0, "old answer");
        QTest::qWait(50); // arrived, never read
        if (dropped) {
            QSignalSpy lost(link.get(), &BusLink::resourceLost);
            peer->connection(0)->disconnectFromHost();
            QVERIFY(lost.wait(5000));
        } else {
            link->close();
        }
        QVERIFY(!link->isOpen());
        QCOMPARE(link->readAll(), QByteArray());
        QVERIFY(link->open(LineSettings{}));
        QVERIFY(peer->connection(1));
        peer->send(1, "new");
        QCOMPARE(collect(*link, 3), QByteArray("new"));
        // What the program writes now goes on the new connection only.
        QCOMPARE(link->write("req"), qint64(3));
        QCOMPARE(peer->received(1, 3), QByteArray("req"));
        QCOMPARE(peer->received(0, 0), QByteArray());
    }

    void clearInputDropsWhatArrivedUnread()
    {
        QVERIFY(openLink());
        peer->send(0, "stale1");
        QSignalSpy ready(link.get(), &BusLink::readyRead);
        QVERIFY(ready.wait(5000)); // taken in by the socket
        peer->send(0, "stale2");
        pollfd readable{static_cast<int>(link->handle()), POLLIN, 0};
        QCOMPARE(::poll(&readable, 1, 5000), 1); // still with the system
        QVERIFY(link->clearInput());
        QCOMPARE(link->readAll(), QByteArray());
        QTest::qWait(50);
        QCOMPARE(link->readAll(), QByteArray());
        peer->send(0, "fresh");
        QCOMPARE(collect(*link, 5), QByteArray("fresh"));
    }

    void pollInputDeliversAtOnce()
    {
        QVERIFY(openLink());
        QByteArray delivered;
        connect(link.get(), &BusLink::readyRead, [&] { delivered += link->readAll(); });
        const QByteArray answer = wireHex("010406000C0002007B");
        peer->send(0, answer);
        pollfd readable{static_cast<int>(link->handle()), POLLIN, 0};
        QCOMPARE(::poll(&readable, 1, 5000), 1);
        link->pollInput(); // no pass of the event loop in between
        QCOMPARE(delivered, answer);
    }

    void clearOutputDropsWhatStillWaits()
    {
        // A server that does not read yet, with small buffers on both sides, so
        // the link has to keep bytes back.
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        const int small = 4096;
        ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        QCOMPARE(::listen(listener, 1), 0);
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
        TcpLink sender(QStringLiteral("tcp://127.0.0.1:%1").arg(ntohs(address.sin_port)));
        QVERIFY(sender.open(LineSettings{}));
        const int server = ::accept(listener, nullptr, nullptr);
        QVERIFY(server >= 0);
        ::setsockopt(static_cast<int>(sender.handle()), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);

        QByteArray block(1024 * 1024, Qt::Uninitialized);
        for (int i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>('a' + i % 26);
        QCOMPARE(sender.write(block), qint64(block.size()));
        QTest::qWait(50);
        const qint64 held = sender.bytesToWrite();
        QVERIFY(held > 0);
        QCOMPARE(sender.write("DROPME"), qint64(6));
        QCOMPARE(sender.bytesToWrite(), held + 6);
        QVERIFY(sender.clearOutput());
        QCOMPARE(sender.bytesToWrite(), held);
        QCOMPARE(sender.write("TAIL"), qint64(4));

        QByteArray received;
        char buffer[65536];
        QElapsedTimer clock;
        clock.start();
        while (received.size() < block.size() + 4 && clock.elapsed() < 20000) {
            QCoreApplication::processEvents();
            const ssize_t n = ::recv(server, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0)
                received.append(buffer, int(n));
            else
                QTest::qWait(1);
        }
        QTest::qWait(50);
        ssize_t n = 0;
        while ((n = ::recv(server, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            received.append(buffer, int(n));
        ::close(server);
        ::close(listener);
        QCOMPARE(received.size(), block.size() + 4);
        QVERIFY(received == block + "TAIL");
    }
};

QTEST_GUILESS_MAIN(TestTcpLink)
#include "test_tcplink.moc"
