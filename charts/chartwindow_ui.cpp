#include "charts/chartwindow.h"

#include "charts/chartpane.h"
#include "widgets/buttons.h"
#include "widgets/dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

// How the chart window is put together and grows a pane and a check box for each
// new series; what it does lives in chartwindow.cpp.

using charts::ChartPane;

namespace {
// Phase quantities (Ua, Ib, ...) in the phase colours of switchgear, A yellow,
// B green, C red; the others in turn from well-separated colours.
const QColor PhaseColors[] = {QColor(0xC8, 0x9B, 0x00), QColor(0x2E, 0x9E, 0x3E), QColor(0xD0, 0x30, 0x30)};
const QColor OtherColors[] = {QColor(0x1F, 0x5F, 0xBF), QColor(0x8E, 0x44, 0xAD), QColor(0xE6, 0x7E, 0x22),
                              QColor(0x16, 0xA0, 0x85), QColor(0x8B, 0x5A, 0x2B), QColor(0x55, 0x55, 0x55),
                              QColor(0xD3, 0x54, 0x90), QColor(0x7D, 0x8C, 0x1F), QColor(0x2C, 0x3E, 0x90),
                              QColor(0x22, 0x22, 0x22)};

QColor colorFor(const QString &quantity, std::size_t &nextOther)
{
    if (quantity.size() == 2 && quantity[0] >= QLatin1Char('A') && quantity[0] <= QLatin1Char('Z')
        && quantity[1] >= QLatin1Char('a') && quantity[1] <= QLatin1Char('c'))
        return PhaseColors[quantity[1].unicode() - 'a'];
    return OtherColors[nextOther++ % std::size(OtherColors)];
}

QIcon swatch(const QColor &color)
{
    QPixmap pixmap(14, 14);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.fillRect(QRect(1, 5, 12, 4), color);
    return QIcon(pixmap);
}

} // namespace

TFChart::TFChart(const charts::SeriesStore &store, const ReadingStream &stream, const QString &caption,
                 QWidget *deviceWindow)
    : QWidget(deviceWindow, Qt::Window), m_store(&store), m_stream(&stream)
{
    build(caption, deviceWindow);
}

TFChart::TFChart(ReadingStream &stream, const QString &caption, QWidget *deviceWindow, std::size_t capacity)
    : QWidget(deviceWindow, Qt::Window), m_ownStore(std::make_unique<charts::SeriesStore>(capacity)),
      m_store(m_ownStore.get()), m_stream(&stream)
{
    m_ownStore->listen(stream);
    build(caption, deviceWindow);
}

