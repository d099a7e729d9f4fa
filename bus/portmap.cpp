#include "bus/portmap.h"

QString PortDeviceName(int port, const QString &configured)
{
    // A hand-edited settings file easily leaves blanks around the name.
    const QString name = configured.trimmed();
    if (!name.isEmpty())
        return name;
    return QStringLiteral("/dev/ttyUSB%1").arg(port - 1);
}
