#include "monitor/monitorwindow.h"

#include "bus/vacomm.h"
#include "monitor/monitorfile.h"
#include "settings/wholefile.h"
#include "widgets/buttons.h"
#include "widgets/dialogs.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QHash>
#include <QPainter>
#include <QStaticText>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

TFMonitor *FMonitor = nullptr;

namespace monitor {

namespace {
// Rows come in batches at this pace: often enough to watch, rarely enough that a
// fast test costs the view little.
constexpr int BatchMs = 200;

// Paints a cell with its background and one line of elided text, without the
// style's full item machinery. A table that follows a fast test repaints all its
// visible rows at every batch, and that must cost the bus's timers next to
// nothing: a frame never changes, so the laid-out text of a cell is kept (by
// frame and column) and only the rows that scroll in are laid out anew.
class PlainCellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        if (selected) {
            painter->fillRect(option.rect, option.palette.highlight());
        } else {
            const QVariant background = index.data(Qt::BackgroundRole);
            if (background.isValid())
                painter->fillRect(option.rect, background.value<QColor>());
        }
        const QVariant fontRole = index.data(Qt::FontRole);
        const QFont font = fontRole.isValid() ? fontRole.value<QFont>() : option.font;
        const QRect area = option.rect.adjusted(3, 0, -3, 0);
        const QVariant align = index.data(Qt::TextAlignmentRole);
        const int horizontal = (align.isValid() ? align.toInt() : int(Qt::AlignLeft)) & Qt::AlignHorizontal_Mask;
        const QStaticText &text = layout(index, font, area.width());
        if (text.text().isEmpty())
            return;
        const QSizeF size = text.size();
        const qreal x = horizontal & Qt::AlignRight ? area.right() + 1 - size.width() : area.left();
        painter->save();
        painter->setFont(font);
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setClipRect(option.rect);
        painter->drawStaticText(QPointF(x, area.top() + (area.height() - size.height()) / 2), text);
        painter->restore();
    }

private:
    struct Cached
    {
        QStaticText text;
        int width = -1;
        int problem = -1;
    };

    const QStaticText &layout(const QModelIndex &index, const QFont &font, int width) const
    {
        const QVariant seq = index.data(FrameTableModel::SeqRole);
        const int problem = index.data(FrameTableModel::ProblemRole).toInt();
        if (!seq.isValid()) { // not a frame: laid out each time
            m_scratch = prepared(index, font, width);
            return m_scratch;
        }
        const quint64 key = seq.toULongLong() * ColumnCount + quint64(index.column());
        auto it = m_cache.find(key);
        if (it == m_cache.end() || it->width != width || it->problem != problem) {
            if (m_cache.size() > 4000) // some screens of rows
                m_cache.clear();
            it = m_cache.insert(key, {prepared(index, font, width), width, problem});
        }
        return it->text;
    }

    static QStaticText prepared(const QModelIndex &index, const QFont &font, int width)
    {
        const QString text = index.data(Qt::DisplayRole).toString();
        QStaticText laid(QFontMetrics(font).elidedText(text, Qt::ElideRight, width));
        laid.setTextFormat(Qt::PlainText);
        laid.setPerformanceHint(QStaticText::AggressiveCaching);
        laid.prepare(QTransform(), font);
        return laid;
    }

    mutable QHash<quint64, Cached> m_cache;
    mutable QStaticText m_scratch;
};

} // namespace

} // namespace monitor

using namespace monitor;

namespace {
QTableView *makeGrid(const char *name, QWidget *parent)
{
    auto *grid = new QTableView(parent);
    grid->setObjectName(QString::fromLatin1(name));
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setWordWrap(false);
    grid->verticalHeader()->hide();
    // Fixed row heights: the view never measures 100 000 rows.
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 4);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->horizontalHeader()->setHighlightSections(false);
    grid->setItemDelegate(new monitor::PlainCellDelegate(grid));
    return grid;
}

} // namespace