void TFChart::build(const QString &caption, QWidget *deviceWindow)
{
    setObjectName(QStringLiteral("FChart"));
    setWindowTitle(QStringLiteral("График: ") + caption);
    resize(1000, 680);

    auto *layout = new QVBoxLayout(this);
    auto *bar = new QHBoxLayout;
    auto *windowLabel = new QLabel(QStringLiteral("Интервал:"), this);
    ComboBoxWindow = new QComboBox(this);
    ComboBoxWindow->setObjectName(QStringLiteral("ComboBoxWindow"));
    ComboBoxWindow->addItem(QStringLiteral("1 мин"), 1);
    ComboBoxWindow->addItem(QStringLiteral("5 мин"), 5);
    ComboBoxWindow->addItem(QStringLiteral("15 мин"), 15);
    ComboBoxWindow->addItem(QStringLiteral("60 мин"), 60);
    ComboBoxWindow->addItem(QStringLiteral("всё"), 0);
    ComboBoxWindow->setCurrentIndex(1);
    windowLabel->setBuddy(ComboBoxWindow);
    BitBtnPause = makeButton("BitBtnPause", QStringLiteral("Пауза"), this);
    BitBtnPause->setCheckable(true);
    BitBtnPause->setToolTip(QStringLiteral("Остановить показ; данные записываются и дальше"));
    BitBtnZoomReset = makeButton("BitBtnZoomReset", QStringLiteral("Сбросить масштаб"), this);
    BitBtnZoomReset->setEnabled(false);
    StaticTextPoints = new QLabel(this);
    StaticTextPoints->setObjectName(QStringLiteral("StaticTextPoints"));
    BitBtnSaveCsv = makeButton("BitBtnSaveCsv", QStringLiteral("Сохранить CSV..."), this);
    BitBtnSaveCsv->setToolTip(QStringLiteral("Все собранные значения с метками времени"));
    BitBtnSavePng = makeButton("BitBtnSavePng", QStringLiteral("Сохранить PNG..."), this);
    BitBtnSavePng->setToolTip(QStringLiteral("Рисунок графиков, как они показаны"));
    bar->addWidget(windowLabel);
    bar->addWidget(ComboBoxWindow);
    bar->addWidget(BitBtnPause);
    bar->addWidget(BitBtnZoomReset);
    bar->addSpacing(12);
    bar->addWidget(StaticTextPoints);
    bar->addStretch(1);
    bar->addWidget(BitBtnSaveCsv);
    bar->addWidget(BitBtnSavePng);
    layout->addLayout(bar);

    PanelSeries = new QWidget;
    PanelSeries->setObjectName(QStringLiteral("PanelSeries"));
    m_seriesLayout = new QVBoxLayout(PanelSeries);
    m_seriesLayout->setContentsMargins(4, 4, 4, 4);
    m_seriesLayout->addStretch(1);
    m_seriesScroll = new QScrollArea(this);
    m_seriesScroll->setObjectName(QStringLiteral("ScrollBoxSeries"));
    m_seriesScroll->setWidget(PanelSeries);
    m_seriesScroll->setWidgetResizable(true);
    m_seriesScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_seriesScroll->setMinimumWidth(120);

    PanelCharts = new QWidget(this);
    PanelCharts->setObjectName(QStringLiteral("PanelCharts"));
    PanelCharts->setAutoFillBackground(true);
    PanelCharts->setBackgroundRole(QPalette::Base);
    m_paneLayout = new QVBoxLayout(PanelCharts);
    m_paneLayout->setContentsMargins(0, 0, 0, 0);
    m_paneLayout->setSpacing(0);

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(m_seriesScroll);
    splitter->addWidget(PanelCharts);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({150, width() - 150});
    splitter->setChildrenCollapsible(false);
    layout->addWidget(splitter, 1);

    StaticTextCursor = new QLabel(this);
    StaticTextCursor->setObjectName(QStringLiteral("StaticTextCursor"));
    StaticTextCursor->setWordWrap(true);
    StaticTextCursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(StaticTextCursor);

    TimerRefresh = new QTimer(this);
    TimerRefresh->setObjectName(QStringLiteral("TimerRefresh"));
    TimerRefresh->setInterval(RefreshMs);
    connect(TimerRefresh, &QTimer::timeout, this, [this] { guarded(this, [this] { TimerRefreshTimer(); }); });
    TimerRefresh->start();

    connect(ComboBoxWindow, &QComboBox::currentIndexChanged, this,
            [this] { guarded(this, [this] { ComboBoxWindowChange(); }); });
    connect(BitBtnPause, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnPauseClick(); }); });
    connect(BitBtnZoomReset, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnZoomResetClick(); }); });
    connect(BitBtnSaveCsv, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnSaveCsvClick(); }); });
    connect(BitBtnSavePng, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnSavePngClick(); }); });
    updatePointsText();
    updateCursorText();
    if (deviceWindow)
        placeBeside(deviceWindow);
}

namespace {
TFChart *showOwned(TFChart *chart)
{
    chart->setAttribute(Qt::WA_DeleteOnClose);
    chart->show();
    return chart;
}

QString captionOf(const QWidget *window)
{
    return window ? window->windowTitle() : QString();
}
} // namespace

TFChart *TFChart::open(const charts::SeriesStore &store, const ReadingStream &stream, QWidget *deviceWindow,
                       const QStringList &switchedOff)
{
    auto *chart = new TFChart(store, stream, captionOf(deviceWindow), deviceWindow);
    chart->m_switchedOff = switchedOff;
    return showOwned(chart);
}

TFChart *TFChart::open(ReadingStream &stream, QWidget *deviceWindow)
{
    return showOwned(new TFChart(stream, captionOf(deviceWindow), deviceWindow));
}

