#include "sim/meter/set4tm_profile.h"

#include "meter/set4tmanswers.h"

#include <algorithm>

namespace sim {

bool isValidIntegrationTime(int minutes)
{
    return minutes >= 1 && minutes <= 60 && 60 % minutes == 0;
}

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
    set4tm::ProfileRecord record{};
    for (size_t i = 0; i < record.size(); ++i)
        record[i] = static_cast<std::uint16_t>(std::min<std::uint32_t>(counts[i], 0xFFFFu));
    const QByteArray bytes = set4tm::profileRecordPayload(record);
    for (int i = 0; i < RecordSize; ++i)
        memory[(address + i) % MemorySize] = bytes[i];
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
