#include "charts/chartwindow.h"

#include "charts/chartpane.h"
#include "charts/readinglog.h"
#include "settings/wholefile.h"
#include "widgets/dialogs.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <stdexcept>

using charts::ChartPane;

namespace {
QString valueText(const charts::Series &s, double value)
{
    if (s.isState())
        return value != 0 ? QStringLiteral("вкл") : QStringLiteral("выкл");
    if (std::isnan(value))
        return QStringLiteral("—");
    const QString number = QString::number(value, 'g', 6);
    return s.unit().isEmpty() ? number : number + QLatin1Char(' ') + s.unit();
}
} // namespace

TFChart::~TFChart() = default;

ChartPane *TFChart::paneOf(int storeIndex) const
{
    return storeIndex >= 0 && storeIndex < int(m_entries.size()) ? m_entries[std::size_t(storeIndex)].pane : nullptr;
}

QCheckBox *TFChart::checkBoxOf(int storeIndex) const
{
    return storeIndex >= 0 && storeIndex < int(m_entries.size()) ? m_entries[std::size_t(storeIndex)].box : nullptr;
}

bool TFChart::isPaused() const
{
    return BitBtnPause->isChecked();
}

QString TFChart::checkBoxName(const QString &quantity)
{
    QString name = QStringLiteral("CheckBox");
    for (const QChar c : quantity)
        if (!c.isSpace())
            name += c;
    return name;
}

void TFChart::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!isPaused())
        redraw(true);
}

void TFChart::TimerRefreshTimer()
{
    if (isPaused() || !isVisible() || isMinimized())
        return;
    QElapsedTimer clock;
    clock.start();
    if (!redraw(false))
        return;
    // What a redraw costs, laying out the lines and painting them (the last
    // painting stands for this one's): a long hour of many series is redrawn less
    // often, so the charts keep to a small share of the processor.
    qint64 costNs = clock.nsecsElapsed();
    for (ChartPane *pane : m_panes)
        costNs += pane->takePaintNs();
    const qint64 interval = costNs * ProcessorShare / 1000000;
    TimerRefresh->setInterval(int(std::clamp<qint64>(interval, RefreshMs, MaxRefreshMs)));
}

int TFChart::plotWidth() const
{
    for (const ChartPane *pane : m_panes)
        if (pane->isVisible())
            return std::max(1, int(pane->chart()->plotArea().width()));
    return std::max(1, PanelCharts->width());
}

bool TFChart::movedOn(const std::pair<qint64, qint64> &range) const
{
    if (range == m_drawnRange) {
        // New readings after the end of a zoomed or frozen window change nothing shown.
        return m_store->revision() != m_drawnRevision && !(m_drawnLast && *m_drawnLast > range.second);
    }
    // Less than a pixel column's time on: the lines would not move.
    const qint64 column = (range.second - range.first) / plotWidth();
    return std::abs(range.first - m_drawnRange.first) > column || std::abs(range.second - m_drawnRange.second) > column;
}

bool TFChart::redraw(bool force)
{
    const bool added = syncSeries();
    const std::pair<qint64, qint64> range = viewRange();
    if (!force && !added && !m_layoutChanged && !movedOn(range))
        return false;
    m_layoutChanged = false;
    for (ChartPane *pane : m_panes)
        if (pane->hasVisibleSeries())
            pane->draw(*m_store, range.first, range.second);
    m_drawnRevision = m_store->revision();
    m_drawnRange = range;
    m_drawnLast = m_store->lastTime();
    updatePointsText();
    updateCursorText();
    return true;
}

void TFChart::updatePanes()
{
    ChartPane *bottom = nullptr;
    for (ChartPane *pane : m_panes) {
        const bool shown = pane->hasVisibleSeries();
        pane->setVisible(shown);
        if (shown)
            bottom = pane;
        if (pane->isStates())
            pane->setMinimumHeight(40 + 16 * int(pane->visibleSeries().size()));
    }
    // One time scale, under the lowest pane.
    for (ChartPane *pane : m_panes)
        pane->setTimeLabelsVisible(pane == bottom);
    scheduleAlignment();
}

void TFChart::scheduleAlignment()
{
    if (m_alignmentPending)
        return;
    m_alignmentPending = true;
    QTimer::singleShot(0, this, [this] {
        m_alignmentPending = false;
        alignPanes();
    });
}

void TFChart::alignPanes()
{
    // Axis labels and legends differ in width: every plot spans what the narrowest one does.
    qreal left = 0, right = 0;
    for (ChartPane *pane : m_panes)
        if (pane->isVisible()) {
            left = std::max(left, pane->naturalPlotMargins().left());
            right = std::max(right, pane->naturalPlotMargins().right());
        }
    for (ChartPane *pane : m_panes)
        if (pane->isVisible()) {
            const QMarginsF natural = pane->naturalPlotMargins();
            pane->setAlignmentMargins(QMargins(int(std::lround(left - natural.left())), 0,
                                               int(std::lround(right - natural.right())), 0));
        }
}

