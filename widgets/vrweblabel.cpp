#include "widgets/vrweblabel.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMouseEvent>

TVrWebLabel::TVrWebLabel(QWidget *parent)
    : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
    setAutoFillBackground(false);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::blue);
    setPalette(pal);
    applyFont(false);
}

QUrl TVrWebLabel::resolveUrl(const QString &url)
{
    const QString text = url.trimmed();
    if (text.isEmpty())
        return {};
    const QUrl parsed(text, QUrl::StrictMode);
    // One letter before ":" is a drive ("C:\..."), not a scheme.
    if (parsed.isValid() && parsed.scheme().size() > 1)
        return parsed;
    return QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
}

void TVrWebLabel::enterEvent(QEnterEvent *event)
{
    applyFont(true);
    QLabel::enterEvent(event);
}

void TVrWebLabel::leaveEvent(QEvent *event)
{
    applyFont(false);
    QLabel::leaveEvent(event);
}

void TVrWebLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
        return;
    emit clicked();
    const QUrl target = resolveUrl(m_url.isEmpty() ? text() : m_url);
    if (target.isValid())
        QDesktopServices::openUrl(target); // a failure to open is not the user's concern here
}

void TVrWebLabel::applyFont(bool hovered)
{
    QFont f = font();
    f.setFamily(QStringLiteral("Arial"));
    f.setUnderline(true);
    f.setBold(hovered);
    setFont(f);
}
