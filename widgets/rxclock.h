#pragma once

#include <QLabel>

// The PC's local time with seconds and leading zeros, refreshed every 450 ms.
class TRxClock : public QLabel
{
    Q_OBJECT
public:
    explicit TRxClock(QWidget *parent = nullptr);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void refresh();
};
