// The bus monitor: whatever the port sends and receives, in any order, sizes and
// timing, cut into frames, given meanings and counted. Input: operations, one
// byte each with its arguments (a time step of one byte in 100 µs units first):
//   0 a request of n bytes (bit 7 of n: the meter's protocol),
//   1 received chunk of n bytes, 2 n received bytes completed with a correct CRC,
//   3 idle, 4 the view takes its frames, 5 line rate from a table, 6 port closed.
// Promises: the received bytes come out as received frames, every byte once and
// in order, and the requests as sent frames exactly as written; the frames count
// up one by one in time order; a frame said to have a good CRC has one; an answer
// answers a request before it; the recorder's pending frames stay within its
// bound and nothing is lost unaccounted; per address, the answers and the lost
// never exceed the requests, nor the damaged and refused the answers.
#include "fuzzsupport.h"

#include "monitor/busrecorder.h"
#include "monitor/framecutter.h"
#include "monitor/linkstatistics.h"

namespace {

constexpr std::size_t RecorderBound = 16;

struct Rig
{
    monitor::FrameCutter cutter;
    monitor::LinkStatistics statistics;
    monitor::BusRecorder recorder{RecorderBound};
    QByteArray sentBytes, receivedBytes;       // as handed to the monitor
    QByteArray sentFrames, receivedFrames;     // as it gave them back
    int lastRequestAddress = -1;               // of the last sent frame given back
    quint64 nextSeq = 0;
    quint64 recorderFrames = 0;

    void collect()
    {
        for (const monitor::BusFrame &f : cutter.takeFrames()) {
            FUZZ_CHECK(f.seq == nextSeq++);
            FUZZ_CHECK(!f.bytes.isEmpty());
            FUZZ_CHECK(f.startUs >= 0 || f.direction == monitor::Direction::Received);
            FUZZ_CHECK(f.sinceUs >= -1 && (f.sinceUs == -1) == (f.seq == 0));
            const auto *bytes = reinterpret_cast<const std::uint8_t *>(f.bytes.constData());
            if (f.crcOk)
                FUZZ_CHECK(fuzz::crcIntact(bytes, std::size_t(f.bytes.size())));
            FUZZ_CHECK(!f.meaning.isEmpty());
            if (f.direction == monitor::Direction::Sent) {
                sentFrames += f.bytes;
                FUZZ_CHECK(f.answerTo == -1 && f.responseUs == -1);
                lastRequestAddress = f.address();
            } else {
                receivedFrames += f.bytes;
                if (f.answerTo >= 0)
                    FUZZ_CHECK(f.answerTo == lastRequestAddress && f.responseUs >= 0);
            }
            statistics.add(f);
        }
        for (const auto &u : cutter.takeUnanswered())
            statistics.addLost(u.address);
    }

    void takeRecorded()
    {
        recorderFrames += recorder.takeFrames().size();
        static_cast<void>(recorder.takeUnanswered());
    }
};

} // namespace

FUZZ_STARTS_QT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const LineSettings Lines[] = {{2400, paEven}, {9600, paNone}, {19200, paNone}, {115200, paOdd}};
    fuzz::Input in(data, size);
    Rig rig;
    qint64 now = 0;
    for (int ops = 0; !in.empty() && ops < 2000; ++ops) {
        const std::uint8_t op = in.byte();
        now += qint64(in.byte()) * 100;
        switch (op % 7) {
        case 0: {
            const std::uint8_t n = in.byte();
            const std::vector<std::uint8_t> b = in.bytes(n & 0x7F);
            const QByteArray bytes(reinterpret_cast<const char *>(b.data()), qsizetype(b.size()));
            const auto protocol = (n & 0x80) ? monitor::Protocol::Set4tm : monitor::Protocol::Modbus;
            rig.sentBytes += bytes;
            rig.cutter.sent(now, bytes, protocol);
            rig.recorder.sent(now, bytes, protocol);
            break;
        }
        case 1:
        case 2: {
            std::vector<std::uint8_t> b = in.bytes(in.byte());
            if (op % 7 == 2)
                b = fuzz::framed(b.data(), b.size());
            const QByteArray bytes(reinterpret_cast<const char *>(b.data()), qsizetype(b.size()));
            rig.receivedBytes += bytes;
            rig.cutter.received(now, bytes);
            rig.recorder.received(now, bytes);
            break;
        }
        case 3:
            rig.cutter.idle(now);
            rig.recorder.idle(now);
            break;
        case 4: rig.takeRecorded(); break;
        case 5: {
            const LineSettings &line = Lines[in.byte() % 4];
            rig.cutter.setLine(line);
            rig.recorder.setLine(line);
            break;
        }
        case 6:
            rig.cutter.finish();
            rig.recorder.portClosed();
            break;
        }
        rig.collect();
    }
    rig.cutter.finish();
    rig.recorder.portClosed();
    rig.collect();

    FUZZ_CHECK(rig.sentFrames == rig.sentBytes);
    FUZZ_CHECK(rig.receivedFrames == rig.receivedBytes);
    rig.takeRecorded();
    FUZZ_CHECK(rig.recorderFrames + rig.recorder.dropped() == rig.nextSeq);
    FUZZ_CHECK(rig.recorder.dropped() == 0 || rig.nextSeq > RecorderBound);
    for (const monitor::AddressStatistics &a : rig.statistics.rows()) {
        FUZZ_CHECK(a.answers + a.lost <= a.requests);
        FUZZ_CHECK(a.crcErrors + a.exceptions <= a.answers);
        FUZZ_CHECK(a.minUs.has_value() == (a.answers > 0));
        if (a.minUs)
            FUZZ_CHECK(*a.minUs <= *a.medianUs && *a.medianUs <= *a.maxUs);
    }
    return 0;
}
