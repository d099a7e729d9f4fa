#pragma once

#include "sim/bus.h"

#include <QString>
#include <QStringList>

// What the command line (and a config file) of orvek-sim asks for.
struct ToolOptions
{
    bool help = false;
    bool quiet = false;
    QString link;
    int baud = 0; // 0: follow the client's terminal settings
    int tcpPort = -1; // >= 0: serve over TCP instead of a pseudo-terminal (0: a free port)
    QString listen = QStringLiteral("127.0.0.1");
};

// Builds the bus from the arguments (program name first). On error returns
// false with a message; the bus may then be half set up.
bool configureBus(const QStringList &arguments, sim::Bus &bus, ToolOptions &options, QString *error);

QString helpText();
