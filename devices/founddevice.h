#pragma once

#include "bus/buslink.h"
#include "devices/devicecatalogue.h"

#include <QByteArray>

// A device a search or a survey found: what the device window of its kind starts from.
struct FoundDevice
{
    DeviceWindowKind kind = DeviceWindowKind::None; // what answered, after any fall-back
    int address = 0;    // the address the probe went to (0 for the meter's channel test)
    int port = 1;       // the port number it answered on
    LineSettings line;  // the line it answered at
    QByteArray answer;  // the answer to the probe, CRC included
};
