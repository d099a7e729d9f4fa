#pragma once

#include "meter/set4tmanswers.h"
#include "meter/set4tmvalues.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

class RequestLayer;

// The meter's communication test as data: the poll cycle of 13 or 14 steps and
// the power profile follower that decides whether step 14 runs. A test engine
// frames pollRequest() of the current step, accepts an answer by
// acceptsPollAnswer(), runs the step's decoder on it and, judged or not, moves
// on to nextPollStep().
namespace set4tm {

class ProfileFollower;

// Steps 1..14: energy of the previous day and since reset, the ten auxiliary
// values, the profile pointer, and the profile record at the last pointer.
constexpr int FirstPollStep = 1;
constexpr int PointerPollStep = 13;
constexpr int RecordPollStep = 14;

// What a step reads; the decoder the window runs for an accepted answer.
enum class PollReading { PreviousDayEnergy, EnergySinceReset, Auxiliary, ProfilePointer, ProfileRecord };
PollReading pollReading(int step);
// The selector of an auxiliary step (3..12).
AuxSelector pollSelector(int step);

// The request of a step for the meter at `address`; step 14 reads the record at
// the follower's last pointer.
Request pollRequest(int step, std::uint8_t address, const ProfileFollower &profile);
// The only answer length a step accepts (with a correct CRC).
int pollAnswerLength(int step);
// The received answer has exactly that length and a correct CRC; no status rule
// and no box. The pointer read at the start of a test is judged as step 13.
bool acceptsPollAnswer(int step, const RequestLayer &frames);
// The step after `step`, whatever its answer: 13 goes to 14 only when the pointer
// check asked for the record, otherwise to 1; 14 goes to 1.
int nextPollStep(int step, bool readRecord = false);

// One row of the power profile table: the record's date and time and its four
// values (kW, kvar). The values are missing when the ratios or T are unknown.
struct ProfileRow
{
    QString date; // short date format of the locale
    QString time; // long time format, "14:30:00"
    QDateTime stamp; // the start of the record's period, as the meter stamped it
    std::optional<std::array<double, 4>> values;

    // The six cells of the table row; the value cells stay empty when unknown.
    QStringList cells() const;
};

// Follows the meter's power profile pointer during a test. The meter keeps the
// pointer at the record of the period now running, stamped with the period's
// start; once that period is over the pointer moves on by one record and the
// record at the previous pointer is complete. So a pointer whose stamp is one
// integration time after the last one means: read the record at the last pointer.
class ProfileFollower
{
public:
    static constexpr std::uint16_t NoPointer = 0xFFFF;
    // The stamp before any pointer was read: the epoch of the configurator's date-time.
    static QDateTime zeroStamp();

    std::uint16_t lastPointer() const { return m_lastPointer; }
    QDateTime lastStamp() const { return m_lastStamp; }
    std::uint16_t newPointer() const { return m_newPointer; }
    QDateTime newStamp() const { return m_newStamp; }

    // A test starts: no pointer yet; the last stamp stays from an earlier test.
    void start();
    // The accepted answer to the pointer read at the start of the test.
    void takeInitialPointer(const std::uint8_t *rx, int count);

    struct Check
    {
        bool readRecord = false; // step 14 comes next
        QStringList journal;     // the six lines when the pointer jumped
    };
    // The accepted answer of step 13. An unchanged pointer does nothing; one
    // integration time on asks for the record; anything else is journalled and
    // followed. With T unknown the check cannot run and nothing changes.
    Check checkPointer(const std::uint8_t *rx, int count, const Scaling &scaling);

    // The accepted answer of step 14: the row for the record at the last pointer,
    // after which the new pointer becomes the last one.
    ProfileRow takeRecord(const std::uint8_t *rx, int count, const Scaling &scaling);

private:
    std::uint16_t m_lastPointer = NoPointer;
    QDateTime m_lastStamp = zeroStamp();
    std::uint16_t m_newPointer = NoPointer;
    QDateTime m_newStamp = zeroStamp();
};

// Date and time texts of the journal and the table, in the locale's short date
// format and the long time format; the date-time text leaves the time out at
// exactly midnight.
QString dateText(const QDateTime &stamp);
QString timeText(const QDateTime &stamp);
QString dateTimeText(const QDateTime &stamp);

} // namespace set4tm
