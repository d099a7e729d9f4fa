#pragma once

#include "bus/buslink.h"

#include <QString>

#include <memory>

class EVaCommError;

// The one place that knows the kinds of link. What a port number maps to decides
// which link the port opens and what the user is told when it cannot be opened;
// everything above asks here and never which kind it got.

// The link for an address as the settings file keeps it: a serial device file
// ("/dev/ttyUSB0") or a serial device server ("tcp://192.168.1.10:4001"). It is
// not opened yet.
std::unique_ptr<BusLink> CreateLink(const QString &address);

// The error box text for a port that could not be opened: the component's own
// text first, then what to do about it for that kind of link.
QString OpenFailureMessage(const EVaCommError &error);
