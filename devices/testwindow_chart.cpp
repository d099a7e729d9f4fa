#include "devices/testwindow.h"

#include "charts/chartwindow.h"
#include "charts/seriesstore.h"
#include "devices/components.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

// The chart of a device window. The store follows the window's readings from its
// creation, so a chart opened late, or closed and opened again, still shows every
// test of the window; the chart window only looks at it.

void TTestWindow::buildChartRow(QVBoxLayout *layout)
{
    m_series = new charts::SeriesStore(charts::SeriesStore::DefaultCapacity, this);
    m_series->listen(*m_readings);

    BitBtnChart = makeButton(QStringLiteral("BitBtnChart"), QStringLiteral("График..."), this);
    BitBtnChart->setToolTip(QStringLiteral("Значения, полученные в тестах, в виде графиков"));
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(BitBtnChart);
    layout->addLayout(row);
    // Under the tabs, which keep the room they had: the window grows by the row.
    const int spacing = std::max(layout->spacing(), 0);
    setFixedSize(m_testProfile.size + QSize(0, BitBtnChart->sizeHint().height() + spacing));
    connect(BitBtnChart, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnChartClick(); }); });
}

void TTestWindow::BitBtnChartClick()
{
    if (!m_chart)
        m_chart = TFChart::open(*m_series, *m_readings, this, m_testProfile.chartOff);
    // On top, also where a window manager would leave a window that appeared unasked under others.
    m_chart->showNormal();
    m_chart->raise();
    m_chart->activateWindow();
}

TFChart *TTestWindow::chart() const
{
    return m_chart;
}

void TTestWindow::closeChart()
{
    if (m_chart)
        m_chart->close();
}
