#include "charts/chartpane.h"

#include "charts/decimation.h"

#include <QCategoryAxis>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGraphicsLayout>
#include <QGraphicsLineItem>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace charts {

namespace {
// A state is 0 or 1; its band is a little taller, so neighbours never touch.
constexpr double BandHeight = 1.5;
constexpr double BandBelow = 0.25;

QString timeFormat(qint64 spanMs)
{
    if (spanMs <= 10 * 60 * 1000)
        return QStringLiteral("HH:mm:ss");
    if (spanMs <= 2 * 24 * 3600 * 1000LL)
        return QStringLiteral("HH:mm");
    return QStringLiteral("dd.MM HH:mm");
}
} // namespace

ChartPane::ChartPane(bool states, const QString &unit, QWidget *parent)
    : QChartView(parent), m_states(states), m_unit(unit)
{
    setObjectName(states            ? QStringLiteral("ChartStates")
                  : unit.isEmpty() ? QStringLiteral("ChartValues")
                                   : QStringLiteral("ChartValues_") + unit);
    auto *chart = new QChart;
    chart->setBackgroundRoundness(0);
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->legend()->setVisible(!states);
    chart->legend()->setAlignment(Qt::AlignRight);
    setChart(chart);
    setRubberBand(QChartView::HorizontalRubberBand);
    viewport()->setMouseTracking(true);
    setMinimumHeight(states ? 70 : 110);

    m_timeAxis = new QDateTimeAxis;
    m_timeAxis->setObjectName(QStringLiteral("AxisTime"));
    chart->addAxis(m_timeAxis, Qt::AlignBottom);
    if (states) {
        auto *bands = new QCategoryAxis;
        bands->setLabelsPosition(QCategoryAxis::AxisLabelsPositionCenter);
        bands->setGridLineVisible(false);
        m_valueAxis = bands;
    } else {
        m_valueAxis = new QValueAxis;
        m_valueAxis->setLabelFormat(QStringLiteral("%g"));
        m_valueAxis->setTitleText(unit);
    }
    m_valueAxis->setObjectName(QStringLiteral("AxisValue"));
    chart->addAxis(m_valueAxis, Qt::AlignLeft);

    m_cursor = new QGraphicsLineItem;
    m_cursor->setPen(QPen(QColor(90, 90, 90), 1, Qt::DashLine));
    m_cursor->setZValue(1000);
    m_cursor->hide();
    chart->scene()->addItem(m_cursor);

    connect(chart, &QChart::plotAreaChanged, this, &ChartPane::plotAreaMoved);
    applyMargins();
}

const ChartPane::Line *ChartPane::line(int storeIndex) const
{
    for (const Line &l : m_lines)
        if (l.store == storeIndex)
            return &l;
    return nullptr;
}

QLineSeries *ChartPane::newPiece(const Line &line, bool inLegend)
{
    auto *piece = new QLineSeries;
    piece->setName(line.title);
    piece->setPen(QPen(line.color, 1));
    chart()->addSeries(piece);
    piece->attachAxis(m_timeAxis);
    piece->attachAxis(m_valueAxis);
    piece->setVisible(line.visible);
    for (QLegendMarker *marker : chart()->legend()->markers(piece))
        marker->setVisible(inLegend && line.visible);
    return piece;
}

void ChartPane::addSeries(int storeIndex, const QString &title, const QColor &color)
{
    if (holds(storeIndex))
        return;
    m_lines.push_back({storeIndex, title, color, true, {}});
    Line &added = m_lines.back();
    added.pieces.append(newPiece(added, true));
    if (m_states)
        layoutStateBands();
}

void ChartPane::setSeriesVisible(int storeIndex, bool visible)
{
    for (Line &l : m_lines) {
        if (l.store != storeIndex || l.visible == visible)
            continue;
        l.visible = visible;
        for (int k = 0; k < l.pieces.size(); ++k) {
            l.pieces[k]->setVisible(visible);
            for (QLegendMarker *marker : chart()->legend()->markers(l.pieces[k]))
                marker->setVisible(visible && k == 0);
        }
    }
    if (m_states)
        layoutStateBands();
}

bool ChartPane::hasVisibleSeries() const
{
    return std::any_of(m_lines.begin(), m_lines.end(), [](const Line &l) { return l.visible; });
}

QList<int> ChartPane::visibleSeries() const
{
    QList<int> shown;
    for (const Line &l : m_lines)
        if (l.visible)
            shown << l.store;
    return shown;
}

QList<QLineSeries *> ChartPane::pieces(int storeIndex) const
{
    const Line *l = line(storeIndex);
    return l ? l->pieces : QList<QLineSeries *>{};
}

void ChartPane::layoutStateBands()
{
    auto *bands = static_cast<QCategoryAxis *>(m_valueAxis);
    for (const QString &label : bands->categoriesLabels())
        bands->remove(label);
    const QList<int> shown = visibleSeries();
    const qsizetype n = shown.size();
    bands->setStartValue(-BandBelow);
    // Bottom up: the first state shown is the top band.
    const QFontMetrics metrics(bands->labelsFont());
    for (qsizetype j = 0; j < n; ++j) {
        // Cut in the middle: alarms that begin alike still differ by their ends.
        QString label = metrics.elidedText(line(shown[n - 1 - j])->title, Qt::ElideMiddle, MaxBandLabelWidth);
        while (bands->categoriesLabels().contains(label))
            label += QLatin1Char(' '); // labels must differ
        bands->append(label, j * BandHeight + BandHeight - BandBelow);
    }
    bands->setRange(-BandBelow, std::max<qsizetype>(n, 1) * BandHeight - BandBelow);
}

