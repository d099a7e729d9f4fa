#pragma once

#include "bus/serial/serialdevices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

// A fake /dev, /sys and /proc made inside a temporary folder, laid out as the kernel
// lays them out (relative sysfs links, absolute descriptor links in /proc), and a
// user who is neither root nor the owner of the device files.
class FakeSerialTree
{
public:
    struct Usb
    {
        QString busPath; // "1-2": the USB device's folder under the controller
        QString vendor, product, manufacturer, description, serial;
    };

    // The group the device files belong to: when run as root, one that neither the
    // fake user nor root's group stands for; otherwise the process's own group.
    const gid_t deviceGroup = ::geteuid() == 0 ? gid_t(54320) : ::getegid();
    static constexpr uid_t UserId = 54321;
    static constexpr gid_t UserGroup = 54399;

    bool isValid() const { return m_dir.isValid(); }
    QString root() const { return m_dir.path(); }
    QString host(const QString &systemPath) const { return m_dir.path() + systemPath; }

    // A user named "ivan" in their own group only; `memberOf` is what the user
    // database lists for the next login.
    SerialSystem system(QList<gid_t> memberOf = {}) const
    {
        SystemUser user;
        user.name = QStringLiteral("ivan");
        user.uid = UserId;
        user.groups = {UserGroup};
        user.memberOf = memberOf.isEmpty() ? QList<gid_t>{UserGroup} : memberOf;
        return SerialSystem(root(), user, {{deviceGroup, QStringLiteral("dialout")}});
    }

    // dev/<name>, owned by deviceGroup (or `group`, when run as root) with the given permission bits.
    bool addDeviceFile(const QString &name, mode_t mode = 0660, gid_t group = gid_t(-1)) const
    {
        const gid_t owner = group == gid_t(-1) ? deviceGroup : group;
        const QString path = host(QStringLiteral("/dev/") + name);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.close();
        const QByteArray native = QFile::encodeName(path);
        if (::geteuid() == 0 && ::chown(native.constData(), uid_t(-1), owner) != 0)
            return false;
        return ::chmod(native.constData(), mode) == 0;
    }

    // A USB serial adapter: its tty in sysfs under the USB device, its device file,
    // a by-id link when `byId` is given and a latency timer when `latency` >= 0.
    bool addUsbTty(const QString &name, const Usb &usb, int latency, const QString &byId) const
    {
        const QString device = QStringLiteral("/sys/devices/pci0000:00/0000:00:14.0/usb1/") + usb.busPath;
        const QString port = device + QLatin1Char('/') + usb.busPath + QStringLiteral(":1.0/") + name;
        bool ok = mkdir(port) && write(device + QStringLiteral("/idVendor"), usb.vendor)
                  && write(device + QStringLiteral("/idProduct"), usb.product)
                  && write(device + QStringLiteral("/manufacturer"), usb.manufacturer)
                  && write(device + QStringLiteral("/product"), usb.description)
                  && write(device + QStringLiteral("/serial"), usb.serial) && addTty(name, port);
        if (ok && latency >= 0)
            ok = write(QStringLiteral("/sys/bus/usb-serial/devices/%1/latency_timer").arg(name),
                       QString::number(latency));
        if (ok && !byId.isEmpty())
            ok = mkdir(QStringLiteral("/dev/serial/by-id"))
                 && link(QStringLiteral("../../") + name, QStringLiteral("/dev/serial/by-id/") + byId);
        return ok;
    }

    // The adapter most tests use: an FTDI FT232R as ttyUSB0, latency timer 16 ms, with a by-id name.
    static constexpr const char *FtdiById = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    bool addFtdiAdapter() const
    {
        return addUsbTty(QStringLiteral("ttyUSB0"),
                         {QStringLiteral("1-2"), QStringLiteral("0403"), QStringLiteral("6001"), QStringLiteral("FTDI"),
                          QStringLiteral("FT232R USB UART"), QStringLiteral("A50285BI")},
                         16, QString::fromLatin1(FtdiById));
    }

    // A port of the machine itself (no USB device above it).
    bool addPlainTty(const QString &name) const
    {
        const QString port = QStringLiteral("/sys/devices/platform/serial8250/tty/") + name;
        return mkdir(port) && addTty(name, port);
    }

    // A virtual console: a tty with no device behind it.
    bool addConsole(const QString &name) const
    {
        return mkdir(QStringLiteral("/sys/class/tty/") + name) && addDeviceFile(name, 0620);
    }

    // Process `pid` named `comm` with `systemPath` open as descriptor 5.
    bool addHolder(qint64 pid, const QString &comm, const QString &systemPath) const
    {
        const QString process = QStringLiteral("/proc/%1").arg(pid);
        return mkdir(process + QStringLiteral("/fd")) && write(process + QStringLiteral("/comm"), comm)
               && link(systemPath, process + QStringLiteral("/fd/5"))
               && link(QStringLiteral("/dev/null"), process + QStringLiteral("/fd/0"));
    }

    bool mkdir(const QString &systemPath) const { return QDir().mkpath(host(systemPath)); }

    bool write(const QString &systemPath, const QString &line) const
    {
        QDir().mkpath(QFileInfo(host(systemPath)).path());
        QFile file(host(systemPath));
        return file.open(QIODevice::WriteOnly) && file.write((line + QLatin1Char('\n')).toUtf8()) > 0;
    }

    // A symlink at `systemPath` holding `target` as given (relative or absolute).
    bool link(const QString &target, const QString &systemPath) const
    {
        return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(host(systemPath)).constData()) == 0;
    }

private:
    bool addTty(const QString &name, const QString &portFolder) const
    {
        const QString classFolder = QStringLiteral("/sys/class/tty/") + name;
        return mkdir(classFolder)
               && link(QDir(host(classFolder)).relativeFilePath(host(portFolder)), classFolder + QStringLiteral("/device"))
               && addDeviceFile(name);
    }

    QTemporaryDir m_dir;
};
