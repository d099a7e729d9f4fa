#include "sim/meter/set4tm_device.h"

#include "meter/set4tmanswers.h"
#include "sim/live.h"

#include <algorithm>
#include <cmath>

namespace sim {

using namespace ::set4tm;

namespace {
std::uint8_t byteAt(const QByteArray &bytes, int index)
{
    return static_cast<std::uint8_t>(bytes.at(index));
}

QDateTime naiveLocalNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    return QDateTime(now.date(), now.time(), Qt::UTC);
}
} // namespace

Set4tmDevice::Set4tmDevice(std::uint8_t address) : Device(address)
{
    aux = measure(load, rating);
    // A meter some months in service under this load, so the totals look lived-in;
    // the address varies them between meters on one bus.
    const double spread = 0.9 + 0.2 * (live::mix(address, 0x5E7) / 4294967296.0);
    const double countsPerUnitHour = countsPerKWh(rating) / 1000.0 * wattsPerUnit(rating);
    const double activeDay = std::fabs(static_cast<double>(aux.activePower)) * countsPerUnitHour * 24 * spread;
    const double reactiveDay = std::fabs(static_cast<double>(aux.reactivePower)) * countsPerUnitHour * 24 * spread;
    previousDayEnergy = {static_cast<std::uint32_t>(activeDay), 0, static_cast<std::uint32_t>(reactiveDay), 0};
    energy = {static_cast<std::uint32_t>(activeDay * 200), 0, static_cast<std::uint32_t>(reactiveDay * 200), 0};
    m_dayStart = energy;
}

void Set4tmDevice::setRating(Set4tmRating newRating)
{
    rating = newRating;
    load.phaseVoltage = nominalPhaseVoltage(newRating);
    aux = measure(load, rating);
}

QDateTime Set4tmDevice::clockAt(qint64 nowMs) const
{
    if (!m_clockSet)
        return naiveLocalNow();
    return m_clockBase.addMSecs((nowMs - m_clockBaseMs) * 60000 / m_minuteMs);
}

void Set4tmDevice::setMinuteMs(qint64 ms)
{
    if (m_clockSet) { // the meter time reached so far stays; only the pace changes
        m_clockBase = clockAt(m_lastUpdateMs);
        m_clockBaseMs = m_lastUpdateMs;
    }
    m_minuteMs = std::max<qint64>(ms, 1);
}

void Set4tmDevice::setClock(const QDateTime &meterTime, qint64 nowMs)
{
    m_clockBase = QDateTime(meterTime.date(), meterTime.time(), Qt::UTC);
    m_clockBaseMs = nowMs;
    m_clockSet = true;
    m_lastUpdateMs = nowMs;
    profile.restart(m_clockBase);
}

void Set4tmDevice::powerCycle()
{
    activeBaud = pendingBaud;
    channelOpen = false;
    autoCloseForbidden = false;
}

std::optional<QByteArray> Set4tmDevice::handle(const QByteArray &request, qint64 nowMs)
{
    if (request.size() < 2)
        return std::nullopt;
    const std::uint8_t target = byteAt(request, 0);
    if (target != address() && target != 0)
        return std::nullopt;
    if (!exceptions && !isKnownCode(byteAt(request, 1)))
        return std::nullopt;
    if (target == 0 && address() != 0)
        ++requestsSeen; // the bus counts only the frames to the device's own address
    advanceTo(nowMs);
    if (channelOpen && !autoCloseForbidden && nowMs - lastRequestMs >= idleCloseMs)
        channelOpen = false;
    lastRequestMs = nowMs;
    if (busyDrawn())
        return status(Busy);
    return dispatch(request, nowMs);
}

bool Set4tmDevice::busyDrawn()
{
    if (faults.busy <= 0)
        return false;
    const std::uint32_t h = live::mix(live::mix(liveSeed, 0xB5B5u), m_busyDraws++);
    return h / 4294967296.0 < faults.busy;
}

QByteArray Set4tmDevice::status(std::uint8_t code) const
{
    QByteArray answer;
    answer.append(static_cast<char>(address()));
    answer.append(static_cast<char>(code));
    return answer;
}

QByteArray Set4tmDevice::data(const QByteArray &payload) const
{
    return QByteArray(1, static_cast<char>(address())) + payload;
}

