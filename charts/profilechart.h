#pragma once

#include <QDate>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QWidget>

class QBarCategoryAxis;
class QBarSeries;
class QBarSet;
class QChartView;
class QDateTime;
class QScrollBar;
class QValueAxis;

// The meter's power profile as bars: P+, P−, Q+, Q− (kW, kvar) of each
// integration period, one group per record in the order they were added. The
// latest `VisibleRecords` are shown; a scroll bar reaches the earlier ones.
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

    int recordCount() const { return int(m_labels.size()); }
    const QStringList &labels() const { return m_labels; }
    QBarSet *barSet(Quantity quantity) const { return m_sets[quantity]; }

    QChartView *ChartProfile;
    QScrollBar *ScrollBarRecords;

private:
    void showFrom(int first);

    QBarSeries *m_series;
    QBarSet *m_sets[QuantityCount];
    QBarCategoryAxis *m_periods;
    QValueAxis *m_values;
    QStringList m_labels;
    QSet<QString> m_taken;
    QDate m_lastDate; // of the last record added with a time
    QHash<QString, int> m_used; // how often each label was given
};
