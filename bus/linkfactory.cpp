#include "bus/linkfactory.h"

#include "bus/portmap.h"
#include "bus/serial/porthints.h"
#include "bus/serial/qserialportlink.h"
#include "bus/serial/serialdevices.h"
#include "bus/tcp/tcpaddress.h"
#include "bus/tcp/tcphints.h"
#include "bus/tcp/tcplink.h"
#include "bus/vacomm.h"

std::unique_ptr<BusLink> CreateLink(const QString &address, const LinkOptions &options)
{
    if (isNetworkAddress(address)) {
        auto link = std::make_unique<TcpLink>(address);
        link->setConnectTimeout(options.connectTimeoutMs);
        return link;
    }
    return std::make_unique<QSerialPortLink>(address);
}

LinkFactory SettingsLinkFactory(std::function<QString()> iniPath)
{
    return [iniPath = std::move(iniPath)](const QString &address) {
        LinkOptions options;
        options.connectTimeoutMs = ConnectTimeoutMs(iniPath());
        return CreateLink(address, options);
    };
}

QString OpenFailureMessage(const EVaCommError &error)
{
    if (isNetworkAddress(error.device()))
        return tcpOpenFailureMessage(error);
    return openFailureMessage(error, serialSystem());
}

QString LostPortText(const QString &address)
{
    if (isNetworkAddress(address))
        return QStringLiteral("Связь с портом %1 потеряна: соединение закрыто сервером или прервано сетью.")
            .arg(address.trimmed());
    return QStringLiteral("Связь с портом %1 потеряна: адаптер отключен или порт закрыт.").arg(address);
}
