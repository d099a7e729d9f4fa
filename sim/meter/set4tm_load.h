#pragma once

#include <QtGlobal>

#include <array>
#include <cstdint>

namespace sim {

// Nominal inputs of the meter variant. It fixes the meter's internal units: the
// 57.7 V / 5 A variant counts four times finer than the 230 V / 5 A one.
enum class Set4tmRating { Nominal57V, Nominal230V };

// Watts per unit of the raw active and reactive power (W and var alike).
double wattsPerUnit(Set4tmRating rating);
// Energy and profile counts per kWh (kvarh).
double countsPerKWh(Set4tmRating rating);
double nominalPhaseVoltage(Set4tmRating rating);

// Auxiliary values in the meter's raw units, as the read auxiliary value request
// returns them (magnitudes are clamped to 22 bits on the wire).
struct Set4tmAuxiliary
{
    std::array<std::uint32_t, 3> voltage{};  // phases A, B, C; 0.01 V
    std::array<std::uint32_t, 3> current{};  // phases A, B, C; 0.0001 A
    std::uint32_t frequency = 5000;          // 0.01 Hz
    std::uint32_t powerFactor = 100;         // cos phi, 0.01
    std::int64_t activePower = 0;            // sum of phases, wattsPerUnit(); negative = export
    std::int64_t reactivePower = 0;          // sum of phases, wattsPerUnit(); negative = capacitive
};

// The load on the meter, in physical units, that live values wobble around.
struct Set4tmLoad
{
    double phaseVoltage = 230.0;  // V
    double phaseCurrent = 2.5;    // A
    double powerFactor = 0.92;    // cos phi, 0..1
    double frequency = 50.0;      // Hz
    bool exporting = false;       // active power flows to the grid (A- grows)
    bool capacitive = false;      // reactive power is negative (R- grows)
};

// The raw values of `load` exactly.
Set4tmAuxiliary measure(const Set4tmLoad &load, Set4tmRating rating);

// The raw values of `load` as they drift on a real network, each phase on its
// own: voltage within 2 %, current within 10 %, frequency within 0.1 Hz, cos phi
// within 0.02. A pure function of the seed and the time, like every live value
// of the simulator.
Set4tmAuxiliary measure(const Set4tmLoad &load, Set4tmRating rating, std::uint32_t seed, qint64 nowMs);

} // namespace sim
