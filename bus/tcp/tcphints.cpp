#include "bus/tcp/tcphints.h"

#include "bus/tcp/tcpaddress.h"
#include "bus/vacomm.h"

#include <cerrno>

QString tcpFailureReason(const QString &text, int code)
{
    QString error;
    const std::optional<TcpAddress> address = TcpAddress::parse(text, &error);
    if (!address)
        return error;
    const QString where = QStringLiteral("Не удалось подключиться к %1").arg(address->hostPort());
    switch (code) {
    case ECONNREFUSED:
        return where
            + QStringLiteral(": подключение отклонено.\rНа этом порту TCP никто не принимает подключений: проверьте "
                             "номер порта и что преобразователь работает в режиме TCP-сервера. Если он принимает "
                             "только одно подключение, закройте другую программу, которая с ним работает.");
    case EHOSTUNREACH:
        return where
            + QStringLiteral(": узел недоступен.\rПроверьте, что преобразователь включен и подключен к сети и что его "
                             "адрес указан верно.");
    case ENETUNREACH:
        return where
            + QStringLiteral(": сеть недоступна.\rКомпьютер не подключен к сети, в которой находится этот адрес: "
                             "проверьте сетевое подключение компьютера и адрес преобразователя.");
    case ETIMEDOUT:
        return where
            + QStringLiteral(": узел не ответил вовремя.\rПроверьте, что преобразователь включен и подключен к сети, что "
                             "его адрес указан верно и что межсетевой экран не блокирует подключение.");
    case ENXIO:
        return where
            + QStringLiteral(": узел с именем \"%1\" не найден.\rПроверьте, правильно ли записано имя, или укажите "
                             "IP-адрес преобразователя.")
                  .arg(address->host);
    case EAGAIN:
        return where
            + QStringLiteral(": не удалось узнать адрес узла \"%1\", служба имен (DNS) не ответила.\rУкажите "
                             "IP-адрес преобразователя вместо имени.")
                  .arg(address->host);
    case ECANCELED:
        return where + QStringLiteral(": подключение прервано.");
    default:
        break;
    }
    return where + QStringLiteral(": ошибка %1 (%2).").arg(QString::number(code), qt_error_string(code));
}

QString tcpOpenFailureMessage(const EVaCommError &error)
{
    const QString text = QString::fromStdString(error.what());
    if (error.device().isEmpty())
        return text;
    return text + QStringLiteral("\r\r") + tcpFailureReason(error.device(), error.code());
}
