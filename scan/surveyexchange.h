#pragma once

#include "bus/buslink.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

// What the bus survey needs to know of one exchange, without a port: how long
// bytes take on the line, when an answer is complete, and whether it answers
// the request it followed.
namespace survey {

// One character: start bit, 8 data bits, the parity bit if any, one stop bit.
double characterUs(const LineSettings &line);
double wireUs(int bytes, const LineSettings &line);
// The silence that ends a frame: 3.5 characters.
double frameGapUs(const LineSettings &line);
// A wait for a timer that counts whole milliseconds: the nearest, at least 1.
// Rounding up instead would add half a millisecond to every exchange, one
// percent of a survey at the default wait.
int timerMs(double us);

enum class Reception {
    Nothing,
    Partial,  // bytes without a correct CRC at their end (yet)
    Complete, // 4..256 bytes, the last two the CRC of the others
    Overlong, // more than the longest frame: noise or answers run together
};
Reception receptionOf(const std::uint8_t *rx, int count);

enum class Shape {
    Answer,  // the request's function code back, with a length that fits it
    Refusal, // a Modbus exception: something there does not serve the request
    Foreign, // anything else: another protocol's status, a stray frame
};
// How a complete answer relates to the Modbus request it followed. The address
// must be the request's: an answer from another is left over from an earlier probe.
Shape modbusShape(const QByteArray &request, const std::uint8_t *rx, int count);

// The rates in the order tried: 19200 and 9600 first (where most devices sit),
// then the rest from the slowest up; each rate once.
QList<qint32> rateOrder(QList<qint32> rates);
// Every rate with every parity, no parity first within a rate.
QList<LineSettings> lineOrder(const QList<qint32> &rates, QList<TVaParity> parities);

// "нет", "нечетн", "четн": as the main window names the parities.
QString parityText(TVaParity parity);

} // namespace survey
