#pragma once

#include <QString>

// Operating-system device of a port number: the configured name when there is
// one, otherwise "/dev/ttyUSB<port-1>" (USB-to-RS-485 adapters are numbered from 0).
QString PortDeviceName(int port, const QString &configured);

// The settings file keeps the devices of port numbers as [Ports] COM<n>=<device>;
// an empty or missing value keeps the default.
QString ConfiguredPort(const QString &iniPath, int port);
QString ResolvePort(const QString &iniPath, int port);
// EIniWriteError when the file cannot be written. An empty device returns the
// number to its default.
void AssignPort(const QString &iniPath, int port, const QString &device);

// How long a network port may take to connect, kept as [Ports] ConnectTimeout
// in milliseconds. A missing or unreadable value is the default; others are held
// within the limits.
constexpr int ConnectTimeoutDefaultMs = 3000;
constexpr int ConnectTimeoutMinMs = 100;
constexpr int ConnectTimeoutMaxMs = 60000;
int ConnectTimeoutMs(const QString &iniPath);
// EIniWriteError when the file cannot be written.
void SetConnectTimeoutMs(const QString &iniPath, int ms);
