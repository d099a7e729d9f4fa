#include "app/devicesearch.h"

#include "bus/requestlayer.h"
#include "bus/ticktimer.h"
#include "bus/vacomm.h"

#include <algorithm>

QString DeviceSearch::statusText(Status status)
{
    switch (status) {
    case Status::NoAnswer: return QStringLiteral("не отвечает");
    case Status::CrcError: return QStringLiteral("ошибка CRC");
    case Status::Found: return QStringLiteral("включено");
    }
    return {};
}

DeviceSearch::DeviceSearch(TVaComm &port, RequestLayer &frames, TickTimer &timer)
    : m_port(port), m_frames(frames), m_timer(timer)
{
    m_timer.onTick = [this] { tick(); }; // a window replaces this with its own edge
}

void DeviceSearch::prepare(int tag, int intervalMs, int lastAddressNow)
{
    DeviceKind = 0;
    ProbeRepeat = 0;
    m_interval = intervalMs;
    m_end = lastAddressNow + 1;
    DeviceKind = tag;
    m_found = DeviceWindowKind::None;
}

void DeviceSearch::arm(int firstAddress)
{
    moveCursor(firstAddress);
    m_timer.start(m_interval);
}

void DeviceSearch::stop()
{
    m_timer.stop();
}

bool DeviceSearch::isRunning() const
{
    return m_timer.isActive();
}

void DeviceSearch::moveCursor(int address)
{
    // The cursor lives in a progress bar on the window, which keeps it within its range.
    m_current = std::min(address, m_end);
    emit cursorMoved(m_current);
}

DeviceSearch::Outcome DeviceSearch::tick()
{
    if (m_current > (lastAddress ? lastAddress() : m_end - 1)) {
        stop();
        return Outcome::Exhausted;
    }
    // What the device has received is taken in first. Should that find the port
    // lost, the port's own close has ended the search already.
    m_port.PollInput();
    if (!m_port.Active())
        return Outcome::Continue;
    if (m_frames.RxCount > 3)
        return judge();
    probe();
    return Outcome::Continue;
}

namespace {
// The longest Modbus RTU frame. More bytes than that since the last judgement
// are noise or several answers run together, whatever their last two bytes say:
// a burst of noise must never open a device window by a chance CRC match.
constexpr int LongestFrame = 256;
} // namespace

DeviceSearch::Outcome DeviceSearch::judge()
{
    if (m_frames.RxCount <= LongestFrame && m_frames.CheckResponseCrc()) {
        ProbeRepeat = 3;
        emit judged(Status::Found);
        const DeviceWindowKind kind = AcceptedWindow(DeviceKind, m_frames.RxFrame, m_frames.RxCount);
        if (kind != DeviceWindowKind::None) {
            // The answer stays in RxFrame: the device window reads its identification there.
            stop();
            m_found = kind;
            return Outcome::Found;
        }
    } else {
        emit judged(Status::CrcError);
    }
    m_port.PurgeRead();
    m_frames.ResetRx();
    return Outcome::Continue;
}

void DeviceSearch::probe()
{
    emit probed(m_current);
    // Bytes already received stay in front of the coming answer.
    FrameProbe(m_frames, DeviceKind, static_cast<std::uint8_t>(m_current));
    m_port.WriteBuf(m_frames.TxFrame, m_frames.TxCount);
    if (ProbeRepeat < 3) {
        ++ProbeRepeat;
    } else {
        ProbeRepeat = 0;
        moveCursor(m_current + 1);
    }
}
