#include "widgets/placement.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

void CentreOnScreen(QWidget &window, const QWidget *reference)
{
    const QScreen *screen = reference ? reference->screen() : window.screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize frame = window.frameGeometry().size();
    QPoint topLeft = area.center() - QPoint(frame.width() / 2, frame.height() / 2);
    topLeft.setX(std::max(topLeft.x(), area.left()));
    topLeft.setY(std::max(topLeft.y(), area.top()));
    window.move(topLeft);
}
