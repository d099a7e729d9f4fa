#pragma once

#include "monitor/framelog.h"

#include <QString>

#include <vector>

namespace monitor {

// What the monitor's save buttons write: the frames shown, as CSV (a header line,
// then one line per frame) or as plain text (one line per frame, then the
// statistics), UTF-8 with CR LF line ends.
QByteArray csvBytes(const std::vector<const BusFrame *> &frames);
QByteArray textBytes(const std::vector<const BusFrame *> &frames, const std::vector<AddressStatistics> &statistics);

} // namespace monitor
