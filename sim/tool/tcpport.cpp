#include "sim/tool/tcpport.h"

TcpPort::TcpPort(sim::Bus &bus, QObject *parent) : QObject(parent), m_bus(bus)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TcpPort::onNewConnection);
    connect(&m_bus, &sim::Bus::transmit, this, &TcpPort::onTransmit);
}

bool TcpPort::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (!m_server.listen(address, port)) {
        *error = QStringLiteral("cannot listen on %1 port %2: %3")
                     .arg(address.toString(), QString::number(port), m_server.errorString());
        return false;
    }
    m_address = address;
    m_port = m_server.serverPort();
    return true;
}

QString TcpPort::address() const
{
    const QString host = m_address.protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]").arg(m_address.toString())
        : m_address.toString();
    return QStringLiteral("tcp://%1:%2").arg(host, QString::number(m_port));
}

void TcpPort::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_client) {
            // Came in together with the first one, before listening stopped.
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_client = socket;
        m_clientName = QStringLiteral("%1:%2").arg(socket->peerAddress().toString(), QString::number(socket->peerPort()));
        // Answers leave as the bus delivers them, not gathered until an acknowledgement.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (socket == m_client)
                m_bus.receive(socket->readAll());
        });
        connect(socket, &QTcpSocket::disconnected, this, &TcpPort::onClientGone);
        connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::SocketTimeoutError && error != QAbstractSocket::TemporaryError)
                onClientGone();
        });
    }
    if (m_client && m_server.isListening()) {
        m_server.close();
        emit clientConnected(m_clientName);
    }
}

void TcpPort::onClientGone()
{
    if (!m_client)
        return;
    QTcpSocket *socket = m_client;
    m_client = nullptr;
    disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    socket->deleteLater();
    emit clientLeft(m_clientName);
    if (!m_server.listen(m_address, m_port))
        emit failed(QStringLiteral("cannot listen again on %1: %2").arg(address(), m_server.errorString()));
}

void TcpPort::onTransmit(const QByteArray &bytes)
{
    // Without a client the answers go nowhere, as on a line nobody listens to.
    if (!m_client)
        return;
    m_client->write(bytes);
    m_client->flush();
}
