#include "widgets/vrblinkled.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTimerEvent>

TVrBlinkLed::TVrBlinkLed(QWidget *parent)
    : TVrBlinkLed(QString(), parent)
{
}

TVrBlinkLed::TVrBlinkLed(const QString &caption, QWidget *parent)
    : QWidget(parent)
    , m_caption(caption)
{
    const QColor face = palette().color(QPalette::Button);
    m_palettes = {{
        {face, face},
        {face, QColor(Qt::red)},
        {QColor(Qt::black), QColor(Qt::yellow)},
        {QColor(Qt::black), QColor(0x00, 0xFF, 0x00)},
    }};
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void TVrBlinkLed::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    updateGeometry();
    update();
}

void TVrBlinkLed::setColorIndex(int index)
{
    if (index < 1 || index > 4)
        throw ERangeError("Out of range! ColorIndex=[1..4]");
    if (index == m_colorIndex)
        return;
    m_colorIndex = index;
    update();
}

TVrBlinkLed::ColorPair TVrBlinkLed::Palette(int index) const
{
    if (index < 1 || index > 4)
        return {};
    return m_palettes[static_cast<size_t>(index - 1)];
}

void TVrBlinkLed::setPalette(int index, const ColorPair &pair)
{
    if (index < 1 || index > 4)
        return;
    m_palettes[static_cast<size_t>(index - 1)] = pair;
    update();
}

void TVrBlinkLed::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    update();
}

void TVrBlinkLed::setEnableBlinking(bool enable)
{
    if (enable == m_blinking)
        return;
    m_blinking = enable;
    if (m_blinkTimer) {
        killTimer(m_blinkTimer);
        m_blinkTimer = 0;
    }
    if (m_blinking)
        m_blinkTimer = startTimer(qMax(1, m_blinkSpeed));
}

void TVrBlinkLed::setBlinkSpeed(int ms)
{
    m_blinkSpeed = ms;
    if (m_blinkTimer) {
        killTimer(m_blinkTimer);
        m_blinkTimer = startTimer(qMax(1, m_blinkSpeed));
    }
}

void TVrBlinkLed::setBlinkLedType(LedType type)
{
    m_type = type;
    updateGeometry();
    update();
}

void TVrBlinkLed::setLayout(LayoutKind layout)
{
    m_layout = layout;
    updateGeometry();
    update();
}

void TVrBlinkLed::setMargin(int margin)
{
    m_margin = qMax(0, margin);
    updateGeometry();
    update();
}

void TVrBlinkLed::setSpacing(int spacing)
{
    m_spacing = qMax(0, spacing);
    updateGeometry();
    update();
}

QColor TVrBlinkLed::lampColor() const
{
    const ColorPair &pair = m_palettes[static_cast<size_t>(m_colorIndex - 1)];
    return m_active ? pair.Low : pair.High;
}

QSize TVrBlinkLed::lampSize() const
{
    // Follows the font so the lamp sits well beside its caption at any size.
    const int d = qMax(9, fontMetrics().height() - 1);
    if (m_type == ltRectangle)
        return {d * 3 / 2, d - 2};
    return {d, d};
}

QSize TVrBlinkLed::captionSize() const
{
    if (m_caption.isEmpty())
        return {0, 0};
    const QFontMetrics fm = fontMetrics();
    return {fm.horizontalAdvance(m_caption), fm.height()};
}

QSize TVrBlinkLed::contentSize() const
{
    const QSize lamp = lampSize();
    const QSize caption = captionSize();
    const int gap = caption.isEmpty() ? 0 : m_spacing;
    if (m_layout == ImageTop)
        return {qMax(lamp.width(), caption.width()), lamp.height() + gap + caption.height()};
    return {lamp.width() + gap + caption.width(), qMax(lamp.height(), caption.height())};
}

