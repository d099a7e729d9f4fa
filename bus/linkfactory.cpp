#include "bus/linkfactory.h"

#include "bus/serial/porthints.h"
#include "bus/serial/qserialportlink.h"
#include "bus/serial/serialdevices.h"
#include "bus/tcp/tcpaddress.h"
#include "bus/tcp/tcphints.h"
#include "bus/tcp/tcplink.h"
#include "bus/vacomm.h"

std::unique_ptr<BusLink> CreateLink(const QString &address)
{
    if (isNetworkAddress(address))
        return makeTcpLink(address);
    return std::make_unique<QSerialPortLink>(address);
}

QString OpenFailureMessage(const EVaCommError &error)
{
    if (isNetworkAddress(error.device()))
        return tcpOpenFailureMessage(error);
    return openFailureMessage(error, serialSystem());
}
