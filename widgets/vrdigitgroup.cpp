#include "widgets/vrdigitgroup.h"

#include <cmath>

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
    // Unlit segments are not drawn: on the window's face colour they would not show anyway.
    m_low = color;
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