TFMonitor::TFMonitor(TVaComm &port, std::size_t capacity, QWidget *parent)
    : QWidget(parent, Qt::Window), m_recorder(capacity)
{
    FMonitor = this;
    setObjectName(QStringLiteral("FMonitor"));
    setWindowTitle(QStringLiteral("Монитор обмена"));
    resize(1060, 640);

    auto *layout = new QVBoxLayout(this);
    auto *bar = new QHBoxLayout;
    BitBtnPause = makeButton("BitBtnPause", QStringLiteral("Пауза"), this);
    BitBtnPause->setCheckable(true);
    BitBtnPause->setToolTip(QStringLiteral("Остановить показ; кадры записываются и дальше"));
    BitBtnClear = makeButton("BitBtnClear", QStringLiteral("Очистить"), this);
    BitBtnClear->setToolTip(QStringLiteral("Удалить кадры и сбросить статистику"));
    CheckBoxErrors = new QCheckBox(QStringLiteral("только ошибки"), this);
    CheckBoxErrors->setObjectName(QStringLiteral("CheckBoxErrors"));
    StaticTextCount = new QLabel(this);
    StaticTextCount->setObjectName(QStringLiteral("StaticTextCount"));
    BitBtnSaveCsv = makeButton("BitBtnSaveCsv", QStringLiteral("Сохранить CSV..."), this);
    BitBtnSaveText = makeButton("BitBtnSaveText", QStringLiteral("Сохранить текст..."), this);
    bar->addWidget(BitBtnPause);
    bar->addWidget(BitBtnClear);
    bar->addSpacing(12);
    bar->addWidget(CheckBoxErrors);
    bar->addSpacing(12);
    bar->addWidget(StaticTextCount);
    bar->addStretch(1);
    bar->addWidget(BitBtnSaveCsv);
    bar->addWidget(BitBtnSaveText);
    layout->addLayout(bar);

    m_frames = new FrameTableModel(capacity, this);
    GridFrames = makeGrid("GridFrames", this);
    GridFrames->setModel(m_frames);
    const int digit = GridFrames->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int widths[ColumnCount] = {13 * digit, 5 * digit, 6 * digit, 30 * digit, 7 * digit, 36 * digit, 8 * digit};
    for (int column = 0; column < ColumnCount - 1; ++column)
        GridFrames->setColumnWidth(column, widths[column] + 12);

    m_statistics = new StatisticsTableModel(this);
    GridStatistics = makeGrid("GridStatistics", this);
    GridStatistics->setModel(m_statistics);
    for (int column = 0; column < m_statistics->columnCount(); ++column)
        GridStatistics->setColumnWidth(column, 105);

    auto *statisticsBox = new QWidget(this);
    auto *statisticsLayout = new QVBoxLayout(statisticsBox);
    statisticsLayout->setContentsMargins(0, 0, 0, 0);
    statisticsLayout->addWidget(new QLabel(QStringLiteral("Статистика по адресам (время ответа: от конца запроса "
                                                          "до первого байта ответа):"),
                                           statisticsBox));
    statisticsLayout->addWidget(GridStatistics);
    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(GridFrames);
    splitter->addWidget(statisticsBox);
    splitter->setStretchFactor(0, 4);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({height() * 3 / 4, height() / 4});
    splitter->setChildrenCollapsible(false);
    layout->addWidget(splitter, 1);

    m_tap = std::make_unique<BusTap>(port, m_recorder);

    TimerBatch = new QTimer(this);
    TimerBatch->setObjectName(QStringLiteral("TimerBatch"));
    TimerBatch->setInterval(BatchMs);
    connect(TimerBatch, &QTimer::timeout, this, [this] { guarded(this, [this] { TimerBatchTimer(); }); });
    TimerBatch->start();

    connect(BitBtnPause, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnPauseClick(); }); });
    connect(BitBtnClear, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnClearClick(); }); });
    connect(CheckBoxErrors, &QCheckBox::clicked, this, [this] { guarded(this, [this] { CheckBoxErrorsClick(); }); });
    connect(BitBtnSaveCsv, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnSaveCsvClick(); }); });
    connect(BitBtnSaveText, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnSaveTextClick(); }); });
    updateCount();
}