QRect TVrBlinkLed::lampRect() const
{
    const QSize lamp = lampSize();
    const QSize content = contentSize();
    if (m_layout == ImageTop) {
        const int top = qMax(m_margin, (height() - content.height()) / 2);
        return {(width() - lamp.width()) / 2, top, lamp.width(), lamp.height()};
    }
    return {m_margin, (height() - lamp.height()) / 2, lamp.width(), lamp.height()};
}

QRect TVrBlinkLed::captionRect() const
{
    const QSize caption = captionSize();
    const QRect lamp = lampRect();
    if (m_layout == ImageTop)
        return {0, lamp.bottom() + 1 + m_spacing, width(), caption.height()};
    const int left = lamp.right() + 1 + m_spacing;
    return {left, (height() - caption.height()) / 2, qMax(0, width() - left), caption.height()};
}

QSize TVrBlinkLed::sizeHint() const
{
    return contentSize() + QSize(2 * m_margin, 2 * m_margin);
}

QSize TVrBlinkLed::minimumSizeHint() const
{
    return sizeHint();
}

void TVrBlinkLed::paintLamp(QPainter &painter, const QRectF &rect) const
{
    const QColor color = lampColor();
    const QPalette &pal = palette();

    // A sunken socket: dark above-left, light below-right.
    QLinearGradient socket(rect.topLeft(), rect.bottomRight());
    socket.setColorAt(0, pal.color(QPalette::Dark));
    socket.setColorAt(1, pal.color(QPalette::Light));
    const QRectF body = rect.adjusted(1, 1, -1, -1);

    // The glass: lit from above-left, deeper towards the rim.
    QRadialGradient glass(body.left() + body.width() * 0.38, body.top() + body.height() * 0.35,
                          qMax(body.width(), body.height()) * 0.75);
    glass.setColorAt(0, color.lighter(135));
    glass.setColorAt(0.6, color);
    glass.setColorAt(1, color.darker(125));
    const QPen rim(color.darker(210), 1);

    QColor shine(Qt::white);
    shine.setAlpha(150);

    if (m_type == ltRounded) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(socket);
        painter.drawEllipse(rect);
        painter.setPen(rim);
        painter.setBrush(glass);
        painter.drawEllipse(body.adjusted(0.5, 0.5, -0.5, -0.5));
        const QRectF spot(body.left() + body.width() * 0.22, body.top() + body.height() * 0.14,
                          body.width() * 0.38, body.height() * 0.30);
        QRadialGradient spotFill(spot.center(), spot.width() * 0.6);
        spotFill.setColorAt(0, shine);
        shine.setAlpha(0);
        spotFill.setColorAt(1, shine);
        painter.setPen(Qt::NoPen);
        painter.setBrush(spotFill);
        painter.drawEllipse(spot);
        return;
    }

    painter.setPen(Qt::NoPen);
    painter.setBrush(socket);
    painter.drawRoundedRect(rect, 2, 2);
    QLinearGradient face(body.topLeft(), body.bottomLeft());
    face.setColorAt(0, color.lighter(125));
    face.setColorAt(0.5, color);
    face.setColorAt(1, color.darker(115));
    painter.setPen(rim);
    painter.setBrush(face);
    painter.drawRoundedRect(body.adjusted(0.5, 0.5, -0.5, -0.5), 1.5, 1.5);
    shine.setAlpha(90);
    painter.setPen(Qt::NoPen);
    painter.setBrush(shine);
    painter.drawRoundedRect(QRectF(body.left() + 2, body.top() + 1.5, body.width() - 4, body.height() * 0.35), 1,
                            1);
}

void TVrBlinkLed::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paintLamp(painter, QRectF(lampRect()));
    if (m_caption.isEmpty())
        return;
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const Qt::Alignment align = m_layout == ImageTop ? Qt::AlignHCenter | Qt::AlignTop : Qt::AlignLeft | Qt::AlignVCenter;
    painter.drawText(captionRect(), int(align) | Qt::TextSingleLine, m_caption);
}

void TVrBlinkLed::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_blinkTimer) {
        QWidget::timerEvent(event);
        return;
    }
    setActive(!m_active);
}
