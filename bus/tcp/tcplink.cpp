#include "bus/tcp/tcplink.h"

#include "bus/tcp/tcpaddress.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <utility>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// One open() in progress: the nested loop it waits in and why the wait ended.
struct TcpLink::Attempt
{
    QEventLoop loop;
    bool cancelled = false; // close() or destruction while waiting
    bool timedOut = false;
};

namespace {

// Fills in the system's address; false for a protocol it cannot take.
bool toSockaddr(const QHostAddress &address, quint16 port, sockaddr_storage *out, socklen_t *length)
{
    std::memset(out, 0, sizeof *out);
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto *in = reinterpret_cast<sockaddr_in *>(out);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(address.toIPv4Address());
        *length = sizeof *in;
        return true;
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(out);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
        const QString scope = address.scopeId();
        if (!scope.isEmpty()) {
            bool numeric = false;
            uint index = scope.toUInt(&numeric);
            if (!numeric)
                index = ::if_nametoindex(scope.toLatin1().constData());
            in6->sin6_scope_id = index;
        }
        *length = sizeof *in6;
        return true;
    }
    return false;
}

void setOption(int fd, int level, int name, int value)
{
    ::setsockopt(fd, level, name, &value, sizeof value);
}

} // namespace

// Connects one socket without blocking, waiting in the attempt's loop.
int TcpLink::connectOne(const QHostAddress &address, quint16 port, Attempt &attempt)
{
    sockaddr_storage target;
    socklen_t length = 0;
    if (!toSockaddr(address, port, &target, &length))
        return -EAFNOSUPPORT;
    const int fd = ::socket(target.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -errno;
    int result = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&target), length) != 0) {
        result = errno;
        if (result == EINPROGRESS) {
            bool settled = false;
            {
                QSocketNotifier writable(fd, QSocketNotifier::Write);
                QObject::connect(&writable, &QSocketNotifier::activated, &attempt.loop, [&] {
                    writable.setEnabled(false);
                    settled = true;
                    attempt.loop.quit();
                });
                attempt.loop.exec();
            } // the notifier goes before its descriptor may be closed
            // A loop that ended for no reason of ours (the application quitting)
            // leaves the connection unsettled: it must not pass for connected.
            if (attempt.cancelled || (!settled && !attempt.timedOut))
                result = ECANCELED;
            else if (attempt.timedOut)
                result = ETIMEDOUT;
            else {
                socklen_t size = sizeof result;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &size) != 0)
                    result = errno;
            }
        }
    }
    if (result == 0)
        return fd;
    ::close(fd);
    return -result;
}

TcpLink::TcpLink(const QString &address, QObject *parent) : BusLink(parent), m_address(address.trimmed()) {}

TcpLink::~TcpLink()
{
    *m_alive = false;
    if (m_attempt) {
        m_attempt->cancelled = true;
        m_attempt->loop.quit();
    }
    if (m_socket) {
        disconnect(m_socket, nullptr, this, nullptr);
        m_socket->abort();
    }
}

bool TcpLink::open(const LineSettings &settings)
{
    Q_UNUSED(settings) // the server's serial side keeps its own
    if (isOpen() || m_attempt)
        return failWith(ErrorKind::OpenFailed, EBUSY);
    m_error = {};
    m_lost = false;
    m_outgoing.clear();

    const std::optional<TcpAddress> address = TcpAddress::parse(m_address);
    if (!address)
        return failWith(ErrorKind::NotFound, EINVAL);

    // The window keeps working while this waits; whoever deletes or closes the
    // link meanwhile ends the wait, and nothing of it is touched afterwards.
    Attempt attempt;
    m_attempt = &attempt;
    const std::shared_ptr<bool> alive = m_alive;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &attempt.loop, [&attempt] {
        attempt.timedOut = true;
        attempt.loop.quit();
    });
    deadline.start(m_connectTimeoutMs);

    QList<QHostAddress> addresses;
    QHostAddress literal;
    if (literal.setAddress(address->host)) {
        addresses << literal;
    } else {
        bool answered = false;
        QHostInfo info;
        const int lookup = QHostInfo::lookupHost(address->host, &attempt.loop, [&](const QHostInfo &result) {
            info = result;
            answered = true;
            attempt.loop.quit();
        });
        if (!answered)
            attempt.loop.exec();
        if (!*alive)
            return false;
        if (!answered) {
            QHostInfo::abortHostLookup(lookup);
            m_attempt = nullptr;
            if (attempt.cancelled)
                return failWith(ErrorKind::OpenFailed, ECANCELED);
            return failWith(ErrorKind::NotFound, EAGAIN); // the name service did not answer in time
        }
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
            m_attempt = nullptr;
            return failWith(ErrorKind::NotFound, info.error() == QHostInfo::HostNotFound ? ENXIO : EAGAIN);
        }
        addresses = info.addresses();
    }

    // Every address of the name in turn, as long as time is left; the last
    // failure is the one reported. A server that serves one client at a time
    // refuses until it has noticed the previous client leave (often this
    // program's own connection of a moment ago), so a refusal is tried again
    // for a short while before it counts.
    const int refusalWindowMs = qMin(RefusedRetryMs, m_connectTimeoutMs);
    QElapsedTimer clock;
    clock.start();
    int outcome = -EHOSTUNREACH;
    for (;;) {
        for (const QHostAddress &candidate : std::as_const(addresses)) {
            outcome = connectOne(candidate, address->port, attempt);
            if (!*alive) {
                if (outcome >= 0)
                    ::close(outcome);
                return false;
            }
            if (outcome >= 0 || attempt.cancelled || attempt.timedOut)
                break;
        }
        if (outcome != -ECONNREFUSED || attempt.cancelled || attempt.timedOut
            || clock.elapsed() + RefusedPauseMs > refusalWindowMs)
            break;
        QTimer::singleShot(RefusedPauseMs, &attempt.loop, [&attempt] { attempt.loop.quit(); });
        attempt.loop.exec();
        if (!*alive)
            return false;
    }
    m_attempt = nullptr;
    if (attempt.cancelled)
        return failWith(ErrorKind::OpenFailed, ECANCELED);
    if (outcome < 0)
        return failWith(ErrorKind::OpenFailed, -outcome);
    return adopt(outcome);
}

