#pragma once

#include "bus/buslink.h"
#include "bus/portmap.h"

#include <QString>

#include <functional>
#include <memory>

class EVaCommError;

// The one place that knows the kinds of link. What a port number maps to decides
// which link the port opens and what the user is told when it cannot be opened;
// everything above asks here and never which kind it got.

// The link for an address as the settings file keeps it: a serial device file
// ("/dev/ttyUSB0") or a serial device server ("tcp://192.168.1.10:4001"). It is
// not opened yet.
struct LinkOptions
{
    int connectTimeoutMs = ConnectTimeoutDefaultMs; // a network port's connect; a serial device opens at once
};
std::unique_ptr<BusLink> CreateLink(const QString &address, const LinkOptions &options = {});

// A factory that reads the options from the settings file each time it makes a
// link, so a change in "Порты" holds from the next search on. `iniPath` names
// the file at that moment.
LinkFactory SettingsLinkFactory(std::function<QString()> iniPath);

// The error box text for a port that could not be opened: the component's own
// text first, then what to do about it for that kind of link.
QString OpenFailureMessage(const EVaCommError &error);

// The message when an open port went away under a search or a test, naming it:
// an adapter unplugged, or a network connection closed or broken.
QString LostPortText(const QString &address);
