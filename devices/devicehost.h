#pragma once

#include <QString>

class RequestLayer;
class TVaComm;

// What a device window takes from the main window: the open port, the shared
// frame buffers, the address the search found and the baud rate chosen.
class DeviceHost
{
public:
    virtual ~DeviceHost() = default;
    virtual TVaComm &port() = 0;
    virtual RequestLayer &frames() = 0;
    virtual QString foundAddressText() const = 0; // text of the main window's StaticTextAddr
    virtual QString baudRateText() const = 0;     // the selected baud rate item ("19200")
};
