#pragma once

#include "monitor/busrecorder.h"
#include "monitor/frametables.h"

#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;
class TVaComm;

// "Монитор обмена": every frame the port sends and receives, with its meaning
// and timing, and the link statistics per bus address. A window of its own
// (no owner), so a device window's modality does not block it.
class TFMonitor : public QWidget
{
    Q_OBJECT
public:
    explicit TFMonitor(TVaComm &port, std::size_t capacity = monitor::FrameLog::DefaultCapacity,
                       QWidget *parent = nullptr);
    ~TFMonitor() override;

    // How requests are read: the meter's protocol while a meter is searched or served.
    void setProtocol(std::function<monitor::Protocol()> protocol);

    const monitor::FrameTableModel &frames() const { return *m_frames; } // the rows as shown
    const monitor::StatisticsTableModel &statistics() const { return *m_statistics; }
    bool isPaused() const;

    // Handlers, public so tests can drive them.
    void BitBtnPauseClick();
    void BitBtnClearClick();
    void CheckBoxErrorsClick();
    void BitBtnSaveCsvClick();
    void BitBtnSaveTextClick();
    void TimerBatchTimer();

    QPushButton *BitBtnPause, *BitBtnClear, *BitBtnSaveCsv, *BitBtnSaveText;
    QCheckBox *CheckBoxErrors;
    QTableView *GridFrames, *GridStatistics;
    QLabel *StaticTextCount;
    QTimer *TimerBatch;

private:
    std::vector<const monitor::BusFrame *> shownFrames() const;
    void save(const QString &suffix, const QString &filter);
    void updateCount();

    monitor::BusRecorder m_recorder;
    std::unique_ptr<monitor::BusTap> m_tap;
    monitor::FrameTableModel *m_frames;
    monitor::StatisticsTableModel *m_statistics;
};

extern TFMonitor *FMonitor;
