#pragma once

#include "charts/seriesstore.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QTimer;
class QVBoxLayout;

namespace charts {
class ChartPane;
}

// "График: <device window>": the readings of a device window's tests as lines
// over time, gathered while the chart window lives. Values of one unit share a
// pane, states are steps in a pane of their own; all panes share the time axis.
// The store keeps the data; the panes show a thinned copy of the time window,
// redrawn a few times a second and never while paused or hidden.
class TFChart : public QWidget
{
    Q_OBJECT
public:
    static constexpr int RefreshMs = 250;

    // A window of its own owned by `deviceWindow` (so the device window's modality
    // does not block it), titled "График: " + `caption`.
    TFChart(ReadingStream &stream, const QString &caption, QWidget *deviceWindow = nullptr,
            std::size_t capacity = charts::SeriesStore::DefaultCapacity);
    ~TFChart() override;

    // Opens a chart of the device window's stream beside it; it closes and deletes itself.
    static TFChart *open(ReadingStream &stream, QWidget *deviceWindow);

    // Moves the window beside `other` (right of it when the screen has room, else left).
    void placeBeside(const QWidget *other);

    const charts::SeriesStore &store() const { return m_store; }
    const std::vector<charts::ChartPane *> &panes() const { return m_panes; }
    charts::ChartPane *paneOf(int storeIndex) const;
    QCheckBox *checkBoxOf(int storeIndex) const;
    // The time window drawn last: [from, to] in ms since the epoch.
    std::pair<qint64, qint64> shownRange() const { return m_drawnRange; }
    bool isPaused() const;
    // "CheckBoxIa", "CheckBoxВход3": the check box of a quantity (spaces dropped).
    static QString checkBoxName(const QString &quantity);

    // Handlers, public so tests can drive them.
    void TimerRefreshTimer();
    void ComboBoxWindowChange();
    void BitBtnPauseClick();
    void BitBtnZoomResetClick();
    void BitBtnSaveCsvClick();
    void BitBtnSavePngClick();
    void zoomTo(qint64 fromMs, qint64 toMs);
    void pointAt(std::optional<qint64> timeMs); // the cursor over the charts

    QComboBox *ComboBoxWindow;
    QPushButton *BitBtnPause, *BitBtnZoomReset, *BitBtnSaveCsv, *BitBtnSavePng;
    QLabel *StaticTextPoints, *StaticTextCursor;
    QWidget *PanelCharts, *PanelSeries;
    QTimer *TimerRefresh;

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Entry
    {
        charts::ChartPane *pane;
        QCheckBox *box;
    };

    void redraw(bool force);
    void syncSeries();
    charts::ChartPane *paneFor(bool state, const QString &unit);
    void updatePanes();
    void alignPanes();
    void scheduleAlignment();
    qint64 liveEnd() const;
    std::pair<qint64, qint64> viewRange() const;
    void updatePointsText();
    void updateCursorText();
    // Asks for a file and writes `bytes()` there whole, or shows why it could not.
    void save(const QString &title, const QString &filter, const QString &suffix, const QString &what,
              const std::function<QByteArray()> &bytes);

    charts::SeriesStore m_store;
    QPointer<ReadingStream> m_stream;
    std::vector<charts::ChartPane *> m_panes;
    std::vector<Entry> m_entries; // by the store's series index
    QVBoxLayout *m_paneLayout;
    QVBoxLayout *m_seriesLayout;
    QScrollArea *m_seriesScroll;
    std::size_t m_nextColor = 0;
    std::optional<std::pair<qint64, qint64>> m_zoom;
    std::optional<qint64> m_cursor;
    qint64 m_frozenEnd = 0; // the latest time when paused
    quint64 m_drawnRevision = 0;
    std::pair<qint64, qint64> m_drawnRange{0, 0};
    bool m_alignmentPending = false;
    bool m_layoutChanged = false;
};
