#include "devices/c3940fprotocol.h"

#include "bus/crc16.h"
#include "bus/modbusexception.h"
#include "bus/requestlayer.h"

namespace c3940f {
namespace {
// Group bits of the list items, in list order.
constexpr std::uint8_t ItemBits[] = {0x01, 0x02, 0x04, 0x07, 0x03, 0x06};
constexpr int ItemCount = static_cast<int>(sizeof ItemBits);
} // namespace

std::uint8_t configurationOfAnswer(const std::uint8_t *rx, int count)
{
    return rx && count > 3 ? rx[3] : 0;
}

int groupIndex(std::uint8_t config)
{
    const bool first = config & 0x01, second = config & 0x02, third = config & 0x04;
    switch (first + second + third) {
    case 0: return NoGroup;
    case 1: return first ? 0 : second ? 1 : 2;
    case 2: return first && second ? 4 : 5;
    default: return 3;
    }
}

int variantIndex(std::uint8_t config)
{
    return (config & VariantBit) ? 1 : 0;
}

std::uint8_t groupBits(int index)
{
    return index >= 0 && index < ItemCount ? ItemBits[index] : 0;
}

std::uint8_t configurationByte(int group, int variant)
{
    return static_cast<std::uint8_t>(groupBits(group) | (variant != 0 ? VariantBit : 0));
}

void frameWrite(RequestLayer &frames, std::uint8_t address, std::uint8_t config)
{
    const std::uint8_t body[] = {address,
                                 0x0F,
                                 static_cast<std::uint8_t>(FirstCoil >> 8),
                                 static_cast<std::uint8_t>(FirstCoil & 0xFF),
                                 0x00,
                                 static_cast<std::uint8_t>(BitCount),
                                 0x01,
                                 config};
    frames.SendRaw(body, sizeof body);
}

WriteResult judgeWriteAnswer(const std::uint8_t *rx, int count)
{
    if (const auto code = ModbusExceptionCode(rx, count))
        return {WriteOutcome::Refused, *code};
    if (!rx || count != WriteAnswerLength)
        return {WriteOutcome::NoAnswer, 0};
    const std::uint16_t crc = Crc16(rx, WriteAnswerLength - 2);
    const bool intact = rx[6] == (crc >> 8) && rx[7] == (crc & 0xFFu);
    return {intact ? WriteOutcome::Written : WriteOutcome::CrcError, 0};
}

} // namespace c3940f
