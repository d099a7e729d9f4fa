#include "devices/commtest.h"

#include "bus/requestlayer.h"
#include "bus/ticktimer.h"
#include "bus/vacomm.h"

#include <exception>

bool CommTest::Device::accepts(const RequestLayer &frames) const
{
    return frames.CheckResponseCrc();
}

CommTest::CommTest(TVaComm &port, RequestLayer &frames, TickTimer &timer, TestCounters &counters, Device &device)
    : m_port(port), m_frames(frames), m_timer(timer), m_counters(counters), m_device(device)
{
    m_timer.onTick = [this] { tick(); };
}

void CommTest::reset()
{
    m_frames.ResetRx();
    m_frames.ResetTx();
    m_counters.sent = m_counters.accepted = m_counters.errors = 0;
    m_awaiting = false;
    m_journalled = 0;
}

void CommTest::run(int intervalMs)
{
    m_timer.start(intervalMs);
}

void CommTest::stop()
{
    m_timer.stop();
}

bool CommTest::isRunning() const
{
    return m_timer.isActive();
}

void CommTest::tick()
{
    // A lasting fault stops the test once instead of at every tick.
    try {
        step();
    } catch (const std::exception &e) {
        stop();
        m_lastError = QString::fromUtf8(e.what());
        emit finished(Stop::Failed);
    }
}

void CommTest::step()
{
    // What the device has received is taken in first; that may find the port lost.
    m_port.PollInput();
    if (!m_port.Active()) {
        stop();
        emit finished(Stop::PortLost);
        return;
    }
    if (m_counters.sent > (count ? count() : 0)) {
        stop();
        emit finished(Stop::CountReached);
        return;
    }
    if (m_frames.RxCount > 3) {
        if (m_awaiting) {
            judge();
            return;
        }
        dropUnasked();
    }
    send();
}

void CommTest::send()
{
    m_port.PurgeWrite();
    emit progress(m_counters.sent);
    ++m_counters.sent;
    m_device.frameRequest(m_frames, address ? address() : 0);
    m_awaiting = true;
    m_port.WriteBuf(m_frames.TxFrame, m_frames.TxCount);
}

void CommTest::judge()
{
    m_awaiting = false;
    const bool accepted = m_device.accepts(m_frames);
    if (accepted) {
        ++m_counters.accepted;
        m_device.decode(m_frames);
    } else {
        ++m_counters.errors;
        journalError();
    }
    m_device.judged(accepted);
    m_port.PurgeRead();
    m_frames.ResetRx();
}

void CommTest::dropUnasked()
{
    m_port.PurgeRead();
    m_frames.ResetRx();
}

void CommTest::journalError()
{
    if (m_journalled > JournalledErrorLimit)
        return;
    if (m_journalled++ == JournalledErrorLimit) {
        emit journal(QStringLiteral("... дальнейшие ошибочные ответы не записываются в журнал, только считаются"));
        return;
    }
    emit journal(JournalHexLine(QStringLiteral("->"), m_frames.TxFrame, m_frames.TxCount));
    emit journal(JournalHexLine(QStringLiteral("<-"), m_frames.RxFrame, m_frames.RxCount));
}
