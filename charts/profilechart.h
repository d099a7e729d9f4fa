#pragma once

#include <QDate>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QWidget>

#include <utility>

class QBarCategoryAxis;
class QBarSeries;
class QBarSet;
class QChartView;
class QDateTime;
class QScrollBar;
class QValueAxis;

// The meter's power profile as bars: P+, P−, Q+, Q− (kW, kvar) of each
// integration period, one group per record in the order they were added. The
// latest `visibleRecords()` are shown; a scroll bar reaches the earlier ones.
class TProfileChart : public QWidget
{
    Q_OBJECT
public:
    enum Quantity { PPlus, PMinus, QPlus, QMinus, QuantityCount };
    static constexpr int VisibleRecords = 48;

    explicit TProfileChart(QWidget *parent = nullptr);

    // `period` labels the group ("14:30" or "05.03 14:30"); a label used before gets a number.
    void addRecord(const QString &period, double pPlus, double pMinus, double qPlus, double qMinus);
    // Labelled with the period's time, "HH:mm", with the date ("dd.MM HH:mm") where a day begins.
    void addRecord(const QDateTime &period, double pPlus, double pMinus, double qPlus, double qMinus);
    void clear();

    // How many groups the chart shows at once (a narrow chart shows fewer).
    void setVisibleRecords(int count);
    int visibleRecords() const { return m_visible; }

    int recordCount() const { return int(m_labels.size()); }
    const QStringList &labels() const { return m_labels; }
    QBarSet *barSet(Quantity quantity) const { return m_sets[quantity]; }

    QChartView *ChartProfile;
    QScrollBar *ScrollBarRecords;

private:
    void showFrom(int first);
    void updateScrollBar();
    void updateLabelAngle();

    QBarSeries *m_series;
    QBarSet *m_sets[QuantityCount];
    QBarCategoryAxis *m_periods;
    QValueAxis *m_values;
    int m_visible = VisibleRecords;
    std::pair<int, int> m_shown{0, -1}; // the first and last record in view
    QStringList m_labels;
    QSet<QString> m_taken;
    QDate m_lastDate; // of the last record added with a time
    QHash<QString, int> m_used; // how often each label was given
};
