#pragma once

#include "charts/readings.h"
#include "meter/set4tmanswers.h"

#include <QString>

#include <array>
#include <optional>

// Physical values from the meter's raw counts. The factors depend on the meter
// variant and on the transformer ratios Ku, Ki and the integration time T that
// the window has read from the meter; one that was not read gives no number,
// and a value that needs it cannot be computed: the functions then return
// nothing and the window leaves that field alone.
namespace set4tm {

// The meter variant of the window's drop-down list (its item index).
enum class Variant {
    Nominal57V = 0,  // "РУ ВН (57,7 В / 5 А)"
    Nominal230V = 1, // "РУ НН (120...230В / 5А)"
};
// The variant of an item index; nothing while no item is selected.
std::optional<Variant> variantOfIndex(int index);

// The integer a value field shows; nothing for a placeholder or any other text.
std::optional<int> fieldInteger(const QString &text);

struct Scaling
{
    std::optional<int> ku;      // voltage transformer ratio
    std::optional<int> ki;      // current transformer ratio
    std::optional<int> minutes; // integration time T
    std::optional<Variant> variant;

    // From the texts of the ratio and integration time fields and the variant index.
    static Scaling fromFields(const QString &ku, const QString &ki, const QString &minutes, int variantIndex);
};

// A+, A-, R+, R- in kWh and kvarh: c x 0.0001, x 4 for the 230 V variant, x Ku x Ki.
std::optional<std::array<double, 4>> energyValues(const EnergyCounts &counts, const Scaling &scaling);

// The value shown for an auxiliary reading: volts, amperes, hertz and cos phi as
// measured at the meter; P in W and Q in var scaled by the variant, Ku and Ki,
// both on the same scale and negative when the reading carries the sign.
std::optional<double> auxiliaryValue(AuxSelector selector, const AuxReading &reading, const Scaling &scaling);

// The name and unit of an auxiliary value as the monitoring tab shows it ("P", "Вт").
struct Quantity
{
    QString name, unit;
};
Quantity auxiliaryQuantity(AuxSelector selector);
// A+, A-, R+, R- since the last reset, or of the previous day.
Quantity energyQuantity(int index, bool previousDay);
Readings energyReadings(const std::array<double, 4> &values, bool previousDay);

// P+, P-, Q+, Q- of a profile record in kW and kvar, the average over the
// integration time: c x 3 x 0.008 / T x Ku x Ki, x 0.25 for the 57.7 V variant.
std::optional<std::array<double, 4>> profileValues(const ProfileRecord &record, const Scaling &scaling);

} // namespace set4tm
