#pragma once

#include "charts/readings.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace charts {

// One sample of a series. Sixteen bytes: the name and unit live once in the series.
struct Point
{
    qint64 timeMs = 0;
    double value = 0;
};

// The readings of one quantity, oldest first, in runs: the points between two
// test bounds form a run, and the chart leaves a gap between runs. At most
// `capacity` points are kept; the oldest go first and are counted.
class Series
{
public:
    Series(QString quantity, QString unit, bool state, std::size_t capacity);

    const QString &quantity() const { return m_quantity; }
    const QString &unit() const { return m_unit; }
    bool isState() const { return m_state; }
    // "Ia, А"; the bare name without a unit.
    QString title() const;

    std::size_t size() const { return m_points.size(); }
    bool isEmpty() const { return m_points.empty(); }
    const Point &at(std::size_t i) const { return m_points[i]; }
    const Point &last() const { return m_points.back(); }
    std::size_t capacity() const { return m_capacity; }
    quint64 dropped() const { return m_dropped; }

    // Index of the first point at or after `timeMs`; size() when there is none.
    std::size_t lowerBound(qint64 timeMs) const;
    // Index of the first point after `timeMs`; size() when there is none.
    std::size_t upperBound(qint64 timeMs) const;
    // Whether point i is the first of its run (the first kept, or the first after a gap).
    bool startsRun(std::size_t i) const;
    // Index of the first point after i that starts a run; size() when none does.
    std::size_t nextRunStart(std::size_t i) const;
    // The value the chart shows at `timeMs`: inside a run the nearest point (for a
    // state the one in force); nothing in a gap, before the first or after the last point.
    std::optional<double> valueAt(qint64 timeMs) const;

    // A time earlier than the last point's (the clock set back) is taken as the
    // last point's, so the points stay in order and none is lost.
    void append(qint64 timeMs, double value, bool newRun);

private:
    QString m_quantity;
    QString m_unit;
    bool m_state;
    std::size_t m_capacity;
    std::deque<Point> m_points;
    // Points that start a run after a gap, numbered from the first point ever
    // appended (dropped ones included), so dropping the oldest renumbers nothing.
    std::deque<quint64> m_runStarts;
    quint64 m_dropped = 0;
};

// Every series of a device's readings since the store was made, across tests:
// one series per quantity, unit and kind (value or state), in the order they
// first came.
class SeriesStore : public QObject
{
    Q_OBJECT
public:
    static constexpr std::size_t DefaultCapacity = 100000; // points per series

    explicit SeriesStore(std::size_t capacity = DefaultCapacity, QObject *parent = nullptr);
    ~SeriesStore() override;

    // Follows the stream from now on: its readings and the bounds of its tests.
    void listen(ReadingStream &stream);

    void add(const Readings &batch);
    // The start or the end of a test: the next point of every series begins a new run.
    void markTestBound(qint64 timeMs);

    int count() const { return static_cast<int>(m_series.size()); }
    const Series &series(int index) const { return *m_series[static_cast<std::size_t>(index)]; }
    int indexOf(const QString &quantity, const QString &unit, bool state) const; // -1 when absent

    std::size_t capacity() const { return m_capacity; }
    std::size_t pointCount() const;
    quint64 dropped() const; // over all series
    std::optional<qint64> firstTime() const;
    // The latest reading or test bound.
    std::optional<qint64> lastTime() const;
    // Changes with every reading and bound: a view redraws only when it moved on.
    quint64 revision() const { return m_revision; }

signals:
    void seriesAdded(int index);

private:
    int seriesFor(const Reading &reading, int position);

    std::size_t m_capacity;
    std::vector<std::unique_ptr<Series>> m_series;
    QHash<QString, int> m_index;
    std::vector<int> m_lastLayout; // the series of each position of the last batch
    // Bumped at each test bound; a series whose last point is of an older epoch starts a new run.
    quint64 m_epoch = 0;
    std::vector<quint64> m_seriesEpoch;
    std::optional<qint64> m_lastBound;
    quint64 m_revision = 0;
};

} // namespace charts
