#pragma once

#include "bus/buslink.h"
#include "devices/devicecatalogue.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class RequestLayer;

// What a bus survey is asked to do, as its window's choices stand.
struct SurveyPlan
{
    int port = 1;
    int first = 1, last = 247;
    QList<qint32> rates;       // any order: tried as survey::rateOrder says
    QList<TVaParity> parities; // no parity first
    QList<int> tags;           // device kinds by button tag
    int waitMs = 50;           // for an answer's first byte
    int repeats = 0;           // more probes after silence, 0..3
    bool stopAtFirst = false;
};

namespace survey {

// Why the plan cannot run, as the window says it; empty when it can.
QString planProblem(const SurveyPlan &plan);

// The probes of a plan's device kinds, each distinct frame once with the kinds
// that send it, and the time they take where nobody answers: what the survey
// sends at an address and what its progress counts down.
class ProbeSet
{
public:
    struct Probe
    {
        QByteArray frame;
        QList<const DeviceKind *> kinds; // that send this frame, in catalogue order
    };

    explicit ProbeSet(const SurveyPlan &plan);
    ~ProbeSet();

    // Whether any kind's probe is addressed (or, with false, goes to every address at once).
    bool has(bool addressed) const;
    // The probes at an address; at 0 those that ignore the address.
    QList<Probe> at(int address) const;
    // A probe without an answer: its wire time and the wait for a first byte.
    double silentUs(const QByteArray &frame, const LineSettings &line) const;
    // A whole line of the plan's range without an answer.
    double lineUs(const LineSettings &line) const;

private:
    QList<const DeviceKind *> m_kinds;
    int m_first, m_last, m_waitMs;
    std::unique_ptr<RequestLayer> m_scratch; // frames the probes
};

} // namespace survey
