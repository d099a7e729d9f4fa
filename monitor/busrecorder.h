#pragma once

#include "monitor/framecutter.h"
#include "monitor/framelog.h"
#include "monitor/linkstatistics.h"

#include <QObject>
#include <QElapsedTimer>

#include <deque>
#include <functional>
#include <vector>

class TVaComm;

namespace monitor {

// The recording behind the monitor window: frames cut out of the port's traffic,
// the statistics of every frame, and the frames not yet taken by the view (kept
// while the view is paused, at most `capacity` of them, the oldest dropped first).
class BusRecorder
{
public:
    explicit BusRecorder(std::size_t capacity = FrameLog::DefaultCapacity);

    // Where the monotonic clock stands against the wall clock, for the times shown.
    void setWallClock(qint64 monotonicUs, qint64 wallMs);
    void setLine(const LineSettings &line) { m_cutter.setLine(line); }

    void sent(qint64 us, const QByteArray &bytes, Protocol protocol);
    void received(qint64 us, const QByteArray &bytes);
    void idle(qint64 us);
    void portClosed();
    // Forgets the frames and the statistics.
    void clear();

    const LinkStatistics &statistics() const { return m_statistics; }
    // Frames completed and not yet taken, oldest first.
    std::vector<BusFrame> takeFrames();
    // Frames already taken that have turned out to be unanswered requests.
    std::vector<quint64> takeUnanswered();
    // Frames dropped because nobody took them in time.
    quint64 dropped() const { return m_dropped; }

private:
    void collect();

    std::size_t m_capacity;
    FrameCutter m_cutter;
    LinkStatistics m_statistics;
    std::deque<BusFrame> m_pending;
    std::vector<quint64> m_unanswered;
    quint64 m_dropped = 0;
    qint64 m_monotonicBaseUs = 0;
    qint64 m_wallBaseMs = 0;
};

// Feeds a recorder with what a port sends and receives, timed on a monotonic
// clock as the port's signals come. It only listens: the bytes, their order and
// their timing on the line stay exactly as they were.
class BusTap : public QObject
{
    Q_OBJECT
public:
    BusTap(TVaComm &port, BusRecorder &recorder, QObject *parent = nullptr);

    // How the requests are read, asked at each request; Modbus when not set.
    std::function<Protocol()> protocol;
    qint64 nowUs() const;

private:
    TVaComm &m_port;
    BusRecorder &m_recorder;
    QElapsedTimer m_clock;
};

} // namespace monitor
