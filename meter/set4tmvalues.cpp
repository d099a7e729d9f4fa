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

Quantity auxiliaryQuantity(AuxSelector selector)
{
    const QString volts = QStringLiteral("В"), amperes = QStringLiteral("A");
    switch (selector) {
    case ActivePower: return {QStringLiteral("P"), QStringLiteral("Вт")};
    case ReactivePower: return {QStringLiteral("Q"), QStringLiteral("ВAр")};
    case VoltageA: return {QStringLiteral("Ua"), volts};
    case VoltageB: return {QStringLiteral("Ub"), volts};
    case VoltageC: return {QStringLiteral("Uc"), volts};
    case CurrentA: return {QStringLiteral("Ia"), amperes};
    case CurrentB: return {QStringLiteral("Ib"), amperes};
    case CurrentC: return {QStringLiteral("Ic"), amperes};
    case PowerFactor: return {QStringLiteral("cos φ"), QString()};
    case Frequency: return {QStringLiteral("F"), QStringLiteral("Гц")};
    }
    return {};
}

Quantity energyQuantity(int index, bool previousDay)
{
    static const char *const names[] = {"A+", "A-", "R+", "R-"};
    const QString name = QString::fromLatin1(names[index & 3]);
    const QString unit = index < 2 ? QStringLiteral("кВт*ч") : QStringLiteral("кВАр*ч");
    return {previousDay ? name + QStringLiteral(" за сутки") : name, unit};
}

Readings energyReadings(const std::array<double, 4> &values, bool previousDay)
{
    Readings out;
    for (int i = 0; i < 4; ++i) {
        const Quantity q = energyQuantity(i, previousDay);
        out.append({q.name, q.unit, values[std::size_t(i)]});
    }
    return out;
}

} // namespace set4tm
