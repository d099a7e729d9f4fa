#include "bus/serial/porthints.h"

#include "bus/serial/serialdevices.h"
#include "bus/vacomm.h"

#include <QStringList>

namespace {

const char *const PortsDialogHint = "в окне \"Порты\" (кнопка рядом с номером порта)";

QString permissionText(mode_t mode)
{
    QString text;
    for (int shift = 6; shift >= 0; shift -= 3) {
        text += (mode >> shift) & 04 ? QLatin1Char('r') : QLatin1Char('-');
        text += (mode >> shift) & 02 ? QLatin1Char('w') : QLatin1Char('-');
        text += (mode >> shift) & 01 ? QLatin1Char('x') : QLatin1Char('-');
    }
    return text;
}

QString permissionHint(const QString &device, const SerialSystem &system)
{
    const DeviceFile file = statDevice(system, device);
    if (file.type == DeviceFile::Type::Missing)
        return QStringLiteral("Нет доступа к %1: проверьте права на файл устройства.").arg(device);

    const SystemUser &user = system.user();
    // A shell fills in the name when the user database has none for this uid.
    const QString name = user.name.isEmpty() ? QStringLiteral("$USER") : user.name;
    const QString group = system.groupName(file.group);
    const bool groupMayOpen = ((file.mode >> 3) & 06) == 06;
    // Joining root's group would be the wrong advice, and joining a group without
    // read and write rights on the file would not help.
    if (groupMayOpen && file.group != 0 && !user.groups.contains(file.group)) {
        if (user.memberOf.contains(file.group))
            return QStringLiteral("Пользователь %1 уже включен в группу %2, которой принадлежит %3, "
                                  "но этот сеанс начат раньше.\rВыйдите из системы и войдите снова.")
                .arg(name, group, device);
        return QStringLiteral("Устройство %1 принадлежит группе %2, а пользователь %3 в нее не входит.\r"
                              "Добавьте его в группу командой:\rsudo usermod -a -G %2 %3\r"
                              "и войдите в систему заново.")
            .arg(device, group, name);
    }
    return QStringLiteral("Права на %1 (%2, группа %3) не позволяют пользователю %4 открыть его: "
                          "обратитесь к администратору компьютера.")
        .arg(device, permissionText(file.mode), group, name);
}

QString busyHint(const QString &device, const SerialSystem &system)
{
    const QList<DeviceHolder> holders = scanHolders(system).of(resolveDevicePath(system, device));
    if (holders.isEmpty())
        return QStringLiteral("Порт открыт другой программой, найти ее не удалось.\r"
                              "Закройте программу, работающую с портом, и повторите поиск.");
    QStringList named;
    for (const DeviceHolder &holder : holders)
        named << (holder.name.isEmpty() ? QString::number(holder.pid)
                                        : QStringLiteral("%1 (%2)").arg(QString::number(holder.pid), holder.name));
    return QStringLiteral("Порт занят: его держит открытым %1 %2.\rЗакройте эту программу и повторите поиск.")
        .arg(holders.size() == 1 ? QStringLiteral("процесс") : QStringLiteral("процессы"), named.join(QStringLiteral(", ")));
}

QString missingHint(const SerialSystem &system)
{
    const QList<SerialDeviceInfo> devices = listSerialDevices(system);
    if (devices.isEmpty())
        return QStringLiteral("Последовательные порты не найдены: проверьте, подключен ли преобразователь RS-485.");
    QStringList present;
    for (const SerialDeviceInfo &device : devices)
        present << (device.description.isEmpty() ? device.deviceFile
                                                 : QStringLiteral("%1 (%2)").arg(device.deviceFile, device.description));
    return QStringLiteral("Подключенные последовательные порты: %1.\rНомер порта можно назначить одному из них %2.")
        .arg(present.join(QStringLiteral(", ")), QString::fromUtf8(PortsDialogHint));
}

QString notSerialHint(const QString &device, const SerialSystem &system)
{
    QString kind;
    switch (statDevice(system, device).type) {
    case DeviceFile::Type::Fifo: kind = QStringLiteral("именованный канал (FIFO)"); break;
    case DeviceFile::Type::Regular: kind = QStringLiteral("обычный файл"); break;
    case DeviceFile::Type::CharDevice: kind = QStringLiteral("устройство другого типа"); break;
    default: kind = QStringLiteral("файл другого типа"); break;
    }
    return QStringLiteral("Устройство: %1\r\rЭто %2, а не последовательный порт: назначьте номеру порта "
                          "другое устройство %3.")
        .arg(device, kind, QString::fromUtf8(PortsDialogHint));
}

} // namespace

QString openFailureMessage(const EVaCommError &error, const SerialSystem &system)
{
    const QString text = QString::fromStdString(error.what());
    const QString &device = error.device();
    switch (error.failure()) {
    case EVaCommError::Failure::PermissionDenied:
        return text + QStringLiteral("\r\r") + permissionHint(device, system);
    case EVaCommError::Failure::Busy:
        return text + QStringLiteral("\r\r") + busyHint(device, system);
    case EVaCommError::Failure::NotFound:
        return text + QStringLiteral("\r\r") + missingHint(system);
    case EVaCommError::Failure::NotSerial:
        // The component's text does not name the file here.
        return text + QLatin1Char('\r') + notSerialHint(device, system);
    case EVaCommError::Failure::Other:
    case EVaCommError::Failure::Cancelled:
        break;
    }
    return text;
}
