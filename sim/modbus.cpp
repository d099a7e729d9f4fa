#include "sim/modbus.h"

#include "bus/crc16.h"

namespace sim::modbus {

QByteArray withCrc(const QByteArray &body)
{
    const std::uint16_t crc
        = Crc16(reinterpret_cast<const std::uint8_t *>(body.constData()), static_cast<std::uint16_t>(body.size()));
    QByteArray frame = body;
    frame.append(static_cast<char>(crc >> 8));
    frame.append(static_cast<char>(crc & 0xFF));
    return frame;
}

bool crcValid(const QByteArray &frame)
{
    if (frame.size() < 3)
        return false;
    const QByteArray body = frame.left(frame.size() - 2);
    return withCrc(body) == frame;
}

std::uint16_t word(const QByteArray &frame, int offset)
{
    if (offset < 0 || offset + 1 >= frame.size())
        return 0;
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(frame.at(offset)) << 8
                                      | static_cast<std::uint8_t>(frame.at(offset + 1)));
}

void appendWord(QByteArray &body, std::uint16_t value)
{
    body.append(static_cast<char>(value >> 8));
    body.append(static_cast<char>(value & 0xFF));
}

QByteArray exceptionAnswer(std::uint8_t address, std::uint8_t function, std::uint8_t code)
{
    QByteArray body;
    body.append(static_cast<char>(address));
    body.append(static_cast<char>(function | 0x80));
    body.append(static_cast<char>(code));
    return body;
}

QByteArray registersAnswer(std::uint8_t address, std::uint8_t function, const QVector<std::uint16_t> &values)
{
    QByteArray body;
    body.append(static_cast<char>(address));
    body.append(static_cast<char>(function));
    body.append(static_cast<char>(values.size() * 2));
    for (std::uint16_t v : values)
        appendWord(body, v);
    return body;
}

QByteArray bitsAnswer(std::uint8_t address, std::uint8_t function, const QVector<std::uint16_t> &bits)
{
    QByteArray data((bits.size() + 7) / 8, '\0');
    for (int i = 0; i < bits.size(); ++i) {
        if (bits.at(i))
            data[i / 8] = static_cast<char>(static_cast<std::uint8_t>(data.at(i / 8)) | (1u << (i % 8)));
    }
    QByteArray body;
    body.append(static_cast<char>(address));
    body.append(static_cast<char>(function));
    body.append(static_cast<char>(data.size()));
    body.append(data);
    return body;
}

QString spacedHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

} // namespace sim::modbus
