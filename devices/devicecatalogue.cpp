#include "devices/devicecatalogue.h"

#include "bus/answerbytes.h"
#include "bus/requestlayer.h"
#include "devices/b7720qprotocol.h"
#include "devices/c3940fprotocol.h"
#include "devices/krvprotocol.h"
#include "devices/m7051protocol.h"
#include "devices/mlxprotocol.h"
#include "devices/testjournal.h"
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

Identification nothingShown(const std::uint8_t *, int) { return {}; }

Identification identifyKrv(const std::uint8_t *rx, int count)
{
    const krv::Identification id = krv::decodeIdentification(rx, count);
    return {{QStringLiteral("Код: "), QString::number(id.code)},
            {QStringLiteral("Модель: "), QString::number(id.model)},
            {QStringLiteral("Firmware Version: "), FormatGeneral(id.version)}};
}

Identification identifyM7051(const std::uint8_t *rx, int count)
{
    return {{QStringLiteral("Firmware Version:"), m7051::versionText(rx, count)}};
}

Identification identifySensor(const std::uint8_t *rx, int count)
{
    return {{QStringLiteral("Коэффициент теплоизлучения:"), FormatGeneral(mlx::emissivity(rx, count))}};
}

Identification identifyController(const std::uint8_t *, int)
{
    return {{QStringLiteral("Версия Firmware: "), QString::fromUtf8(c3940f::FirmwareVersion)}};
}

Identification identifyB7720q(const std::uint8_t *, int)
{
    return {{QStringLiteral("Firmware Version: "), QString::fromLatin1(b7720q::FirmwareVersion)}};
}

} // namespace

const std::vector<DeviceKind> &DeviceKinds()
{
    using K = DeviceWindowKind;
    using P = FrameProtocol;
    static const std::vector<DeviceKind> kinds = {
        {TagKRV, K::KRV, "BitBtnKRV", QStringLiteral("Блок релейной защиты KRV-A"),
         QStringLiteral("автоопределение подключенных устройств KRV-A"), QStringLiteral("Блок релейной защиты KRV-A"),
         QStringLiteral("krva"), P::Modbus, true, krvProbe, acceptKrv, identifyKrv},
        {TagZDLT, K::ZDLT, "BitBtnZDLT", QStringLiteral("Блок релейной защиты ZDLT-1"),
         QStringLiteral("автоопределение подключенных устройств ZDLT-1"), QStringLiteral("Блок релейной защиты ZDLT-1"),
         QStringLiteral("zdlt"), P::Modbus, true, zdlt::frameTestRequest, acceptZdlt, nothingShown},
        {TagM7051, K::M7051, "BitBtn7051", QStringLiteral("Модуль дискретного ввода M-7051D"),
         QStringLiteral("автоопределение подключенных устройств M-7051D"),
         QStringLiteral("Модуль дискретного ввода M-7051D"), QStringLiteral("m7051d"), P::Modbus, true,
         m7051::frameProbe, acceptM7051, identifyM7051},
        {TagSET4TM, K::SET4TM, "BitBtnCET", QStringLiteral("Счетчик эл.энергии СЭТ-4ТМ (10/0,4кВ)"),
         QStringLiteral("автоопределение подключенных устройств СЭТ-4ТМ"),
         QStringLiteral("Счетчик электрической энергии СЭТ-4ТМ"), QStringLiteral("set4tm"), P::Set4tm, false,
         meterProbe, acceptMeter, nothingShown},
        {TagSensor, K::MLX, "BitBtnZyXEL_Remote", QStringLiteral("Цифровой датчик температуры Ортикс-Т"),
         QStringLiteral("автоопределение подключенных датчиков температуры Ортикс-Т"),
         QStringLiteral("Датчик температуры Ортикс-Т"), QStringLiteral("sensor"), P::Modbus, true, mlx::frameProbe,
         acceptSensor, identifySensor},
        {TagController, K::C3940F, "BitBtnZyXEL_Local", QStringLiteral("Система ТРАВ/ЖНК (3...6...9 Ортикс-Т)"),
         QStringLiteral("автоопределение контроллера ТРАВ/ЖНКТ"), QStringLiteral("Система ТРАВ/ЖНКТ Ортикс-Т"),
         QStringLiteral("controller"), P::Modbus, true, controllerProbe, acceptController, identifyController},
        {TagB7720Q, K::B7720Q, "BitBtn2", QStringLiteral("Модуль дискретного ввода B-7720Q"),
         QStringLiteral("автоопределение подключенных устройств B-7720Q"),
         QStringLiteral("Модуль ввода/вывода B-7720Q (8xDi/8Do)"), QStringLiteral("b7720q"), P::Modbus, true,
         b7720q::frameTestRequest, acceptB7720q, identifyB7720q},
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

const DeviceKind *FindDeviceKind(DeviceWindowKind window)
{
    for (const DeviceKind &kind : DeviceKinds())
        if (kind.window == window)
            return &kind;
    return nullptr;
}

QString WindowCaption(DeviceWindowKind window)
{
    const DeviceKind *kind = FindDeviceKind(window);
    return kind ? kind->windowCaption : QString();
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
