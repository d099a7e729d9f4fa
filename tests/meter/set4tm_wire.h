#pragma once

#include <QByteArray>

#include <cstdint>

// The meter's wire framing as the tests check it: a bit-wise CRC-16/MODBUS of
// their own, independent of the table form under test.
namespace set4tmtest {

inline std::uint16_t referenceCrc(const QByteArray &bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

// Body plus CRC, low-order byte of the standard value first.
inline QByteArray wire(const QByteArray &body)
{
    const std::uint16_t crc = referenceCrc(body);
    return body + QByteArray(1, static_cast<char>(crc & 0xFF)) + QByteArray(1, static_cast<char>(crc >> 8));
}

inline QByteArray wireHex(const char *bodyHex)
{
    return wire(QByteArray::fromHex(bodyHex));
}

inline bool crcOk(const QByteArray &frame)
{
    return frame.size() >= 3 && wire(frame.left(frame.size() - 2)) == frame;
}

// A frame as the decoders take it from the receive buffer.
inline const std::uint8_t *bytesOf(const QByteArray &bytes)
{
    return reinterpret_cast<const std::uint8_t *>(bytes.constData());
}

inline int sizeOf(const QByteArray &bytes)
{
    return static_cast<int>(bytes.size());
}

} // namespace set4tmtest
