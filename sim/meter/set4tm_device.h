#pragma once

#include "sim/device.h"

namespace sim {

// The SET-4TM electricity meter with its own binary protocol (same CRC as Modbus RTU).
class Set4tmDevice : public Device
{
public:
    explicit Set4tmDevice(std::uint8_t address);
    const char *kind() const override { return "set4tm"; }
    std::optional<QByteArray> handle(const QByteArray &request, qint64 nowMs) override;
};

} // namespace sim
