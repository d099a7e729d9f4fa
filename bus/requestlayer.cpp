#include "bus/requestlayer.h"

#include "bus/crc16.h"

#include <QString>
#include <algorithm>

void RequestLayer::frameRegisterRequest(std::uint8_t address, std::uint8_t function, std::uint16_t first,
                                        std::uint16_t second)
{
    const std::uint8_t body[] = {address,
                                 function,
                                 static_cast<std::uint8_t>(first >> 8),
                                 static_cast<std::uint8_t>(first & 0xFF),
                                 static_cast<std::uint8_t>(second >> 8),
                                 static_cast<std::uint8_t>(second & 0xFF)};
    SendRaw(body, sizeof body);
}

void RequestLayer::SendReadDiscreteInputs(std::uint8_t address, std::uint16_t start, std::uint16_t count)
{
    frameRegisterRequest(address, 0x02, start, count);
}

void RequestLayer::SendReadHoldingRegisters(std::uint8_t address, std::uint16_t start, std::uint16_t count)
{
    frameRegisterRequest(address, 0x03, start, count);
}

void RequestLayer::SendReadInputRegisters(std::uint8_t address, std::uint16_t start, std::uint16_t count)
{
    frameRegisterRequest(address, 0x04, start, count);
}

void RequestLayer::SendWriteSingleRegister(std::uint8_t address, std::uint16_t reg, std::uint16_t value)
{
    frameRegisterRequest(address, 0x06, reg, value);
}

void RequestLayer::SendRaw(const std::uint8_t *body, int length)
{
    length = std::clamp(length, 0, Capacity - 2);
    std::copy(body, body + length, TxFrame);
    TxCount = AppendCrc(TxFrame, length);
}

void RequestLayer::SendRaw(const QByteArray &body)
{
    SendRaw(reinterpret_cast<const std::uint8_t *>(body.constData()), static_cast<int>(body.size()));
}

bool RequestLayer::CheckResponseCrc() const
{
    return RxCount <= Capacity && FrameCrcIntact(RxFrame, RxCount);
}

void RequestLayer::VaComm1RxBuf(const std::uint8_t *data, int count)
{
    const int room = Capacity - RxCount;
    const int taken = std::clamp(count, 0, std::max(room, 0));
    std::copy(data, data + taken, RxFrame + RxCount);
    RxCount += taken;
}

void RequestLayer::VaComm1RxBuf(const QByteArray &data)
{
    VaComm1RxBuf(reinterpret_cast<const std::uint8_t *>(data.constData()), static_cast<int>(data.size()));
}

void RequestLayer::ResetRx()
{
    RxCount = 0;
    RxFrame[0] = 0;
}

void RequestLayer::ResetTx()
{
    TxCount = 0;
    TxFrame[0] = 0;
}

QByteArray RequestLayer::txBytes() const
{
    return QByteArray(reinterpret_cast<const char *>(TxFrame), TxCount);
}

QByteArray RequestLayer::rxBytes() const
{
    return QByteArray(reinterpret_cast<const char *>(RxFrame), RxCount);
}

std::uint8_t BinToBcd(int value)
{
    return static_cast<std::uint8_t>((value / 10) * 16 + value % 10);
}

int BcdToBin(std::uint8_t value)
{
    return (value >> 4) * 10 + (value & 0x0F);
}

QString HexBytes(const std::uint8_t *data, int count)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(data), std::max(count, 0)).toHex().toUpper());
}
