#include "sim/simlink.h"

namespace sim {

SimLink::SimLink(Bus &bus, QObject *parent) : BusLink(parent), m_bus(&bus) {}

SimLink::SimLink(QPointer<Bus> bus, QObject *parent) : BusLink(parent), m_bus(std::move(bus)) {}

SimLink::~SimLink()
{
    close();
}

bool SimLink::fail(ErrorKind kind, const QString &text)
{
    m_error = {kind, 0, text};
    return false;
}

bool SimLink::open(const LineSettings &settings)
{
    if (m_open)
        return fail(ErrorKind::OpenFailed, QStringLiteral("already open"));
    if (!m_bus)
        return fail(ErrorKind::NotFound, QStringLiteral("the simulated bus is gone"));
    m_bus->setLine(settings);
    m_input.clear();
    m_connection = connect(m_bus, &Bus::transmit, this, &SimLink::onTransmit);
    m_unplug = connect(m_bus, &Bus::unplugged, this, &SimLink::onUnplugged);
    m_open = true;
    m_error = {};
    return true;
}

void SimLink::close()
{
    if (!m_open)
        return;
    disconnect(m_connection);
    disconnect(m_unplug);
    m_open = false;
    m_input.clear();
}

bool SimLink::applySettings(const LineSettings &settings)
{
    if (!m_open || !m_bus)
        return fail(ErrorKind::Settings, QStringLiteral("not open"));
    m_bus->setLine(settings);
    return true;
}

qint64 SimLink::write(const QByteArray &bytes)
{
    if (!m_open || !m_bus) {
        fail(ErrorKind::Write, QStringLiteral("not open"));
        return -1;
    }
    m_bus->receive(bytes);
    return bytes.size();
}

QByteArray SimLink::readAll()
{
    QByteArray bytes;
    bytes.swap(m_input);
    return bytes;
}

bool SimLink::clearInput()
{
    // Bytes still on the wire arrive later, as with a real driver.
    m_input.clear();
    return true;
}

bool SimLink::clearOutput()
{
    if (m_open && m_bus)
        m_bus->purgeIncoming();
    return true;
}

qint64 SimLink::bytesToWrite() const
{
    return m_open && m_bus ? m_bus->pendingIncoming() : 0;
}

void SimLink::onTransmit(const QByteArray &bytes)
{
    if (!m_open)
        return;
    m_input.append(bytes);
    emit readyRead();
}

void SimLink::onUnplugged()
{
    if (!m_open)
        return;
    close();
    emit resourceLost();
}

LinkFactory simLinkFactory(Bus &bus)
{
    QPointer<Bus> guarded(&bus);
    return [guarded](const QString &) -> std::unique_ptr<BusLink> { return std::make_unique<SimLink>(guarded); };
}

} // namespace sim
