#include "sim/meter/set4tm_device.h"

namespace sim {

namespace {
bool toInt(const QString &text, int min, int max, int &value)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 0);
    if (!ok || v < min || v > max)
        return false;
    value = v;
    return true;
}

bool toReal(const QString &text, double min, double max, double &value)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || v < min || v > max)
        return false;
    value = v;
    return true;
}
} // namespace

bool Set4tmDevice::setOption(const QString &key, const QString &value)
{
    int n = 0;
    double x = 0;
    if ((key == QLatin1String("live") || key == QLatin1String("exceptions")) && toInt(value, 0, 1, n)) {
        (key == QLatin1String("live") ? live : exceptions) = n != 0;
    } else if (key == QLatin1String("password") && value.size() <= 6) {
        password = value.toLatin1();
    } else if (key == QLatin1String("idle") && toInt(value, 1, 24 * 3600 * 1000, n)) {
        idleCloseMs = n;
    } else if (key == QLatin1String("baud") && toInt(value, 0, 1000000, n) && (n == 9600 || n == 19200)) {
        activeBaud = pendingBaud = n;
    } else if (key == QLatin1String("address") && toInt(value, 1, 247, n)) {
        setAddress(static_cast<std::uint8_t>(n));
    } else if ((key == QLatin1String("ku") || key == QLatin1String("ki")) && toInt(value, 1, 0xFFFF, n)) {
        (key == QLatin1String("ku") ? voltageRatio : currentRatio) = static_cast<std::uint16_t>(n);
    } else if (key == QLatin1String("minutes") && toInt(value, 1, 60, n) && isValidIntegrationTime(n)) {
        profile.minutes = n;
        if (profile.sliceStart.isValid()) // otherwise the first request starts the period
            profile.restart(profile.sliceStart);
    } else if (key == QLatin1String("minutems") && toInt(value, 1, 60000, n)) {
        setMinuteMs(n);
    } else if (key == QLatin1String("rating") && (value == QLatin1String("57") || value == QLatin1String("230"))) {
        setRating(value == QLatin1String("57") ? Set4tmRating::Nominal57V : Set4tmRating::Nominal230V);
    } else if (key == QLatin1String("current") && toReal(value, 0, 100, x)) {
        load.phaseCurrent = x;
        aux = measure(load, rating);
    } else if (key == QLatin1String("cos") && toReal(value, 0, 1, x)) {
        load.powerFactor = x;
        aux = measure(load, rating);
    } else if (key == QLatin1String("export") && toInt(value, 0, 1, n)) {
        load.exporting = n != 0;
        aux = measure(load, rating);
    } else {
        return false;
    }
    return true;
}

} // namespace sim