bool TcpLink::adopt(int fd)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(fd, QAbstractSocket::ConnectedState, QIODevice::ReadWrite)) {
        delete socket;
        ::close(fd);
        return failWith(ErrorKind::OpenFailed, EIO);
    }
    // A request is one small write: it must leave at once, not wait for the
    // acknowledgement of the previous one.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    setOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, 5);
    setOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, 2);
    setOption(fd, IPPROTO_TCP, TCP_KEEPCNT, 3);
    setOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, BrokenAfterMs);

    connect(socket, &QTcpSocket::readyRead, this, &BusLink::readyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, &TcpLink::pump);
    connect(socket, &QTcpSocket::errorOccurred, this, &TcpLink::onSocketError);
    connect(socket, &QTcpSocket::disconnected, this, &TcpLink::onDisconnected);
    m_socket = socket;
    return true;
}

void TcpLink::close()
{
    if (m_attempt) {
        m_attempt->cancelled = true;
        m_attempt->loop.quit();
    }
    m_outgoing.clear();
    dropSocket();
}

void TcpLink::dropSocket()
{
    if (!m_socket)
        return;
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    // This may run inside one of the socket's own signals.
    socket->deleteLater();
}

bool TcpLink::isOpen() const
{
    return m_socket != nullptr;
}

bool TcpLink::applySettings(const LineSettings &settings)
{
    Q_UNUSED(settings) // the rate and parity are set on the server
    return true;
}

qint64 TcpLink::write(const QByteArray &bytes)
{
    if (!m_socket) {
        failWith(ErrorKind::Write, m_lost ? EPIPE : EBADF);
        return -1;
    }
    m_outgoing += bytes;
    pump();
    return bytes.size();
}

void TcpLink::pump()
{
    // While the socket still holds bytes the system has not taken, ours wait
    // here, where clearOutput() can still drop them.
    if (!m_socket || m_outgoing.isEmpty() || m_socket->bytesToWrite() > 0)
        return;
    const QByteArray bytes = std::exchange(m_outgoing, QByteArray());
    QPointer<QTcpSocket> socket = m_socket;
    socket->write(bytes);
    // Hand them to the system now rather than on the next pass of the event loop.
    if (socket)
        socket->flush();
}

QByteArray TcpLink::readAll()
{
    return m_socket ? m_socket->readAll() : QByteArray();
}

bool TcpLink::clearInput()
{
    if (!m_socket)
        return true;
    m_socket->readAll();
    // What the system holds and the socket has not fetched yet goes too.
    const int fd = static_cast<int>(m_socket->socketDescriptor());
    char buffer[4096];
    while (fd >= 0 && ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
    return true;
}

bool TcpLink::clearOutput()
{
    m_outgoing.clear();
    return true;
}

void TcpLink::pollInput()
{
    if (!m_socket)
        return;
    pollfd state{static_cast<int>(m_socket->socketDescriptor()), POLLIN, 0};
    if (::poll(&state, 1, 0) > 0 && (state.revents & (POLLIN | POLLHUP | POLLERR)))
        m_socket->waitForReadyRead(0); // readable, so this takes what is there without waiting
    if (m_socket && m_socket->bytesAvailable() > 0)
        emit readyRead();
}

qint64 TcpLink::bytesToWrite() const
{
    return m_outgoing.size() + (m_socket ? m_socket->bytesToWrite() : 0);
}

qintptr TcpLink::handle() const
{
    return m_socket ? m_socket->socketDescriptor() : -1;
}

void TcpLink::onSocketError(QAbstractSocket::SocketError error)
{
    // A wait that ran out, or a call in the wrong state, leaves the connection as it was.
    if (error == QAbstractSocket::SocketTimeoutError || error == QAbstractSocket::TemporaryError
        || error == QAbstractSocket::OperationError)
        return;
    lose();
}

void TcpLink::onDisconnected()
{
    lose();
}

void TcpLink::lose()
{
    if (m_lost || !m_socket)
        return;
    m_lost = true;
    m_outgoing.clear();
    dropSocket();
    emit resourceLost();
}

bool TcpLink::failWith(ErrorKind kind, int code)
{
    m_error = {kind, code, qt_error_string(code)};
    return false;
}

std::unique_ptr<BusLink> makeTcpLink(const QString &address)
{
    return std::make_unique<TcpLink>(address);
}
