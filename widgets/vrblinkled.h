#pragma once

#include <QColor>
#include <QWidget>

class QPainter;

#include <array>
#include <cstdint>
#include <stdexcept>

// Raised for an LED colour index outside 1..4.
class ERangeError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A lamp with a caption. Colour set 1 is the window's face colour (off), set 2
// red (or lime), sets 3 and 4 black/yellow and black/lime.
class TVrBlinkLed : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int ColorIndex READ ColorIndex WRITE setColorIndex)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
public:
    enum LedType { ltRounded, ltRectangle };
    enum LayoutKind { ImageLeft, ImageTop };
    struct ColorPair
    {
        QColor Low;
        QColor High;
    };

    explicit TVrBlinkLed(QWidget *parent = nullptr);
    TVrBlinkLed(const QString &caption, QWidget *parent = nullptr);

    QString Caption() const { return m_caption; }
    void setCaption(const QString &caption);
    int ColorIndex() const { return m_colorIndex; }
    // ERangeError "Out of range! ColorIndex=[1..4]" outside 1..4; the lamp keeps its colour.
    void setColorIndex(int index);
    ColorPair Palette(int index) const; // 1..4
    void setPalette(int index, const ColorPair &pair);
    bool Active() const { return m_active; }
    void setActive(bool active);
    bool EnableBlinking() const { return m_blinking; }
    void setEnableBlinking(bool enable);
    int BlinkSpeed() const { return m_blinkSpeed; }
    void setBlinkSpeed(int ms);
    LedType BlinkLedType() const { return m_type; }
    void setBlinkLedType(LedType type);
    LayoutKind Layout() const { return m_layout; }
    void setLayout(LayoutKind layout);
    int Margin() const { return m_margin; }
    void setMargin(int margin);
    int Spacing() const { return m_spacing; }
    void setSpacing(int spacing);

    // The colour the lamp shows now: High of the set while not Active, Low while Active.
    QColor lampColor() const;

    // Where the lamp and the caption go in the current size and layout.
    QRect lampRect() const;
    QRect captionRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    QSize lampSize() const;
    QSize captionSize() const;
    QSize contentSize() const;
    void paintLamp(QPainter &painter, const QRectF &rect) const;

    QString m_caption;
    int m_colorIndex = 1;
    std::array<ColorPair, 4> m_palettes;
    bool m_active = false;
    bool m_blinking = false;
    int m_blinkSpeed = 500;
    int m_blinkTimer = 0;
    LedType m_type = ltRounded;
    LayoutKind m_layout = ImageLeft;
    int m_margin = 0;
    int m_spacing = 3;
};

