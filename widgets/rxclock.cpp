#include "widgets/rxclock.h"

#include <QTime>
#include <QTimerEvent>

TRxClock::TRxClock(QWidget *parent)
    : QLabel(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setAlignment(Qt::AlignCenter);
    QFont f = font();
    f.setBold(true);
    setFont(f);
    refresh();
    // Under a second, so no second is ever skipped on screen.
    startTimer(450);
}

void TRxClock::timerEvent(QTimerEvent *)
{
    refresh();
}

void TRxClock::refresh()
{
    const QString now = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    if (now != text())
        setText(now);
}
