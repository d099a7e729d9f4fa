#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace monitor {

enum class Direction { Sent, Received };

// What went wrong with a frame, for colour and the "errors only" filter.
enum class Problem {
    None,
    Crc,      // a received frame with a wrong CRC, or shorter than 4 bytes
    Refused,  // a Modbus exception or a meter status that refuses the request
    NoAnswer, // a request that the next request (or closing the port) found unanswered
};

// One frame as it went over the line, cut out of what the port sent and received.
struct BusFrame
{
    quint64 seq = 0;        // counts every frame from the start of the recording
    Direction direction = Direction::Sent;
    qint64 startUs = 0;     // first byte, on the recording's monotonic clock
    qint64 wallMs = 0;      // the same moment on the local wall clock, ms since the epoch
    qint64 sinceUs = -1;    // since the start of the previous frame; -1 for the first
    qint64 responseUs = -1; // an answer: from the end of its request to its first byte
    int answerTo = -1;      // an answer: the bus address of the request it answers
    QByteArray bytes;       // as on the wire, CRC included
    bool crcOk = false;
    Problem problem = Problem::None;
    QString meaning;

    int address() const { return bytes.isEmpty() ? -1 : static_cast<std::uint8_t>(bytes.at(0)); }
};

} // namespace monitor
