#include "app/picturebutton.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

TPictureButton::TPictureButton(const QString &caption, const QIcon &picture, QWidget *parent)
    : QPushButton(caption, parent)
{
    setIcon(picture);
    setIconSize(QSize(64, 64));
    setAutoDefault(false);
}

QSize TPictureButton::sizeHint() const
{
    return QSize(200, iconSize().height() + 3 * fontMetrics().height() + 16);
}

QSize TPictureButton::minimumSizeHint() const
{
    return QSize(120, iconSize().height() + 2 * fontMetrics().height() + 12);
}

void TPictureButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    const QRect inner = rect().adjusted(6, 6, -6, -6);
    const int textHeight = 2 * fontMetrics().height() + 2;
    const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
    QRect pictureArea(inner.left(), inner.top(), inner.width(), inner.height() - textHeight);
    const QSize pictureSize = iconSize().boundedTo(pictureArea.size());
    const QRect pictureRect = QStyle::alignedRect(layoutDirection(), Qt::AlignCenter, pictureSize, pictureArea);
    icon().paint(&painter, pictureRect, Qt::AlignCenter, mode);

    const QRect textRect(inner.left(), inner.bottom() - textHeight, inner.width(), textHeight);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    // Break lines only between words: "KRV-A" must not split at its hyphen.
    QString shown = text();
    shown.replace(QLatin1Char('-'), QChar(0x2011));
    painter.drawText(textRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, shown);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(4, 4, -4, -4);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}
