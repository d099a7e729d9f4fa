#include "meter/set4tmjudgement.h"

#include "bus/crc16.h"
#include "bus/requestlayer.h"

namespace set4tm {

namespace {
QString hex2(std::uint8_t value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

Judgement box(Outcome outcome, BoxKind kind, const QString &message, bool closes = false)
{
    Judgement j;
    j.outcome = outcome;
    j.box = kind;
    j.message = message;
    j.closesWindow = closes;
    return j;
}

Judgement refused(std::uint8_t status, BoxKind kind, const QString &message, bool closes = false)
{
    Judgement j = box(Outcome::Refused, kind, message, closes);
    j.status = status;
    return j;
}

// A status answer is exactly four bytes; a read is accepted only with its own layout.
bool acceptedAsData(const Request &request, const std::uint8_t *rx, int count)
{
    const std::uint8_t status = rx[1];
    switch (request.kind) {
    case RequestKind::TestChannel:
        return true;
    case RequestKind::WriteBaudRate:
        return count == 4 && status == BaudRateWritten;
    case RequestKind::ClearEnergy:
        return count == 4 && status == EnergyCleared;
    case RequestKind::ReadNetworkAddress:
    case RequestKind::ReadIntegrationTime:
        // At least one data byte: a bare status 0 would put a CRC byte in the field.
        return count >= answerLength(request.kind) && status == 0;
    case RequestKind::ReadEnergy:
    case RequestKind::ReadProfileMemory:
    case RequestKind::ReadRatios:
    case RequestKind::ReadProfilePointer:
    case RequestKind::ReadModeFlags:
    case RequestKind::ReadAuxiliary:
        return count == answerLength(request.kind);
    default:
        return count == 4 && status == Ok;
    }
}

Judgement openChannelRefusal(std::uint8_t status, int count)
{
    if (count != 4) // not a status answer at all: report what came as a code
        return refused(status, BoxKind::Warning, errorCodeMessage(status));
    switch (status) {
    case InvalidRequest:
        return refused(status, BoxKind::Warning, QStringLiteral("Недопустимая команда или параметр!"));
    case InternalError:
        return refused(status, BoxKind::Warning, QStringLiteral("Внутренняя ошибка счетчика!"), true);
    case WrongPassword:
        return refused(status, BoxKind::Error, QStringLiteral("Неверно указан пароль.\rДоступ к устройству запрещен!"),
                       true);
    case ChannelClosed:
        return refused(status, BoxKind::Warning, QStringLiteral("Не открыт канал связи!"), true);
    default:
        return refused(status, BoxKind::Warning, QStringLiteral("Устройство занято!"), true);
    }
}

Judgement refusal(const Request &request, std::uint8_t status, int count)
{
    switch (request.kind) {
    case RequestKind::OpenChannel:
        return openChannelRefusal(status, count);
    case RequestKind::WriteIntegrationTime:
        if (count == 4 && status == InvalidRequest)
            return refused(status, BoxKind::Error,
                           QStringLiteral("Задано недопустимое значение времени интегрирования мощности!"));
        break;
    case RequestKind::SetDateTime:
        return refused(status, BoxKind::Error, QStringLiteral("Установить дату и время не возможно!\rКод ошибки: ") + hex2(status));
    default:
        break;
    }
    return refused(status, BoxKind::Warning, errorCodeMessage(status));
}

Judgement success(const Request &request)
{
    auto info = [](const QString &text, bool closes = false) {
        return box(Outcome::Accepted, BoxKind::Information, text, closes);
    };
    switch (request.kind) {
    case RequestKind::WriteNetworkAddress: return info(QStringLiteral("Новый сетевой адрес записан успешно!"), true);
    case RequestKind::WriteBaudRate: return info(QStringLiteral("Новые параметры обмена записаны успешно!"), true);
    case RequestKind::WriteMode:
        if (request.at(3) == ForbidAutoClose)
            return info(QStringLiteral("Выставлен запрет на автоматическое закрытие канала связи!"));
        return info(QStringLiteral("Требуемый режим установлен!"));
    case RequestKind::WriteVoltageRatio: return info(QStringLiteral("Коэффициент: Кн записан успешно!"));
    case RequestKind::WriteCurrentRatio: return info(QStringLiteral("Коэффициент: Кт записан успешно!"));
    case RequestKind::WriteIntegrationTime: return info(QStringLiteral("Профиль мощности проинициализирован успешно!"));
    case RequestKind::ClearEnergy: return info(QStringLiteral("Регистры накопленной энергии очищены!"));
    case RequestKind::SetDateTime: return info(QStringLiteral("Дата и время установлены успешно!"));
    default: return box(Outcome::Accepted, BoxKind::None, QString());
    }
}
} // namespace

QString errorCodeMessage(std::uint8_t status)
{
    return QStringLiteral("Недопустимая команда или параметр!\r\nКод ошибки: ") + hex2(status);
}

Judgement judgeExchange(const Request &request, const std::uint8_t *rx, int count)
{
    if (count <= 3)
        return box(Outcome::NoAnswer, BoxKind::Error,
                   QStringLiteral("Устройство не отвечает на запросы:\r1. Проверьте питание и схему подключения "
                                  "устройства;\r2. Повторите поиск устройства."));
    if (!FrameCrcIntact(rx, count))
        return box(Outcome::CrcError, BoxKind::Warning, QStringLiteral("Произошла ошибка обмена - CRC!"));
    if (acceptedAsData(request, rx, count))
        return success(request);
    return refusal(request, rx[1], count);
}

Judgement judgeExchange(const Request &request, const RequestLayer &frames)
{
    return judgeExchange(request, frames.RxFrame, frames.RxCount);
}

Judgement portClosed()
{
    return box(Outcome::PortClosed, BoxKind::Error,
               QStringLiteral("Порт закрыт!\rПроверьте параметры подключения и повторите поиск устройства."), true);
}

} // namespace set4tm