void ChartPane::draw(const SeriesStore &store, qint64 fromMs, qint64 toMs)
{
    m_fromMs = fromMs;
    m_toMs = std::max(toMs, fromMs + 1);
    TraceRequest request{m_fromMs, m_toMs, std::max(64, int(chart()->plotArea().width())), 0};
    const QList<int> shown = visibleSeries();
    // Thinned first, so the value axis fits what will be drawn.
    std::vector<std::pair<Line *, QList<QList<QPointF>>>> traces;
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (Line &l : m_lines) {
        if (!l.visible || l.store >= store.count())
            continue;
        if (m_states)
            request.offset = double(shown.size() - 1 - shown.indexOf(l.store)) * BandHeight;
        traces.emplace_back(&l, decimate(store.series(l.store), request));
        for (const QList<QPointF> &run : traces.back().second)
            for (const QPointF &p : run) {
                low = std::min(low, p.y());
                high = std::max(high, p.y());
            }
    }
    // A line lays out all its points anew on every change of them or of an axis:
    // the old points go before the axes change, so each line is laid out once.
    for (Line &l : m_lines)
        for (QLineSeries *piece : l.pieces)
            if (piece->count() > 0)
                piece->clear();
    m_timeAxis->setFormat(timeFormat(m_toMs - m_fromMs));
    m_timeAxis->setTickCount(std::clamp(int(chart()->plotArea().width() / 110), 2, 12) + 1);
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(m_fromMs), QDateTime::fromMSecsSinceEpoch(m_toMs));
    if (!m_states)
        fitValues(low, high);
    for (auto &[l, runs] : traces) {
        while (l->pieces.size() < runs.size())
            l->pieces.append(newPiece(*l, false));
        for (qsizetype k = 0; k < runs.size(); ++k)
            l->pieces[k]->replace(runs[k]);
    }
}

void ChartPane::fitValues(double low, double high)
{
    if (!std::isfinite(low) || !std::isfinite(high)) {
        low = 0;
        high = 1;
    }
    const double span = high - low;
    const double pad = span > 1e-12 ? span * 0.05 : std::max(std::abs(high) * 0.02, 0.1);
    // Values of one sign keep the axis on their side of zero: no -50 A under currents.
    const double bottom = low >= 0 ? std::max(0.0, low - pad) : low - pad;
    const double top = high <= 0 ? std::min(0.0, high + pad) : high + pad;
    const AxisScale scale = niceScale(bottom, top, std::clamp(int(chart()->plotArea().height() / 36), 3, 9));
    m_valueAxis->setRange(scale.min, scale.max);
    m_valueAxis->setTickCount(scale.ticks);
}

void ChartPane::setTimeLabelsVisible(bool visible)
{
    m_timeAxis->setLabelsVisible(visible);
}

std::optional<qint64> ChartPane::timeAt(const QPoint &viewPoint) const
{
    const QPointF at = chart()->mapFromScene(mapToScene(viewPoint));
    const QRectF plot = chart()->plotArea();
    if (!plot.contains(at) || plot.width() <= 0 || m_toMs <= m_fromMs)
        return std::nullopt;
    return m_fromMs + qint64(std::llround((at.x() - plot.left()) / plot.width() * double(m_toMs - m_fromMs)));
}

void ChartPane::showCursor(std::optional<qint64> timeMs)
{
    const QRectF plot = chart()->plotArea();
    if (!timeMs || *timeMs < m_fromMs || *timeMs > m_toMs || m_toMs <= m_fromMs) {
        m_cursor->hide();
        return;
    }
    const double x = plot.left() + double(*timeMs - m_fromMs) / double(m_toMs - m_fromMs) * plot.width();
    m_cursor->setLine(QLineF(chart()->mapToScene(QPointF(x, plot.top())), chart()->mapToScene(QPointF(x, plot.bottom()))));
    m_cursor->show();
}

QMarginsF ChartPane::naturalPlotMargins() const
{
    const QRectF plot = chart()->plotArea();
    return QMarginsF(plot.left() - m_alignment.left(), 0,
                     chart()->size().width() - plot.right() - m_alignment.right(), 0);
}

void ChartPane::setAlignmentMargins(const QMargins &extra)
{
    if (extra == m_alignment)
        return;
    m_alignment = extra;
    applyMargins();
}

void ChartPane::applyMargins()
{
    chart()->setMargins(QMargins(4, 2, 6, 2) + m_alignment);
}

void ChartPane::mouseMoveEvent(QMouseEvent *event)
{
    QChartView::mouseMoveEvent(event);
    if (const std::optional<qint64> t = timeAt(event->position().toPoint()))
        emit hovered(*t);
    else
        emit left();
}

void ChartPane::mouseReleaseEvent(QMouseEvent *event)
{
    // The view zooms the chart on the release of a rubber band (and zooms out on
    // a right click); what the user chose is then the time axis' range.
    const QDateTime min = m_timeAxis->min(), max = m_timeAxis->max();
    QChartView::mouseReleaseEvent(event);
    if (m_timeAxis->min() != min || m_timeAxis->max() != max)
        emit zoomed(m_timeAxis->min().toMSecsSinceEpoch(), m_timeAxis->max().toMSecsSinceEpoch());
}

void ChartPane::leaveEvent(QEvent *event)
{
    QChartView::leaveEvent(event);
    emit left();
}

void ChartPane::resizeEvent(QResizeEvent *event)
{
    QChartView::resizeEvent(event);
    emit plotAreaMoved();
}

void ChartPane::paintEvent(QPaintEvent *event)
{
    QElapsedTimer clock;
    clock.start();
    QChartView::paintEvent(event);
    m_paintNs += clock.nsecsElapsed();
}

qint64 ChartPane::takePaintNs()
{
    return std::exchange(m_paintNs, 0);
}

} // namespace charts
