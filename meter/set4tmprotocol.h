#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

class RequestLayer;

// The SET-4TM meter's own request/answer protocol (Modbus RTU CRC, no Modbus
// functions): request codes, the requests the configurator sends and how they are
// framed, the password and the clock block. Answers are in set4tmanswers.h. No
// state lives here; the simulated meter builds on the same definitions.
namespace set4tm {

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

// Memory type of the read memory request (byte 2): the power profile.
constexpr std::uint8_t ProfileMemory = 0x03;
// Bytes of one power profile record, the length asked for by the profile read.
constexpr std::uint8_t ProfileRecordSize = 8;

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

// Values of the mode byte write.
enum ModeValue : std::uint8_t {
    AllowIncompleteSlices = 0x02,
    ForbidIncompleteSlices = 0x03,
    ForbidAutoClose = 0x07, // sent before a baud rate change
};

// Rate code of the baud rate write: 0x10 for 9600, 0x16 for anything else (19200).
constexpr std::uint8_t baudRateCode(int baud) { return baud == 9600 ? 0x10 : 0x16; }
// Baud rate of a rate code; 0 for a code the meter does not know.
int baudRateOfCode(std::uint8_t code);

// Season byte of the clock block.
enum class Season : std::uint8_t { Summer = 0, Winter = 1 };

// The six password bytes of the open-channel request: the first six characters
// of the typed text, one Windows-1251 byte each. A shorter text leaves zero bytes
// for the missing ones; a character the code page lacks becomes '?'.
using Password = std::array<std::uint8_t, 6>;
Password passwordBytes(const QString &typed);

// The 8-byte clock block of the set date and time request: BCD seconds, minutes,
// hours, day of the week (Monday = 1 ... Sunday = 7), BCD day, month, year within
// the century (year - 2000 from 2000 on, year - 1900 before), season byte.
QByteArray clockBlock(const QDateTime &time, Season season);
// The same block read back and checked (BCD digits, ranges, a real date whose day
// of the week matches); the year is 2000 + the two digits. The time is naive
// meter time, kept as UTC so that no daylight rule applies.
struct ClockSetting
{
    QDateTime time;
    Season season = Season::Summer;
};
std::optional<ClockSetting> parseClockBlock(const QByteArray &block);

// A BCD byte of 0..99, or -1 when a digit is not decimal.
int strictBcd(std::uint8_t value);

// Every request the configurator sends to the meter.
enum class RequestKind {
    TestChannel,
    OpenChannel,
    WriteIntegrationTime,
    WriteNetworkAddress,
    WriteBaudRate,
    WriteMode,
    WriteVoltageRatio,
    WriteCurrentRatio,
    ClearEnergy,
    SetDateTime,
    ReadEnergy,
    ReadProfileMemory,
    ReadRatios,
    ReadProfilePointer,
    ReadNetworkAddress,
    ReadIntegrationTime,
    ReadModeFlags,
    ReadAuxiliary,
};

// One request: what it is and its bytes before the CRC (address first).
struct Request
{
    static constexpr int MaxBody = 11; // address, code and up to nine parameter bytes

    RequestKind kind = RequestKind::TestChannel;
    std::array<std::uint8_t, MaxBody> body{};
    int length = 0;

    std::uint8_t address() const { return body[0]; }
    // Byte `index` of the body; 0 past its end.
    std::uint8_t at(int index) const { return index >= 0 && index < length ? body[index] : 0; }
    // Writes body and CRC into TxFrame; TxCount = length + 2.
    void frameInto(RequestLayer &frames) const;
    // The body without CRC.
    QByteArray bytes() const;
};

// The answer length that a test exchange accepts for a request: the exact data
// length of a read, 4 for a request answered with a status byte.
int answerLength(RequestKind kind);

Request testChannel(); // always to address 0
Request openChannel(std::uint8_t address, const Password &password);
Request writeIntegrationTime(std::uint8_t address, std::uint8_t minutes);
Request writeNetworkAddress(std::uint8_t address, std::uint8_t newAddress);
Request writeBaudRate(std::uint8_t address, int baud);
Request writeMode(std::uint8_t address, ModeValue mode);
Request writeVoltageRatio(std::uint8_t address, std::uint16_t ku);
Request writeCurrentRatio(std::uint8_t address, std::uint16_t ki);
Request clearEnergy(std::uint8_t address);
Request setDateTime(std::uint8_t address, const QDateTime &time, Season season);
Request readEnergy(std::uint8_t address, EnergyArray array);
Request readProfileMemory(std::uint8_t address, std::uint16_t recordPointer);
Request readRatios(std::uint8_t address);
Request readProfilePointer(std::uint8_t address);
Request readNetworkAddress(std::uint8_t address);
Request readIntegrationTime(std::uint8_t address);
Request readModeFlags(std::uint8_t address);
Request readAuxiliary(std::uint8_t address, AuxSelector selector);

} // namespace set4tm
