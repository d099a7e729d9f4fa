#pragma once

#include "bus/buschannel.h"
#include "devices/founddevice.h"

#include <QString>

// What a device window is given: the channel, open on the line the device was
// found at, and the found device itself.
class DeviceHost
{
public:
    virtual ~DeviceHost() = default;
    virtual BusChannel &channel() = 0;
    virtual const FoundDevice &found() const = 0;

    TVaComm &port() { return channel().port(); }
    RequestLayer &frames() { return channel().frames(); }
    // The address and the rate as the identification shows them.
    QString foundAddressText() const { return QString::number(found().address); }
    QString baudRateText() const { return QString::number(found().line.baudRate); }
};
