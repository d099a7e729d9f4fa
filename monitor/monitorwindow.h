#pragma once

#include "monitor/busrecorder.h"

#include <QAbstractTableModel>
#include <QFont>

#include <deque>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;
class TVaComm;

namespace monitor {

// The frames of a FrameLog as table rows, appended and dropped in batches; with
// "errors only" the rows are the frames with a problem. Every change touches only
// the rows it concerns, so a full log costs a batch no more than an empty one.
class FrameTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Role { ProblemRole = Qt::UserRole + 1, SeqRole };

    explicit FrameTableModel(std::size_t capacity, QObject *parent = nullptr);

    void setErrorsOnly(bool on);
    bool errorsOnly() const { return m_errorsOnly; }
    const BusFrame &frameAt(int row) const;
    int frameCount() const { return static_cast<int>(m_log.size()); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void append(std::vector<BusFrame> frames);
    void markUnanswered(const std::vector<quint64> &seqs);
    void clear();
    const FrameLog &log() const { return m_log; }

private:
    FrameLog m_log;
    std::deque<quint64> m_errors; // seqs of the frames with a problem, in order
    bool m_errorsOnly = false;
    QFont m_fixedFont; // for the bytes
};

class StatisticsTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Signals only what changed, so an idle bus repaints nothing.
    void setRows(std::vector<AddressStatistics> rows);
    const std::vector<AddressStatistics> &rows() const { return m_rows; }

private:
    std::vector<AddressStatistics> m_rows;
};

} // namespace monitor

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
