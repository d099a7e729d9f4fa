#pragma once

#include <QByteArray>

#include <cstdint>

// A frame as it goes on the wire: the body and its CRC-16/MODBUS, low byte first,
// computed bit by bit here so the code under test never checks itself.
inline QByteArray wire(const QByteArray &body)
{
    std::uint16_t crc = 0xFFFF;
    for (char c : body) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u) : static_cast<std::uint16_t>(crc >> 1);
    }
    QByteArray frame = body;
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
}

inline QByteArray wireHex(const char *hex)
{
    return wire(QByteArray::fromHex(hex));
}
