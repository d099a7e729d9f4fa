#include "bus/crc16.h"

std::uint16_t Crc16(const std::uint8_t *data, std::uint16_t length)
{
    std::uint8_t first = 0xFF;
    std::uint8_t second = 0xFF;
    for (std::uint16_t i = 0; i < length; ++i) {
        const std::uint8_t index = static_cast<std::uint8_t>(data[i] ^ first);
        first = static_cast<std::uint8_t>(CrcTableHi[index] ^ second);
        second = CrcTableLo[index];
    }
    return static_cast<std::uint16_t>(first << 8 | second);
}

int AppendCrc(std::uint8_t *frame, int length)
{
    const std::uint16_t crc = Crc16(frame, static_cast<std::uint16_t>(length));
    frame[length] = static_cast<std::uint8_t>(crc >> 8);
    frame[length + 1] = static_cast<std::uint8_t>(crc & 0xFF);
    return length + 2;
}

bool FrameCrcIntact(const std::uint8_t *frame, int count)
{
    if (!frame || count < 2 || count - 2 > 0xFFFF)
        return false;
    const std::uint16_t expected = Crc16(frame, static_cast<std::uint16_t>(count - 2));
    return frame[count - 2] == (expected >> 8) && frame[count - 1] == (expected & 0xFFu);
}
