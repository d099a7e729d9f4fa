#pragma once

#include "sim/modbusdevice.h"

#include <array>

namespace sim {

// M-7051D 16-input module: discrete inputs 0..15 and the module function 70
// with sub-codes 0x20 (firmware version), 0x04 (address) and 0x06 (baud rate).
class M7051Device : public ModbusDevice
{
public:
    static constexpr std::uint8_t Function = 0x46;

    explicit M7051Device(std::uint8_t address);
    const char *kind() const override { return "m7051"; }
    QString title() const override { return QStringLiteral("M-7051D"); }
    void powerCycle() override;
    int baudRate() const override;

    // Bit n is input Din; while `live` some inputs toggle on top of these.
    std::uint16_t inputs = 0x8001;
    // The three version bytes of the sub-code 0x20 answer (2.5.17).
    std::array<std::uint8_t, 3> version{2, 5, 17};
    // Baud code as written (6 = 9600, 7 = 19200, 8 = 38400, 9 = 57600,
    // 10 = 115200) and the one in use since the last power cycle.
    std::uint8_t baudCode = 7;
    std::uint8_t activeBaudCode = 7;

    std::uint16_t inputsAt(qint64 nowMs) const;
    static int rateOfCode(int code); // 0 for an unknown code

protected:
    std::uint8_t read(std::uint8_t function, std::uint16_t start, std::uint16_t count, qint64 nowMs,
                      QVector<std::uint16_t> &values) override;
    std::uint8_t custom(const QByteArray &request, qint64 nowMs, QByteArray &answer) override;
    bool setDeviceOption(const QString &key, const QString &value) override;
};

// B-7720Q module: discrete inputs 0..7 and coils (outputs) 0..7.
class B7720qDevice : public ModbusDevice
{
public:
    explicit B7720qDevice(std::uint8_t address);
    const char *kind() const override { return "b7720q"; }
    QString title() const override { return QStringLiteral("B-7720Q"); }

    // Bit k is input Dik; while `live` some inputs toggle on top of these.
    std::uint8_t inputs = 0x81;
    std::uint8_t outputs = 0;

    std::uint8_t inputsAt(qint64 nowMs) const;

protected:
    std::uint8_t read(std::uint8_t function, std::uint16_t start, std::uint16_t count, qint64 nowMs,
                      QVector<std::uint16_t> &values) override;
    std::uint8_t write(std::uint8_t function, std::uint16_t start, const QVector<std::uint16_t> &values) override;
    bool setDeviceOption(const QString &key, const QString &value) override;
};

} // namespace sim
