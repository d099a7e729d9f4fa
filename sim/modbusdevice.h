#pragma once

#include "sim/device.h"

#include <QVector>

namespace sim {

// Common request handling of the Modbus slaves: address match, request layout
// and length checks, exception answers, echo answers of writes and silent
// execution of broadcast writes. A device type fills in its tables.
class ModbusDevice : public Device
{
public:
    using Device::Device;

    std::optional<QByteArray> handle(const QByteArray &request, qint64 nowMs) override;
    // "live" and "exceptions" (0/1), then the device's own keys.
    bool setOption(const QString &key, const QString &value) override;

protected:
    // Each returns 0 or a Modbus exception code. `function` is 1..4 for reads
    // (bits come back as 0/1 values) and 5, 6, 15, 16 for writes; a write
    // of function 5 carries 0 or 1.
    virtual std::uint8_t read(std::uint8_t function, std::uint16_t start, std::uint16_t count, qint64 nowMs,
                              QVector<std::uint16_t> &values);
    virtual std::uint8_t write(std::uint8_t function, std::uint16_t start, const QVector<std::uint16_t> &values);
    // Functions outside 1..6, 15, 16: the answer body in `answer`, or an exception code.
    virtual std::uint8_t custom(const QByteArray &request, qint64 nowMs, QByteArray &answer);
    // Device-specific keys of setOption.
    virtual bool setDeviceOption(const QString &key, const QString &value);

    // True when [start, start + count) lies within [first, last].
    static bool within(std::uint16_t start, std::uint16_t count, std::uint16_t first, std::uint16_t last);

private:
    std::optional<QByteArray> serve(const QByteArray &request, qint64 nowMs, bool broadcast);
};

// Number parsing for setOption: decimal, or hexadecimal with 0x.
bool parseUnsigned(const QString &text, quint64 max, quint64 &value);

} // namespace sim
