#pragma once

#include <QString>

// Operating-system device of a port number: the configured name when there is
// one, otherwise "/dev/ttyUSB<port-1>" (USB-to-RS-485 adapters are numbered from 0).
QString PortDeviceName(int port, const QString &configured);
