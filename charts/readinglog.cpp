#include "charts/readinglog.h"

#include <QDateTime>
#include <QTimeZone>

#include <vector>

namespace charts {

namespace {
QByteArray csvField(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r'))
        return bytes;
    QByteArray quoted = bytes;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}
} // namespace

QString isoTime(qint64 timeMs)
{
    // Written with the offset in force at that moment, so a log across a change
    // of daylight saving time still reads unambiguously.
    const int offset = QDateTime::fromMSecsSinceEpoch(timeMs).offsetFromUtc();
    return QDateTime::fromMSecsSinceEpoch(timeMs, QTimeZone(offset)).toString(Qt::ISODateWithMs);
}

QByteArray logValue(double value)
{
    return QByteArray::number(value, 'g', 15);
}

QByteArray csvBytes(const SeriesStore &store)
{
    struct Cursor
    {
        const Series *series;
        std::size_t next;
        QByteArray prefix; // ",quantity,unit,"
    };
    std::vector<Cursor> cursors;
    cursors.reserve(static_cast<std::size_t>(store.count()));
    for (int i = 0; i < store.count(); ++i) {
        const Series &s = store.series(i);
        cursors.push_back({&s, 0, ',' + csvField(s.quantity()) + ',' + csvField(s.unit()) + ','});
    }

    QByteArray out = QStringLiteral("Время,Величина,Единица,Значение\r\n").toUtf8();
    out.reserve(static_cast<qsizetype>(store.pointCount()) * 48 + out.size());
    qint64 stampTime = 0;
    QByteArray stamp;
    for (;;) {
        // The earliest next reading; of equal times, the first series's.
        Cursor *earliest = nullptr;
        for (Cursor &c : cursors)
            if (c.next < c.series->size()
                && (!earliest || c.series->at(c.next).timeMs < earliest->series->at(earliest->next).timeMs))
                earliest = &c;
        if (!earliest)
            break;
        const Point &p = earliest->series->at(earliest->next++);
        if (stamp.isEmpty() || p.timeMs != stampTime) {
            stampTime = p.timeMs;
            stamp = isoTime(p.timeMs).toLatin1();
        }
        out += stamp;
        out += earliest->prefix;
        out += logValue(p.value);
        out += "\r\n";
    }
    return out;
}

} // namespace charts
