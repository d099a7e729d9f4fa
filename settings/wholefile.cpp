#include "settings/wholefile.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

namespace {

// Why a file could not be written, from the system's error number.
QString WriteFailureReason(int error, const QString &systemText)
{
    switch (error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return QStringLiteral("На диске нет свободного места.");
    case EFBIG:
        return QStringLiteral("Файл слишком велик для этого диска.");
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("Запись в эту папку запрещена.");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("Папка не найдена.");
    case ENAMETOOLONG:
        return QStringLiteral("Слишком длинное имя файла.");
    case EIO:
        return QStringLiteral("Ошибка ввода-вывода.");
    default:
        return QStringLiteral("Ошибка записи (") + systemText + QStringLiteral(").");
    }
}

} // namespace

bool WriteWholeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    // Checked here, since the rename below would replace either, and root may write anything.
    const QFileInfo target(path);
    if (target.isDir())
        return fail(QStringLiteral("Под этим именем уже есть папка."));
    if (target.exists()
        && !(target.permissions() & (QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther)))
        return fail(QStringLiteral("Файл защищен от записи."));

    QSaveFile file(path);
    // Unbuffered, so a short write (full disk, size limit) shows in write()'s
    // count: a buffered one would reach commit() unnoticed and rename a
    // truncated file over the old one. errno is read at once after each call.
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(WriteFailureReason(errno, file.errorString()));
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const int cause = errno;
        const QString text = file.errorString();
        file.cancelWriting();
        return fail(WriteFailureReason(cause, text));
    }
    errno = 0;
    if (!file.commit())
        return fail(WriteFailureReason(errno, file.errorString()));
    return true;
}

QString StampedFileName(const QString &what, const QDateTime &time, const QString &suffix)
{
    return what + QLatin1Char('-') + time.toString(QStringLiteral("d-M-yyyy-HH-mm-ss")) + QLatin1Char('.') + suffix;
}
