#include "scan/survey.h"

#include "bus/buschannel.h"
#include "bus/linkfactory.h"
#include "bus/requestlayer.h"
#include "bus/ticktimer.h"
#include "bus/vacomm.h"
#include "scan/surveyexchange.h"

#include <algorithm>
#include <stdexcept>

using survey::Reception;
using survey::Shape;

namespace {

// A port that is missing, busy or forbidden fails at every line alike; any
// other failure to open is the line refused (a pseudo-terminal takes no
// parity, some adapters no 128000 bit/s), and the next line may do.
bool isPortFailure(const EVaCommError &error)
{
    using F = EVaCommError::Failure;
    switch (error.failure()) {
    case F::NotFound:
    case F::PermissionDenied:
    case F::Busy:
    case F::NotSerial:
        return true;
    case F::Other:
    case F::Cancelled:
        break;
    }
    return false;
}

// A receive FIFO's worth of characters: what an adapter may hold back between
// two pieces of one answer.
constexpr int FifoCharacters = 16;

} // namespace

Survey::Survey(BusChannel &channel, TickTimer &timer)
    : m_channel(channel), m_timer(timer)
{
    qRegisterMetaType<SurveyHit>();
    qRegisterMetaType<Survey::Progress>();
    qRegisterMetaType<Survey::End>();
    m_steady.start();
    m_nowUs = [this] { return m_steady.nsecsElapsed() / 1000; };
    m_timer.onTick = [this] { tick(); };
    // After the channel's own connection, so RxFrame holds the bytes by then.
    connect(&m_channel.port(), &TVaComm::OnRxBuf, this, &Survey::onBytes);
    connect(&m_channel.port(), &TVaComm::OnClose, this, &Survey::onPortClosed);
}

Survey::~Survey()
{
    m_timer.onTick = nullptr;
    if (m_running) {
        m_timer.stop();
        m_running = false;
        m_ownClose = true;
        m_channel.close();
    }
}

void Survey::setClock(std::function<qint64()> nowUs)
{
    m_nowUs = std::move(nowUs);
}

void Survey::start(const Plan &plan)
{
    if (m_running)
        throw std::logic_error("the survey is running already");
    const QString problem = survey::planProblem(plan);
    if (!problem.isEmpty())
        throw std::invalid_argument(problem.toStdString());
    if (m_channel.isOpen() || m_channel.port().Opening())
        throw std::runtime_error(QStringLiteral("Порт уже открыт: идет поиск устройства или открыто окно "
                                                "устройства.\rЗавершите их и начните обзор снова.")
                                     .toStdString());
    m_plan = plan;
    m_plan.waitMs = std::clamp(plan.waitMs, 1, 10000);
    m_plan.repeats = std::clamp(plan.repeats, 0, 3);
    m_probeSet = std::make_unique<survey::ProbeSet>(m_plan);
    m_lines = survey::lineOrder(plan.rates, plan.parities);
    m_hits.clear();
    m_line = -1;
    m_phase = Phase::Idle;
    m_doneUs = 0;
    m_totalUs = 0;
    for (const LineSettings &line : m_lines)
        m_totalUs += m_probeSet->lineUs(line);

    m_running = true;
    bool opened = false;
    try {
        opened = openNextLine();
    } catch (...) {
        m_running = false;
        throw;
    }
    if (!opened) {
        // Stopped while the port connected: finished has been raised already.
        if (m_running)
            finish(End::How::Failed, QStringLiteral("Порт %1 не принял ни одной из выбранных скоростей и четностей.")
                                         .arg(m_channel.address()));
        return;
    }
    beginSlot();
}

void Survey::stop()
{
    if (m_running)
        finish(End::How::Stopped);
}

