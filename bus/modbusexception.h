#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// A Modbus exception answer: address, function code with bit 7 set, exception
// code, CRC. The request layer lets it pass the CRC check like any answer, so a
// write "answered" this way must not be taken for a success.

// The exception code when the `count` bytes are exactly such an answer with a
// correct CRC; nullopt otherwise.
std::optional<std::uint8_t> ModbusExceptionCode(const std::uint8_t *rx, int count);

// The code in words for the user: "01 (недопустимая функция)"; unknown codes by number only.
QString ModbusExceptionText(std::uint8_t code);

// The warning shown when a device refused a write: what it said and what was
// therefore not written, for example "Новый сетевой адрес не записан!".
QString RefusalMessage(std::uint8_t code, const QString &notWritten);

// How a device answered a configuration write: nothing (fewer than 4 bytes), a
// wrong CRC, a refusal (a Modbus exception, its code in `exceptionCode`), or an
// answer that confirms the write.
struct WriteAnswer
{
    enum Kind { NoAnswer, CrcError, Refused, Written } kind = NoAnswer;
    std::uint8_t exceptionCode = 0;
};
WriteAnswer JudgeWriteAnswer(const std::uint8_t *rx, int count);
