#pragma once

#include <QMetaObject>

#include <functional>

class QTimer;

// What drives a search or a communication test: one call of onTick per interval
// while started. The program uses a QTimer; tests step a manual one, so a tick
// runs exactly when the test says and no timing assumption enters a result.
class TickTimer
{
public:
    virtual ~TickTimer() = default;
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    virtual int interval() const = 0;

    std::function<void()> onTick;
};

// A TickTimer over one of a window's own timers (Timer1, TimerTest), so the
// component keeps its design name and role.
class QtTickTimer final : public TickTimer
{
public:
    explicit QtTickTimer(QTimer &timer);
    ~QtTickTimer() override;
    QtTickTimer(const QtTickTimer &) = delete;
    QtTickTimer &operator=(const QtTickTimer &) = delete;
    void start(int intervalMs) override;
    void stop() override;
    bool isActive() const override;
    int interval() const override;

private:
    QTimer &m_timer;
    QMetaObject::Connection m_connection;
};

// Ticks only when told to.
class ManualTickTimer final : public TickTimer
{
public:
    void start(int intervalMs) override
    {
        m_interval = intervalMs;
        m_active = true;
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }
    int interval() const override { return m_interval; }

    // One tick, if started; returns whether it ran.
    bool fire()
    {
        if (!m_active || !onTick)
            return false;
        onTick();
        return true;
    }

private:
    bool m_active = false;
    int m_interval = 0;
};