bool Survey::openNextLine()
{
    while (++m_line < m_lines.size()) {
        const LineSettings &line = m_lines.at(m_line);
        closeOwn();
        try {
            // A network port connects with the event loop running: a stop meanwhile cancels it.
            m_channel.open(m_plan.port, line);
        } catch (const EVaCommError &error) {
            if (error.failure() == EVaCommError::Failure::Cancelled || !m_running)
                return false;
            if (isPortFailure(error))
                throw;
            m_doneUs += m_probeSet->lineUs(line);
            emit lineRefused(line, QString::fromUtf8(error.what()));
            continue;
        }
        if (!m_running) { // stopped as the connection came up
            closeOwn();
            return false;
        }
        m_address = m_probeSet->has(false) ? 0 : m_plan.first;
        emit lineStarted(line);
        return m_running; // a handler may have stopped the survey
    }
    return false;
}

void Survey::closeOwn()
{
    m_ownClose = true;
    m_channel.close();
    m_ownClose = false;
}

const LineSettings &Survey::line() const
{
    return m_lines.at(m_line);
}

void Survey::beginSlot()
{
    m_probes = m_probeSet->at(m_address);
    m_probe = 0;
    m_silentRepeats = 0;
    m_retries = 0;
    m_slotFound = false;
    m_refused.reset();
    Progress progress;
    progress.line = line();
    progress.address = m_address;
    progress.fraction = m_totalUs > 0 ? std::min(1.0, m_doneUs / m_totalUs) : 1.0;
    progress.leftMs = std::max(0.0, m_totalUs - m_doneUs) / 1000;
    progress.found = int(m_hits.size());
    emit progressed(progress);
    if (m_running) // a handler may have stopped the survey
        send();
}

void Survey::send()
{
    const Probe &probe = m_probes.at(m_probe);
    m_channel.setProtocol(probe.kinds.first()->protocol);
    TVaComm &port = m_channel.port();
    try {
        // Whatever came late for the previous probe is not this one's answer.
        port.PurgeRead();
        m_channel.frames().ResetRx();
        m_phase = Phase::AwaitFirstByte;
        m_sentUs = m_nowUs();
        port.WriteBuf(reinterpret_cast<const std::uint8_t *>(probe.frame.constData()), int(probe.frame.size()));
    } catch (const std::exception &e) {
        fail(QString::fromUtf8(e.what()));
        return;
    }
    // A lost adapter has closed the channel under the write. The deadline counts
    // from the probe handed to the port, whatever the write itself took.
    if (m_running)
        m_timer.start(survey::timerMs(double(m_sentUs - m_nowUs()) + m_probeSet->silentUs(probe.frame, line())));
}

void Survey::onBytes()
{
    if (!m_running || m_phase == Phase::Idle)
        return;
    RequestLayer &frames = m_channel.frames();
    const qint64 elapsedUs = m_nowUs() - m_sentUs;
    if (m_phase == Phase::AwaitFirstByte) {
        // No device answers before it has heard the probe and the silence after
        // it, and no answer is on the line faster than its bytes: what comes
        // sooner is the rest of an answer to an earlier probe, and is dropped.
        const LineSettings &now = line();
        const double soonestUs = survey::wireUs(int(m_probes.at(m_probe).frame.size()), now)
                                 + survey::frameGapUs(now) + survey::wireUs(frames.RxCount, now);
        if (elapsedUs < 0.9 * soonestUs) {
            frames.ResetRx();
            return;
        }
    }
    m_phase = Phase::Receiving;
    m_lastByteMs = elapsedUs / 1000.0;
    switch (survey::receptionOf(frames.RxFrame, frames.RxCount)) {
    case Reception::Complete:
        m_timer.start(survey::timerMs(survey::frameGapUs(line())));
        break;
    case Reception::Nothing:
    case Reception::Partial:
        m_timer.start(survey::timerMs(m_plan.waitMs * 1000.0 + survey::wireUs(FifoCharacters, line())));
        break;
    case Reception::Overlong:
        // Noise does not move the deadline: a line that never falls silent ends the exchange all the same.
        break;
    }
}

void Survey::onPortClosed()
{
    if (m_running && !m_ownClose)
        finish(End::How::Stopped);
}

