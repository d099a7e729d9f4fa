#include "devices/krvprotocol.h"

#include "bus/answerbytes.h"
#include "bus/requestlayer.h"

namespace krv {

void frameTestRequest(RequestLayer &frames, std::uint8_t address)
{
    frames.SendReadInputRegisters(address, RegStatus, TestRegisterCount);
}

void frameAddressWrite(RequestLayer &frames, std::uint8_t address, int newAddress)
{
    frames.SendWriteSingleRegister(address, RegAddress, static_cast<std::uint16_t>(newAddress));
}

void frameBaudWrite(RequestLayer &frames, std::uint8_t address, int baud)
{
    frames.SendWriteSingleRegister(address, RegBaudCode, baudCode(baud));
}

Identification decodeIdentification(const std::uint8_t *rx, int count)
{
    Identification id;
    id.code = static_cast<int>(answer::word16(rx, count, 3));
    id.model = static_cast<int>(answer::word16(rx, count, 5));
    id.version = answer::word16(rx, count, 7) * 0.01;
    return id;
}

Reading decodeReading(const std::uint8_t *rx, int count)
{
    Reading reading;
    reading.status = static_cast<std::uint16_t>(answer::word16(rx, count, 3));
    for (std::size_t i = 0; i < CurrentOffsets.size(); ++i)
        reading.currents[i] = answer::word32(rx, count, CurrentOffsets[i]) * 0.01;
    return reading;
}

} // namespace krv
