#include "bus/tcp/tcpcheck.h"

#include "bus/tcp/tcpaddress.h"
#include "bus/tcp/tcphints.h"
#include "bus/tcp/tcplink.h"

#include <QElapsedTimer>
#include <QLocale>

#include <cerrno>

TcpCheck::TcpCheck(QObject *parent) : QObject(parent) {}

TcpCheck::~TcpCheck()
{
    cancel();
}

TcpCheck::Result TcpCheck::run(const QString &text, int connectTimeoutMs)
{
    Result result;
    QString error;
    const std::optional<TcpAddress> address = TcpAddress::parse(text, &error);
    if (!address) {
        result.text = error;
        return result;
    }
    if (m_link) {
        result.text = QStringLiteral("Проверка подключения уже идет.");
        return result;
    }
    TcpLink link(address->text());
    link.setConnectTimeout(connectTimeoutMs);
    m_link = &link;
    QElapsedTimer clock;
    clock.start();
    result.connected = link.open(LineSettings{});
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    result.elapsedMs = clock.elapsed();
    m_link = nullptr;
    link.close();
    result.cancelled = !result.connected && link.lastError().code == ECANCELED;
    if (result.connected)
        result.text = QStringLiteral("Подключение к %1 установлено за %2 мс.")
                          .arg(address->hostPort(), QLocale().toString(ms, 'f', ms < 10 ? 1 : 0));
    else
        result.text = tcpFailureReason(address->text(), link.lastError().code);
    return result;
}

void TcpCheck::cancel()
{
    if (m_link)
        m_link->close();
}
