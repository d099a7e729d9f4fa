#pragma once

#include "charts/readings.h"

#include <cstdint>

class RequestLayer;

// ZDLT-1 relay protection unit: the voltage and frequency block from 0xFC7C.
namespace zdlt {

constexpr std::uint16_t FirstRegister = 0xFC7C;
constexpr std::uint16_t RegisterCount = 14; // a 33-byte answer

// The search probe and the test request are the same read.
void frameTestRequest(RequestLayer &frames, std::uint8_t address);

// Volts per register unit: 99 for the 10 kV class, 59 for 6 kV.
constexpr int voltageFactor(int kiloVolts) { return kiloVolts == 10 ? 99 : 59; }

struct Reading
{
    double ua = 0, ub = 0, uc = 0; // volts
    double frequency = 0;          // hertz
};

// From an accepted test answer and the voltage class in kV. Bytes past `count` read as 0.
Reading decodeReading(const std::uint8_t *rx, int count, int kiloVolts);
// "Ua", "Ub", "Uc" in volts and "F" in hertz.
Readings readings(const Reading &reading);

} // namespace zdlt
