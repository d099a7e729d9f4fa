#pragma once

#include "sim/bus.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

// The bus served over TCP as a serial device server in raw TCP mode serves its
// serial port: a client's bytes go on the bus unchanged and the bus's answers
// come back. One client at a time: while one is connected the port does not
// listen, so another client's connection is refused at once (rather than
// accepted and left without answers); it listens again when the client leaves.
class TcpPort : public QObject
{
    Q_OBJECT
public:
    explicit TcpPort(sim::Bus &bus, QObject *parent = nullptr);

    // Port 0 takes a free one. False with a message when it cannot listen.
    bool listen(const QHostAddress &address, quint16 port, QString *error);
    // tcp://host:port, the address a client connects to.
    QString address() const;

signals:
    void clientConnected(const QString &peer);
    void clientLeft(const QString &peer);
    // Listening could not be taken up again after a client left.
    void failed(const QString &message);

private:
    void onNewConnection();
    void onClientGone();
    void onTransmit(const QByteArray &bytes);

    sim::Bus &m_bus;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QString m_clientName;
    QHostAddress m_address;
    quint16 m_port = 0;
};
