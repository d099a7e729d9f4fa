// The receive path: whatever arrives on the line between two ticks, in chunks of
// any size, through the port into RxFrame, and the engines that judge it (the
// communication test, or the address search) on a manual clock. Input: a set-up
// byte (bit 0: search instead of test; bit 1: the test accepts only the exact
// answer length, as the meter's does; bits 2-6: the search's button; bit 7: the
// bytes come over a real loopback TCP connection through the network link
// instead of an in-memory link), the count or the search range, then
// operations, one byte each with its arguments:
//   0 tick, 1 chunk of n bytes, 2 n bytes completed with a correct CRC,
//   3 a flood of (n + 1) * 64 bytes, 4 adapter lost, 5 count := n,
//   6 restart, 7 stop.
// Promises: RxFrame holds exactly what arrived since its last reset, cut at its
// 4096 bytes; accepted + errors never exceed sent; one request per sending tick
// and none past count + 1; the journal stays bounded; a lost port ends the test
// at the next tick; the search never leaves its range and finds only an intact
// answer, no longer than a Modbus frame, that its kind accepts.
#include "fuzzsupport.h"

#include "bus/buschannel.h"
#include "bus/requestlayer.h"
#include "bus/tcp/tcplink.h"
#include "bus/ticktimer.h"
#include "bus/vacomm.h"
#include "devices/commtest.h"
#include "devices/devicecatalogue.h"
#include "devices/krvprotocol.h"
#include "scan/devicesearch.h"
#include "support/fakelink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>

#include <cmath>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The KRV-A as the test sees it: its request, CRC acceptance or the exact length.
struct Device : CommTest::Device
{
    bool exactLength = false;
    int decoded = 0;
    int judgedCount = 0;

    void frameRequest(RequestLayer &frames, std::uint8_t address) override { krv::frameTestRequest(frames, address); }
    bool accepts(const RequestLayer &frames) const override
    {
        return (!exactLength || frames.RxCount == 45) && CommTest::Device::accepts(frames);
    }
    void decode(const RequestLayer &frames) override
    {
        FUZZ_CHECK(frames.RxCount > 3 && frames.CheckResponseCrc());
        for (double current : krv::decodeReading(frames.RxFrame, frames.RxCount).currents)
            FUZZ_CHECK(std::isfinite(current) && current >= 0);
        ++decoded;
    }
    void judged(bool) override { ++judgedCount; }
};

// Where the bytes come from: an in-memory link, or a real TcpLink connected over
// loopback to a server end held by the rig. Either way a call returns once its
// effect has reached the port.
class Line
{
public:
    virtual ~Line() = default;
    virtual void attach(BusChannel &channel) = 0;
    // The port has opened a link: the line takes up its other end.
    virtual void opened() {}
    virtual bool receive(const QByteArray &bytes) = 0; // false when there is no open link
    virtual void lose() = 0;
    // Bytes the port has sent on its links so far; waits for `atLeast` of them.
    virtual qsizetype written(qsizetype atLeast) = 0;
};

class FakeLine final : public Line
{
public:
    void attach(BusChannel &channel) override
    {
        m_port = &channel.port();
        channel.setLinkFactory(m_links.factory());
    }
    bool receive(const QByteArray &bytes) override
    {
        FakeLink *link = m_links.last();
        if (!link || !m_port->Active())
            return false;
        link->receive(bytes);
        return true;
    }
    void lose() override
    {
        if (FakeLink *link = m_links.last(); link && m_port->Active())
            link->loseDevice();
    }
    qsizetype written(qsizetype) override
    {
        const FakeLink *link = m_links.last();
        return link ? link->written.size() : 0;
    }

private:
    FakeLinkFactory m_links;
    TVaComm *m_port = nullptr;
};

// The server end is a plain socket, so what it sends and reads is never held
// back by an event loop of its own.
class TcpLine final : public Line
{
public:
    ~TcpLine() override { dropPeer(); }

