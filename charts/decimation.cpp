#include "charts/decimation.h"

#include <algorithm>
#include <cmath>

namespace charts {

namespace {
// Collects one run's points, column by column.
class RunTracer
{
public:
    RunTracer(const Series &series, const TraceRequest &request, QList<QPointF> &out)
        : m_series(series), m_request(request), m_out(out),
          m_span(std::max<qint64>(request.toMs - request.fromMs, 1)), m_columns(std::max(request.columns, 1))
    {
    }

    void every(std::size_t from, std::size_t to)
    {
        for (std::size_t i = from; i < to; ++i)
            if (!std::isnan(m_series.at(i).value))
                emitPoint(i);
    }

    void decimated(std::size_t from, std::size_t to)
    {
        for (std::size_t i = from; i < to; ++i) {
            const Point &p = m_series.at(i);
            if (std::isnan(p.value))
                continue;
            const long long column = columnOf(p.timeMs);
            if (column != m_column || m_low == None) {
                flush();
                m_column = column;
                m_low = m_high = i;
            }
            if (p.value < m_series.at(m_low).value)
                m_low = i;
            if (p.value > m_series.at(m_high).value)
                m_high = i;
        }
        flush();
    }

private:
    static constexpr std::size_t None = static_cast<std::size_t>(-1);

    long long columnOf(qint64 timeMs) const
    {
        if (timeMs < m_request.fromMs)
            return -1; // the point before the window: a column of its own
        if (timeMs > m_request.toMs)
            return m_columns; // and the one after it
        const long long column = static_cast<long long>(timeMs - m_request.fromMs) * m_columns / m_span;
        return std::min<long long>(column, m_columns - 1);
    }

    void flush()
    {
        if (m_low == None)
            return;
        emitPoint(std::min(m_low, m_high));
        if (m_low != m_high)
            emitPoint(std::max(m_low, m_high));
        m_low = m_high = None;
    }

    void emitPoint(std::size_t i)
    {
        const Point &p = m_series.at(i);
        const double x = static_cast<double>(p.timeMs);
        const double y = p.value + m_request.offset;
        if (m_series.isState() && !m_out.isEmpty() && m_out.constLast().y() != y)
            m_out.append(QPointF(x, m_out.constLast().y())); // hold the old state until now
        m_out.append(QPointF(x, y));
    }

    const Series &m_series;
    const TraceRequest &m_request;
    QList<QPointF> &m_out;
    const qint64 m_span;
    const int m_columns;
    long long m_column = 0;
    std::size_t m_low = None, m_high = None;
};

// A level stretch of a line needs only its ends: the points between them would be
// laid out and painted for nothing (a steady state, a current that stands still).
void dropLevelInteriors(QList<QPointF> &points)
{
    if (points.size() < 3)
        return;
    qsizetype kept = 1;
    for (qsizetype k = 1; k + 1 < points.size(); ++k) {
        const double y = points[k].y();
        if (y == points[kept - 1].y() && y == points[k + 1].y())
            continue;
        points[kept++] = points[k];
    }
    points[kept++] = points.constLast();
    points.resize(kept);
}
} // namespace

QList<QList<QPointF>> decimate(const Series &series, const TraceRequest &request)
{
    QList<QList<QPointF>> runs;
    if (series.isEmpty() || request.toMs < request.fromMs)
        return runs;
    std::size_t from = series.lowerBound(request.fromMs);
    if (from > 0 && !series.startsRun(from))
        --from; // the point before the window, when the line runs on from it
    std::size_t to = series.upperBound(request.toMs);
    if (to < series.size() && !series.startsRun(to))
        ++to; // and the one after it
    const std::size_t perRunLimit = 2 * static_cast<std::size_t>(std::max(request.columns, 1));
    for (std::size_t start = from; start < to;) {
        const std::size_t end = std::min(series.nextRunStart(start), to);
        QList<QPointF> points;
        RunTracer tracer(series, request, points);
        if (end - start <= perRunLimit) {
            points.reserve(static_cast<qsizetype>(2 * (end - start)));
            tracer.every(start, end);
        } else {
            points.reserve(static_cast<qsizetype>(2 * perRunLimit + 4));
            tracer.decimated(start, end);
        }
        dropLevelInteriors(points);
        if (!points.isEmpty())
            runs.append(std::move(points));
        start = end;
    }
    return runs;
}

namespace {
// The smallest round step not below `raw`.
double roundStepFrom(double raw)
{
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 2.5, 5.0})
        if (m * power >= raw * (1 - 1e-9))
            return m * power;
    return 10 * power;
}
} // namespace

AxisScale niceScale(double low, double high, int maxTicks)
{
    maxTicks = std::max(maxTicks, 2);
    if (!std::isfinite(low) || !std::isfinite(high))
        return {};
    if (!(high > low))
        high = low + 1;
    double step = roundStepFrom((high - low) / (maxTicks - 1));
    for (;;) {
        // A little slack, so that 0.88 / 0.01 = 87.99999 still starts at 0.88.
        const double first = std::floor(low / step + 1e-9), last = std::ceil(high / step - 1e-9);
        const int ticks = int(std::lround(last - first)) + 1;
        if (ticks <= maxTicks)
            return {first * step, last * step, ticks};
        step = roundStepFrom(step * 1.01);
    }
}

} // namespace charts
