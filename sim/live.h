#pragma once

#include <QtGlobal>

#include <cstdint>

// Values that move with the bus clock. Every value is a pure function of the
// seed, a channel number and the time, so a seed and a time give the same value
// again, and no generator state has to be kept in step with the requests.
namespace sim::live {

// A smooth swing in -1..1 with a period near `periodMs`, its phase and exact
// period depending on seed and channel, plus a small step jitter.
double swing(std::uint32_t seed, int channel, qint64 nowMs, double periodMs);

// base × (1 + relative × swing), rounded and kept within 0..max.
quint64 around(quint64 base, double relative, std::uint32_t seed, int channel, qint64 nowMs, double periodMs,
               quint64 max);

// A bit that changes state now and then; the mean time between changes is
// near `meanMs`.
bool toggle(std::uint32_t seed, int channel, qint64 nowMs, double meanMs);

// A well-mixed 32-bit hash, for deriving seeds.
std::uint32_t mix(std::uint32_t a, std::uint32_t b);

} // namespace sim::live
