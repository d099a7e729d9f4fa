#include "meter/set4tmvalues.h"

namespace set4tm {

std::optional<Variant> variantOfIndex(int index)
{
    switch (index) {
    case 0: return Variant::Nominal57V;
    case 1: return Variant::Nominal230V;
    default: return std::nullopt;
    }
}

std::optional<int> fieldInteger(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

Scaling Scaling::fromFields(const QString &ku, const QString &ki, const QString &minutes, int variantIndex)
{
    return {fieldInteger(ku), fieldInteger(ki), fieldInteger(minutes), variantOfIndex(variantIndex)};
}

std::optional<std::array<double, 4>> energyValues(const EnergyCounts &counts, const Scaling &s)
{
    if (!s.ku || !s.ki || !s.variant)
        return std::nullopt;
    std::array<double, 4> values{};
    for (std::size_t i = 0; i < counts.size(); ++i) {
        double v = counts[i] * 0.0001;
        if (*s.variant == Variant::Nominal230V)
            v *= 4;
        values[i] = v * *s.ku * *s.ki;
    }
    return values;
}

std::optional<double> auxiliaryValue(AuxSelector selector, const AuxReading &reading, const Scaling &s)
{
    const double v = reading.magnitude;
    switch (selector) {
    case VoltageA: case VoltageB: case VoltageC: return v * 0.01;
    case CurrentA: case CurrentB: case CurrentC: return v * 0.0001;
    case Frequency: return v * 0.01;
    case PowerFactor: return v * 0.01;
    case ActivePower:
    case ReactivePower: {
        if (!s.ku || !s.ki || !s.variant)
            return std::nullopt;
        // Both powers arrive in the same unit; Q gets no extra factor of its own.
        double p = v * (*s.variant == Variant::Nominal230V ? 0.002 : 0.001);
        p = p * *s.ku * *s.ki;
        return reading.negative ? -p : p;
    }
    }
    return std::nullopt;
}

std::optional<std::array<double, 4>> profileValues(const ProfileRecord &record, const Scaling &s)
{
    if (!s.ku || !s.ki || !s.variant || !s.minutes || *s.minutes <= 0)
        return std::nullopt;
    std::array<double, 4> values{};
    for (std::size_t i = 0; i < record.size(); ++i) {
        double v = record[i] * 3 * 0.008 / *s.minutes;
        v = v * *s.ku * *s.ki;
        if (*s.variant == Variant::Nominal57V)
            v *= 0.25;
        values[i] = v;
    }
    return values;
}

} // namespace set4tm
