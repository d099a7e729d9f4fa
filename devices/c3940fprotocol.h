#pragma once

#include <cstdint>

class RequestLayer;

// ТРАВ/ЖНКТ multi-sensor controller: its one configuration byte and the write of it.
// Bits 0..2 are the sensor groups UT1-UT3, UT4-UT6, UT7-UT9, bit 3 is the variant
// (1 = ТРАВ, 0 = ЖНКТ), bits 4..7 are unused. The controller reports the byte as
// four discrete inputs and takes it as four coils, bit 0 first.
namespace c3940f {

constexpr std::uint16_t FirstInput = 0x0185; // read with function 2
constexpr std::uint16_t FirstCoil = 0x0181;  // written with function 15
constexpr std::uint16_t BitCount = 4;
constexpr std::uint8_t VariantBit = 0x08;
constexpr int WriteRequestLength = 10;
constexpr int WriteAnswerLength = 8; // the echo of address, function, first coil and count
// The controller does not report its version; this is the one its firmware has.
constexpr const char *FirmwareVersion = "01 от 15.02.23";

// Index of the sensor group list when nothing is selected.
constexpr int NoGroup = -1;

// The configuration byte of the answer to the read of the four inputs: its byte 3,
// or 0 when the answer is shorter than that.
std::uint8_t configurationOfAnswer(const std::uint8_t *rx, int count);

// The sensor group list index that shows the groups of `config`: NoGroup when no
// group is set; one group by its own item; two groups as "UT1 - UT6" when they are
// the first two, otherwise as "UT4 - UT9" (the list has no item for the first and
// last group alone); all three as "UT1 - UT9".
int groupIndex(std::uint8_t config);
// The variant list index of `config`: 0 ЖНКТ, 1 ТРАВ.
int variantIndex(std::uint8_t config);
// The group bits an item of the list stands for; 0 for NoGroup or any other index.
std::uint8_t groupBits(int groupIndex);
// The byte to write for the two list indexes; bits 4..7 are 0.
std::uint8_t configurationByte(int groupIndex, int variantIndex);

// Frames the write of `config` to the controller at `address` into TxFrame, CRC included.
void frameWrite(RequestLayer &frames, std::uint8_t address, std::uint8_t config);

enum class WriteOutcome {
    Written,  // an 8-byte answer with a correct CRC
    NoAnswer, // nothing, or an answer of any other length
    CrcError, // 8 bytes, but the CRC is wrong
    Refused,  // a Modbus exception answer with a correct CRC
};

struct WriteResult
{
    WriteOutcome outcome = WriteOutcome::NoAnswer;
    std::uint8_t exceptionCode = 0; // of a refusal
};

// Judges what arrived after the write.
WriteResult judgeWriteAnswer(const std::uint8_t *rx, int count);

} // namespace c3940f
