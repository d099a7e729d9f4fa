#pragma once

#include <QByteArray>
#include <cstdint>

// The one transmit and one receive buffer of the program and the operations that
// frame Modbus RTU requests into them. The layer has no notion of a transaction:
// a caller frames, hands TxFrame to the port, waits and then looks at RxFrame.
class RequestLayer
{
public:
    static constexpr int Capacity = 4096;

    std::uint8_t TxFrame[Capacity] = {};
    int TxCount = 0;
    std::uint8_t RxFrame[Capacity] = {};
    int RxCount = 0;

    void SendReadDiscreteInputs(std::uint8_t address, std::uint16_t start, std::uint16_t count);
    void SendReadHoldingRegisters(std::uint8_t address, std::uint16_t start, std::uint16_t count);
    void SendReadInputRegisters(std::uint8_t address, std::uint16_t start, std::uint16_t count);
    void SendWriteSingleRegister(std::uint8_t address, std::uint16_t reg, std::uint16_t value);

    // Frames a body of the caller's own (function 70, meter and controller requests): body, then CRC.
    void SendRaw(const std::uint8_t *body, int length);
    void SendRaw(const QByteArray &body);

    // True when the last two received bytes are the CRC of the bytes before them.
    // Fewer than two bytes give false; nothing outside the buffer is read.
    bool CheckResponseCrc() const;

    // Appends received bytes; whatever would pass the end of RxFrame is dropped.
    void VaComm1RxBuf(const std::uint8_t *data, int count);
    void VaComm1RxBuf(const QByteArray &data);

    // RxCount := 0 and RxFrame[0] := 0 (and likewise for the transmit side).
    void ResetRx();
    void ResetTx();

    QByteArray txBytes() const;
    QByteArray rxBytes() const;

private:
    void frameRegisterRequest(std::uint8_t address, std::uint8_t function, std::uint16_t first, std::uint16_t second);
};

// Packed BCD of 0..99, kept to 8 bits.
std::uint8_t BinToBcd(int value);
// No check of the digits: 0xFF gives 165.
int BcdToBin(std::uint8_t value);

// Hex text of bytes as the journals show them: two upper-case digits a byte, no separator.
QString HexBytes(const std::uint8_t *data, int count);
