#pragma once

#include <cstdint>

// Values read out of a received answer, high byte first as Modbus sends them.
// Only bytes that arrived count: a position at or past `count` reads as 0, so a
// short answer in front of stale buffer contents can never show stale values.
namespace answer {

inline std::uint32_t byteAt(const std::uint8_t *rx, int count, int i)
{
    return i >= 0 && i < count ? rx[i] : 0u;
}

inline std::uint32_t word16(const std::uint8_t *rx, int count, int i)
{
    return byteAt(rx, count, i) << 8 | byteAt(rx, count, i + 1);
}

inline std::uint32_t word32(const std::uint8_t *rx, int count, int i)
{
    return word16(rx, count, i) << 16 | word16(rx, count, i + 2);
}

} // namespace answer
