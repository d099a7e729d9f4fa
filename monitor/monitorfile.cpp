#include "monitor/monitorfile.h"

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

} // namespace monitor
