#pragma once

#include "bus/buslink.h"
#include "monitor/busframe.h"
#include "monitor/framemeaning.h"

#include <vector>

namespace monitor {

// Cuts what the port sent and received into frames and pairs each request with
// its answer. It sees the bytes as the program does, at the times it handed them
// to the link or got them from it (microseconds on one monotonic clock); it
// never touches the line.
//
// Every write is one request. Received bytes belong to one frame until the line
// has been silent for 3.5 characters at the line rate (at least 1.75 ms) or the
// next request goes out; a chunk's bytes are taken to have arrived one after
// another at the line rate, ending when the chunk came in.
//
// The program sees the bytes late and unevenly (a USB adapter's latency timer, a
// busy window), so a silence it measures need not have been on the line. The
// CRCs settle what the times cannot: pieces with a wrong CRC that together make
// an intact frame are one frame, and two intact frames that came in with no
// silence between them are two. A damaged piece therefore waits for more bytes
// until HoldUs of quiet, the next request or the end.
//
// The first received frame after a request is its answer; a request that the next
// one (or closing the port) finds without an answer is reported as unanswered.
class FrameCutter
{
public:
    static constexpr qint64 HoldUs = 100000;

    void setLine(const LineSettings &line);
    // Time of one character at the line rate, and the silence that ends a frame.
    qint64 charUs() const { return m_charUs; }
    qint64 silenceUs() const { return m_silenceUs; }

    // `protocol` is how a request and its answer are read.
    void sent(qint64 us, const QByteArray &bytes, Protocol protocol);
    void received(qint64 us, const QByteArray &bytes);
    // Closes a received frame whose silence has passed by `us`.
    void idle(qint64 us);
    // The port has closed: nothing more can arrive for the last request.
    void finish();
    void clear();

    // Frames completed since the last call, in order; their seq counts from 0.
    std::vector<BusFrame> takeFrames();
    // Requests found without an answer since the last call.
    struct Unanswered
    {
        quint64 seq;
        int address;
    };
    std::vector<Unanswered> takeUnanswered();

private:
    // Received bytes between two silences.
    struct Piece
    {
        QByteArray bytes;
        qint64 startUs = 0;
    };
    struct Request
    {
        quint64 seq = 0;
        QByteArray bytes;
        qint64 endUs = 0;
        Protocol protocol = Protocol::Modbus;
        bool expectsAnswer = false;
        bool answered = false;
    };

    void closeReceived();
    void emitReceived(const QByteArray &bytes, qint64 startUs);
    void settleRequest();
    BusFrame &push(Direction direction, qint64 startUs, const QByteArray &bytes);
    qint64 wireUs(int bytes) const { return m_charUs * bytes; }

    qint64 m_charUs = 573;
    qint64 m_silenceUs = 2006;
    quint64 m_nextSeq = 0;
    // A received frame may start before the clock's zero: its bytes were on the
    // line before they reached the program.
    qint64 m_lastStartUs = 0;
    bool m_havePrevious = false;
    std::vector<Piece> m_pieces; // received and not yet cut into frames
    qint64 m_lastRxUs = 0;
    bool m_haveRequest = false;
    Request m_request;
    std::vector<BusFrame> m_frames;
    std::vector<Unanswered> m_unanswered;
};

// Splits received bytes into intact frames where they hold two or more back to
// back (each at least 4 bytes with its own CRC); otherwise the bytes stay one frame.
std::vector<QByteArray> splitGlued(const QByteArray &bytes);

} // namespace monitor