void TFChart::placeBeside(const QWidget *other)
{
    const QRect device = other->frameGeometry();
    const QScreen *screen = other->screen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    // The frame is not there before the first show: take the device window's.
    const QSize frame = device.size() - other->geometry().size();
    resize(std::min(width(), room.width() - frame.width()), std::min(height(), room.height() - frame.height()));
    int outerWidth = width() + frame.width();
    const int rightRoom = room.right() - device.right(), leftRoom = device.left() - room.left();
    if (outerWidth > rightRoom && outerWidth > leftRoom && std::max(rightRoom, leftRoom) - frame.width() >= MinBesideWidth) {
        // Narrower, on the wider side, rather than over the device window.
        resize(std::max(rightRoom, leftRoom) - frame.width(), height());
        outerWidth = width() + frame.width();
    }
    int x = device.right() + 1;
    if (outerWidth > rightRoom)
        x = device.left() - outerWidth;
    if (x < room.left())
        x = room.right() + 1 - outerWidth; // no room either side: over the device window's right edge
    const int y = std::clamp(device.top(), room.top(), std::max(room.top(), room.bottom() + 1 - height() - frame.height()));
    move(x, y);
}

bool TFChart::syncSeries()
{
    if (int(m_entries.size()) == m_store->count())
        return false;
    for (int i = int(m_entries.size()); i < m_store->count(); ++i) {
        const charts::Series &s = m_store->series(i);
        ChartPane *pane = paneFor(s.isState(), s.unit());
        const QColor color = colorFor(s.quantity(), m_nextColor);
        pane->addSeries(i, s.title(), color);
        // A long name (an alarm's caption) is cut short; the whole stands in its tip.
        auto *box = new QCheckBox(PanelSeries);
        box->setText(box->fontMetrics().elidedText(s.title(), Qt::ElideMiddle, MaxCheckBoxTextWidth));
        if (box->text() != s.title())
            box->setToolTip(s.title());
        QString name = checkBoxName(s.quantity());
        if (PanelSeries->findChild<QCheckBox *>(name))
            name += QLatin1Char('_') + QString::number(i); // the same quantity in another unit
        box->setObjectName(name);
        box->setIcon(swatch(color));
        const bool on = !m_switchedOff.contains(s.quantity());
        box->setChecked(on);
        if (!on)
            pane->setSeriesVisible(i, false);
        m_seriesLayout->insertWidget(m_seriesLayout->count() - 1, box);
        connect(box, &QCheckBox::toggled, this, [this, i](bool on) {
            m_entries[std::size_t(i)].pane->setSeriesVisible(i, on);
            updatePanes();
            redraw(true);
        });
        m_entries.push_back({pane, box});
        // Room for the widest box; the panel's own size hint lags until its layout has run.
        const QMargins margins = m_seriesLayout->contentsMargins();
        const int wanted = box->sizeHint().width() + margins.left() + margins.right()
                           + 2 * m_seriesScroll->frameWidth() + m_seriesScroll->verticalScrollBar()->sizeHint().width();
        m_seriesScroll->setMinimumWidth(std::max(m_seriesScroll->minimumWidth(), wanted));
    }
    updatePanes();
    return true;
}

ChartPane *TFChart::paneFor(bool state, const QString &unit)
{
    for (ChartPane *pane : m_panes)
        if (pane->isStates() == state && (state || pane->unit() == unit))
            return pane;
    auto *pane = new ChartPane(state, unit, PanelCharts);
    // Values in the order their units came, the states at the bottom.
    auto at = m_panes.end();
    if (!state && !m_panes.empty() && m_panes.back()->isStates())
        at = m_panes.end() - 1;
    const int position = int(at - m_panes.begin());
    m_panes.insert(at, pane);
    m_paneLayout->insertWidget(position, pane, state ? 2 : 3);
    connect(pane, &ChartPane::zoomed, this, [this](qint64 from, qint64 to) { zoomTo(from, to); }, Qt::QueuedConnection);
    connect(pane, &ChartPane::hovered, this, [this](qint64 t) { pointAt(t); });
    connect(pane, &ChartPane::left, this, [this] { pointAt(std::nullopt); });
    connect(pane, &ChartPane::plotAreaMoved, this, [this] {
        m_layoutChanged = true; // thinned for another width: drawn anew at the next refresh
        scheduleAlignment();
    });
    return pane;
}

