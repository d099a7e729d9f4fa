#pragma once

#include "bus/buslink.h"
#include "devices/founddevice.h"

#include <QObject>
#include <QString>

#include <functional>

class BusChannel;
class TickTimer;

// The address search for one kind of device, without a window: one step per tick
// of its timer. A step either sends a probe or judges what arrived since the last
// judgement; every address gets four probes (ProbeRepeat counts them), and the
// first answer that passes the acceptance test of the kind ends the search.
class DeviceSearch : public QObject
{
    Q_OBJECT
public:
    enum class Status { NoAnswer, CrcError, Found };
    // What a step ended with. On Found and Exhausted the ticks are already off.
    enum class Outcome { Continue, Found, Exhausted };
    // "не отвечает", "ошибка CRC", "включено"
    static QString statusText(Status status);

    struct Plan
    {
        int tag = 0; // of the device button
        int port = 1;
        LineSettings line;
        int first = 1, last = 1;
        int intervalMs = 300; // one step per interval
    };
    struct Result
    {
        enum class End {
            Found,     // the channel stays open for the device window
            Exhausted, // the cursor passed the last address; the channel is closed
            Stopped,   // the channel was closed under the search (Ctrl+C, a lost adapter)
            Failed,    // a lasting port fault; `error` says which, the channel is closed
        };
        End end = End::Stopped;
        FoundDevice found; // of Found
        QString error;     // of Failed
    };

    DeviceSearch(BusChannel &channel, TickTimer &timer);

    // The last address, read afresh at every step (the editor may change meanwhile);
    // the plan's last address when not set.
    std::function<int()> lastAddress;

    // Sets the line, opens the channel and arms the ticks, the first step one
    // interval later. EVaCommError when the port cannot be opened: nothing starts.
    void start(const Plan &plan);
    // Ends a running search as Stopped; the channel is left as it is.
    void stop();
    bool isRunning() const;
    // One step.
    Outcome tick();

    int DeviceKind = 0;  // tag of the button that started the search, 0 before any
    int ProbeRepeat = 0; // probes sent to the current address so far, 0..3
    int currentAddress() const { return m_current; }
    int endAddress() const { return m_end; } // last address + 1 at the start

signals:
    void cursorMoved(int address);
    // A probe went to `address`: the displayed address, status "не отвечает".
    void probed(int address);
    void judged(DeviceSearch::Status status);
    // How a started search ended; raised once per start.
    void finished(const DeviceSearch::Result &result);

private:
    Outcome judge();
    void probe();
    void moveCursor(int address);
    void finish(Result result);
    void onPortClosed();

    BusChannel &m_channel;
    TickTimer &m_timer;
    Plan m_plan;
    bool m_running = false; // started and not yet finished
    int m_current = 1;
    int m_end = 248;
    int m_lastProbed = 0;
};

Q_DECLARE_METATYPE(DeviceSearch::Result)
