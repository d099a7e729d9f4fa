// The simulator's request handling: any frame, heard by a bus that carries one
// device of every kind (KRV-A at 1 ... B-7720Q at 7, the meter at 4 and on
// address 0). Input: frames, each a header byte (bit 0: append a correct CRC;
// bits 1-4: a one-shot fault for the answer, 0 none, else Action 0..8; bits
// 5-7: the bus clock moves on by 8^k ms), a length byte and the frame's bytes.
// Promises: no device crashes or loops on any frame; devices answer together
// only on address 0 (the meter's own, where the sensor also takes its address
// write) or where an address write has put two of them; an answer is a whole frame of 4 to 256 bytes with a correct CRC,
// changed only as its fault says.
#include "fuzzsupport.h"

#include "sim/bus.h"
#include "sim/meter/set4tm_device.h"

#include <memory>

namespace {

bool intact(const QByteArray &frame)
{
    return fuzz::crcIntact(reinterpret_cast<const std::uint8_t *>(frame.constData()), std::size_t(frame.size()));
}

} // namespace

FUZZ_STARTS_QT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    sim::Bus bus;
    bus.setSeed(11);
    // Every device hears every frame, whatever rate it was set to.
    bus.setBaudMatters(false);
    const QStringList kinds = sim::Bus::kinds();
    for (int i = 0; i < kinds.size(); ++i)
        bus.addDevice(sim::Bus::makeDevice(kinds.at(i), static_cast<std::uint8_t>(i + 1)));
    qint64 nowMs = 1'000'000'000;
    // A meter clock of its own, so a run does not depend on the day it runs.
    for (sim::Device *d : bus.devices())
        if (auto *meter = dynamic_cast<sim::Set4tmDevice *>(d))
            meter->setClock(QDateTime(QDate(2026, 12, 8), QTime(13, 59, 0), Qt::UTC), nowMs);

    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t header = data[at++];
        const std::size_t length = at < size ? data[at++] : 0;
        QByteArray frame(reinterpret_cast<const char *>(data + at), qsizetype(std::min(length, size - at)));
        at += std::size_t(frame.size());
        if (header & 1) {
            const auto withCrc = fuzz::framed(reinterpret_cast<const std::uint8_t *>(frame.constData()),
                                              std::size_t(frame.size()));
            frame = QByteArray(reinterpret_cast<const char *>(withCrc.data()), qsizetype(withCrc.size()));
        }
        const int fault = (header >> 1) & 0x0F;
        const bool scripted = fault >= 1 && fault <= 9;
        const auto action = static_cast<sim::Action>(fault - 1);
        for (sim::Device *d : bus.devices()) {
            d->script.clear();
            if (scripted)
                d->script.push_back(action);
        }
        nowMs += qint64(1) << (3 * (header >> 5));

        const sim::Counters before = bus.counters();
        int sharing = 0; // devices at the frame's address: writes may have moved one onto another
        for (sim::Device *d : bus.devices())
            sharing += !frame.isEmpty() && d->address() == std::uint8_t(frame.at(0));
        const std::optional<sim::Transmission> t = bus.respond(frame, nowMs);
        const bool collided = bus.counters().collisions != before.collisions;
        FUZZ_CHECK(!collided || frame.at(0) == 0 || sharing > 1);
        if (!intact(frame) || frame.size() < 4)
            FUZZ_CHECK(!t && bus.counters().badFrames == before.badFrames + 1);
        if (!t || collided)
            continue;
        const QByteArray &bytes = t->bytes;
        FUZZ_CHECK(bytes.size() >= 3 && bytes.size() <= 257);
        if (!scripted) {
            FUZZ_CHECK(bytes.size() >= 4 && bytes.size() <= 256 && intact(bytes));
            continue;
        }
        switch (action) {
        case sim::Action::Answer:
        case sim::Action::Late:
        case sim::Action::Split: FUZZ_CHECK(intact(bytes) && bytes.size() >= 4); break;
        case sim::Action::Refuse:
            FUZZ_CHECK(intact(bytes) && bytes.size() == 5 && (std::uint8_t(bytes.at(1)) & 0x80));
            break;
        case sim::Action::Corrupt: FUZZ_CHECK(!intact(bytes)); break;
        case sim::Action::Drop: FUZZ_CHECK(!"a dropped answer went out"); break;
        case sim::Action::Noise:
        case sim::Action::Short:
        case sim::Action::Long: break;
        }
        for (int pause : t->pauses)
            FUZZ_CHECK(pause > 0 && pause < bytes.size());
    }
    return 0;
}
