#pragma once

#include <QColor>
#include <QLCDNumber>

// Seven-segment number display on QLCDNumber: a fixed number of digit cells,
// a fixed number of decimals, right-aligned, blank or zero padded.
class TVrDigitGroup : public QLCDNumber
{
    Q_OBJECT
public:
    explicit TVrDigitGroup(QWidget *parent = nullptr);

    double Value() const { return m_value; }
    void setValue(double value);
    int Digits() const { return m_digits; }
    void setDigits(int digits);
    int Decimals() const { return m_decimals; }
    void setDecimals(int decimals);
    bool LeadingZero() const { return m_leadingZero; }
    void setLeadingZero(bool leadingZero);

    // The text the cells show: "%.<decimals>f", padded on the left to digits + 1
    // characters (digits when there are no decimals) with "0" or blanks.
    static QString formatValue(double value, int digits, int decimals, bool leadingZero);
    QString text() const { return formatValue(m_value, m_digits, m_decimals, m_leadingZero); }
    // What the cells show: text(), or with fewer decimals when the number needs
    // more cells than there are, or a row of "-" when even the integer part does not fit.
    QString displayedText() const;

    // Lit segments (Palette.High, blue) and unlit ones (Palette.Low, the button face).
    QColor PaletteHigh() const { return m_high; }
    void setPaletteHigh(const QColor &color);
    QColor PaletteLow() const { return m_low; }
    void setPaletteLow(const QColor &color);


private:
    void refresh();

    double m_value = 0;
    int m_digits = 4;
    int m_decimals = 3;
    bool m_leadingZero = true;
    QColor m_high = Qt::blue;
    QColor m_low;
};
