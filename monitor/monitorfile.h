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

// Writes the file whole or not at all: an earlier file of that name stays as it
// was when anything fails. False with the reason in `error`.
bool writeWhole(const QString &path, const QByteArray &bytes, QString *error);

// "monitor-9-12-2026-14-05-33.csv"
QString proposedFileName(const QDateTime &time, const QString &suffix);

} // namespace monitor
