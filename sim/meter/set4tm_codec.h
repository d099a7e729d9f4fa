#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

// Byte-level pieces of the SET-4TM meter protocol as the simulated meter needs
// them: request codes, status bytes, the auxiliary value word, the clock block and
// the profile time stamp. No state lives here.
namespace sim::set4tm {

// Request codes (byte 1 of a request).
enum Code : std::uint8_t {
    TestChannel = 0x00,
    OpenChannel = 0x01,
    Write = 0x03,
    ReadEnergy = 0x05,
    ReadMemory = 0x06,
    ReadParameter = 0x08,
};

bool isKnownCode(std::uint8_t code);

// Parameter numbers of the write request (byte 2).
enum WriteParam : std::uint8_t {
    WriteIntegrationTime = 0x00,
    WriteNetworkAddress = 0x05,
    WriteClock = 0x0C,
    WriteBaudRate = 0x15,
    WriteMode = 0x18,
    WriteVoltageRatio = 0x1B,
    WriteCurrentRatio = 0x1C,
    ClearEnergy = 0x20,
};

// Parameter numbers of the read parameter request (byte 2).
enum ReadParam : std::uint8_t {
    ReadRatios = 0x02,
    ReadProfilePointer = 0x04,
    ReadNetworkAddress = 0x05,
    ReadIntegrationTime = 0x06,
    ReadModeFlags = 0x09,
    ReadAuxiliary = 0x11,
};

// Status byte of a 4-byte answer (byte 1).
enum Status : std::uint8_t {
    Ok = 0x00,
    InvalidRequest = 0x01,
    InternalError = 0x02,
    WrongPassword = 0x03,
    Busy = 0x04,
    ChannelClosed = 0x05,
    BaudRateWritten = 0x10, // the meter's "done" for a baud rate write
    EnergyCleared = 0x40,   // the meter's "done" for clearing the energy registers
};

// Energy array selectors of the read energy request (byte 2).
enum EnergyArray : std::uint8_t {
    SinceReset = 0x00,
    PreviousDay = 0x50,
};

// Auxiliary value selectors of the read auxiliary value request (byte 3).
enum AuxSelector : std::uint8_t {
    ActivePower = 0x00,
    ReactivePower = 0x04,
    VoltageA = 0x11,
    VoltageB = 0x12,
    VoltageC = 0x13,
    CurrentA = 0x21,
    CurrentB = 0x22,
    CurrentC = 0x23,
    PowerFactor = 0x30,
    Frequency = 0x40,
};

// Baud rate of a rate code of the baud rate write; 0 for a code the meter refuses.
int baudRateOfCode(std::uint8_t code);

// Integration times (minutes) the meter accepts: the divisors of an hour, so that
// every slice boundary falls on the hour and midnight is always a boundary.
bool isValidIntegrationTime(int minutes);

// The 3-byte auxiliary value word: the magnitude clamped to 22 bits, bit 23 set
// for a negative active power and bit 22 for a negative reactive power.
QByteArray auxWord(std::uint8_t selector, std::int64_t value);

// The 8-byte clock block of the set date and time request, checked: BCD digits,
// ranges, a real calendar date and a day of the week (Monday = 1 ... Sunday = 7)
// that matches it. The year is 2000 + the two digits.
struct ClockBlock
{
    QDateTime time; // naive meter time, kept as UTC so no daylight rule applies
    bool winterTime = false;
};
std::optional<ClockBlock> parseClockBlock(const QByteArray &block);
QByteArray makeClockBlock(const QDateTime &time, bool winterTime);

// Time stamp of the profile pointer answer: BCD minutes, hours, day, month, year.
QByteArray profileStamp(const QDateTime &time);

// A BCD byte of 0..99, or -1 when a digit is not decimal.
int strictBcd(std::uint8_t value);

// Short Russian meaning of a meter frame for the bus monitor. `frame` may carry its
// CRC or not: a valid trailing CRC is recognised and ignored.
QString describe(const QByteArray &frame, bool isAnswer);

} // namespace sim::set4tm