std::optional<QByteArray> Set4tmDevice::dispatch(const QByteArray &request, qint64 nowMs)
{
    switch (byteAt(request, 1)) {
    case TestChannel:
        return status(request.size() == 2 ? Ok : InvalidRequest);
    case OpenChannel:
        return openChannel(request, nowMs);
    default:
        break;
    }
    if (!channelOpen)
        return status(ChannelClosed);
    switch (byteAt(request, 1)) {
    case Write: return write(request, nowMs);
    case ReadEnergy: return readEnergy(request);
    case ReadMemory: return readMemory(request);
    case ReadParameter: return readParameter(request, nowMs);
    default: return status(InvalidRequest);
    }
}

QByteArray Set4tmDevice::openChannel(const QByteArray &request, qint64 nowMs)
{
    Q_UNUSED(nowMs);
    if (request.size() != 8)
        return status(InvalidRequest);
    QByteArray expected = password.left(6);
    expected.append(QByteArray(6 - expected.size(), '\0'));
    // A failed attempt also ends a channel opened before: the meter trusts the last word.
    channelOpen = request.mid(2) == expected;
    return status(channelOpen ? Ok : WrongPassword);
}

QByteArray Set4tmDevice::write(const QByteArray &request, qint64 nowMs)
{
    if (request.size() < 3)
        return status(InvalidRequest);
    const QByteArray value = request.mid(3);
    const int size = static_cast<int>(value.size());
    const int v8 = size >= 1 ? byteAt(value, 0) : -1;
    const int v16 = size >= 2 ? byteAt(value, 0) << 8 | byteAt(value, 1) : -1;
    switch (byteAt(request, 2)) {
    case WriteIntegrationTime:
        if (size != 1 || !isValidIntegrationTime(v8))
            return status(InvalidRequest);
        profile.initialise(v8, clockAt(nowMs));
        return status(Ok);
    case WriteNetworkAddress: {
        if (size != 1 || v8 < 1 || v8 > 247)
            return status(InvalidRequest);
        const QByteArray answer = status(Ok); // still from the old address
        setAddress(static_cast<std::uint8_t>(v8));
        return answer;
    }
    case WriteBaudRate:
        if (size != 1 || baudRateOfCode(static_cast<std::uint8_t>(v8)) == 0)
            return status(InvalidRequest);
        pendingBaud = baudRateOfCode(static_cast<std::uint8_t>(v8));
        return status(BaudRateWritten);
    case WriteMode:
        if (size != 1)
            return status(InvalidRequest);
        if (v8 == AllowIncompleteSlices || v8 == ForbidIncompleteSlices)
            markIncompleteSlices = v8 == AllowIncompleteSlices;
        else if (v8 == ForbidAutoClose)
            autoCloseForbidden = true;
        else
            return status(InvalidRequest);
        lastModeWritten = static_cast<std::uint8_t>(v8);
        return status(Ok);
    case WriteVoltageRatio:
    case WriteCurrentRatio:
        if (size != 2 || v16 == 0)
            return status(InvalidRequest);
        (byteAt(request, 2) == WriteVoltageRatio ? voltageRatio : currentRatio) = static_cast<std::uint16_t>(v16);
        return status(Ok);
    case ClearEnergy:
        if (size != 0)
            return status(InvalidRequest);
        energy = {};
        previousDayEnergy = {};
        m_dayStart = {};
        m_fraction = {};
        return status(EnergyCleared);
    case WriteClock: {
        const auto clock = parseClockBlock(value);
        if (!clock)
            return status(InvalidRequest);
        setClock(clock->time, nowMs);
        winterTime = clock->season == Season::Winter;
        return status(Ok);
    }
    default:
        return status(InvalidRequest);
    }
}

QByteArray Set4tmDevice::readParameter(const QByteArray &request, qint64 nowMs)
{
    Q_UNUSED(nowMs);
    if (request.size() < 3)
        return status(InvalidRequest);
    const std::uint8_t param = byteAt(request, 2);
    if (param == ReadAuxiliary)
        return request.size() == 4 ? readAuxiliary(byteAt(request, 3)) : status(InvalidRequest);
    if (request.size() != 3)
        return status(InvalidRequest);
    switch (param) {
    case ReadRatios: return data(ratiosPayload({voltageRatio, currentRatio}));
    case ReadProfilePointer: return data(profilePointerPayload(profile.sliceStart, profile.pointer));
    case ReadNetworkAddress: return data(parameterPayload(address()));
    case ReadIntegrationTime: return data(parameterPayload(static_cast<std::uint8_t>(profile.minutes)));
    case ReadModeFlags: return data(modeFlagsPayload(markIncompleteSlices));
    default: return status(InvalidRequest);
    }
}

