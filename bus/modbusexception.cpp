#include "bus/modbusexception.h"

#include "bus/crc16.h"

std::optional<std::uint8_t> ModbusExceptionCode(const std::uint8_t *rx, int count)
{
    constexpr int Length = 5;
    if (!rx || count != Length || (rx[1] & 0x80u) == 0)
        return std::nullopt;
    if (!FrameCrcIntact(rx, Length))
        return std::nullopt;
    return rx[2];
}

QString ModbusExceptionText(std::uint8_t code)
{
    const QString number = QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
    switch (code) {
    case 0x01: return number + QStringLiteral(" (недопустимая функция)");
    case 0x02: return number + QStringLiteral(" (недопустимый адрес данных)");
    case 0x03: return number + QStringLiteral(" (недопустимое значение данных)");
    case 0x04: return number + QStringLiteral(" (отказ устройства)");
    default: return number;
    }
}

QString RefusalMessage(std::uint8_t code, const QString &notWritten)
{
    return QStringLiteral("Устройство отклонило запрос!\rКод исключения: ") + ModbusExceptionText(code)
        + QStringLiteral("\r") + notWritten;
}

WriteAnswer JudgeWriteAnswer(const std::uint8_t *rx, int count)
{
    if (count < 4)
        return {WriteAnswer::NoAnswer, 0};
    if (const auto code = ModbusExceptionCode(rx, count))
        return {WriteAnswer::Refused, *code};
    return {FrameCrcIntact(rx, count) ? WriteAnswer::Written : WriteAnswer::CrcError, 0};
}
