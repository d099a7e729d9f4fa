#pragma once

#include "meter/set4tmprotocol.h"

#include <QByteArray>
#include <QDateTime>

#include <array>
#include <cstdint>

// The data layouts of the meter's answers. Byte numbers count from the address
// byte (byte 0); numbers are big-endian and unsigned. The decoders take the
// received frame as the request layer holds it and read bytes past `count` as 0;
// the encoders build the payload behind the address byte, as the simulated meter
// sends it.
namespace set4tm {

// Read network address and read integration time: byte 1 is 0, byte 2 the value.
int decodeParameter(const std::uint8_t *rx, int count);
QByteArray parameterPayload(std::uint8_t value);

// Read transformer ratios: bytes 1-2 Ku, 3-4 Ki, 5-10 not used.
struct Ratios
{
    std::uint16_t ku = 0;
    std::uint16_t ki = 0;
};
Ratios decodeRatios(const std::uint8_t *rx, int count);
QByteArray ratiosPayload(const Ratios &ratios);

// Read mode flags: bit 1 of byte 2 set = marking of incomplete power slices allowed.
bool decodeIncompleteSlicesAllowed(const std::uint8_t *rx, int count);
QByteArray modeFlagsPayload(bool incompleteSlicesAllowed);
// How the window shows that flag: "ДА" or "НЕТ".
QString yesNoText(bool value);

// Read energy: four 32-bit counts A+, A-, R+, R-.
using EnergyCounts = std::array<std::uint32_t, 4>;
EnergyCounts decodeEnergy(const std::uint8_t *rx, int count);
QByteArray energyPayload(const EnergyCounts &counts);

// Read auxiliary value: a 24-bit word whose low 22 bits are the magnitude. Only
// two values carry a sign: active power in bit 23, reactive power in bit 22 or 23
// (byte 1 of 0x40 or more).
struct AuxReading
{
    std::uint32_t magnitude = 0;
    bool negative = false;
};
AuxReading decodeAuxiliary(AuxSelector selector, const std::uint8_t *rx, int count);
// The word for a raw value: magnitude clamped to 22 bits, bit 23 set for a
// negative active power and bit 22 for a negative reactive power.
QByteArray auxWord(AuxSelector selector, std::int64_t value);

// Read profile pointer: a time stamp (BCD minutes with bit 7 ignored, hours, day,
// month, two-digit year of the 2000s; seconds 0) and the record pointer. The
// stamp is naive meter time, kept as UTC so that no daylight rule applies; it is
// invalid when the bytes do not form a date and time.
struct ProfilePointer
{
    QDateTime stamp;
    std::uint16_t pointer = 0;
};
ProfilePointer decodeProfilePointer(const std::uint8_t *rx, int count);
QByteArray profileStamp(const QDateTime &time);
QByteArray profilePointerPayload(const QDateTime &stamp, std::uint16_t pointer);

// Read profile memory: one power profile record, P+, P-, Q+, Q- as 16-bit counts.
using ProfileRecord = std::array<std::uint16_t, 4>;
ProfileRecord decodeProfileRecord(const std::uint8_t *rx, int count);
QByteArray profileRecordPayload(const ProfileRecord &record);

} // namespace set4tm
