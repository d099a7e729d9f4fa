#include "sim/thermal.h"

#include "sim/live.h"
#include "sim/modbus.h"

namespace sim {

using namespace modbus;

SensorDevice::SensorDevice(std::uint8_t address) : ModbusDevice(address) {}

std::optional<QByteArray> SensorDevice::handle(const QByteArray &request, qint64 nowMs)
{
    // The address write goes to bus address 0 and is answered like any write,
    // with an echo; every other broadcast is handled as usual.
    if (request.size() == 6 && request.at(0) == 0 && request.at(1) == 6 && modbus::word(request, 2) == 0) {
        const std::uint16_t value = modbus::word(request, 4);
        if (value < 1 || value > 247)
            return exceptions ? std::optional<QByteArray>(exceptionAnswer(0, 6, IllegalDataValue)) : std::nullopt;
        setAddress(static_cast<std::uint8_t>(value));
        return request;
    }
    return ModbusDevice::handle(request, nowMs);
}

void SensorDevice::powerCycle()
{
    kt = ktPending;
}

std::uint16_t SensorDevice::holdingRegister(std::uint16_t reg, qint64 nowMs) const
{
    switch (reg) {
    case 0:
        return live ? static_cast<std::uint16_t>(live::around(surface, 0.05, liveSeed, 0, nowMs, 60000, 0xFFFF))
                    : surface;
    case 1:
        return live ? static_cast<std::uint16_t>(live::around(air, 0.02, liveSeed, 1, nowMs, 90000, 0xFFFF)) : air;
    case 2:
        return kt;
    default:
        return 0;
    }
}

std::uint8_t SensorDevice::read(std::uint8_t function, std::uint16_t start, std::uint16_t count, qint64 nowMs,
                                QVector<std::uint16_t> &values)
{
    if (function != 3)
        return IllegalFunction;
    if (!within(start, count, 0, 2))
        return IllegalDataAddress;
    for (int i = 0; i < count; ++i)
        values.append(holdingRegister(static_cast<std::uint16_t>(start + i), nowMs));
    return NoException;
}

std::uint8_t SensorDevice::write(std::uint8_t function, std::uint16_t start, const QVector<std::uint16_t> &values)
{
    if (function != 6)
        return IllegalFunction;
    if (start != 2)
        return IllegalDataAddress; // the temperatures are measured, and the address goes through address 0
    const std::uint16_t value = values.value(0);
    if (value < 10 || value > 100)
        return IllegalDataValue;
    ktPending = value; // the sensor uses it after a power cycle
    return NoException;
}

bool SensorDevice::setDeviceOption(const QString &key, const QString &value)
{
    quint64 v = 0;
    if (!parseUnsigned(value, 0xFFFF, v))
        return false;
    const auto w = static_cast<std::uint16_t>(v);
    if (key == QLatin1String("surface"))
        surface = w;
    else if (key == QLatin1String("air"))
        air = w;
    else if (key == QLatin1String("kt"))
        kt = ktPending = w;
    else
        return false;
    return true;
}

ControllerDevice::ControllerDevice(std::uint8_t address) : ModbusDevice(address) {}

std::uint8_t ControllerDevice::read(std::uint8_t function, std::uint16_t start, std::uint16_t count, qint64,
                                    QVector<std::uint16_t> &values)
{
    if (function != 1 && function != 2)
        return IllegalFunction;
    const std::uint16_t first = function == 2 ? FirstInput : FirstCoil;
    if (!within(start, count, first, first + 3))
        return IllegalDataAddress;
    for (int i = start - first; i < start - first + count; ++i)
        values.append((config >> i) & 1u);
    return NoException;
}

std::uint8_t ControllerDevice::write(std::uint8_t function, std::uint16_t start, const QVector<std::uint16_t> &values)
{
    if (function != 5 && function != 15)
        return IllegalFunction;
    if (!within(start, static_cast<std::uint16_t>(values.size()), FirstCoil, FirstCoil + 3))
        return IllegalDataAddress;
    for (int i = 0; i < values.size(); ++i) {
        const auto bit = static_cast<std::uint8_t>(1u << (start - FirstCoil + i));
        config = static_cast<std::uint8_t>(values[i] ? (config | bit) : (config & ~bit));
    }
    return NoException;
}

bool ControllerDevice::setDeviceOption(const QString &key, const QString &value)
{
    quint64 v = 0;
    if (key != QLatin1String("config") || !parseUnsigned(value, 0x0F, v))
        return false;
    config = static_cast<std::uint8_t>(v);
    return true;
}

} // namespace sim
