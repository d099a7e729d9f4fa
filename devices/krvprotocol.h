#pragma once

#include "charts/readings.h"

#include <array>
#include <cstdint>
#include <vector>

class RequestLayer;

// KRV-A relay protection unit: register map and answer decoding.
namespace krv {

constexpr std::uint16_t RegAddress = 0x011F;
constexpr std::uint16_t RegBaudCode = 0x0121;
constexpr std::uint16_t RegStatus = 0x0208;
constexpr std::uint16_t TestRegisterCount = 20; // 0x0208..0x021B, a 45-byte answer

// Byte offsets of the eight currents in the test answer: Ia, Ib, Ic, 3Io now,
// then the same four at the moment of the breaker trip.
constexpr std::array<int, 8> CurrentOffsets = {5, 9, 13, 17, 27, 31, 35, 39};

// Baud code of the rate register: 3 for 9600, 4 for anything else (19200).
constexpr std::uint16_t baudCode(int baud) { return baud == 9600 ? 3 : 4; }

struct Identification
{
    int code = 0;
    int model = 0;
    double version = 0; // firmware register × 0.01
};

struct Reading
{
    std::uint16_t status = 0;   // alarm bits
    std::array<double, 8> currents{}; // amperes
};

// An alarm bit of the status word the window shows as an LED, with its caption.
struct AlarmBit
{
    int bit;
    const char *caption; // UTF-8
};
// Bits 6..12 mean nothing to the user and have none.
const std::vector<AlarmBit> &alarmBits();
const char *alarmCaption(int bit); // nullptr for a bit without an LED

// The names of the currents in CurrentOffsets order: "Ia", "Ib", "Ic", "3Io",
// then the same at the moment of the trip.
QString currentName(int index);
constexpr const char *CurrentUnit = "A";

void frameTestRequest(RequestLayer &frames, std::uint8_t address);
void frameAddressWrite(RequestLayer &frames, std::uint8_t address, int newAddress);
void frameBaudWrite(RequestLayer &frames, std::uint8_t address, int baud);

// From the answer to the search probe (three input registers from 0x0000).
// Bytes past `count` read as 0.
Identification decodeIdentification(const std::uint8_t *rx, int count);
// From an accepted test answer. Bytes past `count` read as 0.
Reading decodeReading(const std::uint8_t *rx, int count);
// The currents, then every alarm bit with an LED as a state named by its caption.
Readings readings(const Reading &reading);

} // namespace krv
