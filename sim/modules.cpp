#include "sim/modules.h"

#include "sim/live.h"
#include "sim/modbus.h"

#include <QStringList>

namespace sim {

using namespace modbus;

namespace {
// Inputs that toggle while live: a few channels, each at its own pace.
std::uint16_t toggled(std::uint32_t seed, qint64 nowMs, int channels)
{
    std::uint16_t mask = 0;
    for (int n = 0; n < channels; n += 3) {
        if (live::toggle(seed, n, nowMs, 3000.0 + 1500.0 * n))
            mask |= static_cast<std::uint16_t>(1u << n);
    }
    return mask;
}
} // namespace

M7051Device::M7051Device(std::uint8_t address) : ModbusDevice(address) {}

int M7051Device::rateOfCode(int code)
{
    switch (code) {
    case 6: return 9600;
    case 7: return 19200;
    case 8: return 38400;
    case 9: return 57600;
    case 10: return 115200;
    default: return 0;
    }
}

int M7051Device::baudRate() const
{
    return rateOfCode(activeBaudCode);
}

void M7051Device::powerCycle()
{
    activeBaudCode = baudCode;
}

std::uint16_t M7051Device::inputsAt(qint64 nowMs) const
{
    return live ? static_cast<std::uint16_t>(inputs ^ toggled(liveSeed, nowMs, 16)) : inputs;
}

std::uint8_t M7051Device::read(std::uint8_t function, std::uint16_t start, std::uint16_t count, qint64 nowMs,
                               QVector<std::uint16_t> &values)
{
    if (function != 2)
        return IllegalFunction;
    if (!within(start, count, 0, 15))
        return IllegalDataAddress;
    const std::uint16_t bits = inputsAt(nowMs);
    for (int i = start; i < start + count; ++i)
        values.append((bits >> i) & 1u);
    return NoException;
}

std::uint8_t M7051Device::custom(const QByteArray &request, qint64, QByteArray &answer)
{
    if (static_cast<std::uint8_t>(request.at(1)) != Function || request.size() < 3)
        return IllegalFunction;
    const auto sub = static_cast<std::uint8_t>(request.at(2));
    switch (sub) {
    case 0x20:
        if (request.size() != 3)
            return IllegalDataValue;
        answer = request;
        for (std::uint8_t b : version)
            answer.append(static_cast<char>(b));
        return NoException;
    case 0x04: {
        if (request.size() != 7)
            return IllegalDataValue;
        const auto next = static_cast<std::uint8_t>(request.at(3));
        if (next < 1 || next > 247)
            return IllegalDataValue;
        answer = request; // the module confirms with an echo from its old address
        setAddress(next);
        return NoException;
    }
    case 0x06: {
        if (request.size() != 11)
            return IllegalDataValue;
        const auto code = static_cast<std::uint8_t>(request.at(4));
        if (rateOfCode(code) == 0)
            return IllegalDataValue;
        baudCode = code; // used after the next power cycle
        answer = request;
        return NoException;
    }
    default:
        return IllegalFunction;
    }
}

bool M7051Device::setDeviceOption(const QString &key, const QString &value)
{
    quint64 v = 0;
    if (key == QLatin1String("inputs")) {
        if (!parseUnsigned(value, 0xFFFF, v))
            return false;
        inputs = static_cast<std::uint16_t>(v);
        return true;
    }
    if (key == QLatin1String("version")) {
        const QStringList parts = value.split(QLatin1Char('.'));
        std::array<std::uint8_t, 3> parsed{};
        if (parts.size() != 3)
            return false;
        for (int i = 0; i < 3; ++i) {
            if (!parseUnsigned(parts[i], 255, v))
                return false;
            parsed[i] = static_cast<std::uint8_t>(v);
        }
        version = parsed;
        return true;
    }
    if (key == QLatin1String("baud")) {
        if (!parseUnsigned(value, 1000000, v))
            return false;
        for (int code = 6; code <= 10; ++code) {
            if (rateOfCode(code) == static_cast<int>(v)) {
                baudCode = activeBaudCode = static_cast<std::uint8_t>(code);
                return true;
            }
        }
        return false;
    }
    return false;
}

B7720qDevice::B7720qDevice(std::uint8_t address) : ModbusDevice(address) {}

std::uint8_t B7720qDevice::inputsAt(qint64 nowMs) const
{
    return live ? static_cast<std::uint8_t>(inputs ^ toggled(liveSeed, nowMs, 8)) : inputs;
}

std::uint8_t B7720qDevice::read(std::uint8_t function, std::uint16_t start, std::uint16_t count, qint64 nowMs,
                                QVector<std::uint16_t> &values)
{
    if (function != 1 && function != 2)
        return IllegalFunction;
    if (!within(start, count, 0, 7))
        return IllegalDataAddress;
    const std::uint8_t bits = function == 2 ? inputsAt(nowMs) : outputs;
    for (int i = start; i < start + count; ++i)
        values.append((bits >> i) & 1u);
    return NoException;
}

std::uint8_t B7720qDevice::write(std::uint8_t function, std::uint16_t start, const QVector<std::uint16_t> &values)
{
    if (function != 5 && function != 15)
        return IllegalFunction;
    if (!within(start, static_cast<std::uint16_t>(values.size()), 0, 7))
        return IllegalDataAddress;
    for (int i = 0; i < values.size(); ++i) {
        const auto bit = static_cast<std::uint8_t>(1u << (start + i));
        outputs = static_cast<std::uint8_t>(values[i] ? (outputs | bit) : (outputs & ~bit));
    }
    return NoException;
}

bool B7720qDevice::setDeviceOption(const QString &key, const QString &value)
{
    quint64 v = 0;
    if (!parseUnsigned(value, 0xFF, v))
        return false;
    if (key == QLatin1String("inputs"))
        inputs = static_cast<std::uint8_t>(v);
    else if (key == QLatin1String("outputs"))
        outputs = static_cast<std::uint8_t>(v);
    else
        return false;
    return true;
}

} // namespace sim
