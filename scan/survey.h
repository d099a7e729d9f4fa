#pragma once

#include "bus/buslink.h"
#include "devices/devicecatalogue.h"
#include "devices/founddevice.h"
#include "scan/surveyplan.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class BusChannel;
class TickTimer;

// A device the survey found, as the table shows it.
struct SurveyHit
{
    FoundDevice found;
    Identification id; // as the device's window shows it from the answer
    double responseMs = 0; // from the probe handed to the port to the answer complete
};

// The bus survey: every chosen device kind at every address of a range, at
// every chosen rate and parity, with each kind's own probe and acceptance test.
// At each line and address each distinct probe frame goes out once (the meter's,
// which ignores the address, once per line); an exchange ends as soon as a
// complete answer has been followed by 3.5 characters of silence, or after the
// probe's wire time and the wait for a first byte. Runs on its timer's ticks
// and on the bytes the port hands over; reports as values.
class Survey : public QObject
{
    Q_OBJECT
public:
    using Plan = SurveyPlan;
    struct Progress
    {
        LineSettings line;
        int address = 0;     // 0 while the probes that ignore the address go out
        double fraction = 0; // of the whole survey's time without answers
        double leftMs = 0;
        int found = 0;
    };
    struct End
    {
        enum class How {
            Completed,  // every line and address probed
            FirstFound, // "stop after the first found"
            Stopped,    // stop(), or the channel closed under the survey
            Failed,     // a port fault; `error` says which, the channel is closed
        };
        How how = How::Completed;
        QString error;
    };

    Survey(BusChannel &channel, TickTimer &timer);
    ~Survey() override;

    // Opens the channel at the first line the port takes and starts. A line the
    // port refuses is reported by lineRefused and skipped. EVaCommError when the
    // port itself cannot be opened (missing, busy, no rights): nothing starts.
    // std::invalid_argument for a plan with a problem.
    void start(const Plan &plan);
    // Ends at once; what was found stays in hits().
    void stop();
    bool isRunning() const { return m_running; }
    const QList<SurveyHit> &hits() const { return m_hits; }

    // One step when the timer's deadline has passed.
    void tick();

    // Microseconds of a steady clock; a test sets its own.
    void setClock(std::function<qint64()> nowUs);

signals:
    void lineStarted(const LineSettings &line);
    void lineRefused(const LineSettings &line, const QString &reason);
    void found(const SurveyHit &hit);
    void progressed(const Survey::Progress &progress);
    // Raised once per start that did not throw.
    void finished(const Survey::End &end);

private:
    using Probe = survey::ProbeSet::Probe;
    enum class Phase { Idle, AwaitFirstByte, Receiving };

    bool openNextLine();
    void closeOwn();
    const LineSettings &line() const;
    void beginSlot();
    void send();
    void onBytes();
    void onPortClosed();
    void silence();
    void corrupted();
    void judge();
    void nextProbe();
    void endSlot();
    void report(const SurveyHit &hit);
    void fail(const QString &error);
    void finish(End::How how, const QString &error = {});

    BusChannel &m_channel;
    TickTimer &m_timer;
    Plan m_plan;
    std::unique_ptr<survey::ProbeSet> m_probeSet; // of the plan
    QList<LineSettings> m_lines;
    QList<SurveyHit> m_hits;
    bool m_running = false;
    bool m_ownClose = false; // the survey closes the channel itself

    int m_line = -1;
    int m_address = 0; // 0: the probes that ignore the address
    QList<Probe> m_probes;
    int m_probe = 0;
    int m_silentRepeats = 0;
    int m_retries = 0;
    Phase m_phase = Phase::Idle;
    QElapsedTimer m_steady;
    std::function<qint64()> m_nowUs;
    qint64 m_sentUs = 0;
    double m_lastByteMs = 0;
    bool m_slotFound = false;
    std::unique_ptr<SurveyHit> m_refused; // what a refusal at this address would show

    double m_totalUs = 0; // the whole survey without answers
    double m_doneUs = 0;  // of it, behind us
};

Q_DECLARE_METATYPE(SurveyHit)
Q_DECLARE_METATYPE(Survey::Progress)
Q_DECLARE_METATYPE(Survey::End)
