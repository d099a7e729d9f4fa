#pragma once

#include <QString>

#include <optional>

// A bus behind a serial device server, written "tcp://host:port": an IPv4
// address, an IPv6 address in brackets (tcp://[fe80::1]:4001) or a host name.
struct TcpAddress
{
    QString host;     // as given, without brackets; an IPv4 address in plain decimal
    quint16 port = 0; // 1..65535

    // "host:port", with brackets around an IPv6 address: for messages.
    QString hostPort() const;
    // "tcp://host:port": the form the settings keep.
    QString text() const;
    bool isIPv6() const;

    // nullopt and, when asked for, a Russian text that quotes the entry and says
    // how it should look.
    static std::optional<TcpAddress> parse(const QString &text, QString *error = nullptr);
};

// Whether a port's address text means the network rather than a serial device:
// it carries a scheme ("tcp://", or a misspelt or foreign one, so its error names
// the right form), a colon, or a bare IPv4 address. Device paths and names
// ("/dev/ttyUSB0", "ttyS0", "/dev/serial/by-path/...:1.0-port0") are serial.
bool isNetworkAddress(const QString &text);

// The form an address takes, for messages and input hints.
QString tcpAddressExample();
