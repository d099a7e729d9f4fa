#pragma once

#include <array>
#include <cstdint>

// CRC-16/MODBUS in the classic two-table form. The result has its two bytes
// exchanged against the textbook value, so appending the high byte and then the
// low byte puts the CRC on the wire low-order byte first, as RTU framing wants.
namespace crc_detail {
constexpr std::uint16_t reflectedEntry(std::uint8_t index)
{
    std::uint16_t crc = index;
    for (int bit = 0; bit < 8; ++bit)
        crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u) : static_cast<std::uint16_t>(crc >> 1);
    return crc;
}

template <bool LowByte>
constexpr std::array<std::uint8_t, 256> makeTable()
{
    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        const std::uint16_t entry = reflectedEntry(static_cast<std::uint8_t>(i));
        table[i] = static_cast<std::uint8_t>(LowByte ? (entry & 0xFFu) : (entry >> 8));
    }
    return table;
}
} // namespace crc_detail

inline constexpr std::array<std::uint8_t, 256> CrcTableHi = crc_detail::makeTable<true>();
inline constexpr std::array<std::uint8_t, 256> CrcTableLo = crc_detail::makeTable<false>();

// Returns the CRC with the byte that goes first on the wire in the high byte.
std::uint16_t Crc16(const std::uint8_t *data, std::uint16_t length);

// Appends the CRC of the first `length` bytes of `frame` behind them; returns the new length.
int AppendCrc(std::uint8_t *frame, int length);

// True when the last two of `count` bytes are the CRC of the bytes before them.
// Fewer than two bytes give false.
bool FrameCrcIntact(const std::uint8_t *frame, int count);