TFMonitor::~TFMonitor()
{
    if (FMonitor == this)
        FMonitor = nullptr;
}

void TFMonitor::setProtocol(std::function<Protocol()> protocol)
{
    m_tap->protocol = std::move(protocol);
}

bool TFMonitor::isPaused() const
{
    return BitBtnPause->isChecked();
}

void TFMonitor::TimerBatchTimer()
{
    m_recorder.idle(m_tap->nowUs());
    if (isPaused())
        return;
    std::vector<BusFrame> frames = m_recorder.takeFrames();
    const std::vector<quint64> unanswered = m_recorder.takeUnanswered();
    QScrollBar *scroll = GridFrames->verticalScrollBar();
    const bool following = scroll->value() >= scroll->maximum();
    const bool changed = !frames.empty() || !unanswered.empty();
    m_frames->append(std::move(frames));
    m_frames->markUnanswered(unanswered);
    m_statistics->setRows(m_recorder.statistics().rows());
    if (changed) {
        updateCount();
        if (following)
            GridFrames->scrollToBottom();
    }
}

void TFMonitor::BitBtnPauseClick()
{
    BitBtnPause->setText(isPaused() ? QStringLiteral("Продолжить") : QStringLiteral("Пауза"));
    if (!isPaused())
        TimerBatchTimer();
    updateCount();
}

void TFMonitor::BitBtnClearClick()
{
    m_recorder.clear();
    m_frames->clear();
    m_statistics->setRows({});
    updateCount();
}

void TFMonitor::CheckBoxErrorsClick()
{
    m_frames->setErrorsOnly(CheckBoxErrors->isChecked());
    GridFrames->scrollToBottom();
    updateCount();
}

void TFMonitor::BitBtnSaveCsvClick()
{
    save(QStringLiteral("csv"), QStringLiteral("таблица CSV (*.csv)"));
}

void TFMonitor::BitBtnSaveTextClick()
{
    save(QStringLiteral("txt"), QStringLiteral("текст (*.txt)"));
}

std::vector<const BusFrame *> TFMonitor::shownFrames() const
{
    std::vector<const BusFrame *> frames;
    frames.reserve(static_cast<std::size_t>(m_frames->rowCount()));
    for (int row = 0; row < m_frames->rowCount(); ++row)
        frames.push_back(&m_frames->frameAt(row));
    return frames;
}

void TFMonitor::save(const QString &suffix, const QString &filter)
{
    const QString proposed
        = QDir::current().filePath(StampedFileName(QStringLiteral("monitor"), QDateTime::currentDateTime(), suffix));
    const QString path
        = dialogs().saveFileName(this, QStringLiteral("Сохранение журнала обмена..."), filter, proposed, suffix);
    if (path.isEmpty())
        return;
    const std::vector<const BusFrame *> frames = shownFrames();
    const QByteArray bytes = suffix == QLatin1String("csv") ? csvBytes(frames)
                                                            : textBytes(frames, m_statistics->rows());
    QString reason;
    if (!WriteWholeFile(path, bytes, &reason))
        showError(this, QStringLiteral("Не удалось записать журнал обмена в файл ") + path + QStringLiteral(":\r") + reason);
}

void TFMonitor::updateCount()
{
    QString text = QStringLiteral("Кадров: %1").arg(m_frames->rowCount());
    if (m_frames->rowCount() != m_frames->frameCount())
        text += QStringLiteral(" из %1").arg(m_frames->frameCount());
    if (isPaused())
        text += QStringLiteral(" (пауза)");
    if (StaticTextCount->text() != text)
        StaticTextCount->setText(text);
}
