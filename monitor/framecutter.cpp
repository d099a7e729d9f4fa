#include "monitor/framecutter.h"

#include "bus/crc16.h"

#include <algorithm>

namespace monitor {

namespace {
// Longest run of received bytes searched for glued frames; far above any answer.
constexpr int MaxGluedBytes = 512;
constexpr int MinFrame = 4;

bool intact(const std::uint8_t *bytes, int count)
{
    return count >= MinFrame && FrameCrcIntact(bytes, count);
}

// Lengths of the intact frames that make up all `count` bytes, or empty.
std::vector<int> gluedLengths(const std::uint8_t *bytes, int count, int depth)
{
    if (intact(bytes, count))
        return {count};
    if (depth == 0)
        return {};
    for (int k = MinFrame; k <= count - MinFrame; ++k) {
        if (!intact(bytes, k))
            continue;
        std::vector<int> rest = gluedLengths(bytes + k, count - k, depth - 1);
        if (!rest.empty()) {
            rest.insert(rest.begin(), k);
            return rest;
        }
    }
    return {};
}
} // namespace

std::vector<QByteArray> splitGlued(const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const std::uint8_t *>(bytes.constData());
    const int count = static_cast<int>(bytes.size());
    if (count < 2 * MinFrame || count > MaxGluedBytes || intact(data, count))
        return {bytes};
    const std::vector<int> lengths = gluedLengths(data, count, 7);
    if (lengths.empty())
        return {bytes};
    std::vector<QByteArray> frames;
    int offset = 0;
    for (int length : lengths) {
        frames.push_back(bytes.mid(offset, length));
        offset += length;
    }
    return frames;
}

void FrameCutter::setLine(const LineSettings &line)
{
    const qint64 bits = line.parity == paNone ? 10 : 11;
    const qint64 baud = std::max<qint64>(line.baudRate, 50);
    m_charUs = (bits * 1000000 + baud - 1) / baud;
    m_silenceUs = std::max<qint64>(m_charUs * 7 / 2, 1750);
}

void FrameCutter::sent(qint64 us, const QByteArray &bytes, Protocol protocol)
{
    if (bytes.isEmpty())
        return;
    closeReceived();
    settleRequest();
    BusFrame &frame = push(Direction::Sent, us, bytes);
    frame.crcOk = crcIntact(bytes);
    frame.meaning = frameMeaning(protocol, bytes, false).text;
    m_haveRequest = true;
    m_request.seq = frame.seq;
    m_request.bytes = bytes;
    m_request.endUs = us + wireUs(static_cast<int>(bytes.size()));
    m_request.protocol = protocol;
    // A Modbus request to address 0 is a broadcast that nobody answers; the meter
    // answers its own requests to 0.
    m_request.expectsAnswer = protocol == Protocol::Set4tm || frame.address() != 0;
    m_request.answered = false;
}

void FrameCutter::received(qint64 us, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const qint64 chunkStart = us - wireUs(static_cast<int>(bytes.size()));
    if (!m_pieces.empty() && chunkStart - m_lastRxUs >= m_silenceUs) {
        // An intact frame ends at the silence; a damaged piece may go on.
        if (crcIntact(m_pieces.back().bytes))
            closeReceived();
        if (!m_pieces.empty())
            m_pieces.push_back({{}, chunkStart});
    }
    if (m_pieces.empty())
        m_pieces.push_back({{}, chunkStart});
    m_pieces.back().bytes += bytes;
    m_lastRxUs = us;
}

void FrameCutter::idle(qint64 us)
{
    if (m_pieces.empty() || us - m_lastRxUs < m_silenceUs)
        return;
    if (crcIntact(m_pieces.back().bytes) || us - m_lastRxUs >= HoldUs)
        closeReceived();
}

void FrameCutter::finish()
{
    closeReceived();
    settleRequest();
    m_haveRequest = false;
}

void FrameCutter::clear()
{
    m_pieces.clear();
    m_haveRequest = false;
    m_request = {};
    m_lastStartUs = -1;
    m_frames.clear();
    m_unanswered.clear();
}

std::vector<BusFrame> FrameCutter::takeFrames()
{
    std::vector<BusFrame> frames;
    frames.swap(m_frames);
    return frames;
}

std::vector<FrameCutter::Unanswered> FrameCutter::takeUnanswered()
{
    std::vector<Unanswered> seqs;
    seqs.swap(m_unanswered);
    return seqs;
}

void FrameCutter::closeReceived()
{
    // Damaged pieces that make an intact frame together are joined (at most
    // eight, as from a line that stalls in the middle of an answer).
    std::vector<Piece> frames;
    for (std::size_t i = 0; i < m_pieces.size();) {
        std::size_t end = i + 1;
        if (!crcIntact(m_pieces[i].bytes)) {
            QByteArray joined = m_pieces[i].bytes;
            for (std::size_t j = i + 1; j < m_pieces.size() && j < i + 8; ++j) {
                joined += m_pieces[j].bytes;
                if (crcIntact(joined)) {
                    end = j + 1;
                    break;
                }
            }
        }
        Piece frame{{}, m_pieces[i].startUs};
        for (std::size_t k = i; k < end; ++k)
            frame.bytes += m_pieces[k].bytes;
        frames.push_back(std::move(frame));
        i = end;
    }
    m_pieces.clear();
    for (const Piece &piece : frames) {
        qint64 start = piece.startUs;
        for (const QByteArray &bytes : splitGlued(piece.bytes)) {
            emitReceived(bytes, start);
            start += wireUs(static_cast<int>(bytes.size()));
        }
    }
}

void FrameCutter::emitReceived(const QByteArray &bytes, qint64 startUs)
{
    BusFrame &frame = push(Direction::Received, startUs, bytes);
    frame.crcOk = crcIntact(bytes);
    const bool isAnswer = m_haveRequest && !m_request.answered;
    const Protocol protocol = m_haveRequest ? m_request.protocol : Protocol::Modbus;
    const Meaning meaning = frameMeaning(protocol, bytes, true, isAnswer ? m_request.bytes : QByteArray());
    frame.meaning = meaning.text;
    if (bytes.size() < 4 || !frame.crcOk)
        frame.problem = Problem::Crc;
    else if (meaning.refused)
        frame.problem = Problem::Refused;
    if (isAnswer) {
        m_request.answered = true;
        frame.answerTo = static_cast<std::uint8_t>(m_request.bytes.at(0));
        frame.responseUs = std::max<qint64>(0, startUs - m_request.endUs);
    }
}

void FrameCutter::settleRequest()
{
    if (m_haveRequest && m_request.expectsAnswer && !m_request.answered) {
        m_unanswered.push_back({m_request.seq, static_cast<std::uint8_t>(m_request.bytes.at(0))});
        m_request.answered = true; // reported once
    }
}

BusFrame &FrameCutter::push(Direction direction, qint64 startUs, const QByteArray &bytes)
{
    BusFrame frame;
    frame.seq = m_nextSeq++;
    frame.direction = direction;
    frame.startUs = startUs;
    frame.sinceUs = m_lastStartUs < 0 ? -1 : std::max<qint64>(0, startUs - m_lastStartUs);
    frame.bytes = bytes;
    m_lastStartUs = startUs;
    m_frames.push_back(std::move(frame));
    return m_frames.back();
}

} // namespace monitor
