#pragma once

#include <QString>

#include <cstdint>

class RequestLayer;

// M-7051D 16-input module: its own function 70 (0x46) for the version, the
// address and the baud rate; the inputs are read with function 2.

// Frames a function-70 request: address, 0x46, sub-code (5 bytes with the CRC).
void SendModuleCommand(RequestLayer &frames, std::uint8_t address, std::uint8_t subCode);
// address, 0x46, sub-code, parameter, 0, 0, 0 (9 bytes).
void SendModuleCommandEx(RequestLayer &frames, std::uint8_t address, std::uint8_t subCode, std::uint8_t parameter);
// address, 0x46, sub-code, 0, baud code, 0, 0, 0, 1, 0, 0 (13 bytes).
void SendModuleBaudRate(RequestLayer &frames, std::uint8_t address, std::uint8_t subCode, int baudRate);

namespace m7051 {

constexpr std::uint8_t SubCodeVersion = 0x20;
constexpr std::uint8_t SubCodeAddress = 0x04;
constexpr std::uint8_t SubCodeBaud = 0x06;

// Code the module expects for a baud rate: 19200 -> 7, 38400 -> 8, 57600 -> 9,
// 115200 -> 10, any other rate -> 6 (the code of 9600).
std::uint8_t moduleBaudCode(int baudRate);

void frameProbe(RequestLayer &frames, std::uint8_t address);
void frameTestRequest(RequestLayer &frames, std::uint8_t address);
void frameAddressWrite(RequestLayer &frames, std::uint8_t address, int newAddress);
void frameBaudWrite(RequestLayer &frames, std::uint8_t address, int baud);

// "2.5.17": the three bytes after the sub-code echo of the version answer.
QString versionText(const std::uint8_t *rx, int count);
// Di0..Di15 as bits 0..15, from the two data bytes of a function-2 answer.
std::uint16_t inputs(const std::uint8_t *rx, int count);

} // namespace m7051
