#include "devices/testjournal.h"

#include "bus/requestlayer.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStringEncoder>

#include <cerrno>

QString FormatGeneral(double value)
{
    QString text = QString::number(value, 'g', 15);
    const QString separator = QLocale().decimalPoint();
    if (separator != QLatin1String("."))
        text.replace(QLatin1Char('.'), separator);
    return text;
}

QString JournalHexLine(const QString &prefix, const std::uint8_t *data, int count)
{
    if (count <= JournalHexBytes)
        return prefix + HexBytes(data, count);
    return prefix + HexBytes(data, JournalHexBytes) + QStringLiteral(" ... (всего %1 байт)").arg(count);
}

QString JournalTime(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

QStringList SummaryLines(const QString &deviceName, const QStringList &configLines, int count, int intervalMs,
                         const TestCounters &c)
{
    QStringList lines;
    lines << QString();
    lines << QStringLiteral("[КОНФИГУРАЦИЯ ") + deviceName + QLatin1Char(']');
    lines << configLines;
    lines << QString();
    lines << QStringLiteral("[ДИАГНОСТИКА ") + deviceName + QLatin1Char(']');
    lines << QStringLiteral("Количество тестовых посылок: ") + QString::number(count);
    lines << QStringLiteral("Интервал опроса: ") + QString::number(intervalMs) + QStringLiteral("мсек.");
    // 64-bit sums: the counters are 32-bit and a long test must not overflow here.
    const qint64 answered = qint64(c.accepted) + c.errors;
    if (answered < c.sent)
        lines << QStringLiteral("Отправлено посылок: ") + QString::number(qint64(c.sent) - 1);
    else if (answered == c.sent)
        lines << QStringLiteral("Отправлено посылок: ") + QString::number(c.sent);
    lines << QStringLiteral("Принято без ошибок: ") + QString::number(c.accepted);
    lines << QStringLiteral("Принято с ошибками: ") + QString::number(c.errors);
    if (answered < c.sent)
        lines << QStringLiteral("Утеряно посылок: ") + QString::number(c.sent - answered - 1);
    else if (answered == c.sent)
        lines << QStringLiteral("Утеряно посылок: ") + QString::number(c.sent - answered);
    return lines;
}

QString ReportFileName(const QString &prefix, const QDate &date)
{
    return prefix + QString::number(date.day()) + QLatin1Char('-') + QString::number(date.month()) + QLatin1Char('-')
        + QString::number(date.year()).rightJustified(4, QLatin1Char('0')) + QStringLiteral(".log");
}

QByteArray ReportBytes(const QStringList &lines, bool *ok)
{
    QStringEncoder encoder("windows-1251", QStringConverter::Flag::Default);
    if (ok)
        *ok = encoder.isValid();
    if (!encoder.isValid())
        return {};
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    return encoder.encode(text);
}

namespace {

QString g_reportFolder;

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

bool WriteReport(const QString &path, const QStringList &lines, QString *error)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    bool encoded = false;
    const QByteArray bytes = ReportBytes(lines, &encoded);
    if (!encoded)
        return fail(QStringLiteral("Кодировка windows-1251 недоступна."));
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
    // truncated file over the old report. errno is read at once after each call.
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

QString ReportFolder()
{
    // A folder gone since (a removed USB stick) is no proposal.
    return QFileInfo(g_reportFolder).isDir() ? g_reportFolder : QDir::currentPath();
}

bool SaveReport(const QString &path, const QStringList &lines, QString *message)
{
    QString reason;
    if (!WriteReport(path, lines, &reason)) {
        if (message)
            *message = QStringLiteral("Не удалось записать отчет в файл ") + path + QStringLiteral(":\r") + reason;
        return false;
    }
    g_reportFolder = QFileInfo(path).absolutePath();
    return true;
}
