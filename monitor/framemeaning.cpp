#include "monitor/framemeaning.h"

#include "bus/crc16.h"
#include "bus/modbusexception.h"
#include "meter/set4tmanswers.h"
#include "meter/set4tmprotocol.h"
#include "meter/set4tmvalues.h"

#include <QStringList>

#include <optional>

namespace monitor {

namespace {

// Registers or bits listed in one meaning at most; the bytes column has them all.
constexpr int MaxListed = 32;

std::uint8_t byteOf(const QByteArray &bytes, int index)
{
    return index >= 0 && index < bytes.size() ? static_cast<std::uint8_t>(bytes.at(index)) : 0;
}

std::uint16_t wordOf(const QByteArray &bytes, int index)
{
    return static_cast<std::uint16_t>(byteOf(bytes, index) << 8 | byteOf(bytes, index + 1));
}

const std::uint8_t *data(const QByteArray &bytes)
{
    return reinterpret_cast<const std::uint8_t *>(bytes.constData());
}

QString hex2(std::uint32_t value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

QString hex4(std::uint32_t value)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

QString lengthText(int bytes)
{
    return QStringLiteral("неверная длина (байт: %1)").arg(bytes);
}

// ---------------------------------------------------------------- Modbus

enum ModbusFunction : std::uint8_t {
    ReadCoils = 1,
    ReadDiscreteInputs = 2,
    ReadHoldingRegisters = 3,
    ReadInputRegisters = 4,
    WriteCoil = 5,
    WriteRegister = 6,
    WriteCoils = 15,
    WriteRegisters = 16,
    ModuleFunction = 70,
};

// Sub-codes of the M-7051D's function 70.
enum ModuleSubCode : std::uint8_t { ModuleVersion = 0x20, ModuleAddress = 0x04, ModuleBaud = 0x06 };

// "0x0208..0x021B (20)"; one item without the range.
QString rangeText(std::uint16_t start, std::uint16_t count)
{
    if (count <= 1)
        return QStringLiteral("%1 (%2)").arg(hex4(start)).arg(count);
    return QStringLiteral("%1..%2 (%3)").arg(hex4(start), hex4(std::uint32_t(start) + count - 1)).arg(count);
}

QString readObjects(std::uint8_t function)
{
    switch (function) {
    case ReadCoils: return QStringLiteral("катушки");
    case ReadDiscreteInputs: return QStringLiteral("дискретные входы");
    case ReadHoldingRegisters: return QStringLiteral("регистры хранения");
    default: return QStringLiteral("входные регистры");
    }
}

QString readRequestName(std::uint8_t function)
{
    switch (function) {
    case ReadCoils: return QStringLiteral("чтение катушек");
    case ReadDiscreteInputs: return QStringLiteral("чтение дискретных входов");
    case ReadHoldingRegisters: return QStringLiteral("чтение регистров хранения");
    default: return QStringLiteral("чтение входных регистров");
    }
}

// Bits in the order of the inputs (the first input first), in groups of four.
QString bitsText(const QByteArray &packed, int count)
{
    QString text;
    const int shown = qMin(count, MaxListed);
    for (int i = 0; i < shown; ++i) {
        if (i > 0 && i % 4 == 0)
            text += QLatin1Char(' ');
        text += (byteOf(packed, i / 8) >> (i % 8)) & 1u ? QLatin1Char('1') : QLatin1Char('0');
    }
    if (count > shown)
        text += QStringLiteral(" …");
    return text;
}

QString registersText(const QByteArray &bytes, int count)
{
    QStringList values;
    for (int i = 0; i < qMin(count, MaxListed); ++i)
        values << QString::number(wordOf(bytes, 2 * i));
    if (count > MaxListed)
        values << QStringLiteral("…");
    return values.join(QLatin1Char(' '));
}

QString moduleBaudText(std::uint8_t code)
{
    int rate = 0;
    switch (code) {
    case 6: rate = 9600; break;
    case 7: rate = 19200; break;
    case 8: rate = 38400; break;
    case 9: rate = 57600; break;
    case 10: rate = 115200; break;
    default: break;
    }
    if (rate == 0)
        return QStringLiteral("код %1 (неизвестная скорость)").arg(code);
    return QStringLiteral("код %1 (%2 бит/с)").arg(code).arg(rate);
}

QString coilValueText(std::uint16_t value)
{
    switch (value) {
    case 0xFF00: return QStringLiteral("вкл");
    case 0x0000: return QStringLiteral("выкл");
    default: return hex4(value) + QStringLiteral(" (недопустимо)");
    }
}

QString moduleRequestText(const QByteArray &body)
{
    const std::uint8_t sub = byteOf(body, 2);
    switch (sub) {
    case ModuleVersion: return QStringLiteral("функция 70: чтение версии");
    case ModuleAddress: return QStringLiteral("функция 70: запись сетевого адреса := %1").arg(byteOf(body, 3));
    case ModuleBaud: return QStringLiteral("функция 70: запись скорости := ") + moduleBaudText(byteOf(body, 4));
    default: return QStringLiteral("функция 70, подфункция 0x") + hex2(sub);
    }
}

QString moduleAnswerText(const QByteArray &body)
{
    const std::uint8_t sub = byteOf(body, 2);
    switch (sub) {
    case ModuleVersion:
        if (body.size() < 6)
            return QStringLiteral("функция 70: версия, ") + lengthText(body.size() + 2);
        return QStringLiteral("функция 70: версия %1.%2.%3").arg(byteOf(body, 3)).arg(byteOf(body, 4)).arg(byteOf(body, 5));
    case ModuleAddress:
        return QStringLiteral("функция 70: подтверждение, сетевой адрес := %1").arg(byteOf(body, 3));
    case ModuleBaud:
        return QStringLiteral("функция 70: подтверждение, скорость := ") + moduleBaudText(byteOf(body, 4));
    default: return QStringLiteral("функция 70, подфункция 0x") + hex2(sub);
    }
}

QString unknownFunction(std::uint8_t function)
{
    return QStringLiteral("функция %1 (0x%2)").arg(function).arg(hex2(function));
}

QString modbusRequestText(const QByteArray &body)
{
    const std::uint8_t function = byteOf(body, 1);
    switch (function) {
    case ReadCoils:
    case ReadDiscreteInputs:
    case ReadHoldingRegisters:
    case ReadInputRegisters:
        if (body.size() != 6)
            return readRequestName(function) + QStringLiteral(", ") + lengthText(body.size() + 2);
        return readRequestName(function) + QLatin1Char(' ') + rangeText(wordOf(body, 2), wordOf(body, 4));
    case WriteCoil:
        return QStringLiteral("запись катушки %1 := %2").arg(hex4(wordOf(body, 2)), coilValueText(wordOf(body, 4)));
    case WriteRegister:
        return QStringLiteral("запись регистра %1 := %2 (%3)")
            .arg(hex4(wordOf(body, 2)))
            .arg(wordOf(body, 4))
            .arg(hex4(wordOf(body, 4)));
    case WriteCoils:
    case WriteRegisters: {
        const std::uint16_t count = wordOf(body, 4);
        const int bytes = byteOf(body, 6);
        QString text = (function == WriteCoils ? QStringLiteral("запись катушек ") : QStringLiteral("запись регистров "))
            + rangeText(wordOf(body, 2), count);
        if (body.size() < 7 || body.size() != 7 + bytes)
            return text + QStringLiteral(", ") + lengthText(body.size() + 2);
        const QByteArray values = body.mid(7);
        return text + QStringLiteral(" := ")
            + (function == WriteCoils ? bitsText(values, qMin<int>(count, bytes * 8)) : registersText(values, bytes / 2));
    }
    case ModuleFunction: return moduleRequestText(body);
    default: return unknownFunction(function);
    }
}

Meaning modbusAnswer(const QByteArray &body, const QByteArray &request)
{
    const std::uint8_t function = byteOf(body, 1);
    if (function & 0x80u) {
        if (body.size() != 3)
            return {QStringLiteral("исключение на функцию %1, ").arg(function & 0x7Fu) + lengthText(body.size() + 2), true};
        return {QStringLiteral("исключение ") + ModbusExceptionText(byteOf(body, 2))
                    + QStringLiteral(" на функцию %1").arg(function & 0x7Fu),
                true};
    }
    // The request tells which registers or inputs the values are, when it asked for them.
    const bool asked = request.size() == 6 && byteOf(request, 1) == function;
    switch (function) {
    case ReadCoils:
    case ReadDiscreteInputs:
    case ReadHoldingRegisters:
    case ReadInputRegisters: {
        const int bytes = byteOf(body, 2);
        const bool bits = function <= ReadDiscreteInputs;
        QString head = readObjects(function);
        if (asked)
            head += QLatin1Char(' ') + rangeText(wordOf(request, 2), wordOf(request, 4));
        if (body.size() < 3 || body.size() != 3 + bytes)
            return {head + QStringLiteral(", ") + lengthText(body.size() + 2)};
        const QByteArray values = body.mid(3);
        if (bits) {
            const int count = asked ? qMin<int>(wordOf(request, 4), bytes * 8) : bytes * 8;
            return {head + QStringLiteral(": ") + bitsText(values, count)};
        }
        if (!asked)
            head += QStringLiteral(" (%1)").arg(bytes / 2);
        return {head + QStringLiteral(": ") + registersText(values, bytes / 2)};
    }
    case WriteCoil:
    case WriteRegister:
        return {QStringLiteral("подтверждение, ") + modbusRequestText(body)};
    case WriteCoils:
        return {QStringLiteral("подтверждение, запись катушек ") + rangeText(wordOf(body, 2), wordOf(body, 4))};
    case WriteRegisters:
        return {QStringLiteral("подтверждение, запись регистров ") + rangeText(wordOf(body, 2), wordOf(body, 4))};
    case ModuleFunction: return {moduleAnswerText(body)};
    default: return {unknownFunction(function)};
    }
}

// ---------------------------------------------------------------- SET-4TM

using set4tm::RequestKind;

// Which of the configurator's requests a body is; nullopt for anything else.
std::optional<RequestKind> meterRequestKind(const QByteArray &body)
{
    const std::uint8_t param = byteOf(body, 2);
    switch (byteOf(body, 1)) {
    case set4tm::TestChannel: return RequestKind::TestChannel;
    case set4tm::OpenChannel: return RequestKind::OpenChannel;
    case set4tm::Write:
        switch (param) {
        case set4tm::WriteIntegrationTime: return RequestKind::WriteIntegrationTime;
        case set4tm::WriteNetworkAddress: return RequestKind::WriteNetworkAddress;
        case set4tm::WriteBaudRate: return RequestKind::WriteBaudRate;
        case set4tm::WriteMode: return RequestKind::WriteMode;
        case set4tm::WriteVoltageRatio: return RequestKind::WriteVoltageRatio;
        case set4tm::WriteCurrentRatio: return RequestKind::WriteCurrentRatio;
        case set4tm::ClearEnergy: return RequestKind::ClearEnergy;
        case set4tm::WriteClock: return RequestKind::SetDateTime;
        default: return std::nullopt;
        }
    case set4tm::ReadEnergy: return RequestKind::ReadEnergy;
    case set4tm::ReadMemory: return RequestKind::ReadProfileMemory;
    case set4tm::ReadParameter:
        switch (param) {
        case set4tm::ReadRatios: return RequestKind::ReadRatios;
        case set4tm::ReadProfilePointer: return RequestKind::ReadProfilePointer;
        case set4tm::ReadNetworkAddress: return RequestKind::ReadNetworkAddress;
        case set4tm::ReadIntegrationTime: return RequestKind::ReadIntegrationTime;
        case set4tm::ReadModeFlags: return RequestKind::ReadModeFlags;
        case set4tm::ReadAuxiliary: return RequestKind::ReadAuxiliary;
        default: return std::nullopt;
        }
    default: return std::nullopt;
    }
}

QString auxName(std::uint8_t selector)
{
    switch (selector) {
    case set4tm::ActivePower: return QStringLiteral("P");
    case set4tm::ReactivePower: return QStringLiteral("Q");
    case set4tm::VoltageA: return QStringLiteral("Ua");
    case set4tm::VoltageB: return QStringLiteral("Ub");
    case set4tm::VoltageC: return QStringLiteral("Uc");
    case set4tm::CurrentA: return QStringLiteral("Ia");
    case set4tm::CurrentB: return QStringLiteral("Ib");
    case set4tm::CurrentC: return QStringLiteral("Ic");
    case set4tm::PowerFactor: return QStringLiteral("cos φ");
    case set4tm::Frequency: return QStringLiteral("F");
    default: return QStringLiteral("параметр 0x") + hex2(selector);
    }
}

QString auxUnit(std::uint8_t selector)
{
    switch (selector) {
    case set4tm::VoltageA: case set4tm::VoltageB: case set4tm::VoltageC: return QStringLiteral(" В");
    case set4tm::CurrentA: case set4tm::CurrentB: case set4tm::CurrentC: return QStringLiteral(" А");
    case set4tm::Frequency: return QStringLiteral(" Гц");
    default: return {};
    }
}

QString modeText(std::uint8_t mode)
{
    switch (mode) {
    case set4tm::AllowIncompleteSlices: return QStringLiteral("02 (отметка неполных срезов разрешена)");
    case set4tm::ForbidIncompleteSlices: return QStringLiteral("03 (отметка неполных срезов запрещена)");
    case set4tm::ForbidAutoClose: return QStringLiteral("07 (запрет автоматического закрытия канала)");
    default: return hex2(mode);
    }
}

QString meterBaudText(std::uint8_t code)
{
    const int rate = set4tm::baudRateOfCode(code);
    return rate > 0 ? QStringLiteral("%1 бит/с").arg(rate) : QStringLiteral("код 0x%1").arg(hex2(code));
}

QString meterRequestText(const QByteArray &body)
{
    const auto kind = meterRequestKind(body);
    if (!kind) {
        if (byteOf(body, 1) == set4tm::Write)
            return QStringLiteral("запись параметра 0x") + hex2(byteOf(body, 2));
        if (byteOf(body, 1) == set4tm::ReadParameter)
            return QStringLiteral("чтение параметра 0x") + hex2(byteOf(body, 2));
        return QStringLiteral("запрос 0x") + hex2(byteOf(body, 1));
    }
    switch (*kind) {
    case RequestKind::TestChannel: return QStringLiteral("тест канала");
    case RequestKind::OpenChannel: return QStringLiteral("открытие канала");
    case RequestKind::WriteIntegrationTime:
        return QStringLiteral("запись времени интегрирования := %1 мин").arg(byteOf(body, 3));
    case RequestKind::WriteNetworkAddress: return QStringLiteral("запись сетевого адреса := %1").arg(byteOf(body, 3));
    case RequestKind::WriteBaudRate: return QStringLiteral("запись скорости := ") + meterBaudText(byteOf(body, 3));
    case RequestKind::WriteMode: return QStringLiteral("запись режима := ") + modeText(byteOf(body, 3));
    case RequestKind::WriteVoltageRatio: return QStringLiteral("запись Кн := %1").arg(wordOf(body, 3));
    case RequestKind::WriteCurrentRatio: return QStringLiteral("запись Кт := %1").arg(wordOf(body, 3));
    case RequestKind::ClearEnergy: return QStringLiteral("очистка регистров энергии");
    case RequestKind::SetDateTime: {
        const auto clock = set4tm::parseClockBlock(body.mid(3));
        if (!clock)
            return QStringLiteral("установка даты и времени, неверный блок времени");
        return QStringLiteral("установка даты и времени := ")
            + clock->time.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))
            + (clock->season == set4tm::Season::Winter ? QStringLiteral(", зима") : QStringLiteral(", лето"));
    }
    case RequestKind::ReadEnergy:
        switch (byteOf(body, 2)) {
        case set4tm::SinceReset: return QStringLiteral("чтение энергии от сброса");
        case set4tm::PreviousDay: return QStringLiteral("чтение энергии за предыдущие сутки");
        default: return QStringLiteral("чтение энергии, массив 0x") + hex2(byteOf(body, 2));
        }
    case RequestKind::ReadProfileMemory:
        return QStringLiteral("чтение записи профиля ") + hex4(wordOf(body, 3));
    case RequestKind::ReadRatios: return QStringLiteral("чтение Кн, Кт");
    case RequestKind::ReadProfilePointer: return QStringLiteral("чтение указателя профиля");
    case RequestKind::ReadNetworkAddress: return QStringLiteral("чтение сетевого адреса");
    case RequestKind::ReadIntegrationTime: return QStringLiteral("чтение времени интегрирования");
    case RequestKind::ReadModeFlags: return QStringLiteral("чтение флагов режима");
    case RequestKind::ReadAuxiliary: return QStringLiteral("чтение ") + auxName(byteOf(body, 3));
    }
    return {};
}

QString statusName(std::uint8_t status)
{
    switch (status) {
    case set4tm::Ok: return QStringLiteral("успешно");
    case set4tm::InvalidRequest: return QStringLiteral("недопустимая команда или параметр");
    case set4tm::InternalError: return QStringLiteral("внутренняя ошибка счетчика");
    case set4tm::WrongPassword: return QStringLiteral("неверный пароль");
    case set4tm::Busy: return QStringLiteral("устройство занято");
    case set4tm::ChannelClosed: return QStringLiteral("канал связи не открыт");
    case set4tm::BaudRateWritten: return QStringLiteral("скорость записана");
    case set4tm::EnergyCleared: return QStringLiteral("регистры энергии очищены");
    default: return {};
    }
}

QString statusText(std::uint8_t status)
{
    const QString name = statusName(status);
    return QStringLiteral("статус ") + hex2(status) + (name.isEmpty() ? QString() : QStringLiteral(" (") + name + ')');
}

// The status that means "done" for a request answered with a status byte.
std::uint8_t successStatus(RequestKind kind)
{
    switch (kind) {
    case RequestKind::WriteBaudRate: return set4tm::BaudRateWritten;
    case RequestKind::ClearEnergy: return set4tm::EnergyCleared;
    default: return set4tm::Ok;
    }
}

bool isRead(RequestKind kind)
{
    return set4tm::answerLength(kind) != 4;
}

Meaning refusal(std::uint8_t status)
{
    // A status that means success elsewhere says nothing about this refusal.
    const QString name = status == set4tm::Ok || status == set4tm::BaudRateWritten || status == set4tm::EnergyCleared
                             ? QString()
                             : statusName(status);
    return {QStringLiteral("отказ: статус ") + hex2(status) + (name.isEmpty() ? QString() : QStringLiteral(" (") + name + ')'),
            true};
}

QString meterDataText(RequestKind kind, const QByteArray &body, const QByteArray &request)
{
    const int count = body.size();
    const std::uint8_t *rx = data(body);
    switch (kind) {
    case RequestKind::ReadEnergy: {
        const auto e = set4tm::decodeEnergy(rx, count);
        return QStringLiteral("энергия: A+ %1, A- %2, R+ %3, R- %4").arg(e[0]).arg(e[1]).arg(e[2]).arg(e[3]);
    }
    case RequestKind::ReadProfileMemory: {
        const auto r = set4tm::decodeProfileRecord(rx, count);
        return QStringLiteral("запись профиля: P+ %1, P- %2, Q+ %3, Q- %4").arg(r[0]).arg(r[1]).arg(r[2]).arg(r[3]);
    }
    case RequestKind::ReadRatios: {
        const auto r = set4tm::decodeRatios(rx, count);
        return QStringLiteral("Кн %1, Кт %2").arg(r.ku).arg(r.ki);
    }
    case RequestKind::ReadProfilePointer: {
        const auto p = set4tm::decodeProfilePointer(rx, count);
        const QString stamp = p.stamp.isValid() ? p.stamp.toString(QStringLiteral("dd.MM.yyyy HH:mm"))
                                                : QStringLiteral("неверное время");
        return QStringLiteral("указатель профиля %1, срез %2").arg(hex4(p.pointer), stamp);
    }
    case RequestKind::ReadNetworkAddress: return QStringLiteral("сетевой адрес %1").arg(byteOf(body, 2));
    case RequestKind::ReadIntegrationTime: return QStringLiteral("время интегрирования %1 мин").arg(byteOf(body, 2));
    case RequestKind::ReadModeFlags:
        return set4tm::decodeIncompleteSlicesAllowed(rx, count)
                   ? QStringLiteral("флаги режима: отметка неполных срезов разрешена")
                   : QStringLiteral("флаги режима: отметка неполных срезов запрещена");
    case RequestKind::ReadAuxiliary: {
        const auto selector = static_cast<set4tm::AuxSelector>(byteOf(request, 3));
        const auto reading = set4tm::decodeAuxiliary(selector, rx, count);
        // Powers need the ratios and the variant the window knows: they stay counts here.
        const auto value = set4tm::auxiliaryValue(selector, reading, {});
        if (value)
            return auxName(selector) + QStringLiteral(" = ") + QString::number(*value, 'g', 15) + auxUnit(selector);
        return auxName(selector) + QStringLiteral(" = %1%2 (код)").arg(reading.negative ? "-" : "").arg(reading.magnitude);
    }
    default: return {};
    }
}

Meaning meterAnswer(const QByteArray &body, const QByteArray &request)
{
    const auto kind = request.size() >= 2 ? meterRequestKind(request) : std::nullopt;
    const int length = body.size() + 2;
    if (!kind) {
        // No request to judge it by: only the length tells what it may be.
        switch (length) {
        case 4: return {statusText(byteOf(body, 1))};
        case 5: return {QStringLiteral("ответ: параметр")};
        case 6: return {QStringLiteral("ответ: вспомогательный параметр")};
        case 10: return {QStringLiteral("ответ: указатель профиля")};
        case 11: return {QStringLiteral("ответ: запись профиля")};
        case 13: return {QStringLiteral("ответ: Кн, Кт")};
        case 19: return {QStringLiteral("ответ: энергия")};
        default: return {QStringLiteral("ответ, байт данных: %1").arg(qMax(0, length - 3))};
        }
    }
    if (*kind == RequestKind::TestChannel)
        return {length == 4 ? statusText(byteOf(body, 1)) : QStringLiteral("канал исправен")};
    if (!isRead(*kind)) {
        if (length != 4)
            return {lengthText(length) + QStringLiteral(", ожидалось 4"), true};
        const std::uint8_t status = byteOf(body, 1);
        if (status != successStatus(*kind))
            return refusal(status);
        return {statusText(status)};
    }
    // A read that comes back as a status answer was refused.
    if (length == 4)
        return refusal(byteOf(body, 1));
    if (length != set4tm::answerLength(*kind))
        return {lengthText(length) + QStringLiteral(", ожидалось %1").arg(set4tm::answerLength(*kind)), true};
    const bool statusFirst = *kind == RequestKind::ReadNetworkAddress || *kind == RequestKind::ReadIntegrationTime;
    if (statusFirst && byteOf(body, 1) != 0)
        return refusal(byteOf(body, 1));
    return {meterDataText(*kind, body, request)};
}

} // namespace

