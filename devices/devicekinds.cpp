#include "devices/devicekinds.h"

#include "bus/answerbytes.h"
#include "bus/requestlayer.h"
#include "devices/b7720qprotocol.h"
#include "devices/m7051protocol.h"
#include "devices/mlxprotocol.h"
#include "devices/zdltprotocol.h"

namespace {

using answer::word16;

void krvProbe(RequestLayer &frames, std::uint8_t address)
{
    frames.SendReadInputRegisters(address, 0x0000, 3);
}

// The meter's channel test, always to address 0: the meter answers it whatever its own address.
void meterProbe(RequestLayer &frames, std::uint8_t)
{
    const std::uint8_t channelTest[] = {0x00, 0x00};
    frames.SendRaw(channelTest, sizeof channelTest);
}

void controllerProbe(RequestLayer &frames, std::uint8_t address)
{
    frames.SendReadDiscreteInputs(address, 0x0185, 4);
}

// A discrete-input answer for up to 8 inputs is exactly 6 bytes.
constexpr int DiscreteAnswerLength = 6;

DeviceWindowKind acceptKrv(const std::uint8_t *rx, int count)
{
    const bool krv = word16(rx, count, 3) == 12 && word16(rx, count, 5) == 2;
    return krv ? DeviceWindowKind::KRV : DeviceWindowKind::ZDLT;
}

DeviceWindowKind acceptZdlt(const std::uint8_t *, int) { return DeviceWindowKind::ZDLT; }
DeviceWindowKind acceptM7051(const std::uint8_t *, int) { return DeviceWindowKind::M7051; }
DeviceWindowKind acceptMeter(const std::uint8_t *, int) { return DeviceWindowKind::SET4TM; }

DeviceWindowKind acceptController(const std::uint8_t *, int count)
{
    return count == DiscreteAnswerLength ? DeviceWindowKind::C3940F : DeviceWindowKind::None;
}

DeviceWindowKind acceptSensor(const std::uint8_t *rx, int count)
{
    if (count > 7 && word16(rx, count, 3) != 0 && word16(rx, count, 5) != 0 && word16(rx, count, 7) <= 100)
        return DeviceWindowKind::MLX;
    return acceptController(rx, count);
}

DeviceWindowKind acceptB7720q(const std::uint8_t *, int count)
{
    return count == DiscreteAnswerLength ? DeviceWindowKind::B7720Q : DeviceWindowKind::None;
}

} // namespace

const std::vector<DeviceKind> &DeviceKinds()
{
    static const std::vector<DeviceKind> kinds = {
        {TagKRV, "BitBtnKRV", "Блок релейной защиты KRV-A", "автоопределение подключенных устройств KRV-A", "krva",
         DeviceWindowKind::KRV, krvProbe, acceptKrv},
        {TagZDLT, "BitBtnZDLT", "Блок релейной защиты ZDLT-1", "автоопределение подключенных устройств ZDLT-1", "zdlt",
         DeviceWindowKind::ZDLT, zdlt::frameTestRequest, acceptZdlt},
        {TagM7051, "BitBtn7051", "Модуль дискретного ввода M-7051D", "автоопределение подключенных устройств M-7051D", "m7051d",
         DeviceWindowKind::M7051, m7051::frameProbe, acceptM7051},
        {TagSET4TM, "BitBtnCET", "Счетчик эл.энергии СЭТ-4ТМ (10/0,4кВ)",
         "автоопределение подключенных устройств СЭТ-4ТМ", "set4tm", DeviceWindowKind::SET4TM, meterProbe, acceptMeter},
        {TagSensor, "BitBtnZyXEL_Remote", "Цифровой датчик температуры Ортикс-Т",
         "автоопределение подключенных датчиков температуры Ортикс-Т", "sensor", DeviceWindowKind::MLX,
         mlx::frameProbe, acceptSensor},
        {TagController, "BitBtnZyXEL_Local", "Система ТРАВ/ЖНК (3...6...9 Ортикс-Т)",
         "автоопределение контроллера ТРАВ/ЖНКТ", "controller", DeviceWindowKind::C3940F, controllerProbe,
         acceptController},
        {TagB7720Q, "BitBtn2", "Модуль дискретного ввода B-7720Q", "автоопределение подключенных устройств B-7720Q", "b7720q",
         DeviceWindowKind::B7720Q, b7720q::frameTestRequest, acceptB7720q},
    };
    return kinds;
}

const DeviceKind *FindDeviceKind(int tag)
{
    for (const DeviceKind &kind : DeviceKinds())
        if (kind.tag == tag)
            return &kind;
    return nullptr;
}

void FrameProbe(RequestLayer &frames, int tag, std::uint8_t address)
{
    if (const DeviceKind *kind = FindDeviceKind(tag))
        kind->frameProbe(frames, address);
    else
        frames.ResetTx();
}

DeviceWindowKind AcceptedWindow(int tag, const std::uint8_t *rx, int rxCount)
{
    const DeviceKind *kind = FindDeviceKind(tag);
    return kind ? kind->accept(rx, rxCount) : DeviceWindowKind::None;
}

QString DeviceWindowTitle(DeviceWindowKind kind)
{
    switch (kind) {
    case DeviceWindowKind::KRV: return QStringLiteral("Блок релейной защиты KRV-A");
    case DeviceWindowKind::ZDLT: return QStringLiteral("Блок релейной защиты ZDLT-1");
    case DeviceWindowKind::M7051: return QStringLiteral("Модуль дискретного ввода M-7051D");
    case DeviceWindowKind::SET4TM: return QStringLiteral("Счетчик эл.энергии СЭТ-4ТМ");
    case DeviceWindowKind::MLX: return QStringLiteral("Цифровой датчик температуры Ортикс-Т");
    case DeviceWindowKind::C3940F: return QStringLiteral("Система ТРАВ/ЖНКТ");
    case DeviceWindowKind::B7720Q: return QStringLiteral("Модуль дискретного ввода B-7720Q");
    case DeviceWindowKind::None: break;
    }
    return {};
}
