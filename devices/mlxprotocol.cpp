#include "devices/mlxprotocol.h"

#include "bus/answerbytes.h"
#include "bus/requestlayer.h"

#include <cmath>

namespace mlx {

void frameProbe(RequestLayer &frames, std::uint8_t address)
{
    frames.SendReadHoldingRegisters(address, 0x0000, 3);
}

void frameTestRequest(RequestLayer &frames, std::uint8_t address)
{
    frames.SendReadHoldingRegisters(address, 0x0000, 2);
}

void frameAddressWrite(RequestLayer &frames, int newAddress)
{
    frames.SendWriteSingleRegister(0, RegAddress, static_cast<std::uint16_t>(newAddress));
}

void frameEmissivityWrite(RequestLayer &frames, std::uint8_t address, int hundredths)
{
    frames.SendWriteSingleRegister(address, RegEmissivity, static_cast<std::uint16_t>(hundredths));
}

int hundredths(double coefficient)
{
    return static_cast<int>(std::lround(coefficient * 100));
}

double emissivity(const std::uint8_t *rx, int count)
{
    return answer::word16(rx, count, 7) * 0.01;
}

Temperatures decodeTemperatures(const std::uint8_t *rx, int count)
{
    return {answer::word16(rx, count, 3) * 0.01, answer::word16(rx, count, 5) * 0.01};
}

Readings readings(const Temperatures &t)
{
    const QString celsius = QStringLiteral("°C");
    return {{QStringLiteral("T поверхности"), celsius, t.surface}, {QStringLiteral("T воздуха"), celsius, t.air}};
}

} // namespace mlx
