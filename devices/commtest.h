#pragma once

#include "devices/testjournal.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class RequestLayer;
class TickTimer;
class TVaComm;

// The communication test of a device window, without the window: one request per
// sending tick, its answer judged on a later tick, counters and journal lines.
// Each tick does exactly one of three things: stop once `sent` has passed the
// count; send a request when no answer has come in (3 bytes or fewer); otherwise
// judge what came in. A request whose answer has not arrived by the next tick is
// followed by the next request and counts as lost. Only one answer is judged per
// request: bytes that arrive when no request is waiting for its answer (before
// the first request, or after the answer was judged) are dropped unjudged, so
// accepted + errors never exceeds sent.
class CommTest : public QObject
{
    Q_OBJECT
public:
    // What a device adds to the test: its request, its acceptance rule, its decoder.
    class Device
    {
    public:
        virtual ~Device() = default;
        virtual void frameRequest(RequestLayer &frames, std::uint8_t address) = 0;
        // An answer of 4 bytes or more passes when its CRC is correct.
        virtual bool accepts(const RequestLayer &frames) const;
        // An accepted answer.
        virtual void decode(const RequestLayer &frames) = 0;
        // After every judged answer, accepted or not (a cycle of requests moves on here).
        virtual void judged(bool accepted) { Q_UNUSED(accepted); }
    };

    enum class Stop {
        CountReached, // the count was passed: the window stops as if Stop had been pressed
        PortLost,     // the port closed under the test
        Failed,       // a lasting port fault (a full output buffer, a failing purge): lastError()
    };

    // Corrupted exchanges journalled before the journal only counts them.
    static constexpr int JournalledErrorLimit = 500;

    CommTest(TVaComm &port, RequestLayer &frames, TickTimer &timer, TestCounters &counters, Device &device);

    // Read afresh at every tick: the count editor and the address the window shows.
    std::function<int()> count;
    std::function<std::uint8_t()> address;

    // Counters, buffers and the judging state back to the start of a test.
    void reset();
    // Starts the ticks; `reset` first unless a window counted something of its own.
    void run(int intervalMs);
    void stop();
    bool isRunning() const;
    void tick();
    // The text of the fault a Failed stop was for.
    QString lastError() const { return m_lastError; }

    const TestCounters &counters() const { return m_counters; }

signals:
    // Before each request: the number of requests sent so far (the progress bar).
    void progress(int sent);
    void journal(const QString &line);
    // The ticks have stopped by themselves.
    void finished(CommTest::Stop why);

private:
    void step();
    void send();
    void judge();
    void dropUnasked();
    void journalError();

    TVaComm &m_port;
    RequestLayer &m_frames;
    TickTimer &m_timer;
    TestCounters &m_counters;
    Device &m_device;
    bool m_awaiting = false; // a request is out whose answer has not been judged
    QString m_lastError;
    int m_journalled = 0;
};