Meaning requestMeaning(Protocol protocol, const QByteArray &body)
{
    if (body.size() < 2)
        return {};
    return {protocol == Protocol::Set4tm ? meterRequestText(body) : modbusRequestText(body)};
}

Meaning answerMeaning(Protocol protocol, const QByteArray &body, const QByteArray &requestBody)
{
    if (body.size() < 2)
        return {};
    return protocol == Protocol::Set4tm ? meterAnswer(body, requestBody) : modbusAnswer(body, requestBody);
}

bool crcIntact(const QByteArray &frame)
{
    return frame.size() >= 3 && FrameCrcIntact(data(frame), static_cast<int>(frame.size()));
}

QString shortFrameText(int bytes)
{
    return QStringLiteral("слишком короткий кадр (байт: %1)").arg(bytes);
}

QString crcErrorText()
{
    return QStringLiteral("ошибка CRC");
}

Meaning frameMeaning(Protocol protocol, const QByteArray &frame, bool isAnswer, const QByteArray &requestFrame)
{
    if (frame.size() < 4)
        return {shortFrameText(static_cast<int>(frame.size()))};
    if (!crcIntact(frame))
        return {crcErrorText()};
    const QByteArray body = frame.left(frame.size() - 2);
    if (!isAnswer)
        return requestMeaning(protocol, body);
    const QByteArray request = crcIntact(requestFrame) ? requestFrame.left(requestFrame.size() - 2) : QByteArray();
    return answerMeaning(protocol, body, request);
}

} // namespace monitor
