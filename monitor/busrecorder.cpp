#include "monitor/busrecorder.h"

#include "bus/vacomm.h"

#include <QDateTime>

namespace monitor {

BusRecorder::BusRecorder(std::size_t capacity) : m_capacity(capacity ? capacity : 1) {}

void BusRecorder::setWallClock(qint64 monotonicUs, qint64 wallMs)
{
    m_monotonicBaseUs = monotonicUs;
    m_wallBaseMs = wallMs;
}

void BusRecorder::sent(qint64 us, const QByteArray &bytes, Protocol protocol)
{
    m_cutter.sent(us, bytes, protocol);
    collect();
}

void BusRecorder::received(qint64 us, const QByteArray &bytes)
{
    m_cutter.received(us, bytes);
    collect();
}

void BusRecorder::idle(qint64 us)
{
    m_cutter.idle(us);
    collect();
}

void BusRecorder::portClosed()
{
    m_cutter.finish();
    collect();
}

void BusRecorder::clear()
{
    m_cutter.clear();
    m_statistics.clear();
    m_pending.clear();
    m_unanswered.clear();
    m_dropped = 0;
}

std::vector<BusFrame> BusRecorder::takeFrames()
{
    std::vector<BusFrame> frames(std::make_move_iterator(m_pending.begin()), std::make_move_iterator(m_pending.end()));
    m_pending.clear();
    return frames;
}

std::vector<quint64> BusRecorder::takeUnanswered()
{
    std::vector<quint64> seqs;
    seqs.swap(m_unanswered);
    return seqs;
}

void BusRecorder::collect()
{
    for (BusFrame &frame : m_cutter.takeFrames()) {
        const qint64 sinceBaseUs = frame.startUs - m_monotonicBaseUs;
        // Rounded down, also for a first byte estimated before the clock's base.
        frame.wallMs = m_wallBaseMs + (sinceBaseUs >= 0 ? sinceBaseUs / 1000 : -((999 - sinceBaseUs) / 1000));
        m_statistics.add(frame);
        m_pending.push_back(std::move(frame));
        if (m_pending.size() > m_capacity) {
            m_pending.pop_front();
            ++m_dropped;
        }
    }
    for (const FrameCutter::Unanswered &u : m_cutter.takeUnanswered()) {
        m_statistics.addLost(u.address);
        // Mostly the request still waits among the frames not yet taken.
        bool pending = false;
        for (auto it = m_pending.rbegin(); it != m_pending.rend() && it->seq >= u.seq; ++it) {
            if (it->seq == u.seq) {
                it->problem = Problem::NoAnswer;
                pending = true;
                break;
            }
        }
        if (!pending)
            m_unanswered.push_back(u.seq);
    }
}

BusTap::BusTap(TVaComm &port, BusRecorder &recorder, QObject *parent)
    : QObject(parent), m_port(port), m_recorder(recorder)
{
    m_clock.start();
    m_recorder.setWallClock(0, QDateTime::currentMSecsSinceEpoch());
    m_recorder.setLine(m_port.lineSettings());
    connect(&m_port, &TVaComm::OnTxBuf, this, [this](const QByteArray &bytes) {
        const qint64 now = nowUs();
        m_recorder.setLine(m_port.lineSettings()); // a baud rate change takes effect at once
        m_recorder.sent(now, bytes, protocol ? protocol() : Protocol::Modbus);
    });
    connect(&m_port, &TVaComm::OnRxBuf, this, [this](const QByteArray &bytes) {
        const qint64 now = nowUs();
        m_recorder.setLine(m_port.lineSettings());
        m_recorder.received(now, bytes);
    });
    connect(&m_port, &TVaComm::OnOpen, this, [this] { m_recorder.setLine(m_port.lineSettings()); });
    connect(&m_port, &TVaComm::OnClose, this, [this] { m_recorder.portClosed(); });
}

qint64 BusTap::nowUs() const
{
    return m_clock.nsecsElapsed() / 1000;
}

} // namespace monitor
