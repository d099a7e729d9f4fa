#include "scan/devicesearch.h"

#include "bus/buschannel.h"
#include "bus/requestlayer.h"
#include "bus/ticktimer.h"
#include "bus/vacomm.h"

#include <algorithm>
#include <exception>

QString DeviceSearch::statusText(Status status)
{
    switch (status) {
    case Status::NoAnswer: return QStringLiteral("не отвечает");
    case Status::CrcError: return QStringLiteral("ошибка CRC");
    case Status::Found: return QStringLiteral("включено");
    }
    return {};
}

DeviceSearch::DeviceSearch(BusChannel &channel, TickTimer &timer) : m_channel(channel), m_timer(timer)
{
    qRegisterMetaType<DeviceSearch::Result>();
    m_timer.onTick = [this] { tick(); };
    connect(&m_channel.port(), &TVaComm::OnClose, this, &DeviceSearch::onPortClosed);
}

void DeviceSearch::start(const Plan &plan)
{
    DeviceKind = 0;
    ProbeRepeat = 0;
    m_plan = plan;
    m_end = plan.last + 1;
    DeviceKind = plan.tag;
    m_lastProbed = 0;
    if (const ::DeviceKind *kind = FindDeviceKind(plan.tag))
        m_channel.setProtocol(kind->protocol);
    m_channel.open(plan.port, plan.line);
    m_running = true;
    moveCursor(plan.first);
    m_timer.start(plan.intervalMs);
}

void DeviceSearch::stop()
{
    if (m_running)
        finish({Result::End::Stopped, {}, {}});
}

bool DeviceSearch::isRunning() const
{
    return m_running;
}

void DeviceSearch::finish(Result result)
{
    m_timer.stop();
    m_running = false;
    emit finished(result);
}

void DeviceSearch::onPortClosed()
{
    stop();
}

void DeviceSearch::moveCursor(int address)
{
    // The cursor never passes the end set at the start, whatever the editor says later.
    m_current = std::min(address, m_end);
    emit cursorMoved(m_current);
}

DeviceSearch::Outcome DeviceSearch::tick()
{
    if (!m_running)
        return Outcome::Continue;
    try {
        if (m_current > (lastAddress ? lastAddress() : m_plan.last)) {
            m_timer.stop();
            m_running = false;
            m_channel.close();
            emit finished({Result::End::Exhausted, {}, {}});
            return Outcome::Exhausted;
        }
        // What the device has received is taken in first. Should that find the port
        // lost, its close has ended the search already.
        m_channel.port().PollInput();
        if (!m_running)
            return Outcome::Continue;
        if (m_channel.frames().RxCount > 3)
            return judge();
        probe();
    } catch (const std::exception &e) {
        // A lasting fault (a full output buffer, a failing purge) ends the search
        // once instead of at every tick.
        m_timer.stop();
        m_running = false;
        m_channel.close();
        emit finished({Result::End::Failed, {}, QString::fromUtf8(e.what())});
    }
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
    RequestLayer &frames = m_channel.frames();
    if (frames.RxCount <= LongestFrame && frames.CheckResponseCrc()) {
        ProbeRepeat = 3;
        emit judged(Status::Found);
        const DeviceWindowKind kind = AcceptedWindow(DeviceKind, frames.RxFrame, frames.RxCount);
        if (kind != DeviceWindowKind::None) {
            // The answer stays in RxFrame: the device window reads its identification there.
            FoundDevice found;
            found.kind = kind;
            found.address = m_lastProbed;
            found.port = m_plan.port;
            found.line = m_plan.line;
            found.answer = frames.rxBytes();
            finish({Result::End::Found, found, {}});
            return Outcome::Found;
        }
    } else {
        emit judged(Status::CrcError);
    }
    m_channel.port().PurgeRead();
    frames.ResetRx();
    return Outcome::Continue;
}

void DeviceSearch::probe()
{
    m_lastProbed = m_current;
    emit probed(m_current);
    // Bytes already received stay in front of the coming answer.
    RequestLayer &frames = m_channel.frames();
    FrameProbe(frames, DeviceKind, static_cast<std::uint8_t>(m_current));
    m_channel.port().WriteBuf(frames.TxFrame, frames.TxCount);
    if (ProbeRepeat < 3) {
        ++ProbeRepeat;
    } else {
        ProbeRepeat = 0;
        moveCursor(m_current + 1);
    }
}
