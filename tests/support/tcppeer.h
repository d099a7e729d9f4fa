#pragma once

// Peers on the loopback interface for tests of network links: a scripted server
// in the same process, a port nobody listens on, and a listener that never
// answers a new connection.

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// A server on 127.0.0.1 that keeps every connection it accepts and what came in
// on it; the test makes it answer through the sockets.
class ScriptedPeer
{
public:
    ScriptedPeer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                const int index = int(m_connections.size());
                m_connections.append(socket);
                m_received.append(QByteArray());
                QObject::connect(socket, &QTcpSocket::readyRead, [this, index] {
                    m_received[index] += m_connections[index]->readAll();
                });
            }
        });
    }

    bool isListening() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }
    QString address() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(port()); }

    // The n-th connection (from 0) once it has been accepted, or nullptr after 5 s.
    QTcpSocket *connection(int n)
    {
        QElapsedTimer clock;
        clock.start();
        while (m_connections.size() <= n && clock.elapsed() < 5000)
            QTest::qWait(5);
        return m_connections.size() > n ? m_connections[n].data() : nullptr;
    }
    int connectionCount() const { return int(m_connections.size()); }

    // Everything that came in on the n-th connection once it holds `size` bytes
    // (or after 5 s with what there is).
    QByteArray received(int n, int size)
    {
        QElapsedTimer clock;
        clock.start();
        while ((n >= m_received.size() || m_received[n].size() < size) && clock.elapsed() < 5000)
            QTest::qWait(5);
        return n < m_received.size() ? m_received[n] : QByteArray();
    }

    // Sends on the n-th connection and hands the bytes to the system at once.
    void send(int n, const QByteArray &bytes)
    {
        QTcpSocket *socket = connection(n);
        if (!socket)
            return;
        socket->write(bytes);
        socket->flush();
    }

private:
    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_connections;
    QList<QByteArray> m_received;
};

// A loopback port that refuses connections: bound for a moment to learn a free
// number, then released.
inline quint16 closedLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// A listener whose queue of connections is full: it accepts nobody, so the
// system drops a new connection's first packet and the caller waits for an
// answer that never comes, as with a device server that is switched off.
class SilentListener
{
public:
    SilentListener()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::listen(m_listener, 0) != 0)
            return;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        // One connection fills a queue of length 0; it is complete once the
        // listener shows it as ready to be accepted.
        m_filler = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(m_filler, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            return;
        pollfd ready{m_listener, POLLIN, 0};
        m_ready = ::poll(&ready, 1, 5000) == 1;
    }
    ~SilentListener()
    {
        if (m_filler >= 0)
            ::close(m_filler);
        if (m_listener >= 0)
            ::close(m_listener);
    }
    SilentListener(const SilentListener &) = delete;
    SilentListener &operator=(const SilentListener &) = delete;

    bool isReady() const { return m_ready; }
    QString address() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(m_port); }

private:
    int m_listener = -1;
    int m_filler = -1;
    quint16 m_port = 0;
    bool m_ready = false;
};