    void attach(BusChannel &channel) override
    {
        m_port = &channel.port();
        channel.setPortResolver([](int) { return QStringLiteral("tcp://127.0.0.1:%1").arg(listener().port); });
        channel.setLinkFactory([this](const QString &address) {
            auto link = std::make_unique<TcpLink>(address);
            m_link = link.get();
            return std::unique_ptr<BusLink>(std::move(link));
        });
        QObject::connect(m_port, &TVaComm::OnRxBuf, [this](const QByteArray &bytes) { m_delivered += bytes.size(); });
        QObject::connect(m_port, &TVaComm::OnOpen, [this] { opened(); });
    }
    void opened() override
    {
        dropPeer();
        pollfd pending{listener().fd, POLLIN, 0};
        FUZZ_CHECK(::poll(&pending, 1, 2000) == 1);
        m_peer = ::accept4(listener().fd, nullptr, nullptr, SOCK_CLOEXEC);
        FUZZ_CHECK(m_peer >= 0);
        // As a device server does: what it has goes out at once, not after the
        // acknowledgement of the previous bytes.
        const int on = 1;
        ::setsockopt(m_peer, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        m_sent = m_delivered = 0;
    }
    bool receive(const QByteArray &bytes) override
    {
        if (m_peer < 0 || !m_port->Active())
            return false;
        for (qsizetype at = 0; at < bytes.size();) {
            const ssize_t n = ::send(m_peer, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL);
            FUZZ_CHECK(n > 0);
            at += n;
        }
        m_sent += bytes.size();
        // Everything sent is through to RxFrame before the next operation.
        QElapsedTimer clock;
        clock.start();
        while (m_delivered < m_sent && m_port->Active() && clock.elapsed() < 5000)
            pollPort();
        FUZZ_CHECK(m_delivered == m_sent);
        return true;
    }
    void lose() override
    {
        if (m_peer < 0 || !m_port->Active())
            return;
        dropPeer();
        QElapsedTimer clock;
        clock.start();
        while (m_port->Active() && clock.elapsed() < 5000)
            pollPort();
    }
    qsizetype written(qsizetype atLeast) override
    {
        QElapsedTimer clock;
        clock.start();
        char buffer[4096];
        while (m_peer >= 0) {
            const ssize_t n = ::recv(m_peer, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                m_written += n;
                continue;
            }
            if (m_written >= atLeast || clock.elapsed() > 2000)
                break;
            pollfd readable{m_peer, POLLIN, 0};
            ::poll(&readable, 1, 50);
        }
        return m_written;
    }

private:
    struct Listener
    {
        int fd = -1;
        quint16 port = 0;
    };
    // One listening socket for the whole run.
    static const Listener &listener()
    {
        static const Listener l = [] {
            Listener made;
            made.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t length = sizeof address;
            FUZZ_CHECK(::bind(made.fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
            FUZZ_CHECK(::listen(made.fd, 16) == 0);
            ::getsockname(made.fd, reinterpret_cast<sockaddr *>(&address), &length);
            made.port = ntohs(address.sin_port);
            return made;
        }();
        return l;
    }
    // Takes in what the link's socket holds, as a tick does, and lets the
    // socket's own events (the end of the connection) run.
    void pollPort()
    {
        if (m_link && m_link->handle() >= 0) {
            pollfd readable{int(m_link->handle()), POLLIN, 0};
            ::poll(&readable, 1, 20);
        }
        m_port->PollInput();
        QCoreApplication::processEvents();
    }
    void dropPeer()
    {
        if (m_peer >= 0)
            ::close(m_peer);
        m_peer = -1;
    }

    TVaComm *m_port = nullptr;
    QPointer<TcpLink> m_link;
    int m_peer = -1;
    qsizetype m_sent = 0, m_delivered = 0, m_written = 0;
};

struct Rig
{
    std::unique_ptr<Line> line;
    BusChannel channel;
    TVaComm &port = channel.port();
    RequestLayer *frames = &channel.frames();
    QByteArray arrived; // since RxFrame was last reset, as the line delivered it

    Rig(bool tcp, bool open = true) : line(tcp ? std::unique_ptr<Line>(new TcpLine) : std::unique_ptr<Line>(new FakeLine))
    {
        line->attach(channel);
        if (open)
            port.Open();
    }

    void receive(const QByteArray &bytes)
    {
        if (line->receive(bytes))
            arrived += bytes;
        checkBuffer();
    }
    void checkBuffer()
    {
        FUZZ_CHECK(frames->RxCount >= 0 && frames->RxCount <= RequestLayer::Capacity);
        if (frames->RxCount == 0)
            arrived.clear();
        FUZZ_CHECK(frames->rxBytes() == arrived.left(RequestLayer::Capacity));
    }
    void loseAdapter()
    {
        line->lose();
        FUZZ_CHECK(!port.Active());
    }
    qsizetype written(qsizetype atLeast = 0) const { return line->written(atLeast); }
};

// A count byte and that many bytes of the input.
QByteArray take(fuzz::Input &in)
{
    const std::vector<std::uint8_t> bytes = in.bytes(in.byte());
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

QByteArray withCrc(const QByteArray &body)
{
    const auto frame = fuzz::framed(reinterpret_cast<const std::uint8_t *>(body.constData()), std::size_t(body.size()));
    return QByteArray(reinterpret_cast<const char *>(frame.data()), qsizetype(frame.size()));
}

QByteArray flood(std::uint8_t seed, int count)
{
    QByteArray bytes(count, '\0');
    std::uint32_t x = 0x9E3779B9u ^ seed;
    for (char &c : bytes) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

void runTest(fuzz::Input &in, bool exactLength, bool tcp)
{
    Rig rig(tcp);
    ManualTickTimer clock;
    TestCounters counters;
    Device device;
    device.exactLength = exactLength;
    CommTest test(rig.port, *rig.frames, clock, counters, device);
    int count = in.byte();
    int maxCount = count;
    test.count = [&count] { return count; };
    test.address = [] { return std::uint8_t(1); };
    int journalLines = 0, sends = 0, finishedCount = 0;
    QObject::connect(&test, &CommTest::journal, [&](const QString &) { ++journalLines; });
    QObject::connect(&test, &CommTest::progress, [&](int sent) {
        FUZZ_CHECK(sent == counters.sent);
        ++sends;
    });
    QObject::connect(&test, &CommTest::finished, [&](CommTest::Stop) { ++finishedCount; });
    test.reset();
    test.run(50);

    while (!in.empty()) {
        const std::uint8_t op = in.byte();
        switch (op & 7) {
        case 0: {
            const bool wasRunning = test.isRunning();
            const bool portOpen = rig.port.Active();
            const int before = finishedCount;
            const qsizetype writtenBefore = rig.written();
            const int sentBefore = counters.sent;
            clock.fire();
            if (wasRunning && !portOpen)
                FUZZ_CHECK(finishedCount == before + 1 && !test.isRunning() && counters.sent == sentBefore);
            if (counters.sent > sentBefore)
                FUZZ_CHECK(rig.written(writtenBefore + 8) == writtenBefore + 8);
            break;
        }
        case 1: rig.receive(take(in)); break;
        case 2: rig.receive(withCrc(take(in))); break;
        case 3: rig.receive(flood(op, (in.byte() + 1) * 64)); break;
        case 4: rig.loseAdapter(); break;
        case 5:
            count = in.byte();
            maxCount = std::max(maxCount, count);
            break;
        case 6:
            test.reset();
            device.decoded = device.judgedCount = 0;
            journalLines = finishedCount = 0;
            maxCount = count;
            test.run(50);
            break;
        case 7: test.stop(); break;
        }
        rig.checkBuffer();
        FUZZ_CHECK(qint64(counters.accepted) + counters.errors <= counters.sent);
        FUZZ_CHECK(counters.accepted == device.decoded && counters.accepted + counters.errors == device.judgedCount);
        FUZZ_CHECK(counters.sent <= maxCount + 1);
        FUZZ_CHECK(journalLines <= 2 * CommTest::JournalledErrorLimit + 1);
        FUZZ_CHECK(finishedCount == 0 || !test.isRunning());
    }
}

void runSearch(fuzz::Input &in, std::uint8_t setup, bool tcp)
{
    Rig rig(tcp, false);
    ManualTickTimer clock;
    DeviceSearch search(rig.channel, clock);
    DeviceSearch::Result result;
    int finishedCount = 0;
    QObject::connect(&search, &DeviceSearch::finished, [&](const DeviceSearch::Result &r) {
        result = r;
        ++finishedCount;
    });
    const int tag = ((setup & 0x7F) >> 2) % 9; // 0 and 8 have no button
    int last = 1 + in.byte() % 247;
    const int first = 1 + in.byte() % last;
    search.lastAddress = [&last] { return last; };
    DeviceSearch::Plan plan;
    plan.tag = tag;
    plan.first = first;
    plan.last = last;
    search.start(plan);

    while (!in.empty()) {
        const std::uint8_t op = in.byte();
        switch (op & 7) {
        case 0:
        case 7: {
            const bool wasRunning = search.isRunning();
            const int before = finishedCount;
            clock.fire();
            if (!wasRunning)
                break;
            FUZZ_CHECK(finishedCount == before || (finishedCount == before + 1 && !search.isRunning()));
            if (finishedCount > before && result.end == DeviceSearch::Result::End::Found) {
                const RequestLayer &f = *rig.frames;
                FUZZ_CHECK(f.RxCount > 3 && f.RxCount <= 256 && fuzz::crcIntact(f.RxFrame, std::size_t(f.RxCount)));
                FUZZ_CHECK(result.found.kind == AcceptedWindow(tag, f.RxFrame, f.RxCount));
                FUZZ_CHECK(result.found.kind != DeviceWindowKind::None && result.found.answer == f.rxBytes());
            }
            if (finishedCount > before && result.end == DeviceSearch::Result::End::Exhausted)
                FUZZ_CHECK(!rig.port.Active());
            break;
        }
        case 1: rig.receive(take(in)); break;
        case 2: rig.receive(withCrc(take(in))); break;
        case 3: rig.receive(flood(op, (in.byte() + 1) * 64)); break;
        case 4: rig.loseAdapter(); break;
        case 5: last = 1 + in.byte() % 247; break; // the editor may change during a search
        case 6:
            if (search.isRunning())
                break;
            rig.channel.close();
            plan.first = std::min(first, last);
            plan.last = last;
            search.start(plan);
            break;
        }
        rig.checkBuffer();
        FUZZ_CHECK(search.currentAddress() <= search.endAddress());
        FUZZ_CHECK(search.ProbeRepeat >= 0 && search.ProbeRepeat <= 3);
        FUZZ_CHECK(rig.port.Active() || !search.isRunning());
    }
}

} // namespace

FUZZ_STARTS_QT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint8_t setup = in.byte();
    const bool tcp = (setup & 0x80) != 0;
    if (setup & 1)
        runSearch(in, setup, tcp);
    else
        runTest(in, (setup & 2) != 0, tcp);
    // A port closed from inside its link's signal frees the link later.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
