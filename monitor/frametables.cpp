#include "monitor/frametables.h"

#include <QColor>
#include <QFontDatabase>
#include <QLocale>

namespace monitor {

namespace {

QColor problemColour(Problem problem)
{
    switch (problem) {
    case Problem::Crc: return QColor(255, 200, 200);
    case Problem::Refused: return QColor(255, 224, 160);
    case Problem::NoAnswer: return QColor(222, 210, 255);
    case Problem::None: break;
    }
    return {};
}

} // namespace

FrameTableModel::FrameTableModel(std::size_t capacity, QObject *parent)
    : QAbstractTableModel(parent), m_log(capacity), m_fixedFont(QFontDatabase::systemFont(QFontDatabase::FixedFont))
{
}

int FrameTableModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return static_cast<int>(m_errorsOnly ? m_errors.size() : m_log.size());
}

int FrameTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

const BusFrame &FrameTableModel::frameAt(int row) const
{
    if (!m_errorsOnly)
        return m_log.at(static_cast<std::size_t>(row));
    return m_log.at(static_cast<std::size_t>(m_log.indexOf(m_errors[static_cast<std::size_t>(row)])));
}

QVariant FrameTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const BusFrame &frame = frameAt(index.row());
    switch (role) {
    case Qt::DisplayRole: return columnText(frame, index.column(), QLocale());
    case Qt::ToolTipRole:
        if (index.column() == ColumnBytes || index.column() == ColumnMeaning)
            return columnText(frame, index.column(), QLocale());
        return {};
    case Qt::BackgroundRole:
        if (frame.problem != Problem::None)
            return problemColour(frame.problem);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == ColumnAddress || index.column() == ColumnSince || index.column() == ColumnResponse)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case Qt::FontRole:
        if (index.column() == ColumnBytes)
            return m_fixedFont;
        return {};
    case ProblemRole: return int(frame.problem);
    case SeqRole: return frame.seq;
    default: return {};
    }
}

QVariant FrameTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return columnTitles().value(section);
}

void FrameTableModel::setErrorsOnly(bool on)
{
    if (on == m_errorsOnly)
        return;
    beginResetModel();
    m_errorsOnly = on;
    endResetModel();
}

void FrameTableModel::append(std::vector<BusFrame> frames)
{
    if (frames.empty())
        return;
    // More than the log holds: only the newest count.
    if (frames.size() > m_log.capacity())
        frames.erase(frames.begin(), frames.end() - static_cast<long>(m_log.capacity()));
    const std::size_t overflow = m_log.overflowFor(frames.size());
    if (overflow > 0) {
        const quint64 keptFrom = m_log.at(overflow - 1).seq + 1;
        std::size_t errors = 0;
        while (errors < m_errors.size() && m_errors[errors] < keptFrom)
            ++errors;
        const std::size_t rows = m_errorsOnly ? errors : overflow;
        if (rows > 0)
            beginRemoveRows({}, 0, static_cast<int>(rows) - 1);
        m_log.dropOldest(overflow);
        m_errors.erase(m_errors.begin(), m_errors.begin() + static_cast<long>(errors));
        if (rows > 0)
            endRemoveRows();
    }
    std::size_t newErrors = 0;
    for (const BusFrame &frame : frames)
        newErrors += frame.problem != Problem::None;
    const int rows = static_cast<int>(m_errorsOnly ? newErrors : frames.size());
    const int first = rowCount();
    if (rows > 0)
        beginInsertRows({}, first, first + rows - 1);
    for (BusFrame &frame : frames) {
        if (frame.problem != Problem::None)
            m_errors.push_back(frame.seq);
        m_log.append(std::move(frame));
    }
    if (rows > 0)
        endInsertRows();
}

void FrameTableModel::markUnanswered(const std::vector<quint64> &seqs)
{
    for (quint64 seq : seqs) {
        const long long at = m_log.indexOf(seq);
        if (at < 0)
            continue;
        BusFrame &frame = m_log.at(static_cast<std::size_t>(at));
        const bool listed = frame.problem != Problem::None;
        frame.problem = Problem::NoAnswer;
        if (listed)
            continue;
        // Mostly the newest frames: the place is found from the end.
        auto place = m_errors.end();
        while (place != m_errors.begin() && *(place - 1) > seq)
            --place;
        const int errorRow = static_cast<int>(place - m_errors.begin());
        if (m_errorsOnly)
            beginInsertRows({}, errorRow, errorRow);
        m_errors.insert(place, seq);
        if (m_errorsOnly)
            endInsertRows();
        else
            emit dataChanged(index(int(at), 0), index(int(at), ColumnCount - 1));
    }
}

void FrameTableModel::clear()
{
    beginResetModel();
    m_log.clear();
    m_errors.clear();
    endResetModel();
}

int StatisticsTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int StatisticsTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(statisticsTitles().size());
}

QVariant StatisticsTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const AddressStatistics &row = m_rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return statisticsCells(row, QLocale()).value(index.column());
    if (role == Qt::TextAlignmentRole)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::BackgroundRole) {
        if (index.column() == 3 && row.crcErrors > 0)
            return problemColour(Problem::Crc);
        if (index.column() == 4 && row.exceptions > 0)
            return problemColour(Problem::Refused);
        if (index.column() == 5 && row.lost > 0)
            return problemColour(Problem::NoAnswer);
    }
    return {};
}

QVariant StatisticsTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return statisticsTitles().value(section);
}

void StatisticsTableModel::setRows(std::vector<AddressStatistics> rows)
{
    if (rows.size() != m_rows.size()) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
        return;
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QStringList before = statisticsCells(m_rows[i], QLocale::c());
        m_rows[i] = rows[i];
        if (statisticsCells(m_rows[i], QLocale::c()) != before)
            emit dataChanged(index(int(i), 0), index(int(i), columnCount() - 1));
    }
}

} // namespace monitor
