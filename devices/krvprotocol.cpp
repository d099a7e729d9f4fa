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

const std::vector<AlarmBit> &alarmBits()
{
    static const std::vector<AlarmBit> bits = {
        {13, "Несоотв. доп. контакта выключателя"},
        {0, "Времязависимая МТЗ в фазах"},
        {1, "Токовая отсечка в фазах"},
        {2, "Тревога МТЗ в фазах"},
        {3, "Времязависимая МТЗ на землю"},
        {4, "Токовая отсечка на землю"},
        {5, "Тревога МТЗ на землю"},
        {14, "Превышено число мех. срабатываний выключателя"},
        {15, "Превышена допустимая величина накопленного тока"},
    };
    return bits;
}

const char *alarmCaption(int bit)
{
    for (const AlarmBit &a : alarmBits())
        if (a.bit == bit)
            return a.caption;
    return nullptr;
}

QString currentName(int index)
{
    static const char *const names[] = {"Ia", "Ib", "Ic", "3Io"};
    const QString name = QString::fromLatin1(names[index % 4]);
    return index < 4 ? name : name + QStringLiteral(" при отключении");
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

Readings readings(const Reading &reading)
{
    Readings out;
    for (std::size_t i = 0; i < reading.currents.size(); ++i)
        out.append({currentName(int(i)), QString::fromLatin1(CurrentUnit), reading.currents[i]});
    for (const AlarmBit &a : alarmBits()) {
        ::Reading bit{QString::fromUtf8(a.caption), QString(), double(reading.status >> a.bit & 1u)};
        bit.state = true;
        out.append(bit);
    }
    return out;
}

} // namespace krv
