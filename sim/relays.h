#pragma once

#include "sim/modbusdevice.h"

#include <array>

namespace sim {

// KRV-A relay protection unit.
// Input registers 0x0000..0x0002 (identification) and 0x0208..0x021B (status
// word and currents); holding registers 0x011F (address) and 0x0121 (baud code),
// written with function 6.
class KrvDevice : public ModbusDevice
{
public:
    explicit KrvDevice(std::uint8_t address);
    const char *kind() const override { return "krv"; }
    QString title() const override { return QStringLiteral("KRV-A"); }
    void powerCycle() override;
    int baudRate() const override;

    // Identification: a KRV-A reports code 12 and model 2; version × 100.
    std::uint16_t code = 12;
    std::uint16_t model = 2;
    std::uint16_t version = 105;
    // Alarm bits of register 0x0208 (bit 0 the least significant).
    std::uint16_t statusWord = 0;
    // 0.01 A units: Ia, Ib, Ic, 3Io now (0x0209..), then the same at the last
    // breaker trip (0x0214..). The present ones move while `live`.
    std::array<std::uint32_t, 8> currents{12345, 12210, 12480, 35, 250000, 248000, 251500, 1200};
    // Registers 0x0211..0x0213, read by the test but not shown.
    std::array<std::uint16_t, 3> spare{0, 0, 0};
    // Baud code as written (3 = 9600, 4 = 19200) and the one in use since the
    // last power cycle.
    std::uint16_t baudCode = 4;
    std::uint16_t activeBaudCode = 4;

    // Values the answer of input register `reg` would carry at `nowMs`.
    std::uint16_t inputRegister(std::uint16_t reg, qint64 nowMs) const;

protected:
    std::uint8_t read(std::uint8_t function, std::uint16_t start, std::uint16_t count, qint64 nowMs,
                      QVector<std::uint16_t> &values) override;
    std::uint8_t write(std::uint8_t function, std::uint16_t start, const QVector<std::uint16_t> &values) override;
    bool setDeviceOption(const QString &key, const QString &value) override;
};

// ZDLT-1 relay protection unit: input registers 0xFC7C..0xFC89.
class ZdltDevice : public ModbusDevice
{
public:
    static constexpr std::uint16_t First = 0xFC7C;
    // Indexes into `registers`.
    enum { Ua = 0, Ub = 2, Uc = 4, Frequency = 13 };

    explicit ZdltDevice(std::uint8_t address);
    const char *kind() const override { return "zdlt"; }
    QString title() const override { return QStringLiteral("ZDLT-1"); }

    // 0xFC7C.. in order: the phase voltages (each followed by a second register),
    // seven more, and the frequency in 0.1 Hz. A voltage register times 99 is
    // volts in the 10 kV class, so 101 is about 10 kV.
    std::array<std::uint16_t, 14> registers{101, 0, 101, 0, 100, 0, 0, 0, 0, 0, 0, 0, 0, 500};

    std::uint16_t inputRegister(std::uint16_t reg, qint64 nowMs) const;

protected:
    std::uint8_t read(std::uint8_t function, std::uint16_t start, std::uint16_t count, qint64 nowMs,
                      QVector<std::uint16_t> &values) override;
    bool setDeviceOption(const QString &key, const QString &value) override;
};

} // namespace sim
