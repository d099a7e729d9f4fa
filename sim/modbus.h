#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdint>

// Plain Modbus RTU helpers for the simulated slaves: frame bodies are built
// without the CRC; the bus appends it when the answer goes on the wire.
namespace sim::modbus {

enum Exception : std::uint8_t {
    NoException = 0,
    IllegalFunction = 1,
    IllegalDataAddress = 2,
    IllegalDataValue = 3,
};

// Frame with the CRC appended, low-order byte first on the wire.
QByteArray withCrc(const QByteArray &body);
// True when the frame has at least a body byte and its last two bytes are its CRC.
bool crcValid(const QByteArray &frame);

std::uint16_t word(const QByteArray &frame, int offset);
void appendWord(QByteArray &body, std::uint16_t value);

// address, function | 0x80, code
QByteArray exceptionAnswer(std::uint8_t address, std::uint8_t function, std::uint8_t code);
// address, function, byte count, the registers high byte first
QByteArray registersAnswer(std::uint8_t address, std::uint8_t function, const QVector<std::uint16_t> &values);
// address, function, byte count, the bits packed from bit 0 of the first byte
QByteArray bitsAnswer(std::uint8_t address, std::uint8_t function, const QVector<std::uint16_t> &bits);

// "01 04 00 00 00 03 B0 0B"
QString spacedHex(const QByteArray &bytes);

} // namespace sim::modbus
