#include "devices/testjournal.h"

#include "bus/requestlayer.h"
#include "settings/wholefile.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStringEncoder>

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

} // namespace

bool WriteReport(const QString &path, const QStringList &lines, QString *error)
{
    bool encoded = false;
    const QByteArray bytes = ReportBytes(lines, &encoded);
    if (!encoded) {
        if (error)
            *error = QStringLiteral("Кодировка windows-1251 недоступна.");
        return false;
    }
    return WriteWholeFile(path, bytes, error);
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
