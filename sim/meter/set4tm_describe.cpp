#include "sim/meter/set4tm_describe.h"

#include "bus/crc16.h"
#include "meter/set4tmprotocol.h"

namespace sim {

using namespace ::set4tm;

namespace {
std::uint8_t at(const QByteArray &bytes, int index)
{
    return static_cast<std::uint8_t>(bytes.at(index));
}

QString hex2(std::uint8_t value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

QString auxName(std::uint8_t selector)
{
    switch (selector) {
    case ActivePower: return QStringLiteral("P");
    case ReactivePower: return QStringLiteral("Q");
    case VoltageA: return QStringLiteral("Ua");
    case VoltageB: return QStringLiteral("Ub");
    case VoltageC: return QStringLiteral("Uc");
    case CurrentA: return QStringLiteral("Ia");
    case CurrentB: return QStringLiteral("Ib");
    case CurrentC: return QStringLiteral("Ic");
    case PowerFactor: return QStringLiteral("cos φ");
    case Frequency: return QStringLiteral("F");
    default: return QStringLiteral("вспом. ") + hex2(selector);
    }
}

QString statusText(std::uint8_t status)
{
    switch (status) {
    case Ok: return QStringLiteral("успешно");
    case InvalidRequest: return QStringLiteral("недопустимая команда");
    case InternalError: return QStringLiteral("внутренняя ошибка");
    case WrongPassword: return QStringLiteral("неверный пароль");
    case Busy: return QStringLiteral("занят");
    case ChannelClosed: return QStringLiteral("канал не открыт");
    case BaudRateWritten: return QStringLiteral("скорость записана");
    case EnergyCleared: return QStringLiteral("энергия очищена");
    default: return QStringLiteral("код ") + hex2(status);
    }
}

QString describeWrite(const QByteArray &body)
{
    if (body.size() < 3)
        return QStringLiteral("запись ?");
    const std::uint8_t param = at(body, 2);
    const bool hasValue = body.size() >= 4;
    const int value8 = hasValue ? at(body, 3) : -1;
    const int value16 = body.size() >= 5 ? at(body, 3) << 8 | at(body, 4) : -1;
    switch (param) {
    case WriteIntegrationTime: return QStringLiteral("записать время интегрирования %1 мин").arg(value8);
    case WriteNetworkAddress: return QStringLiteral("записать сетевой адрес %1").arg(value8);
    case WriteBaudRate: return QStringLiteral("записать скорость %1").arg(hasValue ? baudRateOfCode(at(body, 3)) : 0);
    case WriteMode: return QStringLiteral("записать режим %1").arg(hasValue ? hex2(at(body, 3)) : QStringLiteral("?"));
    case WriteVoltageRatio: return QStringLiteral("записать Кн = %1").arg(value16);
    case WriteCurrentRatio: return QStringLiteral("записать Кт = %1").arg(value16);
    case ClearEnergy: return QStringLiteral("очистить регистры энергии");
    case WriteClock: {
        const auto clock = parseClockBlock(body.mid(3));
        if (!clock)
            return QStringLiteral("установить время (неверный блок)");
        return QStringLiteral("установить время ")
            + clock->time.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))
            + (clock->season == Season::Winter ? QStringLiteral(" зима") : QStringLiteral(" лето"));
    }
    default: return QStringLiteral("запись параметра ") + hex2(param);
    }
}

QString describeRequest(const QByteArray &body)
{
    switch (at(body, 1)) {
    case TestChannel: return QStringLiteral("тест канала");
    case OpenChannel: return QStringLiteral("открыть канал");
    case Write: return describeWrite(body);
    case ReadEnergy:
        if (body.size() >= 3 && at(body, 2) == PreviousDay)
            return QStringLiteral("энергия за предыдущие сутки");
        return QStringLiteral("энергия от сброса");
    case ReadMemory:
        if (body.size() >= 5)
            return QStringLiteral("профиль, адрес %1").arg(at(body, 3) << 8 | at(body, 4), 4, 16, QLatin1Char('0')).toUpper();
        return QStringLiteral("чтение памяти");
    case ReadParameter:
        if (body.size() < 3)
            return QStringLiteral("чтение параметра ?");
        switch (at(body, 2)) {
        case ReadRatios: return QStringLiteral("чтение Кн, Кт");
        case ReadProfilePointer: return QStringLiteral("указатель профиля");
        case ReadNetworkAddress: return QStringLiteral("чтение сетевого адреса");
        case ReadIntegrationTime: return QStringLiteral("чтение времени интегрирования");
        case ReadModeFlags: return QStringLiteral("чтение флагов режима");
        case ReadAuxiliary:
            return QStringLiteral("чтение ") + (body.size() >= 4 ? auxName(at(body, 3)) : QStringLiteral("?"));
        default: return QStringLiteral("чтение параметра ") + hex2(at(body, 2));
        }
    default: return QStringLiteral("запрос ") + hex2(at(body, 1));
    }
}

QString describeAnswer(const QByteArray &body)
{
    // Answers carry no code; their length tells which read they answer.
    switch (body.size()) {
    case 2: return QStringLiteral("статус ") + hex2(at(body, 1)) + QStringLiteral(" (") + statusText(at(body, 1)) + QLatin1Char(')');
    case 3: return QStringLiteral("ответ: параметр %1").arg(at(body, 2));
    case 4: return QStringLiteral("ответ: вспомогательный параметр");
    case 8: return QStringLiteral("ответ: указатель профиля");
    case 9: return QStringLiteral("ответ: запись профиля");
    case 11: return QStringLiteral("ответ: Кн, Кт");
    case 17: return QStringLiteral("ответ: энергия");
    default: return QStringLiteral("ответ, %1 байт данных").arg(body.size() - 1);
    }
}
} // namespace

QString describeSet4tmFrame(const QByteArray &frame, bool isAnswer)
{
    QByteArray body = frame;
    if (body.size() >= 4) {
        const int length = static_cast<int>(body.size()) - 2;
        const std::uint16_t crc = Crc16(reinterpret_cast<const std::uint8_t *>(body.constData()), static_cast<std::uint16_t>(length));
        if (at(body, length) == (crc >> 8) && at(body, length + 1) == (crc & 0xFF))
            body.chop(2);
    }
    if (body.size() < 2)
        return {};
    return QStringLiteral("СЭТ-4ТМ: ") + (isAnswer ? describeAnswer(body) : describeRequest(body));
}

} // namespace sim
