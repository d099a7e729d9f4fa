#pragma once

#include "charts/readings.h"

#include <cstdint>

class RequestLayer;

// The infrared temperature sensor: holding registers 0 (surface) and 1 (air) in
// hundredths of a degree, 2 the emissivity coefficient Kt × 100. The address is
// register 0 written through bus address 0.
namespace mlx {

constexpr std::uint16_t RegAddress = 0x0000;
constexpr std::uint16_t RegEmissivity = 0x0002;

void frameProbe(RequestLayer &frames, std::uint8_t address);
void frameTestRequest(RequestLayer &frames, std::uint8_t address);
// To bus address 0, whatever address the sensor has now.
void frameAddressWrite(RequestLayer &frames, int newAddress);
void frameEmissivityWrite(RequestLayer &frames, std::uint8_t address, int hundredths);

// Hundredths of a coefficient as the register holds them (0.53 -> 53, 0.8 -> 80).
int hundredths(double coefficient);
// Kt from the search answer (register 2 of the three read).
double emissivity(const std::uint8_t *rx, int count);

struct Temperatures
{
    double surface = 0; // °C, unsigned register: 0xFFFF is 655.35
    double air = 0;
};
Temperatures decodeTemperatures(const std::uint8_t *rx, int count);
// The two temperatures in °C, named as the monitoring tab captions them.
Readings readings(const Temperatures &t);

} // namespace mlx
