#include "bus/linkfactory.h"

#include "bus/serial/porthints.h"
#include "bus/serial/qserialportlink.h"
#include "bus/serial/serialdevices.h"

std::unique_ptr<BusLink> CreateLink(const QString &address)
{
    return std::make_unique<QSerialPortLink>(address);
}

QString OpenFailureMessage(const EVaCommError &error)
{
    return openFailureMessage(error, serialSystem());
}