QByteArray Set4tmDevice::readEnergy(const QByteArray &request)
{
    if (request.size() != 4 || byteAt(request, 3) != 0)
        return status(InvalidRequest);
    const std::uint8_t array = byteAt(request, 2);
    if (array != SinceReset && array != PreviousDay)
        return status(InvalidRequest);
    return data(energyPayload(array == SinceReset ? energy : previousDayEnergy));
}

QByteArray Set4tmDevice::readMemory(const QByteArray &request)
{
    if (request.size() != 6 || byteAt(request, 2) != ProfileMemory)
        return status(InvalidRequest);
    const int count = byteAt(request, 5);
    if (count < 1 || count > 16)
        return status(InvalidRequest);
    const auto pointer = static_cast<std::uint16_t>(byteAt(request, 3) << 8 | byteAt(request, 4));
    return data(profile.read(pointer, count));
}

QByteArray Set4tmDevice::readAuxiliary(std::uint8_t selector)
{
    std::int64_t value = 0;
    switch (selector) {
    case VoltageA: case VoltageB: case VoltageC: value = aux.voltage[selector - VoltageA]; break;
    case CurrentA: case CurrentB: case CurrentC: value = aux.current[selector - CurrentA]; break;
    case Frequency: value = aux.frequency; break;
    case PowerFactor: value = aux.powerFactor; break;
    case ActivePower: value = aux.activePower; break;
    case ReactivePower: value = aux.reactivePower; break;
    default: return status(InvalidRequest);
    }
    return data(auxWord(static_cast<AuxSelector>(selector), value));
}

void Set4tmDevice::advanceTo(qint64 nowMs)
{
    if (!m_clockSet)
        setClock(naiveLocalNow(), nowMs);
    if (nowMs <= m_lastUpdateMs)
        return;
    QDateTime from = clockAt(m_lastUpdateMs);
    const QDateTime to = clockAt(nowMs);
    m_lastUpdateMs = nowMs;
    // Energy is split at every period boundary so each record gets its own share,
    // however long the bus stayed silent.
    int closed = 0;
    while (profile.sliceEnd() <= to) {
        const QDateTime end = profile.sliceEnd();
        if (live && end > from)
            accumulate(from.msecsTo(end));
        if (end > from)
            from = end;
        closeSlice();
        if (++closed >= Set4tmProfile::RecordCount) {
            // Silent for longer than the memory holds: start afresh at the present.
            profile.restart(to);
            from = to;
            break;
        }
    }
    if (live && to > from)
        accumulate(from.msecsTo(to));
    if (live)
        aux = measure(load, rating, liveSeed, nowMs);
}

void Set4tmDevice::accumulate(qint64 meterMs)
{
    const double countsPerUnit = wattsPerUnit(rating) / 1000.0 * countsPerKWh(rating) * (static_cast<double>(meterMs) / 3.6e6);
    const double active = static_cast<double>(aux.activePower) * countsPerUnit;
    const double reactive = static_cast<double>(aux.reactivePower) * countsPerUnit;
    m_fraction[active >= 0 ? 0 : 1] += std::fabs(active);
    m_fraction[reactive >= 0 ? 2 : 3] += std::fabs(reactive);
    for (size_t i = 0; i < 4; ++i) {
        const double whole = std::floor(m_fraction[i]);
        m_fraction[i] -= whole;
        energy[i] += static_cast<std::uint32_t>(whole);
        profile.running[i] += static_cast<std::uint32_t>(whole);
    }
}

void Set4tmDevice::closeSlice()
{
    profile.closeSlice();
    // Midnight is always a period boundary (the period divides an hour).
    if (live && profile.sliceStart.time() == QTime(0, 0)) {
        for (size_t i = 0; i < 4; ++i)
            previousDayEnergy[i] = energy[i] >= m_dayStart[i] ? energy[i] - m_dayStart[i] : energy[i];
        m_dayStart = energy;
    }
}

} // namespace sim
