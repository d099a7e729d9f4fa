#pragma once

#include <QByteArray>

#include <cstdint>
#include <random>

// Random bytes of a fixed seed: the same noise on the line at every run.
inline QByteArray noiseBytes(qint64 count, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    QByteArray out(count, '\0');
    for (char &c : out)
        c = static_cast<char>(rng() & 0xFF);
    return out;
}
