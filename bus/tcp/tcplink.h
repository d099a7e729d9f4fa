#pragma once

#include "bus/buslink.h"

#include <QPointer>
#include <QTcpSocket>

#include <memory>

class QHostAddress;

// A bus behind a serial device server that passes the serial bytes unchanged
// over TCP ("tcp://host:port"); the configurator connects out and never listens.
//
// open() resolves the name and connects while the event loop keeps running (the
// window stays alive), within connectTimeout(). Failures, as BusLink::Error:
//   NotFound   EINVAL        the address is malformed
//   NotFound   ENXIO         the host name is unknown
//   NotFound   EAGAIN        the name could not be looked up (no name service)
//   OpenFailed ECONNREFUSED  nothing accepts connections on that port (after
//                            RefusedRetryMs of trying again)
//   OpenFailed EHOSTUNREACH, ENETUNREACH  no route to the host or its network
//   OpenFailed ETIMEDOUT     no answer within connectTimeout()
//   OpenFailed ECANCELED     close() was called while connecting
//   OpenFailed EBUSY         already open
// The error's text is the system's English text for the code; tcpOpenFailureMessage
// (bus/tcp/tcphints.h) says in Russian what happened and what to check.
//
// Line settings belong to the server: applySettings() accepts them and sends nothing.
// A connection that the server closes or that breaks raises resourceLost() once;
// keep-alive probes and a limit on unacknowledged data notice a dead network
// within about a dozen seconds even while nothing is being sent.
class TcpLink final : public BusLink
{
    Q_OBJECT
public:
    static constexpr int DefaultConnectTimeoutMs = 3000;
    // A connection with data unacknowledged this long, or silent through the
    // keep-alive probes, is given up as broken.
    static constexpr int BrokenAfterMs = 10000;
    // A refused connection is tried again every RefusedPauseMs for this long
    // (within the connect timeout) before the refusal is reported.
    static constexpr int RefusedRetryMs = 500;
    static constexpr int RefusedPauseMs = 50;

    explicit TcpLink(const QString &address, QObject *parent = nullptr);
    ~TcpLink() override;

    QString address() const { return m_address; }
    void setConnectTimeout(int ms) { m_connectTimeoutMs = ms > 0 ? ms : DefaultConnectTimeoutMs; }
    int connectTimeout() const { return m_connectTimeoutMs; }

    bool open(const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override;
    bool applySettings(const LineSettings &settings) override;
    qint64 write(const QByteArray &bytes) override;
    QByteArray readAll() override;
    bool clearInput() override;
    // Drops what is still waiting in the link; bytes already offered to the
    // system's socket buffer cannot be called back and still go out.
    bool clearOutput() override;
    void pollInput() override;
    qint64 bytesToWrite() const override;
    Error lastError() const override { return m_error; }

    // The connected socket's descriptor (-1 when closed), for callers that look at it.
    qintptr handle() const;

private:
    struct Attempt;

    // The connected descriptor, or minus the system's error number.
    static int connectOne(const QHostAddress &address, quint16 port, Attempt &attempt);
    bool failWith(ErrorKind kind, int code);
    bool adopt(int fd);
    void pump();
    void onSocketError(QAbstractSocket::SocketError error);
    void onDisconnected();
    void lose();
    void dropSocket();

    QString m_address;
    int m_connectTimeoutMs = DefaultConnectTimeoutMs;
    QPointer<QTcpSocket> m_socket; // a fresh one for every connection
    QByteArray m_outgoing;         // written, not yet offered to the socket
    Error m_error;
    bool m_lost = false;
    Attempt *m_attempt = nullptr; // while open() waits
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

// Link factory for an address text that isNetworkAddress() accepts.
std::unique_ptr<BusLink> makeTcpLink(const QString &address);
