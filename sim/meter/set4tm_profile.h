#pragma once

#include "meter/set4tmprotocol.h"

#include <QByteArray>
#include <QDateTime>

#include <array>
#include <cstdint>

namespace sim {

// Integration times (minutes) the meter accepts: the divisors of an hour, so that
// every slice boundary falls on the hour and midnight is always a boundary.
bool isValidIntegrationTime(int minutes);

// Power profile memory of the simulated meter. One 8-byte record per integration
// period holds the P+, P-, Q+ and Q- counts of that period (16 bits each, high
// byte first), written when the period closes. The record pointer is the byte
// address of the record of the period now running, and the time stamp that goes
// with it is the start of that period; when the period closes the pointer moves
// on by one record, so the record at the previous pointer is then complete.
// Addresses wrap at 64 KiB, the range of the 16-bit pointer.
class Set4tmProfile
{
public:
    static constexpr int RecordSize = set4tm::ProfileRecordSize;
    static constexpr int MemorySize = 0x10000;
    static constexpr int RecordCount = MemorySize / RecordSize;

    Set4tmProfile();

    int minutes = 30;           // integration period; a divisor of 60
    std::uint16_t pointer = 0;  // record of the running period
    QDateTime sliceStart;       // start of the running period, naive meter time
    std::array<std::uint32_t, 4> running{}; // counts gathered so far in the running period
    QByteArray memory;          // MemorySize bytes

    QDateTime sliceEnd() const { return sliceStart.addSecs(minutes * 60); }

    // Start of the period that `clock` lies in.
    QDateTime periodStart(const QDateTime &clock) const;

    // The running period becomes the one `clock` lies in; what it gathered is dropped
    // and the pointer stays (a clock change does not move it).
    void restart(const QDateTime &clock);

    // Profile initialisation after a new integration time: memory cleared, pointer
    // back to 0, a new period started at `clock`.
    void initialise(int newMinutes, const QDateTime &clock);

    // Writes the running record (counts beyond 16 bits saturate), moves the pointer
    // on by one record and starts the next period.
    void closeSlice();

    void writeRecord(std::uint16_t address, const std::array<std::uint32_t, 4> &counts);

    // `count` bytes from `address` on, wrapping at the end of the memory.
    QByteArray read(std::uint16_t address, int count) const;
};

} // namespace sim
