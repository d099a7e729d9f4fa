#pragma once

#include "charts/seriesstore.h"

#include <QByteArray>
#include <QString>

namespace charts {

// The time of a reading as a log writes it: local time with its offset from UTC
// and milliseconds, ISO 8601: "2026-03-05T14:02:03.250+03:00".
QString isoTime(qint64 timeMs);

// A value as a log writes it: a decimal point whatever the locale, up to 15
// significant digits ("12.5", "0.1", "230", "1e-07"); a state as 0 or 1.
QByteArray logValue(double value);

// Every reading of the store as CSV, oldest first (readings of the same moment in
// the order their series came): a header line, then "time,quantity,unit,value"
// per reading; comma-separated, UTF-8 without a byte order mark, CR LF line ends.
QByteArray csvBytes(const SeriesStore &store);

} // namespace charts
