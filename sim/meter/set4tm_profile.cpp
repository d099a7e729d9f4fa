#include "sim/meter/set4tm_profile.h"

#include <algorithm>

namespace sim {

Set4tmProfile::Set4tmProfile() : memory(MemorySize, '\0') {}

QDateTime Set4tmProfile::periodStart(const QDateTime &clock) const
{
    const int minuteOfDay = clock.time().hour() * 60 + clock.time().minute();
    const int start = minuteOfDay / minutes * minutes;
    return QDateTime(clock.date(), QTime(start / 60, start % 60), clock.timeSpec());
}

void Set4tmProfile::restart(const QDateTime &clock)
{
    sliceStart = periodStart(clock);
    running = {};
}

void Set4tmProfile::initialise(int newMinutes, const QDateTime &clock)
{
    minutes = newMinutes;
    memory.fill('\0');
    pointer = 0;
    restart(clock);
}

void Set4tmProfile::closeSlice()
{
    writeRecord(pointer, running);
    pointer = static_cast<std::uint16_t>(pointer + RecordSize);
    sliceStart = sliceEnd();
    running = {};
}

void Set4tmProfile::writeRecord(std::uint16_t address, const std::array<std::uint32_t, 4> &counts)
{
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t value = std::min<std::uint32_t>(counts[static_cast<size_t>(i)], 0xFFFFu);
        memory[(address + 2 * i) % MemorySize] = static_cast<char>(value >> 8);
        memory[(address + 2 * i + 1) % MemorySize] = static_cast<char>(value & 0xFF);
    }
}

QByteArray Set4tmProfile::read(std::uint16_t address, int count) const
{
    QByteArray bytes;
    bytes.reserve(count);
    for (int i = 0; i < count; ++i)
        bytes.append(memory.at((address + i) % MemorySize));
    return bytes;
}

} // namespace sim
