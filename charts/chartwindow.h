#pragma once

#include "charts/seriesstore.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
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
// over time. Values of one unit share a pane, states are steps in a pane of their
// own; all panes share the time axis. A store keeps the data (the device window's,
// so the chart shows its whole lifetime however often it is opened); the panes
// show a thinned copy of the time window, redrawn when the data has moved on by a
// pixel column and never while paused or hidden.
class TFChart : public QWidget
{
    Q_OBJECT
public:
    // The refresh comes every RefreshMs at the most, and less often when a redraw
    // takes more than 1/ProcessorShare of that time, up to MaxRefreshMs.
    static constexpr int RefreshMs = 250;
    static constexpr int MaxRefreshMs = 5000;
    static constexpr int ProcessorShare = 50;

    // A window of its own owned by `deviceWindow` (so the device window's modality
    // does not block it), titled "График: " + `caption`, showing `store`, which
    // must outlive it; `stream` gives the time while no reading has come.
    TFChart(const charts::SeriesStore &store, const ReadingStream &stream, const QString &caption,
            QWidget *deviceWindow = nullptr);
    // The same with a store of its own that follows `stream` from now on.
    TFChart(ReadingStream &stream, const QString &caption, QWidget *deviceWindow = nullptr,
            std::size_t capacity = charts::SeriesStore::DefaultCapacity);
    ~TFChart() override;

    // Opens a chart of the device window's store beside it; it closes and deletes
    // itself. The lines of `switchedOff` quantities start hidden, their boxes clear.
    static TFChart *open(const charts::SeriesStore &store, const ReadingStream &stream, QWidget *deviceWindow,
                         const QStringList &switchedOff = {});
    // The same with a store of its own, gathered from now on.
    static TFChart *open(ReadingStream &stream, QWidget *deviceWindow);

    // Moves the window beside `other`: right of it when the screen has room, else
    // left; where neither side has room, narrower on the wider side down to
    // MinBesideWidth, and only then over the right edge of `other`.
    static constexpr int MinBesideWidth = 560;
    // Check box texts longer than this (in pixels) are cut short.
    static constexpr int MaxCheckBoxTextWidth = 200;
    void placeBeside(const QWidget *other);

    const charts::SeriesStore &store() const { return *m_store; }
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

    void build(const QString &caption, QWidget *deviceWindow);
    // Draws the panes anew when forced or when what they show has changed; true when it drew.
    bool redraw(bool force);
    bool movedOn(const std::pair<qint64, qint64> &range) const;
    int plotWidth() const;
    // Gives new series of the store a pane and a check box; true when there were any.
    bool syncSeries();
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

    std::unique_ptr<charts::SeriesStore> m_ownStore; // when the chart gathers its own readings
    const charts::SeriesStore *m_store;
    QPointer<const ReadingStream> m_stream;
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
    std::optional<qint64> m_drawnLast; // the store's latest time when drawn
    QStringList m_switchedOff;
    bool m_alignmentPending = false;
    bool m_layoutChanged = false;
};
