#include "scan/surveyplan.h"

#include "bus/requestlayer.h"
#include "scan/surveyexchange.h"

#include <QStringList>

#include <algorithm>

namespace survey {

QString planProblem(const SurveyPlan &plan)
{
    QStringList problems;
    if (plan.rates.isEmpty())
        problems << QStringLiteral("Не выбрана ни одна скорость обмена.");
    if (plan.parities.isEmpty())
        problems << QStringLiteral("Не выбрана ни одна четность.");
    bool anyKind = false;
    for (int tag : plan.tags)
        anyKind = anyKind || FindDeviceKind(tag);
    if (!anyKind)
        problems << QStringLiteral("Не выбран ни один тип устройств.");
    if (plan.first < 1 || plan.last > 247)
        problems << QStringLiteral("Адреса должны быть от 1 до 247.");
    else if (plan.first > plan.last)
        problems << QStringLiteral("Первый адрес (%1) больше последнего (%2).").arg(plan.first).arg(plan.last);
    return problems.join(QLatin1Char('\r'));
}

ProbeSet::ProbeSet(const SurveyPlan &plan)
    : m_first(plan.first), m_last(plan.last), m_waitMs(plan.waitMs), m_scratch(std::make_unique<RequestLayer>())
{
    for (const DeviceKind &kind : DeviceKinds())
        if (plan.tags.contains(kind.tag))
            m_kinds << &kind;
}

ProbeSet::~ProbeSet() = default;

bool ProbeSet::has(bool addressed) const
{
    return std::any_of(m_kinds.begin(), m_kinds.end(),
                       [addressed](const DeviceKind *kind) { return kind->probeAddressed == addressed; });
}

QList<ProbeSet::Probe> ProbeSet::at(int address) const
{
    const bool addressed = address != 0;
    QList<Probe> probes;
    for (const DeviceKind *kind : m_kinds) {
        if (kind->probeAddressed != addressed)
            continue;
        m_scratch->ResetTx();
        kind->frameProbe(*m_scratch, static_cast<std::uint8_t>(address));
        const QByteArray frame = m_scratch->txBytes();
        auto same = std::find_if(probes.begin(), probes.end(), [&](const Probe &p) { return p.frame == frame; });
        if (same != probes.end())
            same->kinds << kind;
        else
            probes.append({frame, {kind}});
    }
    return probes;
}

double ProbeSet::silentUs(const QByteArray &frame, const LineSettings &line) const
{
    return wireUs(int(frame.size()), line) + m_waitMs * 1000.0;
}

double ProbeSet::lineUs(const LineSettings &line) const
{
    double us = 0;
    for (const Probe &p : at(0))
        us += silentUs(p.frame, line);
    double perAddress = 0;
    for (const Probe &p : at(m_first))
        perAddress += silentUs(p.frame, line);
    return us + perAddress * (m_last - m_first + 1);
}

} // namespace survey