qint64 TFChart::liveEnd() const
{
    return m_store->lastTime().value_or(m_stream ? m_stream->now() : QDateTime::currentMSecsSinceEpoch());
}

std::pair<qint64, qint64> TFChart::viewRange() const
{
    if (m_zoom)
        return *m_zoom;
    const qint64 end = isPaused() ? m_frozenEnd : liveEnd();
    const int minutes = ComboBoxWindow->currentData().toInt();
    if (minutes > 0)
        return {end - minutes * 60000LL, end};
    const qint64 first = std::min(m_store->firstTime().value_or(end), end);
    return {std::min(first, end - 10000), end}; // at least ten seconds
}

void TFChart::ComboBoxWindowChange()
{
    m_zoom.reset();
    BitBtnZoomReset->setEnabled(false);
    redraw(true);
}

void TFChart::BitBtnPauseClick()
{
    BitBtnPause->setText(isPaused() ? QStringLiteral("Продолжить") : QStringLiteral("Пауза"));
    if (isPaused())
        m_frozenEnd = m_zoom ? liveEnd() : m_drawnRange.second;
    else
        redraw(true);
    updatePointsText();
}

void TFChart::zoomTo(qint64 fromMs, qint64 toMs)
{
    if (toMs <= fromMs)
        return;
    m_zoom = std::make_pair(fromMs, toMs);
    BitBtnZoomReset->setEnabled(true);
    redraw(true);
}

void TFChart::BitBtnZoomResetClick()
{
    m_zoom.reset();
    BitBtnZoomReset->setEnabled(false);
    redraw(true);
}

void TFChart::pointAt(std::optional<qint64> timeMs)
{
    m_cursor = timeMs;
    for (ChartPane *pane : m_panes)
        pane->showCursor(timeMs);
    updateCursorText();
}

void TFChart::updatePointsText()
{
    const QLocale russian(QLocale::Russian, QLocale::Russia); // digits in groups: "432 000"
    QString text = QStringLiteral("Точек: ") + russian.toString(qulonglong(m_store->pointCount()));
    if (const quint64 dropped = m_store->dropped())
        text += QStringLiteral(", старых отброшено: ") + russian.toString(dropped);
    if (isPaused())
        text += QStringLiteral(" (пауза)");
    if (StaticTextPoints->text() != text)
        StaticTextPoints->setText(text);
}

void TFChart::updateCursorText()
{
    if (!m_cursor) {
        StaticTextCursor->setText(QStringLiteral("Выделите мышью интервал времени, чтобы увеличить его; "
                                                 "правая кнопка уменьшает."));
        return;
    }
    QStringList parts{QDateTime::fromMSecsSinceEpoch(*m_cursor).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss.zzz"))};
    for (int i = 0; i < int(m_entries.size()); ++i) {
        if (!m_entries[std::size_t(i)].box->isChecked())
            continue;
        const charts::Series &s = m_store->series(i);
        const std::optional<double> value = s.valueAt(*m_cursor);
        QString part = s.quantity() + QStringLiteral(": ") + (value ? valueText(s, *value) : QStringLiteral("—"));
        part.replace(QLatin1Char(' '), QChar(0x00A0)); // a line breaks between values only
        parts << part;
    }
    StaticTextCursor->setText(parts.join(QStringLiteral("   ")));
}

void TFChart::save(const QString &title, const QString &filter, const QString &suffix, const QString &what,
                   const std::function<QByteArray()> &bytes)
{
    const QString proposed
        = QDir::current().filePath(StampedFileName(QStringLiteral("chart"), QDateTime::currentDateTime(), suffix));
    const QString path = dialogs().saveFileName(this, title, filter, proposed, suffix);
    if (path.isEmpty())
        return;
    QString reason;
    if (!WriteWholeFile(path, bytes(), &reason))
        showError(this, QStringLiteral("Не удалось записать ") + what + QStringLiteral(" в файл ") + path
                            + QStringLiteral(":\r") + reason);
}

void TFChart::BitBtnSaveCsvClick()
{
    save(QStringLiteral("Сохранение данных графика..."), QStringLiteral("таблица CSV (*.csv)"), QStringLiteral("csv"),
         QStringLiteral("данные графика"), [this] { return charts::csvBytes(*m_store); });
}

void TFChart::BitBtnSavePngClick()
{
    // The picture as it was when the button was pressed, not after the dialog.
    const QPixmap picture = PanelCharts->grab();
    save(QStringLiteral("Сохранение рисунка графика..."), QStringLiteral("рисунок PNG (*.png)"), QStringLiteral("png"),
         QStringLiteral("рисунок графика"), [&picture] {
             QByteArray png;
             QBuffer buffer(&png);
             buffer.open(QIODevice::WriteOnly);
             if (!picture.save(&buffer, "PNG"))
                 throw std::runtime_error("Не удалось построить рисунок PNG.");
             return png;
         });
}
