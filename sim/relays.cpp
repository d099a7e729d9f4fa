#include "sim/relays.h"

#include "sim/live.h"
#include "sim/modbus.h"

namespace sim {

using namespace modbus;

namespace {
constexpr std::uint16_t KrvStatus = 0x0208;
constexpr std::uint16_t KrvLast = 0x021B;
constexpr std::uint16_t KrvAddressReg = 0x011F;
constexpr std::uint16_t KrvBaudReg = 0x0121;
} // namespace

KrvDevice::KrvDevice(std::uint8_t address) : ModbusDevice(address) {}

int KrvDevice::baudRate() const
{
    return activeBaudCode == 3 ? 9600 : 19200;
}

void KrvDevice::powerCycle()
{
    activeBaudCode = baudCode;
}

std::uint16_t KrvDevice::inputRegister(std::uint16_t reg, qint64 nowMs) const
{
    switch (reg) {
    case 0: return code;
    case 1: return model;
    case 2: return version;
    default: break;
    }
    if (reg == KrvStatus) {
        // A phase overcurrent alarm comes and goes now and then.
        if (live && live::toggle(liveSeed, 99, nowMs, 40000) && live::toggle(liveSeed, 98, nowMs, 20000))
            return statusWord | 0x0004;
        return statusWord;
    }
    std::uint32_t value = 0;
    int index = -1;
    bool high = false;
    if (reg >= 0x0209 && reg <= 0x0210) {
        index = (reg - 0x0209) / 2;
        high = (reg - 0x0209) % 2 == 0;
    } else if (reg >= 0x0211 && reg <= 0x0213) {
        return spare[reg - 0x0211];
    } else if (reg >= 0x0214 && reg <= KrvLast) {
        index = 4 + (reg - 0x0214) / 2;
        high = (reg - 0x0214) % 2 == 0;
    } else {
        return 0;
    }
    value = currents[index];
    if (live && index < 4)
        value = static_cast<std::uint32_t>(live::around(value, index == 3 ? 0.3 : 0.04, liveSeed, index, nowMs,
                                                        index == 3 ? 7000 : 20000, 0xFFFFFFFFu));
    return high ? static_cast<std::uint16_t>(value >> 16) : static_cast<std::uint16_t>(value & 0xFFFF);
}

std::uint8_t KrvDevice::read(std::uint8_t function, std::uint16_t start, std::uint16_t count, qint64 nowMs,
                             QVector<std::uint16_t> &values)
{
    if (function == 4) {
        if (!within(start, count, 0, 2) && !within(start, count, KrvStatus, KrvLast))
            return IllegalDataAddress;
        for (int i = 0; i < count; ++i)
            values.append(inputRegister(static_cast<std::uint16_t>(start + i), nowMs));
        return NoException;
    }
    if (function == 3) {
        // The two settings registers, one at a time (there is nothing in between).
        if (count != 1 || (start != KrvAddressReg && start != KrvBaudReg))
            return IllegalDataAddress;
        values.append(start == KrvAddressReg ? address() : baudCode);
        return NoException;
    }
    return IllegalFunction;
}

std::uint8_t KrvDevice::write(std::uint8_t function, std::uint16_t start, const QVector<std::uint16_t> &values)
{
    if (function != 6)
        return IllegalFunction;
    const std::uint16_t value = values.value(0);
    if (start == KrvAddressReg) {
        if (value < 1 || value > 247)
            return IllegalDataValue;
        setAddress(static_cast<std::uint8_t>(value)); // answers at the new address at once
        return NoException;
    }
    if (start == KrvBaudReg) {
        if (value != 3 && value != 4)
            return IllegalDataValue;
        baudCode = value; // used after the next power cycle
        return NoException;
    }
    return IllegalDataAddress;
}

bool KrvDevice::setDeviceOption(const QString &key, const QString &value)
{
    quint64 v = 0;
    static const char *const currentKeys[] = {"ia", "ib", "ic", "io", "tia", "tib", "tic", "tio"};
    for (int i = 0; i < 8; ++i) {
        if (key == QLatin1String(currentKeys[i])) {
            if (!parseUnsigned(value, 0xFFFFFFFFu, v))
                return false;
            currents[i] = static_cast<std::uint32_t>(v);
            return true;
        }
    }
    if (key == QLatin1String("baud")) {
        if (value != QLatin1String("9600") && value != QLatin1String("19200"))
            return false;
        baudCode = activeBaudCode = value == QLatin1String("9600") ? 3 : 4;
        return true;
    }
    if (!parseUnsigned(value, 0xFFFF, v))
        return false;
    const auto w = static_cast<std::uint16_t>(v);
    if (key == QLatin1String("code"))
        code = w;
    else if (key == QLatin1String("model"))
        model = w;
    else if (key == QLatin1String("version"))
        version = w;
    else if (key == QLatin1String("status"))
        statusWord = w;
    else
        return false;
    return true;
}

ZdltDevice::ZdltDevice(std::uint8_t address) : ModbusDevice(address) {}

std::uint16_t ZdltDevice::inputRegister(std::uint16_t reg, qint64 nowMs) const
{
    const int index = reg - First;
    if (index < 0 || index >= static_cast<int>(registers.size()))
        return 0;
    const std::uint16_t value = registers[index];
    if (!live)
        return value;
    if (index == Ua || index == Ub || index == Uc)
        return static_cast<std::uint16_t>(live::around(value, 0.02, liveSeed, index, nowMs, 30000, 0xFFFF));
    if (index == Frequency)
        return static_cast<std::uint16_t>(live::around(value, 0.004, liveSeed, index, nowMs, 15000, 0xFFFF));
    return value;
}

std::uint8_t ZdltDevice::read(std::uint8_t function, std::uint16_t start, std::uint16_t count, qint64 nowMs,
                              QVector<std::uint16_t> &values)
{
    if (function != 4)
        return IllegalFunction;
    if (!within(start, count, First, First + registers.size() - 1))
        return IllegalDataAddress;
    for (int i = 0; i < count; ++i)
        values.append(inputRegister(static_cast<std::uint16_t>(start + i), nowMs));
    return NoException;
}

bool ZdltDevice::setDeviceOption(const QString &key, const QString &value)
{
    quint64 v = 0;
    if (!parseUnsigned(value, 0xFFFF, v))
        return false;
    const auto w = static_cast<std::uint16_t>(v);
    if (key == QLatin1String("ua"))
        registers[Ua] = w;
    else if (key == QLatin1String("ub"))
        registers[Ub] = w;
    else if (key == QLatin1String("uc"))
        registers[Uc] = w;
    else if (key == QLatin1String("f"))
        registers[Frequency] = w;
    else if (key.startsWith(QLatin1Char('r'))) {
        // r0..r13: any register by its index from 0xFC7C.
        bool ok = false;
        const int index = key.mid(1).toInt(&ok);
        if (!ok || index < 0 || index >= static_cast<int>(registers.size()))
            return false;
        registers[index] = w;
    } else
        return false;
    return true;
}

} // namespace sim
