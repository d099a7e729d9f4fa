#pragma once

#include "charts/seriesstore.h"

#include <QChartView>
#include <QColor>
#include <QList>
#include <QMargins>

#include <optional>
#include <vector>

class QDateTimeAxis;
class QGraphicsLineItem;
class QLineSeries;
class QValueAxis;

namespace charts {

// One of the stacked charts of the chart window: the values of one unit on a
// value axis, or the on/off states, each as steps in a band of its own. All panes
// of a window show the same time window; the window lines their plot areas up.
class ChartPane : public QChartView
{
    Q_OBJECT
public:
    ChartPane(bool states, const QString &unit, QWidget *parent = nullptr);

    // A state's name beside its band is cut to this many pixels.
    static constexpr int MaxBandLabelWidth = 170;

    bool isStates() const { return m_states; }
    const QString &unit() const { return m_unit; }

    void addSeries(int storeIndex, const QString &title, const QColor &color);
    std::size_t seriesCount() const { return m_lines.size(); }
    bool holds(int storeIndex) const { return line(storeIndex) != nullptr; }
    void setSeriesVisible(int storeIndex, bool visible);
    bool hasVisibleSeries() const;
    // The indexes (in the store) of the series shown, top to bottom for states.
    QList<int> visibleSeries() const;
    // The drawn pieces of a series, one per run in the window (unused ones empty).
    QList<QLineSeries *> pieces(int storeIndex) const;

    // Draws the store's series of this pane over [fromMs, toMs], thinned to the
    // plot's width, and fits the value axis to what is shown.
    void draw(const SeriesStore &store, qint64 fromMs, qint64 toMs);
    QDateTimeAxis *timeAxis() const { return m_timeAxis; }
    QValueAxis *valueAxis() const { return m_valueAxis; }
    void setTimeLabelsVisible(bool visible);

    // The time under a point of the view; none outside the plot.
    std::optional<qint64> timeAt(const QPoint &viewPoint) const;
    // A vertical line at the time the cursor points at, in every pane.
    void showCursor(std::optional<qint64> timeMs);

    // The room left and right of the plot without the alignment margins (axis
    // labels, legend), and those margins: the window lines the plots up.
    QMarginsF naturalPlotMargins() const;
    void setAlignmentMargins(const QMargins &extra);

    // Time spent painting since the last call, in ns: what a redraw cost beyond laying out the lines.
    qint64 takePaintNs();

signals:
    // The user zoomed into (or out of) a time range with the mouse.
    void zoomed(qint64 fromMs, qint64 toMs);
    void hovered(qint64 timeMs);
    void left();
    void plotAreaMoved();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    struct Line
    {
        int store;
        QString title;
        QColor color;
        bool visible = true;
        QList<QLineSeries *> pieces;
    };

    const Line *line(int storeIndex) const;
    QLineSeries *newPiece(const Line &line, bool inLegend);
    void fitValues(double low, double high);
    void layoutStateBands();
    void applyMargins();

    const bool m_states;
    const QString m_unit;
    std::vector<Line> m_lines;
    QDateTimeAxis *m_timeAxis;
    QValueAxis *m_valueAxis;
    QGraphicsLineItem *m_cursor;
    qint64 m_fromMs = 0, m_toMs = 0;
    QMargins m_alignment;
    qint64 m_paintNs = 0;
};

} // namespace charts
