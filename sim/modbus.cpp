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

namespace {
QString functionName(std::uint8_t function)
{
    switch (function) {
    case 1: return QStringLiteral("coils");
    case 2: return QStringLiteral("discrete inputs");
    case 3: return QStringLiteral("holding registers");
    case 4: return QStringLiteral("input registers");
    default: return {};
    }
}

QString hex4(std::uint16_t v)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper();
}

QString exceptionName(std::uint8_t code)
{
    switch (code) {
    case IllegalFunction: return QStringLiteral("illegal function");
    case IllegalDataAddress: return QStringLiteral("illegal data address");
    case IllegalDataValue: return QStringLiteral("illegal data value");
    default: return QStringLiteral("code %1").arg(code);
    }
}
} // namespace

QString describe(const QByteArray &frame, bool isAnswer)
{
    if (frame.size() < 2)
        return {};
    const auto function = static_cast<std::uint8_t>(frame.at(1));
    if (isAnswer && (function & 0x80) && frame.size() >= 3)
        return QStringLiteral("exception %1 (%2) to function %3")
            .arg(static_cast<std::uint8_t>(frame.at(2)))
            .arg(exceptionName(static_cast<std::uint8_t>(frame.at(2))))
            .arg(function & 0x7F);
    switch (function) {
    case 1: case 2: case 3: case 4:
        if (!isAnswer) {
            if (frame.size() < 6)
                return {};
            return QStringLiteral("read %1 %2 x%3").arg(functionName(function), hex4(word(frame, 2))).arg(word(frame, 4));
        } else {
            if (frame.size() < 3)
                return {};
            const int bytes = static_cast<std::uint8_t>(frame.at(2));
            const QByteArray data = frame.mid(3, bytes);
            if (function <= 2)
                return QStringLiteral("%1 %2").arg(functionName(function), QString::fromLatin1(data.toHex(' ').toUpper()));
            QString text = QStringLiteral("%1 registers").arg(bytes / 2);
            for (int i = 0; i + 1 < data.size() && i < 16; i += 2)
                text += QLatin1Char(' ') + QString::fromLatin1(data.mid(i, 2).toHex().toUpper());
            if (data.size() > 16)
                text += QStringLiteral(" ...");
            return text;
        }
    case 5:
        return QStringLiteral("write coil %1 := %2").arg(hex4(word(frame, 2)), word(frame, 4) == 0xFF00 ? "on" : "off");
    case 6:
        return QStringLiteral("write register %1 := %2").arg(hex4(word(frame, 2))).arg(word(frame, 4));
    case 15:
    case 16: {
        const QString what = function == 15 ? QStringLiteral("coils") : QStringLiteral("registers");
        QString text = QStringLiteral("write %1 %2 x%3").arg(what, hex4(word(frame, 2))).arg(word(frame, 4));
        if (!isAnswer && frame.size() > 7)
            text += QStringLiteral(" data ") + QString::fromLatin1(frame.mid(7, static_cast<std::uint8_t>(frame.at(6))).toHex().toUpper());
        return text;
    }
    default:
        return {};
    }
}

} // namespace sim::modbus
