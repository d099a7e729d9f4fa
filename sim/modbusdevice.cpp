#include "sim/modbusdevice.h"

#include "sim/modbus.h"

namespace sim {

using namespace modbus;

bool parseUnsigned(const QString &text, quint64 max, quint64 &value)
{
    bool ok = false;
    const QString t = text.trimmed();
    const quint64 v = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toULongLong(&ok, 16)
                                                                              : t.toULongLong(&ok, 10);
    if (!ok || v > max)
        return false;
    value = v;
    return true;
}

bool ModbusDevice::within(std::uint16_t start, std::uint16_t count, std::uint16_t first, std::uint16_t last)
{
    return count > 0 && start >= first && static_cast<int>(start) + count - 1 <= last;
}

std::optional<QByteArray> ModbusDevice::handle(const QByteArray &request, qint64 nowMs)
{
    if (request.size() < 2)
        return std::nullopt;
    const auto address = static_cast<std::uint8_t>(request.at(0));
    if (address == 0) {
        // Broadcast: writes are carried out, nobody answers.
        serve(request, nowMs, true);
        return std::nullopt;
    }
    if (address != this->address())
        return std::nullopt;
    return serve(request, nowMs, false);
}

std::optional<QByteArray> ModbusDevice::serve(const QByteArray &request, qint64 nowMs, bool broadcast)
{
    const auto address = static_cast<std::uint8_t>(request.at(0));
    const auto function = static_cast<std::uint8_t>(request.at(1));
    std::uint8_t error = NoException;
    QByteArray answer;

    switch (function) {
    case 1: case 2: case 3: case 4: {
        if (request.size() != 6 || broadcast)
            return std::nullopt; // a garbled read, or a read nobody may answer
        const std::uint16_t start = word(request, 2);
        const std::uint16_t count = word(request, 4);
        const int limit = function <= 2 ? 2000 : 125;
        if (count < 1 || count > limit) {
            error = IllegalDataValue;
            break;
        }
        QVector<std::uint16_t> values;
        error = read(function, start, count, nowMs, values);
        if (error == NoException)
            answer = function <= 2 ? bitsAnswer(address, function, values) : registersAnswer(address, function, values);
        break;
    }
    case 5: case 6: {
        if (request.size() != 6)
            return std::nullopt;
        std::uint16_t value = word(request, 4);
        if (function == 5) {
            if (value != 0xFF00 && value != 0x0000) {
                error = IllegalDataValue;
                break;
            }
            value = value ? 1 : 0;
        }
        error = write(function, word(request, 2), {value});
        answer = request; // the answer echoes the request
        break;
    }
    case 15: case 16: {
        if (request.size() < 7)
            return std::nullopt;
        const std::uint16_t start = word(request, 2);
        const std::uint16_t count = word(request, 4);
        const int bytes = static_cast<std::uint8_t>(request.at(6));
        if (request.size() != 7 + bytes)
            return std::nullopt;
        const int needed = function == 15 ? (count + 7) / 8 : count * 2;
        const int limit = function == 15 ? 1968 : 123;
        if (count < 1 || count > limit || bytes != needed) {
            error = IllegalDataValue;
            break;
        }
        QVector<std::uint16_t> values;
        for (int i = 0; i < count; ++i) {
            if (function == 15)
                values.append((static_cast<std::uint8_t>(request.at(7 + i / 8)) >> (i % 8)) & 1);
            else
                values.append(word(request, 7 + 2 * i));
        }
        error = write(function, start, values);
        answer = request.left(6);
        break;
    }
    default:
        error = custom(request, nowMs, answer);
        break;
    }

    if (broadcast)
        return std::nullopt;
    if (error != NoException) {
        if (!exceptions)
            return std::nullopt;
        return exceptionAnswer(address, function, error);
    }
    if (answer.isEmpty())
        return std::nullopt;
    return answer;
}

std::uint8_t ModbusDevice::read(std::uint8_t, std::uint16_t, std::uint16_t, qint64, QVector<std::uint16_t> &)
{
    return IllegalFunction;
}

std::uint8_t ModbusDevice::write(std::uint8_t, std::uint16_t, const QVector<std::uint16_t> &)
{
    return IllegalFunction;
}

std::uint8_t ModbusDevice::custom(const QByteArray &, qint64, QByteArray &)
{
    return IllegalFunction;
}

bool ModbusDevice::setDeviceOption(const QString &, const QString &)
{
    return false;
}

bool ModbusDevice::setOption(const QString &key, const QString &value)
{
    quint64 v = 0;
    if (key == QLatin1String("live") || key == QLatin1String("exceptions")) {
        if (!parseUnsigned(value, 1, v))
            return false;
        (key == QLatin1String("live") ? live : exceptions) = v != 0;
        return true;
    }
    return setDeviceOption(key, value);
}

} // namespace sim
