#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <sys/types.h>

// The user the program runs as, as far as device access is concerned.
struct SystemUser
{
    QString name;
    uid_t uid = 0;
    QList<gid_t> groups;   // the groups this process runs with, the primary one included
    QList<gid_t> memberOf; // the groups the user database lists, in force from the next login
};

// Where the port list and the open-failure hints read the system: a root folder
// holding dev/, sys/ and proc/, and the user. The running system is root "/" and
// the process's own user; tests build a fake tree and user instead.
class SerialSystem
{
public:
    SerialSystem(); // the running system
    SerialSystem(QString root, SystemUser user, QHash<gid_t, QString> groupNames);

    bool isLive() const { return m_live; }
    const QString &root() const { return m_root; }
    const SystemUser &user() const { return m_user; }
    // Where an absolute system path ("/dev/ttyUSB0") lies under the root.
    QString hostPath(const QString &systemPath) const;
    // The name of a group: the given table first, then the group database, else the number.
    QString groupName(gid_t gid) const;

private:
    QString m_root;
    bool m_live = true;
    SystemUser m_user;
    QHash<gid_t, QString> m_groupNames;
};

// The system in force: the running one unless a test installed another (not owned;
// nullptr restores the running system).
const SerialSystem &serialSystem();
void setSerialSystem(const SerialSystem *system);

// A process that has a device open.
struct DeviceHolder
{
    qint64 pid = 0;
    QString name;

    bool operator==(const DeviceHolder &o) const { return pid == o.pid && name == o.name; }
};

// What a device file is, read without opening it.
struct DeviceFile
{
    enum class Type { Missing, CharDevice, Fifo, Regular, Directory, Other };
    Type type = Type::Missing;
    uid_t owner = 0;
    gid_t group = 0;
    mode_t mode = 0; // permission bits
};

struct SerialDeviceInfo
{
    QString deviceFile;   // "/dev/ttyUSB0"
    QString byIdPath;     // "/dev/serial/by-id/usb-...", empty when the device has none
    QString description;  // the USB product text, or what the system calls the port
    QString manufacturer;
    QString serialNumber;
    QString usbId;        // vendor:product in hex ("0403:6001"), empty when not USB
    int latencyMs = -1;   // the USB serial latency timer, -1 when the driver has none
    DeviceFile file;
    bool accessible = false;      // this user may open it for reading and writing
    QList<DeviceHolder> holders;  // processes that have it open, as far as can be seen

    // The name to keep in the settings: the by-id path survives re-plugging.
    QString stablePath() const { return byIdPath.isEmpty() ? deviceFile : byIdPath; }
};

// The holders of each device as far as /proc shows them. `complete` is false when
// some processes could not be looked into (other users' processes, for a non-root user).
struct HolderScan
{
    QHash<QString, QList<DeviceHolder>> byDevice; // keyed by the device file the descriptor names
    bool complete = true;

    QList<DeviceHolder> of(const QString &deviceFile) const { return byDevice.value(deviceFile); }
};

DeviceFile statDevice(const SerialSystem &system, const QString &path);
// A system path with every symlink followed under the root ("/dev/serial/by-id/x" ->
// "/dev/ttyUSB0"); the path itself when it cannot be followed.
QString resolveDevicePath(const SerialSystem &system, const QString &path);
bool mayOpen(const SerialSystem &system, const QString &path, const DeviceFile &file);
HolderScan scanHolders(const SerialSystem &system);

// The serial devices present, sorted by device file. On the running system the set
// is what QSerialPortInfo reports, with the system's files adding what it lacks;
// on a fake tree, the ttys of sys/class/tty that have a device behind them.
// `holdersComplete`, when given, tells whether every process could be looked into.
QList<SerialDeviceInfo> listSerialDevices(const SerialSystem &system, bool *holdersComplete = nullptr);
