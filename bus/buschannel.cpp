#include "bus/buschannel.h"

#include "bus/requestlayer.h"
#include "bus/vacomm.h"

BusChannel::BusChannel(QObject *parent)
    : QObject(parent), m_frames(std::make_unique<RequestLayer>()), m_port(new TVaComm(this))
{
    m_port->setObjectName(QStringLiteral("VaComm1"));
    // Received bytes go into RxFrame on the GUI thread as the port hands them over.
    connect(m_port, &TVaComm::OnRxBuf, this, [this](const QByteArray &bytes) { m_frames->VaComm1RxBuf(bytes); });
}

BusChannel::~BusChannel() = default;

void BusChannel::setPortResolver(std::function<QString(int)> resolver)
{
    m_port->setPortResolver(std::move(resolver));
}

void BusChannel::setLinkFactory(LinkFactory factory)
{
    m_port->setLinkFactory(std::move(factory));
}

void BusChannel::open(int portNumber, const LineSettings &line)
{
    m_port->setPortNum(portNumber);
    m_port->setLine(line);
    m_port->Open();
}

void BusChannel::close()
{
    m_port->Close();
}

bool BusChannel::isOpen() const
{
    return m_port->Active();
}

QString BusChannel::address() const
{
    return m_port->DeviceName();
}
