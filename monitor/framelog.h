#pragma once

#include "monitor/busframe.h"
#include "monitor/linkstatistics.h"

#include <QLocale>
#include <QStringList>

#include <deque>
#include <vector>

namespace monitor {

// The frames kept for the view and for saving: the last `capacity` frames, so a
// day-long test cannot exhaust memory.
class FrameLog
{
public:
    static constexpr std::size_t DefaultCapacity = 100000;

    explicit FrameLog(std::size_t capacity = DefaultCapacity) : m_capacity(capacity ? capacity : 1) {}

    std::size_t capacity() const { return m_capacity; }
    std::size_t size() const { return m_frames.size(); }
    const BusFrame &at(std::size_t index) const { return m_frames[index]; }
    BusFrame &at(std::size_t index) { return m_frames[index]; }

    // Frames of which the oldest must go to make room for `incoming` new ones.
    std::size_t overflowFor(std::size_t incoming) const;
    // Drops the `count` oldest frames.
    void dropOldest(std::size_t count);
    void append(BusFrame frame);
    // Index of the frame with this seq, or -1 when it is not (or no longer) kept.
    long long indexOf(quint64 seq) const;
    void clear() { m_frames.clear(); }

private:
    std::size_t m_capacity;
    std::deque<BusFrame> m_frames;
};

// The columns of a frame as the window shows them and the files hold them.
enum Column {
    ColumnTime,
    ColumnDirection,
    ColumnAddress,
    ColumnBytes,
    ColumnCrc,
    ColumnMeaning,
    ColumnSince,
    ColumnResponse,
    ColumnCount
};
QStringList columnTitles();
// One column of a frame; numbers with the locale's decimal separator.
QString columnText(const BusFrame &frame, int column, const QLocale &locale);

// CSV: a header line and one line per frame, fields separated by commas and
// quoted where they hold a comma, a quote or a line break, numbers with a point.
QString csvHeader();
QString csvLine(const BusFrame &frame);
QString csvField(const QString &text);

// Plain text: one line per frame, then the statistics.
QString textLine(const BusFrame &frame);
QStringList statisticsTitles();
QStringList statisticsCells(const AddressStatistics &row, const QLocale &locale);
QStringList statisticsText(const std::vector<AddressStatistics> &rows);

} // namespace monitor
