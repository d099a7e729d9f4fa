#include "app/scan.h"

void FrameProbe(RequestLayer &frames, int tag, std::uint8_t address)
{
    switch (tag) {
    case TagKRV: frames.SendReadInputRegisters(address, 0x0000, 3); break;
    case TagZDLT: frames.SendReadInputRegisters(address, 0xFC7C, 14); break;
    case TagM7051: frames.SendModuleCommand(address, 0x20); break;
    case TagSET4TM: {
        const std::uint8_t channelTest[] = {0x00, 0x00};
        frames.SendRaw(channelTest, sizeof channelTest);
        break;
    }
    case TagSensor: frames.SendReadHoldingRegisters(address, 0x0000, 3); break;
    case TagController: frames.SendReadDiscreteInputs(address, 0x0185, 4); break;
    case TagB7720Q: frames.SendReadDiscreteInputs(address, 0x0000, 8); break;
    default: frames.ResetTx(); break;
    }
}

DeviceWindowKind AcceptedWindow(int tag, const std::uint8_t *rx, int rxCount)
{
    // Registers are read only from what arrived; a short answer reads as zeros there.
    auto reg = [&](int first) -> int {
        const int hi = first < rxCount ? rx[first] : 0;
        const int lo = first + 1 < rxCount ? rx[first + 1] : 0;
        return hi * 256 + lo;
    };
    const int r1 = reg(3), r2 = reg(5), r3 = reg(7);

    switch (tag) {
    case TagKRV: return (r1 == 12 && r2 == 2) ? DeviceWindowKind::KRV : DeviceWindowKind::ZDLT;
    case TagZDLT: return DeviceWindowKind::ZDLT;
    case TagM7051: return DeviceWindowKind::M7051;
    case TagSET4TM: return DeviceWindowKind::SET4TM;
    case TagSensor:
        if (rxCount > 7 && r1 != 0 && r2 != 0 && r3 <= 100)
            return DeviceWindowKind::MLX;
        return rxCount == 6 ? DeviceWindowKind::C3940F : DeviceWindowKind::None;
    case TagController: return rxCount == 6 ? DeviceWindowKind::C3940F : DeviceWindowKind::None;
    case TagB7720Q: return rxCount == 6 ? DeviceWindowKind::B7720Q : DeviceWindowKind::None;
    default: return DeviceWindowKind::None;
    }
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
