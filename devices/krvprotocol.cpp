#include "devices/krvprotocol.h"

namespace krv {
namespace {
std::uint32_t byteAt(const std::uint8_t *rx, int count, int i)
{
    return i < count ? rx[i] : 0u;
}

std::uint32_t word16(const std::uint8_t *rx, int count, int i)
{
    return byteAt(rx, count, i) << 8 | byteAt(rx, count, i + 1);
}

std::uint32_t word32(const std::uint8_t *rx, int count, int i)
{
    return word16(rx, count, i) << 16 | word16(rx, count, i + 2);
}
} // namespace

Identification decodeIdentification(const std::uint8_t *rx, int count)
{
    Identification id;
    id.code = static_cast<int>(word16(rx, count, 3));
    id.model = static_cast<int>(word16(rx, count, 5));
    id.version = word16(rx, count, 7) * 0.01;
    return id;
}

Reading decodeReading(const std::uint8_t *rx, int count)
{
    Reading reading;
    reading.status = static_cast<std::uint16_t>(word16(rx, count, 3));
    for (std::size_t i = 0; i < CurrentOffsets.size(); ++i)
        reading.currents[i] = word32(rx, count, CurrentOffsets[i]) * 0.01;
    return reading;
}

} // namespace krv
