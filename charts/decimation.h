#pragma once

#include "charts/seriesstore.h"

#include <QList>
#include <QPointF>

namespace charts {

// What a line of a chart draws of a series in the time window [fromMs, toMs]
// that is `columns` pixels wide: one polyline per run (a gap between runs stays
// a gap), x in ms since the epoch, y the value plus `offset`. A run with more
// than two points per column keeps, per column, its lowest and highest point in
// their order, so every spike still shows and a line costs at most two points a
// pixel column whatever the data. The points just outside
// the window are kept, so a line reaches the edges. A state is drawn as steps:
// it holds its value until the next point. Missing values (NaN) are skipped, and
// of a level stretch only its ends are kept.
struct TraceRequest
{
    qint64 fromMs = 0;
    qint64 toMs = 0;
    int columns = 1;
    double offset = 0;
};

QList<QList<QPointF>> decimate(const Series &series, const TraceRequest &request);

// A value axis that covers [low, high] with at most `maxTicks` labelled ticks (at
// least 2) at a round step: 1, 2, 2.5 or 5 times a power of ten. A short pane
// gets few ticks, so its labels never crowd into one another.
struct AxisScale
{
    double min = 0;
    double max = 1;
    int ticks = 2;
};
AxisScale niceScale(double low, double high, int maxTicks);

} // namespace charts
