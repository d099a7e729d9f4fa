#include "sim/meter/set4tm_load.h"

#include "sim/live.h"

#include <algorithm>
#include <cmath>

namespace sim {

double wattsPerUnit(Set4tmRating rating)
{
    return rating == Set4tmRating::Nominal230V ? 0.002 : 0.001;
}

double countsPerKWh(Set4tmRating rating)
{
    return rating == Set4tmRating::Nominal230V ? 2500.0 : 10000.0;
}

double nominalPhaseVoltage(Set4tmRating rating)
{
    return rating == Set4tmRating::Nominal230V ? 230.0 : 57.7;
}

namespace {
std::uint32_t raw(double value, double unit)
{
    return static_cast<std::uint32_t>(std::lround(std::max(0.0, value) / unit));
}

// Per-phase values in physical units, and the raw block computed from them.
Set4tmAuxiliary fromPhases(const std::array<double, 3> &volts, const std::array<double, 3> &amps,
                           double powerFactor, double frequency, const Set4tmLoad &load, Set4tmRating rating)
{
    Set4tmAuxiliary aux;
    double apparent = 0;
    for (size_t i = 0; i < 3; ++i) {
        aux.voltage[i] = raw(volts[i], 0.01);
        aux.current[i] = raw(amps[i], 0.0001);
        apparent += volts[i] * amps[i];
    }
    const double pf = std::clamp(powerFactor, 0.0, 1.0);
    aux.frequency = raw(frequency, 0.01);
    aux.powerFactor = raw(pf, 0.01);
    const double active = apparent * pf;
    const double reactive = apparent * std::sqrt(1.0 - pf * pf);
    const double unit = wattsPerUnit(rating);
    aux.activePower = std::llround(active / unit) * (load.exporting ? -1 : 1);
    aux.reactivePower = std::llround(reactive / unit) * (load.capacitive ? -1 : 1);
    return aux;
}

// Slow enough to watch on the monitoring tab, fast enough to see move in a test run.
constexpr double DriftPeriodMs = 20000;

double drift(std::uint32_t seed, int channel, qint64 nowMs, double limit)
{
    return limit * live::swing(seed, channel, nowMs, DriftPeriodMs);
}
} // namespace

Set4tmAuxiliary measure(const Set4tmLoad &load, Set4tmRating rating)
{
    const std::array<double, 3> volts{load.phaseVoltage, load.phaseVoltage, load.phaseVoltage};
    const std::array<double, 3> amps{load.phaseCurrent, load.phaseCurrent, load.phaseCurrent};
    return fromPhases(volts, amps, load.powerFactor, load.frequency, load, rating);
}

Set4tmAuxiliary measure(const Set4tmLoad &load, Set4tmRating rating, std::uint32_t seed, qint64 nowMs)
{
    std::array<double, 3> volts{};
    std::array<double, 3> amps{};
    for (int i = 0; i < 3; ++i) {
        volts[static_cast<size_t>(i)] = load.phaseVoltage * (1.0 + drift(seed, i, nowMs, 0.02));
        amps[static_cast<size_t>(i)] = load.phaseCurrent * (1.0 + drift(seed, 3 + i, nowMs, 0.10));
    }
    const double pf = load.powerFactor + drift(seed, 6, nowMs, 0.02);
    const double frequency = load.frequency + drift(seed, 7, nowMs, 0.1);
    return fromPhases(volts, amps, pf, frequency, load, rating);
}

} // namespace sim
