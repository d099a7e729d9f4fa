#pragma once

#include "bus/buslink.h"
#include "sim/bus.h"

#include <QPointer>

namespace sim {

// The configurator's serial transport attached to a simulated bus in the same
// process: no pseudo-terminal, same timing. Written bytes take their wire time
// at the line rate; answers arrive as readyRead in chunks as the bus delivers
// them. Opening sets the bus's line settings.
class SimLink : public BusLink
{
    Q_OBJECT
public:
    explicit SimLink(Bus &bus, QObject *parent = nullptr);
    // A link to a bus that may already be gone: it then fails to open.
    explicit SimLink(QPointer<Bus> bus, QObject *parent = nullptr);
    ~SimLink() override;

    bool open(const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    bool applySettings(const LineSettings &settings) override;
    qint64 write(const QByteArray &bytes) override;
    QByteArray readAll() override;
    bool clearInput() override;
    bool clearOutput() override;
    // The written bytes still waiting for their wire time.
    qint64 bytesToWrite() const override;
    Error lastError() const override { return m_error; }

private:
    void onTransmit(const QByteArray &bytes);
    void onUnplugged();
    bool fail(ErrorKind kind, const QString &text);

    QPointer<Bus> m_bus;
    bool m_open = false;
    QByteArray m_input;
    Error m_error;
    QMetaObject::Connection m_connection;
    QMetaObject::Connection m_unplug;
};

// Link factory for TVaComm::setLinkFactory: every device name opens the bus.
LinkFactory simLinkFactory(Bus &bus);

} // namespace sim
