#pragma once

#include "sim/modbusdevice.h"

namespace sim {

// Infrared temperature sensor: holding registers 0 (surface), 1 (air), both
// in 0.01 °C, and 2 (emissivity Kt × 100). Its address is written as register 0
// through bus address 0, which it answers whatever its own address is.
// Fixed at 19200 bit/s.
class SensorDevice : public ModbusDevice
{
public:
    explicit SensorDevice(std::uint8_t address);
    const char *kind() const override { return "sensor"; }
    QString title() const override { return QStringLiteral("Sensor"); }
    std::optional<QByteArray> handle(const QByteArray &request, qint64 nowMs) override;
    void powerCycle() override;
    int baudRate() const override { return 19200; }

    std::uint16_t surface = 4550; // 45.50 °C
    std::uint16_t air = 2330;     // 23.30 °C
    // Kt × 100 in use, and as last written (in use after a power cycle).
    std::uint16_t kt = 80;
    std::uint16_t ktPending = 80;

    std::uint16_t holdingRegister(std::uint16_t reg, qint64 nowMs) const;

protected:
    std::uint8_t read(std::uint8_t function, std::uint16_t start, std::uint16_t count, qint64 nowMs,
                      QVector<std::uint16_t> &values) override;
    std::uint8_t write(std::uint8_t function, std::uint16_t start, const QVector<std::uint16_t> &values) override;
    bool setDeviceOption(const QString &key, const QString &value) override;
};

// Multi-sensor temperature controller: its configuration byte (bits 0..2 the
// sensor groups, bit 3 the variant) reads as discrete inputs 0x0185..0x0188 and
// is written as coils 0x0181..0x0184 (function 15, or 5 one at a time).
class ControllerDevice : public ModbusDevice
{
public:
    static constexpr std::uint16_t FirstCoil = 0x0181;
    static constexpr std::uint16_t FirstInput = 0x0185;

    explicit ControllerDevice(std::uint8_t address);
    const char *kind() const override { return "controller"; }
    QString title() const override { return QStringLiteral("Controller"); }

    std::uint8_t config = 0x0F; // all nine sensors, variant bit set

protected:
    std::uint8_t read(std::uint8_t function, std::uint16_t start, std::uint16_t count, qint64 nowMs,
                      QVector<std::uint16_t> &values) override;
    std::uint8_t write(std::uint8_t function, std::uint16_t start, const QVector<std::uint16_t> &values) override;
    bool setDeviceOption(const QString &key, const QString &value) override;
};

} // namespace sim
