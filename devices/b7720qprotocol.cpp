#include "devices/b7720qprotocol.h"

#include "bus/answerbytes.h"
#include "bus/requestlayer.h"

namespace b7720q {

void frameTestRequest(RequestLayer &frames, std::uint8_t address)
{
    frames.SendReadDiscreteInputs(address, 0x0000, 8);
}

std::uint8_t inputs(const std::uint8_t *rx, int count)
{
    return static_cast<std::uint8_t>(answer::byteAt(rx, count, 3));
}

} // namespace b7720q
