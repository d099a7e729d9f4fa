#include "bus/serial/serialdevices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const SerialSystem *installed = nullptr;

SystemUser processUser()
{
    SystemUser user;
    user.uid = ::geteuid();
    const gid_t primary = ::getegid();
    user.groups.append(primary);
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> groups(static_cast<size_t>(count));
        const int got = ::getgroups(count, groups.data());
        for (int i = 0; i < got; ++i)
            if (!user.groups.contains(groups[size_t(i)]))
                user.groups.append(groups[size_t(i)]);
    }

    gid_t loginGroup = primary;
    if (const passwd *pw = ::getpwuid(user.uid)) {
        user.name = QString::fromLocal8Bit(pw->pw_name);
        loginGroup = pw->pw_gid;
    } else {
        user.name = QString::fromLocal8Bit(qgetenv("USER"));
    }
    if (!user.name.isEmpty()) {
        const QByteArray name = user.name.toLocal8Bit();
        int listed = 64;
        std::vector<gid_t> groups(static_cast<size_t>(listed));
        if (::getgrouplist(name.constData(), loginGroup, groups.data(), &listed) < 0 && listed > 0) {
            groups.resize(static_cast<size_t>(listed));
            ::getgrouplist(name.constData(), loginGroup, groups.data(), &listed);
        }
        for (int i = 0; i < listed && i < int(groups.size()); ++i)
            user.memberOf.append(groups[size_t(i)]);
    }
    return user;
}

QString readLine(const QString &hostFile)
{
    QFile file(hostFile);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readLine(256)).trimmed();
}

QString readLink(const QString &hostPath)
{
    char target[4096];
    const ssize_t n = ::readlink(QFile::encodeName(hostPath).constData(), target, sizeof target - 1);
    if (n <= 0)
        return QString();
    return QFile::decodeName(QByteArray(target, int(n)));
}

