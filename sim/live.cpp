#include "sim/live.h"

#include <algorithm>
#include <cmath>

namespace sim::live {

std::uint32_t mix(std::uint32_t a, std::uint32_t b)
{
    std::uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u + (a << 6) + (a >> 2));
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

namespace {
double unit(std::uint32_t h)
{
    return static_cast<double>(h) / 4294967296.0; // 0..1
}
constexpr double TwoPi = 6.283185307179586;
} // namespace

double swing(std::uint32_t seed, int channel, qint64 nowMs, double periodMs)
{
    const std::uint32_t h = mix(seed, static_cast<std::uint32_t>(channel));
    const double period = periodMs * (0.8 + 0.4 * unit(mix(h, 1)));
    const double phase = TwoPi * unit(mix(h, 2));
    const double slow = std::sin(TwoPi * static_cast<double>(nowMs) / period + phase);
    // A step every quarter second, as a measured value never sits still.
    const auto step = static_cast<std::uint32_t>(nowMs / 250);
    const double jitter = unit(mix(h ^ 0x5bd1e995u, step)) - 0.5;
    return std::clamp(0.85 * slow + 0.3 * jitter, -1.0, 1.0);
}

quint64 around(quint64 base, double relative, std::uint32_t seed, int channel, qint64 nowMs, double periodMs,
               quint64 max)
{
    const double v = static_cast<double>(base) * (1.0 + relative * swing(seed, channel, nowMs, periodMs));
    if (v <= 0)
        return 0;
    const double r = std::round(v);
    return r >= static_cast<double>(max) ? max : static_cast<quint64>(r);
}

bool toggle(std::uint32_t seed, int channel, qint64 nowMs, double meanMs)
{
    // Fixed-length slots with a random state each: a change every other slot on average.
    const double slot = std::max(1.0, meanMs / 2.0);
    const std::uint32_t h = mix(seed, static_cast<std::uint32_t>(channel) + 1000u);
    const auto index = static_cast<std::uint32_t>(std::floor(static_cast<double>(nowMs) / slot + unit(h)));
    return mix(h, index) & 1u;
}

} // namespace sim::live
