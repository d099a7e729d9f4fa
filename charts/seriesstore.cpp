#include "charts/seriesstore.h"

#include <algorithm>

namespace charts {

Series::Series(QString quantity, QString unit, bool state, std::size_t capacity)
    : m_quantity(std::move(quantity)), m_unit(std::move(unit)), m_state(state), m_capacity(std::max<std::size_t>(capacity, 1))
{
}

QString Series::title() const
{
    return m_unit.isEmpty() ? m_quantity : m_quantity + QStringLiteral(", ") + m_unit;
}

std::size_t Series::lowerBound(qint64 timeMs) const
{
    const auto it = std::lower_bound(m_points.begin(), m_points.end(), timeMs,
                                     [](const Point &p, qint64 t) { return p.timeMs < t; });
    return static_cast<std::size_t>(it - m_points.begin());
}

std::size_t Series::upperBound(qint64 timeMs) const
{
    const auto it = std::upper_bound(m_points.begin(), m_points.end(), timeMs,
                                     [](qint64 t, const Point &p) { return t < p.timeMs; });
    return static_cast<std::size_t>(it - m_points.begin());
}

bool Series::startsRun(std::size_t i) const
{
    return i == 0 || std::binary_search(m_runStarts.begin(), m_runStarts.end(), m_dropped + i);
}

std::size_t Series::nextRunStart(std::size_t i) const
{
    const auto it = std::upper_bound(m_runStarts.begin(), m_runStarts.end(), m_dropped + i);
    return it == m_runStarts.end() ? m_points.size() : static_cast<std::size_t>(*it - m_dropped);
}

std::optional<double> Series::valueAt(qint64 timeMs) const
{
    const std::size_t after = lowerBound(timeMs); // first point at or after the time
    if (after < m_points.size() && m_points[after].timeMs == timeMs) {
        // The last of equal times is the one in force.
        return m_points[upperBound(timeMs) - 1].value;
    }
    if (after == 0 || after == m_points.size() || startsRun(after))
        return std::nullopt; // before the data, after it, or in a gap
    const Point &before = m_points[after - 1];
    if (m_state)
        return before.value;
    const Point &next = m_points[after];
    return timeMs - before.timeMs <= next.timeMs - timeMs ? before.value : next.value;
}

void Series::append(qint64 timeMs, double value, bool newRun)
{
    if (!m_points.empty()) {
        timeMs = std::max(timeMs, m_points.back().timeMs);
        if (newRun)
            m_runStarts.push_back(m_dropped + m_points.size());
    }
    if (m_points.size() >= m_capacity) {
        m_points.pop_front();
        ++m_dropped;
        // The first point kept starts a run anyway.
        while (!m_runStarts.empty() && m_runStarts.front() <= m_dropped)
            m_runStarts.pop_front();
    }
    m_points.push_back({timeMs, value});
}

SeriesStore::SeriesStore(std::size_t capacity, QObject *parent) : QObject(parent), m_capacity(capacity) {}

SeriesStore::~SeriesStore() = default;

void SeriesStore::listen(ReadingStream &stream)
{
    connect(&stream, &ReadingStream::readings, this, &SeriesStore::add);
    connect(&stream, &ReadingStream::testStarted, this, &SeriesStore::markTestBound);
    connect(&stream, &ReadingStream::testStopped, this, &SeriesStore::markTestBound);
}

int SeriesStore::indexOf(const QString &quantity, const QString &unit, bool state) const
{
    return m_index.value(quantity + QChar(0x1f) + unit + (state ? QLatin1Char('s') : QLatin1Char('v')), -1);
}

int SeriesStore::seriesFor(const Reading &reading, int position)
{
    // A device's answers come in the same order each time: the series at the same
    // place in the last batch is nearly always the one.
    if (position < static_cast<int>(m_lastLayout.size())) {
        const int cached = m_lastLayout[static_cast<std::size_t>(position)];
        const Series &s = *m_series[static_cast<std::size_t>(cached)];
        if (s.isState() == reading.state && s.quantity() == reading.quantity && s.unit() == reading.unit)
            return cached;
    } else {
        m_lastLayout.resize(static_cast<std::size_t>(position) + 1);
    }
    int index = indexOf(reading.quantity, reading.unit, reading.state);
    if (index < 0) {
        index = count();
        m_series.push_back(std::make_unique<Series>(reading.quantity, reading.unit, reading.state, m_capacity));
        m_seriesEpoch.push_back(m_epoch);
        m_index.insert(reading.quantity + QChar(0x1f) + reading.unit
                           + (reading.state ? QLatin1Char('s') : QLatin1Char('v')),
                       index);
        emit seriesAdded(index);
    }
    m_lastLayout[static_cast<std::size_t>(position)] = index;
    return index;
}

void SeriesStore::add(const Readings &batch)
{
    if (batch.isEmpty())
        return;
    for (int i = 0; i < batch.size(); ++i) {
        const Reading &r = batch.at(i);
        const int index = seriesFor(r, i);
        const auto slot = static_cast<std::size_t>(index);
        const bool newRun = m_seriesEpoch[slot] != m_epoch;
        m_seriesEpoch[slot] = m_epoch;
        m_series[slot]->append(r.timeMs, r.state ? (r.value != 0 ? 1.0 : 0.0) : r.value, newRun);
    }
    ++m_revision;
}

void SeriesStore::markTestBound(qint64 timeMs)
{
    ++m_epoch;
    m_lastBound = m_lastBound ? std::max(*m_lastBound, timeMs) : timeMs;
    ++m_revision;
}

std::size_t SeriesStore::pointCount() const
{
    std::size_t n = 0;
    for (const auto &s : m_series)
        n += s->size();
    return n;
}

quint64 SeriesStore::dropped() const
{
    quint64 n = 0;
    for (const auto &s : m_series)
        n += s->dropped();
    return n;
}

std::optional<qint64> SeriesStore::firstTime() const
{
    std::optional<qint64> first;
    for (const auto &s : m_series)
        if (!s->isEmpty())
            first = first ? std::min(*first, s->at(0).timeMs) : s->at(0).timeMs;
    return first;
}

std::optional<qint64> SeriesStore::lastTime() const
{
    std::optional<qint64> last = m_lastBound;
    for (const auto &s : m_series)
        if (!s->isEmpty())
            last = last ? std::max(*last, s->last().timeMs) : s->last().timeMs;
    return last;
}

} // namespace charts
