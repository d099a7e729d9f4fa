#include "monitor/monitorfile.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSaveFile>

namespace monitor {

namespace {
QByteArray joinLines(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    return text.toUtf8();
}
} // namespace

QByteArray csvBytes(const std::vector<const BusFrame *> &frames)
{
    QStringList lines{csvHeader()};
    for (const BusFrame *frame : frames)
        lines << csvLine(*frame);
    return joinLines(lines);
}

QByteArray textBytes(const std::vector<const BusFrame *> &frames, const std::vector<AddressStatistics> &statistics)
{
    QStringList lines;
    for (const BusFrame *frame : frames)
        lines << textLine(*frame);
    const QStringList summary = statisticsText(statistics);
    if (!summary.isEmpty())
        lines << QString() << summary;
    return joinLines(lines);
}

bool writeWhole(const QString &path, const QByteArray &bytes, QString *error)
{
    if (QFileInfo(path).isDir()) {
        if (error)
            *error = QStringLiteral("Под этим именем уже есть папка.");
        return false;
    }
    // Unbuffered, so a short write (a full disk) shows at once and never reaches commit().
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(bytes) == bytes.size();
    if (written && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    file.cancelWriting();
    return false;
}

QString proposedFileName(const QDateTime &time, const QString &suffix)
{
    return QStringLiteral("monitor-") + time.toString(QStringLiteral("d-M-yyyy-HH-mm-ss")) + QLatin1Char('.') + suffix;
}

} // namespace monitor