// Where a system path leads when its last component is a symlink, in system terms.
QString linkTarget(const SerialSystem &system, const QString &path)
{
    const QString target = readLink(system.hostPath(path));
    if (target.isEmpty())
        return QString();
    if (target.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(target);
    return QDir::cleanPath(QFileInfo(path).path() + QLatin1Char('/') + target);
}

// ttyUSB2 before ttyUSB10.
bool naturalLess(const QString &a, const QString &b)
{
    int i = 0;
    int j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            int ei = i;
            int ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            const qulonglong x = a.mid(i, ei - i).toULongLong();
            const qulonglong y = b.mid(j, ej - j).toULongLong();
            if (x != y)
                return x < y;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

// The USB device's own folder above a tty: the first parent that has an idVendor.
QString usbDeviceFolder(const SerialSystem &system, const QString &ttyName)
{
    const QString sysRoot = QDir::cleanPath(QFileInfo(system.hostPath(QStringLiteral("/sys"))).canonicalFilePath());
    QString folder = QFileInfo(system.hostPath(QStringLiteral("/sys/class/tty/%1/device").arg(ttyName)))
                         .canonicalFilePath();
    for (int level = 0; level < 5 && !folder.isEmpty() && folder.startsWith(sysRoot + QLatin1Char('/')); ++level) {
        if (QFileInfo::exists(folder + QStringLiteral("/idVendor")))
            return folder;
        folder = QFileInfo(folder).path();
    }
    return QString();
}

void fillFromSysfs(const SerialSystem &system, SerialDeviceInfo &info)
{
    const QString name = QFileInfo(info.deviceFile).fileName();
    const QString usb = usbDeviceFolder(system, name);
    if (!usb.isEmpty()) {
        const auto attribute = [&usb](const char *file) { return readLine(usb + QLatin1Char('/') + QLatin1String(file)); };
        if (info.description.isEmpty())
            info.description = attribute("product");
        if (info.manufacturer.isEmpty())
            info.manufacturer = attribute("manufacturer");
        if (info.serialNumber.isEmpty())
            info.serialNumber = attribute("serial");
        if (info.usbId.isEmpty()) {
            const QString vendor = attribute("idVendor");
            const QString product = attribute("idProduct");
            if (!vendor.isEmpty() && !product.isEmpty())
                info.usbId = vendor.toLower() + QLatin1Char(':') + product.toLower();
        }
    }
    bool ok = false;
    const int latency =
        readLine(system.hostPath(QStringLiteral("/sys/bus/usb-serial/devices/%1/latency_timer").arg(name))).toInt(&ok);
    if (ok)
        info.latencyMs = latency;
}

QHash<QString, QString> byIdNames(const SerialSystem &system)
{
    QHash<QString, QString> names;
    const QString folder = QStringLiteral("/dev/serial/by-id");
    QStringList entries = QDir(system.hostPath(folder)).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    std::sort(entries.begin(), entries.end(), naturalLess);
    for (const QString &entry : entries) {
        const QString path = folder + QLatin1Char('/') + entry;
        const QString device = resolveDevicePath(system, path);
        if (device != path && !names.contains(device))
            names.insert(device, path);
    }
    return names;
}

} // namespace

SerialSystem::SerialSystem() : m_root(QStringLiteral("/")), m_live(true), m_user(processUser()) {}

SerialSystem::SerialSystem(QString root, SystemUser user, QHash<gid_t, QString> groupNames)
    : m_root(QDir::cleanPath(root)), m_live(m_root == QLatin1String("/")), m_user(std::move(user)),
      m_groupNames(std::move(groupNames))
{
}

QString SerialSystem::hostPath(const QString &systemPath) const
{
    // A bare name ("ttyS0") is taken from /dev, as the port itself does.
    const QString path = systemPath.startsWith(QLatin1Char('/')) ? systemPath : QStringLiteral("/dev/") + systemPath;
    if (m_live)
        return path;
    return m_root + path;
}

QString SerialSystem::groupName(gid_t gid) const
{
    const auto known = m_groupNames.constFind(gid);
    if (known != m_groupNames.constEnd())
        return *known;
    if (const group *entry = ::getgrgid(gid))
        return QString::fromLocal8Bit(entry->gr_name);
    return QString::number(gid);
}

const SerialSystem &serialSystem()
{
    if (installed)
        return *installed;
    static const SerialSystem live;
    return live;
}

void setSerialSystem(const SerialSystem *system)
{
    installed = system;
}

DeviceFile statDevice(const SerialSystem &system, const QString &path)
{
    DeviceFile file;
    struct stat st {};
    if (::stat(QFile::encodeName(system.hostPath(path)).constData(), &st) != 0)
        return file;
    if (S_ISCHR(st.st_mode))
        file.type = DeviceFile::Type::CharDevice;
    else if (S_ISFIFO(st.st_mode))
        file.type = DeviceFile::Type::Fifo;
    else if (S_ISREG(st.st_mode))
        file.type = DeviceFile::Type::Regular;
    else if (S_ISDIR(st.st_mode))
        file.type = DeviceFile::Type::Directory;
    else
        file.type = DeviceFile::Type::Other;
    file.owner = st.st_uid;
    file.group = st.st_gid;
    file.mode = st.st_mode & 07777;
    return file;
}

QString resolveDevicePath(const SerialSystem &system, const QString &path)
{
    QString current = path.startsWith(QLatin1Char('/')) ? path : QStringLiteral("/dev/") + path;
    for (int hop = 0; hop < 16; ++hop) {
        const QString next = linkTarget(system, current);
        if (next.isEmpty())
            return current;
        current = next;
    }
    return path;
}

bool mayOpen(const SerialSystem &system, const QString &path, const DeviceFile &file)
{
    if (file.type == DeviceFile::Type::Missing)
        return false;
    // The running system knows best (access control lists, for one).
    if (system.isLive())
        return ::access(QFile::encodeName(system.hostPath(path)).constData(), R_OK | W_OK) == 0;
    const SystemUser &user = system.user();
    if (user.uid == 0)
        return true;
    mode_t bits = file.mode & 07;
    if (user.uid == file.owner)
        bits = (file.mode >> 6) & 07;
    else if (user.groups.contains(file.group))
        bits = (file.mode >> 3) & 07;
    return (bits & 06) == 06;
}

HolderScan scanHolders(const SerialSystem &system)
{
    HolderScan scan;
    const QByteArray proc = QFile::encodeName(system.hostPath(QStringLiteral("/proc")));
    DIR *processes = ::opendir(proc.constData());
    if (!processes) {
        scan.complete = false;
        return scan;
    }
    while (const dirent *process = ::readdir(processes)) {
        bool numeric = false;
        const qint64 pid = QByteArray(process->d_name).toLongLong(&numeric);
        if (!numeric || pid <= 0)
            continue;
        const QByteArray fdFolder = proc + '/' + process->d_name + "/fd";
        DIR *fds = ::opendir(fdFolder.constData());
        if (!fds) {
            // A process that ended meanwhile hides nothing.
            if (errno != ENOENT)
                scan.complete = false;
            continue;
        }
        QString name;
        while (const dirent *fd = ::readdir(fds)) {
            if (fd->d_name[0] == '.')
                continue;
            const QString target = readLink(QFile::decodeName(fdFolder + '/' + fd->d_name));
            if (!target.startsWith(QLatin1String("/dev/")))
                continue;
            if (name.isNull())
                name = readLine(QFile::decodeName(proc + '/' + process->d_name + "/comm"));
            QList<DeviceHolder> &holders = scan.byDevice[target];
            const DeviceHolder holder{pid, name};
            if (!holders.contains(holder))
                holders.append(holder);
        }
        ::closedir(fds);
    }
    ::closedir(processes);
    for (QList<DeviceHolder> &holders : scan.byDevice)
        std::sort(holders.begin(), holders.end(),
                  [](const DeviceHolder &a, const DeviceHolder &b) { return a.pid < b.pid; });
    return scan;
}

QList<SerialDeviceInfo> listSerialDevices(const SerialSystem &system, bool *holdersComplete)
{
    QList<SerialDeviceInfo> devices;
    if (system.isLive()) {
        // QSerialPortInfo leaves out the legacy ports that have no hardware behind them.
        for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
            SerialDeviceInfo info;
            info.deviceFile = port.systemLocation();
            info.description = port.description();
            info.manufacturer = port.manufacturer();
            info.serialNumber = port.serialNumber();
            if (port.hasVendorIdentifier() && port.hasProductIdentifier())
                info.usbId = QStringLiteral("%1:%2")
                                 .arg(port.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                                 .arg(port.productIdentifier(), 4, 16, QLatin1Char('0'));
            devices.append(info);
        }
    } else {
        const QDir ttys(system.hostPath(QStringLiteral("/sys/class/tty")));
        for (const QString &name : ttys.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            if (!QFileInfo(ttys.filePath(name) + QStringLiteral("/device")).isDir())
                continue; // virtual consoles and ptys have no device behind them
            SerialDeviceInfo info;
            info.deviceFile = QStringLiteral("/dev/") + name;
            devices.append(info);
        }
    }

    const QHash<QString, QString> byId = byIdNames(system);
    const HolderScan holders = scanHolders(system);
    for (SerialDeviceInfo &info : devices) {
        fillFromSysfs(system, info);
        info.byIdPath = byId.value(info.deviceFile);
        info.file = statDevice(system, info.deviceFile);
        info.accessible = mayOpen(system, info.deviceFile, info.file);
        info.holders = holders.of(info.deviceFile);
    }
    std::sort(devices.begin(), devices.end(), [](const SerialDeviceInfo &a, const SerialDeviceInfo &b) {
        return naturalLess(a.deviceFile, b.deviceFile);
    });
    if (holdersComplete)
        *holdersComplete = holders.complete;
    return devices;
}
