#pragma once

#include "devices/devicekinds.h"

#include <QObject>
#include <QString>

#include <functional>

class RequestLayer;
class TickTimer;
class TVaComm;

// The address search of the main window, without the window: one step per tick
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

    DeviceSearch(TVaComm &port, RequestLayer &frames, TickTimer &timer);

    // The last address, read afresh at every step (the editor may change meanwhile).
    std::function<int()> lastAddress;

    // At the button click, before the port opens: the kind, the step interval and
    // the end of the range (the cursor never passes lastAddress + 1 as it is now).
    void prepare(int tag, int intervalMs, int lastAddressNow);
    // Once the port has opened: the cursor to the first address, the ticks on.
    void arm(int firstAddress);
    void stop();
    bool isRunning() const;
    // One step. Found: the window of foundWindow() is to open for the address last
    // probed; the answer stays in RxFrame for it. Exhausted: the cursor passed the last address.
    Outcome tick();
    DeviceWindowKind foundWindow() const { return m_found; }

    int DeviceKind = 0;  // tag of the button that started the search, 0 before any
    int ProbeRepeat = 0; // probes sent to the current address so far, 0..3
    int currentAddress() const { return m_current; }
    int endAddress() const { return m_end; } // last address + 1 at the start

signals:
    void cursorMoved(int address);
    // A probe went to `address`: the displayed address, status "не отвечает".
    void probed(int address);
    void judged(DeviceSearch::Status status);

private:
    Outcome judge();
    void probe();
    void moveCursor(int address);

    TVaComm &m_port;
    RequestLayer &m_frames;
    TickTimer &m_timer;
    int m_interval = 300;
    DeviceWindowKind m_found = DeviceWindowKind::None;
    int m_current = 1;
    int m_end = 248;
};
