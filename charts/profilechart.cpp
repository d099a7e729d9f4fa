#include "charts/profilechart.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QFontMetrics>
#include <QLegend>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

TProfileChart::TProfileChart(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ProfileChart"));
    auto *chart = new QChart;
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(4, 4, 8, 4));
    chart->legend()->setAlignment(Qt::AlignTop);
    m_series = new QBarSeries;
    m_series->setBarWidth(0.8);
    const char *names[QuantityCount] = {"P+, кВт", "P−, кВт", "Q+, квар", "Q−, квар"};
    const QColor colors[QuantityCount] = {QColor(0x1F, 0x5F, 0xBF), QColor(0x8F, 0xB4, 0xE8), QColor(0xD0, 0x60, 0x20),
                                          QColor(0xF0, 0xB4, 0x8A)};
    for (int q = 0; q < QuantityCount; ++q) {
        m_sets[q] = new QBarSet(QString::fromUtf8(names[q]));
        m_sets[q]->setColor(colors[q]);
        m_sets[q]->setBorderColor(colors[q]);
        m_series->append(m_sets[q]);
    }
    chart->addSeries(m_series);
    m_periods = new QBarCategoryAxis;
    m_periods->setTitleText(QStringLiteral("Период интегрирования"));
    chart->addAxis(m_periods, Qt::AlignBottom);
    m_values = new QValueAxis;
    m_values->setTitleText(QStringLiteral("кВт, квар"));
    m_values->setLabelFormat(QStringLiteral("%g"));
    chart->addAxis(m_values, Qt::AlignLeft);
    m_series->attachAxis(m_periods);
    m_series->attachAxis(m_values);

    ChartProfile = new QChartView(chart, this);
    ChartProfile->setObjectName(QStringLiteral("ChartProfile"));
    ScrollBarRecords = new QScrollBar(Qt::Horizontal, this);
    ScrollBarRecords->setObjectName(QStringLiteral("ScrollBarRecords"));
    ScrollBarRecords->setPageStep(m_visible);
    ScrollBarRecords->hide();
    connect(ScrollBarRecords, &QScrollBar::valueChanged, this, &TProfileChart::showFrom);
    connect(chart, &QChart::plotAreaChanged, this, &TProfileChart::updateLabelAngle);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ChartProfile, 1);
    layout->addWidget(ScrollBarRecords);
    showFrom(0);
}

void TProfileChart::addRecord(const QString &period, double pPlus, double pMinus, double qPlus, double qMinus)
{
    // The axis needs distinct labels; a repeated one (a clock set back) stays visible as such.
    QString label = period;
    const int seen = m_used.value(period);
    m_used.insert(period, seen + 1);
    if (seen > 0)
        label += QStringLiteral(" (%1)").arg(seen + 1);
    while (m_taken.contains(label))
        label += QLatin1Char('\'');
    m_labels << label;
    m_taken.insert(label);
    m_periods->append(label);
    const double values[QuantityCount] = {pPlus, pMinus, qPlus, qMinus};
    for (int q = 0; q < QuantityCount; ++q)
        m_sets[q]->append(values[q]);

    updateScrollBar();
}

void TProfileChart::setVisibleRecords(int count)
{
    m_visible = std::max(1, count);
    ScrollBarRecords->setPageStep(m_visible);
    updateScrollBar();
}

void TProfileChart::updateScrollBar()
{
    const int hidden = std::max(0, recordCount() - m_visible);
    const bool following = ScrollBarRecords->value() >= ScrollBarRecords->maximum();
    ScrollBarRecords->setMaximum(hidden);
    ScrollBarRecords->setVisible(hidden > 0);
    if (following && ScrollBarRecords->value() != hidden)
        ScrollBarRecords->setValue(hidden); // shows the newest
    else
        showFrom(ScrollBarRecords->value());
}

void TProfileChart::addRecord(const QDateTime &period, double pPlus, double pMinus, double qPlus, double qMinus)
{
    // The date only where a day begins, so the labels stay short.
    const bool newDay = !m_lastDate.isValid() || period.date() != m_lastDate;
    m_lastDate = period.date();
    addRecord(period.toString(newDay ? QStringLiteral("dd.MM HH:mm") : QStringLiteral("HH:mm")), pPlus, pMinus, qPlus,
              qMinus);
}

void TProfileChart::clear()
{
    for (QBarSet *set : m_sets)
        set->remove(0, set->count());
    m_periods->clear();
    m_labels.clear();
    m_lastDate = QDate();
    m_taken.clear();
    m_used.clear();
    ScrollBarRecords->setMaximum(0);
    ScrollBarRecords->hide();
    showFrom(0);
}

void TProfileChart::showFrom(int first)
{
    const int last = std::min(recordCount(), first + m_visible) - 1;
    double low = 0, high = 0;
    for (int i = first; i <= last; ++i)
        for (const QBarSet *set : m_sets) {
            low = std::min(low, set->at(i));
            high = std::max(high, set->at(i));
        }
    if (high - low <= 0)
        high = low + 1;
    if (last >= first)
        m_periods->setRange(m_labels.at(first), m_labels.at(last));
    m_shown = {first, last};
    updateLabelAngle();
    m_values->setTickCount(6);
    m_values->setRange(low, high * 1.05);
    m_values->applyNiceNumbers();
}

void TProfileChart::updateLabelAngle()
{
    // Upright where the labels fit side by side, else turned, never cut short.
    const auto [first, last] = m_shown;
    const QFontMetrics metrics(m_periods->labelsFont());
    int widest = 0;
    for (int i = first; i <= last && i < recordCount(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(m_labels.at(i)));
    const double perGroup = ChartProfile->chart()->plotArea().width() / std::max(1, last - first + 1);
    const int angle = widest + 8 > perGroup ? -90 : 0;
    if (m_periods->labelsAngle() != angle)
        m_periods->setLabelsAngle(angle);
}