void Survey::tick()
{
    if (!m_running)
        return;
    const RequestLayer &frames = m_channel.frames();
    const int before = frames.RxCount;
    try {
        // Bytes the device already holds are taken in first; they move the deadline.
        m_channel.port().PollInput();
    } catch (const std::exception &e) {
        fail(QString::fromUtf8(e.what()));
        return;
    }
    if (!m_running)
        return;
    const Reception reception = survey::receptionOf(frames.RxFrame, frames.RxCount);
    if (frames.RxCount != before && reception != Reception::Overlong)
        return;
    switch (m_phase) {
    case Phase::AwaitFirstByte:
        silence();
        break;
    case Phase::Receiving:
        if (reception == Reception::Complete)
            judge();
        else
            corrupted();
        break;
    case Phase::Idle:
        break;
    }
}

void Survey::silence()
{
    if (m_silentRepeats < m_plan.repeats) {
        ++m_silentRepeats;
        send();
    } else {
        nextProbe();
    }
}

void Survey::corrupted()
{
    // Once more: a corrupted answer may be a device on a noisy line, never a device by itself.
    if (m_retries < 1) {
        ++m_retries;
        send();
    } else {
        nextProbe();
    }
}

void Survey::judge()
{
    const Probe &probe = m_probes.at(m_probe);
    const RequestLayer &frames = m_channel.frames();
    const std::uint8_t *rx = frames.RxFrame;
    const int count = frames.RxCount;
    const Shape shape = probe.kinds.first()->protocol == FrameProtocol::Modbus
                            ? survey::modbusShape(probe.frame, rx, count)
                            : Shape::Answer;
    for (const DeviceKind *kind : probe.kinds) {
        if (shape == Shape::Foreign)
            break;
        const DeviceWindowKind window = kind->accept(rx, count);
        const DeviceKind *shown = FindDeviceKind(window);
        if (!shown)
            continue;
        SurveyHit hit;
        hit.found.kind = window;
        hit.found.address = m_address;
        hit.found.port = m_plan.port;
        hit.found.line = line();
        hit.found.answer = frames.rxBytes();
        hit.id = shown->identify(rx, count);
        hit.responseMs = m_lastByteMs;
        if (shape == Shape::Refusal) {
            // Something is there that does not serve this request. It counts as
            // the kind's search would take it only if no probe gets an answer.
            if (!m_refused)
                m_refused = std::make_unique<SurveyHit>(hit);
            break;
        }
        // The address is told: the other probes would only find it again.
        for (int rest = m_probe + 1; rest < m_probes.size(); ++rest)
            m_doneUs += m_probeSet->silentUs(m_probes.at(rest).frame, line());
        m_probe = int(m_probes.size());
        m_doneUs += m_probeSet->silentUs(probe.frame, line());
        report(hit);
        if (m_running)
            endSlot();
        return;
    }
    nextProbe();
}

void Survey::nextProbe()
{
    m_doneUs += m_probeSet->silentUs(m_probes.at(m_probe).frame, line());
    ++m_probe;
    m_silentRepeats = 0;
    m_retries = 0;
    if (m_probe < m_probes.size())
        send();
    else
        endSlot();
}

void Survey::endSlot()
{
    m_phase = Phase::Idle;
    if (!m_slotFound && m_refused) {
        const SurveyHit hit = *m_refused;
        m_refused.reset();
        report(hit);
        if (!m_running)
            return;
    }
    if (m_address == 0 && m_probeSet->has(true)) {
        m_address = m_plan.first;
    } else if (m_address != 0 && m_address < m_plan.last) {
        ++m_address;
    } else {
        bool opened = false;
        try {
            opened = openNextLine();
        } catch (const EVaCommError &error) {
            fail(OpenFailureMessage(error));
            return;
        }
        if (!opened) {
            if (m_running)
                finish(End::How::Completed);
            return;
        }
    }
    beginSlot();
}

void Survey::report(const SurveyHit &hit)
{
    m_slotFound = true;
    m_hits.append(hit);
    emit found(hit);
    if (m_plan.stopAtFirst && m_running)
        finish(End::How::FirstFound);
}

void Survey::fail(const QString &error)
{
    finish(End::How::Failed, error);
}

void Survey::finish(End::How how, const QString &error)
{
    if (!m_running)
        return;
    m_timer.stop();
    m_phase = Phase::Idle;
    m_running = false;
    closeOwn();
    emit finished({how, error});
}
