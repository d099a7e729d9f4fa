#include "widgets/vrdigitgroup.h"

#include <QPainter>
#include <QPolygonF>

#include <cmath>
#include <vector>

namespace {

// Segments a..g as bits 0..6: top, upper right, lower right, bottom, lower left, upper left, middle.
int segmentsOf(QChar c)
{
    static const int digits[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return digits[c.unicode() - '0'];
    return c == QLatin1Char('-') ? 0x40 : 0;
}

struct Cell
{
    int segments = 0;
    bool point = false;
};

// One cell per character; a point lights the corner of the cell before it.
std::vector<Cell> cellsOf(const QString &text, int count)
{
    std::vector<Cell> cells;
    for (const QChar c : text) {
        if (c == QLatin1Char('.') && !cells.empty() && !cells.back().point)
            cells.back().point = true;
        else
            cells.push_back({segmentsOf(c), c == QLatin1Char('.')});
    }
    if (static_cast<int>(cells.size()) > count)
        cells.erase(cells.begin(), cells.end() - count);
    cells.insert(cells.begin(), static_cast<size_t>(count) - cells.size(), Cell{});
    return cells;
}

QPolygonF horizontal(qreal x0, qreal x1, qreal y, qreal t)
{
    return QPolygonF({{x0, y}, {x0 + t / 2, y - t / 2}, {x1 - t / 2, y - t / 2}, {x1, y}, {x1 - t / 2, y + t / 2},
                      {x0 + t / 2, y + t / 2}});
}

QPolygonF vertical(qreal x, qreal y0, qreal y1, qreal t)
{
    return QPolygonF({{x, y0}, {x + t / 2, y0 + t / 2}, {x + t / 2, y1 - t / 2}, {x, y1}, {x - t / 2, y1 - t / 2},
                      {x - t / 2, y0 + t / 2}});
}

} // namespace

TVrDigitGroup::TVrDigitGroup(QWidget *parent)
    : QLCDNumber(parent)
{
    // The point sits in the corner of its digit's cell and takes no cell of its own.
    setSmallDecimalPoint(true);
    setSegmentStyle(QLCDNumber::Flat);
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(false);
    m_low = palette().color(QPalette::Button);
    setPaletteHigh(m_high);
    refresh();
}

void TVrDigitGroup::setValue(double value)
{
    m_value = value;
    refresh();
}

void TVrDigitGroup::setDigits(int digits)
{
    m_digits = qBound(1, digits, 99);
    refresh();
}

void TVrDigitGroup::setDecimals(int decimals)
{
    m_decimals = qBound(0, decimals, 20);
    refresh();
}

void TVrDigitGroup::setLeadingZero(bool leadingZero)
{
    m_leadingZero = leadingZero;
    refresh();
}

void TVrDigitGroup::setPaletteHigh(const QColor &color)
{
    m_high = color;
    QPalette pal = palette();
    // Flat segments use WindowText; the other roles serve the outlined styles.
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Light, QPalette::Dark}) {
        pal.setColor(QPalette::Active, role, color);
        pal.setColor(QPalette::Inactive, role, color);
    }
    setPalette(pal);
}

void TVrDigitGroup::setPaletteLow(const QColor &color)
{
    m_low = color;
    update();
}

QString TVrDigitGroup::formatValue(double value, int digits, int decimals, bool leadingZero)
{
    QString text = QString::asprintf("%.*f", decimals, value);
    const int width = decimals != 0 ? digits + 1 : digits;
    if (text.size() >= width)
        return text;
    const QString pad(width - text.size(), leadingZero ? QLatin1Char('0') : QLatin1Char(' '));
    // Zeros go after the sign: "-03.50", not "0-3.50".
    if (leadingZero && text.startsWith(QLatin1Char('-')))
        return QLatin1Char('-') + pad + text.mid(1);
    return pad + text;
}

QString TVrDigitGroup::displayedText() const
{
    if (!std::isfinite(m_value))
        return QString(m_digits, QLatin1Char('-'));
    for (int decimals = m_decimals; decimals >= 0; --decimals) {
        const QString text = formatValue(m_value, m_digits, decimals, m_leadingZero);
        if (text.size() - text.count(QLatin1Char('.')) <= m_digits)
            return text;
    }
    // Cut digits would show a different number.
    return QString(m_digits, QLatin1Char('-'));
}

void TVrDigitGroup::refresh()
{
    if (digitCount() != m_digits)
        setDigitCount(m_digits);
    display(displayedText());
}

void TVrDigitGroup::paintEvent(QPaintEvent *)
{
    // Drawn here rather than by QLCDNumber: antialiased segments, unlit ones in
    // Palette.Low, and a point that can be seen.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF area = contentsRect();
    const qreal cellWidth = area.width() / m_digits;
    const qreal height = area.height() * 0.84;
    const qreal width = qMin(cellWidth * 0.68, height * 0.56);
    const qreal t = qMax<qreal>(1.5, qMin(width, height / 2) * 0.2); // segment thickness
    const qreal gap = t * 0.12;
    const qreal top = area.top() + (area.height() - height) / 2;

    const std::vector<Cell> cells = cellsOf(displayedText(), m_digits);
    for (int i = 0; i < m_digits; ++i) {
        const Cell &cell = cells[static_cast<size_t>(i)];
        const qreal left = area.left() + i * cellWidth + (cellWidth - width) * 0.4;
        const qreal xl = left + t / 2, xr = left + width - t / 2;
        const qreal yt = top + t / 2, ym = top + height / 2, yb = top + height - t / 2;
        const QPolygonF segments[7] = {
            horizontal(xl + gap, xr - gap, yt, t), vertical(xr, yt + gap, ym - gap, t),
            vertical(xr, ym + gap, yb - gap, t),   horizontal(xl + gap, xr - gap, yb, t),
            vertical(xl, ym + gap, yb - gap, t),   vertical(xl, yt + gap, ym - gap, t),
            horizontal(xl + gap, xr - gap, ym, t),
        };
        for (int s = 0; s < 7; ++s) {
            painter.setBrush((cell.segments >> s) & 1 ? m_high : m_low);
            painter.drawPolygon(segments[s]);
        }
        const qreal r = t * 0.6;
        painter.setBrush(cell.point ? m_high : m_low);
        painter.drawEllipse(QPointF(left + width + (cellWidth - width) * 0.3, yb + t / 2 - r), r, r);
    }
}
