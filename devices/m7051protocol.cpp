#include "devices/m7051protocol.h"

#include "bus/answerbytes.h"
#include "bus/requestlayer.h"

#include <QStringList>

namespace {
constexpr std::uint8_t ModuleFunction = 0x46;
}

void SendModuleCommand(RequestLayer &frames, std::uint8_t address, std::uint8_t subCode)
{
    const std::uint8_t body[] = {address, ModuleFunction, subCode};
    frames.SendRaw(body, sizeof body);
}

void SendModuleCommandEx(RequestLayer &frames, std::uint8_t address, std::uint8_t subCode, std::uint8_t parameter)
{
    const std::uint8_t body[] = {address, ModuleFunction, subCode, parameter, 0x00, 0x00, 0x00};
    frames.SendRaw(body, sizeof body);
}

void SendModuleBaudRate(RequestLayer &frames, std::uint8_t address, std::uint8_t subCode, int baudRate)
{
    const std::uint8_t body[] = {address, ModuleFunction, subCode, 0x00, m7051::moduleBaudCode(baudRate), 0x00, 0x00,
                                 0x00, 0x01, 0x00, 0x00};
    frames.SendRaw(body, sizeof body);
}

namespace m7051 {

std::uint8_t moduleBaudCode(int baudRate)
{
    switch (baudRate) {
    case 19200: return 7;
    case 38400: return 8;
    case 57600: return 9;
    case 115200: return 10;
    default: return 6;
    }
}

void frameProbe(RequestLayer &frames, std::uint8_t address)
{
    SendModuleCommand(frames, address, SubCodeVersion);
}

void frameTestRequest(RequestLayer &frames, std::uint8_t address)
{
    frames.SendReadDiscreteInputs(address, 0x0000, 16);
}

void frameAddressWrite(RequestLayer &frames, std::uint8_t address, int newAddress)
{
    SendModuleCommandEx(frames, address, SubCodeAddress, static_cast<std::uint8_t>(newAddress));
}

void frameBaudWrite(RequestLayer &frames, std::uint8_t address, int baud)
{
    SendModuleBaudRate(frames, address, SubCodeBaud, baud);
}

QString versionText(const std::uint8_t *rx, int count)
{
    QStringList parts;
    for (int i = 3; i <= 5; ++i)
        parts << QString::number(answer::byteAt(rx, count, i));
    return parts.join(QLatin1Char('.'));
}

std::uint16_t inputs(const std::uint8_t *rx, int count)
{
    // The first data byte holds Di0..Di7, the second Di8..Di15: low byte first.
    return static_cast<std::uint16_t>(answer::byteAt(rx, count, 4) << 8 | answer::byteAt(rx, count, 3));
}

} // namespace m7051
