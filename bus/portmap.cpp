#include "bus/portmap.h"

#include "settings/inifile.h"

namespace {
QString section()
{
    return QStringLiteral("Ports");
}
QString key(int port)
{
    return QStringLiteral("COM%1").arg(port);
}
QString timeoutKey()
{
    return QStringLiteral("ConnectTimeout");
}
} // namespace

QString PortDeviceName(int port, const QString &configured)
{
    // A hand-edited settings file easily leaves blanks around the name.
    const QString name = configured.trimmed();
    if (!name.isEmpty())
        return name;
    return QStringLiteral("/dev/ttyUSB%1").arg(port - 1);
}

QString ConfiguredPort(const QString &iniPath, int port)
{
    return IniFile(iniPath).ReadString(section(), key(port));
}

QString ResolvePort(const QString &iniPath, int port)
{
    return PortDeviceName(port, ConfiguredPort(iniPath, port));
}

void AssignPort(const QString &iniPath, int port, const QString &device)
{
    IniFile(iniPath).WriteString(section(), key(port), device.trimmed());
}

int ConnectTimeoutMs(const QString &iniPath)
{
    bool ok = false;
    const int ms = IniFile(iniPath).ReadString(section(), timeoutKey()).toInt(&ok);
    return ok ? qBound(ConnectTimeoutMinMs, ms, ConnectTimeoutMaxMs) : ConnectTimeoutDefaultMs;
}

void SetConnectTimeoutMs(const QString &iniPath, int ms)
{
    IniFile(iniPath).WriteString(section(), timeoutKey(),
                                 QString::number(qBound(ConnectTimeoutMinMs, ms, ConnectTimeoutMaxMs)));
}
