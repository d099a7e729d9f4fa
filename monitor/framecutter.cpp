#include "monitor/framecutter.h"

#include "bus/crc16.h"

#include <algorithm>
#include <array>

namespace monitor {

namespace {
// Longest run of received bytes searched for glued frames; far above any answer.
constexpr int MaxGluedBytes = 512;
constexpr int MinFrame = 4;

constexpr int MaxGluedFrames = 8;

bool intact(const std::uint8_t *bytes, int count)
{
    return count >= MinFrame && FrameCrcIntact(bytes, count);
}

constexpr std::array<std::uint16_t, 256> CrcSteps = [] {
    std::array<std::uint16_t, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[std::size_t(i)] = crc_detail::reflectedEntry(static_cast<std::uint8_t>(i));
    return table;
}();

// Finds the intact frames that make up a run of bytes. A frame is intact where the
// CRC register, run over the frame with its own CRC, ends at 0, so the prefixes are
// checked in one pass. Starts that led nowhere are remembered: bytes with an intact
// prefix at many lengths (a CRC followed by zeros has one at every length) then
// cost a square of their length, not a power of it.
class GlueSearch
{
public:
    GlueSearch(const std::uint8_t *bytes, int count)
        : m_bytes(bytes), m_count(count), m_dead(std::size_t(count) * MaxGluedFrames, false)
    {
    }

    // Lengths of at most `frames` intact frames that make up the bytes from `offset`
    // on, the longest first frame preferred when it takes them all; empty when none do.
    std::vector<int> lengths(int offset, int frames)
    {
        const int rest = m_count - offset;
        if (intact(m_bytes + offset, rest))
            return {rest};
        const std::size_t key = std::size_t(offset) * MaxGluedFrames + std::size_t(frames - 1);
        if (frames == 1 || m_dead[key])
            return {};
        std::uint16_t crc = 0xFFFF;
        for (int length = 1; length <= rest - MinFrame; ++length) {
            crc = static_cast<std::uint16_t>((crc >> 8) ^ CrcSteps[(crc ^ m_bytes[offset + length - 1]) & 0xFFu]);
            if (crc != 0 || length < MinFrame)
                continue;
            std::vector<int> tail = lengths(offset + length, frames - 1);
            if (!tail.empty()) {
                tail.insert(tail.begin(), length);
                return tail;
            }
        }
        m_dead[key] = true;
        return {};
    }

private:
    const std::uint8_t *m_bytes;
    int m_count;
    std::vector<bool> m_dead;
};
} // namespace

std::vector<QByteArray> splitGlued(const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const std::uint8_t *>(bytes.constData());
    const int count = static_cast<int>(bytes.size());
    if (count < 2 * MinFrame || count > MaxGluedBytes || intact(data, count))
        return {bytes};
    const std::vector<int> lengths = GlueSearch(data, count).lengths(0, MaxGluedFrames);
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
    m_havePrevious = false;
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
    frame.sinceUs = m_havePrevious ? std::max<qint64>(0, startUs - m_lastStartUs) : -1;
    frame.bytes = bytes;
    m_lastStartUs = startUs;
    m_havePrevious = true;
    m_frames.push_back(std::move(frame));
    return m_frames.back();
}

} // namespace monitor
