#include "bus/ticktimer.h"

#include <QTimer>

QtTickTimer::QtTickTimer(QTimer &timer) : m_timer(timer)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_connection = QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (onTick)
            onTick();
    });
}

QtTickTimer::~QtTickTimer()
{
    QObject::disconnect(m_connection);
}

void QtTickTimer::start(int intervalMs)
{
    m_timer.start(intervalMs);
}

void QtTickTimer::stop()
{
    m_timer.stop();
}

bool QtTickTimer::isActive() const
{
    return m_timer.isActive();
}

int QtTickTimer::interval() const
{
    return m_timer.interval();
}
