#pragma once

#include <QByteArray>
#include <QString>

namespace sim {

// Short Russian meaning of a SET-4TM frame for the bus monitor. `frame` may carry
// its CRC or not: a valid trailing CRC is recognised and ignored.
QString describeSet4tmFrame(const QByteArray &frame, bool isAnswer);

} // namespace sim
