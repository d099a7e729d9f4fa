#include "meter/set4tmpoll.h"

#include "bus/requestlayer.h"
#include "devices/testjournal.h"

#include <QLocale>

#include <iterator>

namespace set4tm {

namespace {
constexpr AuxSelector AuxSteps[] = {VoltageA, VoltageB, VoltageC, CurrentA, CurrentB, CurrentC,
                                    Frequency, PowerFactor, ActivePower, ReactivePower};
constexpr int FirstAuxStep = 3;
constexpr int LastAuxStep = FirstAuxStep + static_cast<int>(std::size(AuxSteps)) - 1;

QString hex4(std::uint16_t value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}
} // namespace

PollReading pollReading(int step)
{
    if (step == 1)
        return PollReading::PreviousDayEnergy;
    if (step == 2)
        return PollReading::EnergySinceReset;
    if (step == PointerPollStep)
        return PollReading::ProfilePointer;
    if (step == RecordPollStep)
        return PollReading::ProfileRecord;
    return PollReading::Auxiliary;
}

AuxSelector pollSelector(int step)
{
    if (step < FirstAuxStep || step > LastAuxStep)
        return VoltageA;
    return AuxSteps[step - FirstAuxStep];
}

Request pollRequest(int step, std::uint8_t address, const ProfileFollower &profile)
{
    switch (pollReading(step)) {
    case PollReading::PreviousDayEnergy: return readEnergy(address, PreviousDay);
    case PollReading::EnergySinceReset: return readEnergy(address, SinceReset);
    case PollReading::Auxiliary: return readAuxiliary(address, pollSelector(step));
    case PollReading::ProfilePointer: return readProfilePointer(address);
    case PollReading::ProfileRecord: return readProfileMemory(address, profile.lastPointer());
    }
    return readEnergy(address, PreviousDay);
}

int pollAnswerLength(int step)
{
    switch (pollReading(step)) {
    case PollReading::PreviousDayEnergy:
    case PollReading::EnergySinceReset: return answerLength(RequestKind::ReadEnergy);
    case PollReading::Auxiliary: return answerLength(RequestKind::ReadAuxiliary);
    case PollReading::ProfilePointer: return answerLength(RequestKind::ReadProfilePointer);
    case PollReading::ProfileRecord: return answerLength(RequestKind::ReadProfileMemory);
    }
    return 0;
}

bool acceptsPollAnswer(int step, const RequestLayer &frames)
{
    return frames.RxCount == pollAnswerLength(step) && frames.CheckResponseCrc();
}

int nextPollStep(int step, bool readRecord)
{
    if (step == PointerPollStep)
        return readRecord ? RecordPollStep : FirstPollStep;
    if (step >= RecordPollStep || step < FirstPollStep)
        return FirstPollStep;
    return step + 1;
}

QString dateText(const QDateTime &stamp)
{
    return QLocale().toString(stamp.date(), QLocale::ShortFormat);
}

QString timeText(const QDateTime &stamp)
{
    return JournalTime(stamp.time());
}

QString dateTimeText(const QDateTime &stamp)
{
    if (stamp.time() == QTime(0, 0))
        return dateText(stamp);
    return dateText(stamp) + QLatin1Char(' ') + timeText(stamp);
}

QStringList ProfileRow::cells() const
{
    QStringList row{date, time};
    for (int i = 0; i < 4; ++i)
        row << (values ? FormatGeneral((*values)[static_cast<std::size_t>(i)]) : QString());
    return row;
}

QDateTime ProfileFollower::zeroStamp()
{
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
}

void ProfileFollower::start()
{
    m_lastPointer = NoPointer;
    m_newPointer = NoPointer;
}

void ProfileFollower::takeInitialPointer(const std::uint8_t *rx, int count)
{
    const ProfilePointer answer = decodeProfilePointer(rx, count);
    m_lastPointer = answer.pointer;
    m_lastStamp = answer.stamp;
}

ProfileFollower::Check ProfileFollower::checkPointer(const std::uint8_t *rx, int count, const Scaling &scaling)
{
    Check check;
    if (!scaling.minutes)
        return check;
    const ProfilePointer answer = decodeProfilePointer(rx, count);
    m_newPointer = answer.pointer;
    if (m_newPointer == m_lastPointer)
        return check;
    m_newStamp = answer.stamp;
    const QDateTime expected = m_lastStamp.addSecs(qint64(*scaling.minutes) * 60);
    // Only the time of day counts, as hh:mm:ss. Without a last pointer there is no
    // record to read, whatever the stamps say.
    if (m_lastPointer != NoPointer && timeText(expected) == timeText(m_newStamp) && expected.isValid()
        && m_newStamp.isValid()) {
        check.readRecord = true;
        return check;
    }
    check.journal = {QStringLiteral("Физический адрес: ") + hex4(m_lastPointer),
                     QStringLiteral("Дата и Время: ") + dateTimeText(m_lastStamp),
                     QStringLiteral("Физический адрес(нов): ") + hex4(m_newPointer),
                     QStringLiteral("Дата и Время(нов): ") + dateTimeText(m_newStamp),
                     QStringLiteral("power_str_time = ") + timeText(expected),
                     QStringLiteral("next_power_str_time = ") + timeText(m_newStamp)};
    m_lastPointer = m_newPointer;
    m_lastStamp = m_newStamp;
    return check;
}

ProfileRow ProfileFollower::takeRecord(const std::uint8_t *rx, int count, const Scaling &scaling)
{
    ProfileRow row;
    row.date = dateText(m_lastStamp);
    row.time = timeText(m_lastStamp);
    row.stamp = m_lastStamp;
    row.values = profileValues(decodeProfileRecord(rx, count), scaling);
    m_lastPointer = m_newPointer;
    m_lastStamp = m_newStamp;
    return row;
}

} // namespace set4tm
