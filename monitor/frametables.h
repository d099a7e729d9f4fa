#pragma once

// The monitor's two tables as models: the frames, and the statistics per address.

#include "monitor/framelog.h"
#include "monitor/linkstatistics.h"

#include <QAbstractTableModel>
#include <QFont>

#include <deque>
#include <vector>

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
