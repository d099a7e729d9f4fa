#include "bus/tcp/tcpaddress.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QStringList>

namespace {

const char *const Scheme = "tcp://";

bool allDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// A garbage entry may be long; the message only needs to show which one it was.
QString quoted(const QString &text)
{
    constexpr int Longest = 60;
    if (text.size() <= Longest)
        return text;
    return text.left(Longest) + QChar(0x2026);
}

QString failure(const QString &entry, const QString &reason)
{
    return QStringLiteral("Неверный адрес порта \"%1\": %2.\rОжидается tcp://узел:порт, например %3.")
        .arg(quoted(entry), reason, tcpAddressExample());
}

// Dotted decimal only, each part 0..255, returned without leading zeros: a
// system resolver would read "010" as octal, which no engineer means.
std::optional<QString> plainIPv4(const QString &host)
{
    const QStringList parts = host.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    QStringList clean;
    for (const QString &part : parts) {
        if (!allDigits(part) || part.size() > 3)
            return std::nullopt;
        const int value = part.toInt();
        if (value > 255)
            return std::nullopt;
        clean << QString::number(value);
    }
    return clean.join(QLatin1Char('.'));
}

bool validHostName(const QString &host)
{
    QString name = host;
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1); // a fully qualified name may end with the root's dot
    if (name.isEmpty() || name.size() > 253)
        return false;
    for (const QString &label : name.split(QLatin1Char('.'))) {
        if (label.isEmpty() || label.size() > 63)
            return false;
        if (label.startsWith(QLatin1Char('-')) || label.endsWith(QLatin1Char('-')))
            return false;
        for (QChar c : label) {
            const bool ok = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
                || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') || c == QLatin1Char('_');
            if (!ok)
                return false;
        }
    }
    return true;
}

bool isIPv6Literal(const QString &text)
{
    return QHostAddress(text).protocol() == QAbstractSocket::IPv6Protocol;
}

} // namespace

QString tcpAddressExample()
{
    return QStringLiteral("tcp://192.168.1.10:4001");
}

QString TcpAddress::hostPort() const
{
    const QString shown = isIPv6() ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1:%2").arg(shown, QString::number(port));
}

QString TcpAddress::text() const
{
    return QLatin1String(Scheme) + hostPort();
}

bool TcpAddress::isIPv6() const
{
    return host.contains(QLatin1Char(':'));
}

std::optional<TcpAddress> TcpAddress::parse(const QString &rawText, QString *error)
{
    const QString entry = rawText.trimmed();
    auto fail = [&](const QString &reason) -> std::optional<TcpAddress> {
        if (error)
            *error = failure(entry, reason);
        return std::nullopt;
    };
    if (entry.isEmpty())
        return fail(QStringLiteral("адрес пуст"));

    const int schemeEnd = entry.indexOf(QLatin1String("://"));
    if (schemeEnd < 0) {
        if (entry.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive))
            return fail(QStringLiteral("после \"tcp:\" нужны две косые черты"));
        return fail(QStringLiteral("не указано начало tcp://"));
    }
    const QString scheme = entry.left(schemeEnd);
    if (scheme.isEmpty())
        return fail(QStringLiteral("не указано tcp перед \"://\""));
    if (scheme.compare(QLatin1String("tcp"), Qt::CaseInsensitive) != 0)
        return fail(QStringLiteral("вид подключения \"%1://\" не поддерживается, только tcp://").arg(scheme));

    const QString rest = entry.mid(schemeEnd + 3);
    QString host;
    QString afterHost; // ":port", or whatever follows the host
    if (rest.startsWith(QLatin1Char('['))) {
        const int close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return fail(QStringLiteral("не закрыта квадратная скобка адреса IPv6"));
        host = rest.mid(1, close - 1);
        if (!isIPv6Literal(host))
            return fail(QStringLiteral("в квадратных скобках должен быть адрес IPv6"));
        afterHost = rest.mid(close + 1);
    } else {
        const int colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0 && rest.indexOf(QLatin1Char(':')) != colon) {
            if (isIPv6Literal(rest) || isIPv6Literal(rest.left(colon)))
                return fail(QStringLiteral("адрес IPv6 пишется в квадратных скобках, например tcp://[fe80::1]:4001"));
            return fail(QStringLiteral("лишнее двоеточие"));
        }
        host = colon >= 0 ? rest.left(colon) : rest;
        afterHost = colon >= 0 ? rest.mid(colon) : QString();
        if (host.isEmpty())
            return fail(QStringLiteral("не указан узел (IP-адрес или имя)"));
    }

    if (afterHost.isEmpty() || afterHost == QLatin1String(":"))
        return fail(QStringLiteral("не указан номер порта TCP"));
    if (!afterHost.startsWith(QLatin1Char(':')))
        return fail(QStringLiteral("после адреса должно идти двоеточие и номер порта TCP"));
    const QString portText = afterHost.mid(1);
    if (!allDigits(portText))
        return fail(QStringLiteral("номер порта TCP \"%1\" должен быть числом от 1 до 65535").arg(quoted(portText)));
    const int port = portText.size() <= 5 ? portText.toInt() : 0;
    if (port < 1 || port > 65535)
        return fail(QStringLiteral("номер порта TCP должен быть от 1 до 65535"));

    TcpAddress address;
    address.port = static_cast<quint16>(port);
    if (isIPv6Literal(host)) {
        address.host = host;
    } else if (QRegularExpression(QStringLiteral("^[0-9.]+$")).match(host).hasMatch()) {
        const std::optional<QString> v4 = plainIPv4(host);
        if (!v4)
            return fail(QStringLiteral("\"%1\" не является адресом IPv4 (четыре числа от 0 до 255 через точку)")
                            .arg(quoted(host)));
        address.host = *v4;
    } else if (validHostName(host)) {
        address.host = host;
    } else {
        return fail(QStringLiteral("недопустимое имя узла \"%1\" (латинские буквы, цифры, точка и дефис)")
                        .arg(quoted(host)));
    }
    return address;
}

bool isNetworkAddress(const QString &rawText)
{
    const QString text = rawText.trimmed();
    if (text.isEmpty() || text.startsWith(QLatin1Char('/')))
        return false;
    if (text.contains(QLatin1Char(':')))
        return true;
    static const QRegularExpression bareIPv4(QStringLiteral("^[0-9]+(\\.[0-9]+)+$"));
    return bareIPv4.match(text).hasMatch();
}
