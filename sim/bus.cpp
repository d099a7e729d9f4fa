#include "sim/bus.h"

#include "sim/live.h"
#include "sim/meter/set4tm_device.h"
#include "sim/modbus.h"
#include "sim/modbusdevice.h"
#include "sim/modules.h"
#include "sim/relays.h"
#include "sim/thermal.h"

#include <QDateTime>

#include <algorithm>

namespace sim {

QStringList Bus::kinds()
{
    return {QStringLiteral("krv"), QStringLiteral("zdlt"), QStringLiteral("m7051"), QStringLiteral("set4tm"),
            QStringLiteral("sensor"), QStringLiteral("controller"), QStringLiteral("b7720q")};
}

std::unique_ptr<Device> Bus::makeDevice(const QString &kind, std::uint8_t address)
{
    if (kind == QLatin1String("krv"))
        return std::make_unique<KrvDevice>(address);
    if (kind == QLatin1String("zdlt"))
        return std::make_unique<ZdltDevice>(address);
    if (kind == QLatin1String("m7051"))
        return std::make_unique<M7051Device>(address);
    if (kind == QLatin1String("set4tm"))
        return std::make_unique<Set4tmDevice>(address);
    if (kind == QLatin1String("sensor"))
        return std::make_unique<SensorDevice>(address);
    if (kind == QLatin1String("controller"))
        return std::make_unique<ControllerDevice>(address);
    if (kind == QLatin1String("b7720q"))
        return std::make_unique<B7720qDevice>(address);
    return nullptr;
}

Bus::Bus(QObject *parent) : QObject(parent), m_rng(m_seed)
{
    qRegisterMetaType<sim::Direction>();
    m_clock.start();
    m_epochMs = QDateTime::currentMSecsSinceEpoch();
    m_silenceTimer.setSingleShot(true);
    m_silenceTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_silenceTimer, &QTimer::timeout, this, &Bus::onSilenceTimer);
    m_txTimer.setSingleShot(true);
    m_txTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_txTimer, &QTimer::timeout, this, &Bus::onTxTimer);
}

Bus::~Bus() = default;

Device *Bus::addDevice(std::unique_ptr<Device> device)
{
    if (!device)
        return nullptr;
    device->liveSeed = live::mix(m_seed, static_cast<std::uint32_t>(m_devices.size()));
    m_devices.push_back(std::move(device));
    return m_devices.back().get();
}

Device *Bus::device(std::uint8_t address) const
{
    for (const auto &d : m_devices) {
        if (d->address() == address)
            return d.get();
    }
    return nullptr;
}

std::vector<Device *> Bus::devices() const
{
    std::vector<Device *> list;
    for (const auto &d : m_devices)
        list.push_back(d.get());
    return list;
}

void Bus::setSeed(std::uint32_t seed)
{
    m_seed = seed;
    m_rng.seed(seed);
    for (std::size_t i = 0; i < m_devices.size(); ++i)
        m_devices[i]->liveSeed = live::mix(seed, static_cast<std::uint32_t>(i));
}

void Bus::setLine(const LineSettings &line)
{
    m_line = line;
}

void Bus::setFifoBytes(int bytes)
{
    m_fifoBytes = std::clamp(bytes, 1, 4096);
}

void Bus::powerCycle()
{
    for (const auto &d : m_devices)
        d->powerCycle();
}

qint64 Bus::charUs() const
{
    const int bits = m_line.parity == paNone ? 10 : 11;
    const qint64 baud = std::max<qint64>(m_line.baudRate, 50);
    return (bits * 1000000LL + baud - 1) / baud;
}

qint64 Bus::silenceUs() const
{
    // Above 19200 bit/s the silence is fixed, as the serial line rules prescribe.
    if (m_line.baudRate > 19200)
        return 1750;
    return charUs() * 7 / 2;
}

qint64 Bus::nowUs() const
{
    return m_clock.nsecsElapsed() / 1000;
}

QString lineText(int baudRate, int parity)
{
    const QString rate = baudRate > 0 ? QStringLiteral("%1 bit/s").arg(baudRate) : QStringLiteral("any rate");
    switch (parity) {
    case paNone: return rate + QStringLiteral(", no parity");
    case paOdd: return rate + QStringLiteral(", odd parity");
    case paEven: return rate + QStringLiteral(", even parity");
    default: return rate;
    }
}

double Bus::draw()
{
    return std::uniform_real_distribution<double>(0.0, 1.0)(m_rng);
}

void Bus::receive(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const qint64 now = nowUs();
    // A frame whose silence has passed is complete even if its timer is late.
    if (!m_rx.isEmpty() && now >= m_rxEnds.last() + silenceUs())
        completeFrame();
    qint64 end = m_rx.isEmpty() ? now : std::max(now, m_rxEnds.last());
    for (char c : bytes) {
        end += charUs();
        m_rx.append(c);
        m_rxEnds.append(end);
    }
    const qint64 waitUs = end + silenceUs() - now;
    m_silenceTimer.start(static_cast<int>((waitUs + 999) / 1000));
}

void Bus::purgeIncoming()
{
    const qint64 now = nowUs();
    int keep = 0;
    while (keep < m_rxEnds.size() && m_rxEnds.at(keep) <= now)
        ++keep;
    m_rx.truncate(keep);
    m_rxEnds.resize(keep);
    if (m_rx.isEmpty())
        m_silenceTimer.stop();
}

int Bus::pendingIncoming() const
{
    const qint64 now = nowUs();
    int pending = 0;
    for (int i = m_rxEnds.size() - 1; i >= 0 && m_rxEnds.at(i) > now; --i)
        ++pending;
    return pending;
}

void Bus::onSilenceTimer()
{
    if (m_rx.isEmpty())
        return;
    const qint64 left = m_rxEnds.last() + silenceUs() - nowUs();
    if (left > 0) {
        m_silenceTimer.start(static_cast<int>((left + 999) / 1000));
        return;
    }
    completeFrame();
}

void Bus::completeFrame()
{
    m_silenceTimer.stop();
    const QByteArray frame = m_rx;
    const qint64 endUs = m_rxEnds.last();
    m_rx.clear();
    m_rxEnds.clear();
    const qint64 heardUs = endUs + silenceUs();
    log(endUs, Direction::Request, frame, requestMeaningOf(frame));
    const auto t = respond(frame, heardUs / 1000);
    if (t)
        schedule(*t, std::max(heardUs, nowUs()) + t->delayUs);
}

const Device *Bus::speakerFor(std::uint8_t address) const
{
    if (const Device *d = device(address))
        return d;
    if (address != 0)
        return nullptr;
    // The meter answers address 0 in its own protocol; to anyone else it is a broadcast.
    for (const auto &candidate : m_devices) {
        if (candidate->protocol() == monitor::Protocol::Set4tm)
            return candidate.get();
    }
    return nullptr;
}

QString Bus::requestMeaningOf(const QByteArray &frame) const
{
    if (frame.size() < 4 || !modbus::crcValid(frame))
        return monitor::frameMeaning(monitor::Protocol::Modbus, frame, false).text + QStringLiteral(" [ignored]");
    const QByteArray body = frame.left(frame.size() - 2);
    if (const Device *d = speakerFor(static_cast<std::uint8_t>(body.at(0))))
        return d->describe(body, false);
    return monitor::requestMeaning(monitor::Protocol::Modbus, body).text;
}

std::optional<Transmission> Bus::respond(const QByteArray &frame, qint64 nowMs)
{
    ++m_counters.frames;
    if (frame.size() < 4 || !modbus::crcValid(frame)) {
        ++m_counters.badFrames;
        return std::nullopt;
    }
    const QByteArray body = frame.left(frame.size() - 2);
    const QByteArray &request = body;
    const auto address = static_cast<std::uint8_t>(body.at(0));

    std::vector<Transmission> answers;
    for (const auto &d : m_devices) {
        const bool addressed = d->address() == address;
        if (m_baudMatters && !d->hears(m_line)) {
            if (addressed) {
                ++m_counters.deaf;
                log(nowUs(), Direction::Note, {},
                    QStringLiteral("%1 at address %2 works at %3 and hears only garbage")
                        .arg(QString::fromLatin1(d->kind()))
                        .arg(address)
                        .arg(lineText(d->lineRate(), d->parity)));
            }
            continue;
        }
        if (addressed)
            ++d->requestsSeen;
        const auto answer = d->handle(body, nowMs);
        if (!answer)
            continue;

        // The same number of draws for every answer keeps a seeded run repeatable.
        const double u[5] = {draw(), draw(), draw(), draw(), draw()};
        bool drop = false, corrupt = false, noise = false, late = false, split = false;
        bool shorten = false, lengthen = false, refuse = false;
        if (!d->script.empty()) {
            const Action a = d->script.front();
            d->script.pop_front();
            drop = a == Action::Drop;
            corrupt = a == Action::Corrupt;
            noise = a == Action::Noise;
            late = a == Action::Late;
            split = a == Action::Split;
            shorten = a == Action::Short;
            lengthen = a == Action::Long;
            refuse = a == Action::Refuse;
        } else {
            drop = u[0] < d->faults.drop;
            corrupt = u[1] < d->faults.corrupt;
            noise = u[2] < d->faults.noise;
            late = u[3] < d->faults.late;
            split = u[4] < d->faults.split;
        }
        QByteArray body = *answer;
        if (refuse)
            body = modbus::exceptionAnswer(static_cast<std::uint8_t>(body.at(0)), static_cast<std::uint8_t>(frame.at(1)),
                                           d->faults.exceptionCode);
        const QString meaning = d->describe(body, true, request);
        if (drop) {
            ++m_counters.dropped;
            log(nowUs(), Direction::Note, modbus::withCrc(body), QStringLiteral("dropped, not sent: ") + meaning);
            continue;
        }

        Transmission t;
        t.bytes = modbus::withCrc(body);
        t.delayUs = m_thinkUs;
        QStringList tags;
        if (corrupt) {
            ++m_counters.corrupted;
            t.bytes[t.bytes.size() - 1] = static_cast<char>(t.bytes.at(t.bytes.size() - 1) ^ 0x5A);
            tags << QStringLiteral("CRC corrupted");
        }
        if (shorten) {
            t.bytes.chop(1);
            tags << QStringLiteral("last byte lost");
        }
        if (lengthen) {
            t.bytes.append(static_cast<char>(m_rng() & 0xFF));
            tags << QStringLiteral("stray byte after");
        }
        if (noise) {
            ++m_counters.noise;
            t.bytes.prepend(static_cast<char>(m_rng() & 0xFF));
            tags << QStringLiteral("noise byte first");
        }
        if (late) {
            ++m_counters.late;
            t.delayUs += static_cast<qint64>(d->faults.lateMs) * 1000;
            tags << QStringLiteral("late by %1 ms").arg(d->faults.lateMs);
        }
        if (split && t.bytes.size() > 1) {
            ++m_counters.split;
            const int pieces = std::min<int>(2 + static_cast<int>(m_rng() % 3), t.bytes.size());
            for (int i = 1; i < pieces; ++i)
                t.pauses.append(t.bytes.size() * i / pieces);
            tags << QStringLiteral("split in %1").arg(pieces);
        }
        t.meaning = tags.isEmpty() ? meaning : meaning + QStringLiteral(" [") + tags.join(QStringLiteral(", ")) + "]";
        ++d->answersSent;
        answers.push_back(t);
    }

    if (answers.empty())
        return std::nullopt;
    ++m_counters.answers;
    if (answers.size() == 1)
        return answers.front();

    // Several drivers on the line at once: the master receives a mixture.
    ++m_counters.collisions;
    Transmission mixed = answers.front();
    for (std::size_t i = 1; i < answers.size(); ++i) {
        const QByteArray &other = answers[i].bytes;
        for (int k = 0; k < other.size(); ++k) {
            if (k < mixed.bytes.size())
                mixed.bytes[k] = static_cast<char>(mixed.bytes.at(k) & other.at(k));
            else
                mixed.bytes.append(other.at(k));
        }
        mixed.delayUs = std::min(mixed.delayUs, answers[i].delayUs);
    }
    mixed.meaning = QStringLiteral("collision of %1 answers").arg(answers.size());
    return mixed;
}

void Bus::inject(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    Transmission t;
    t.bytes = bytes;
    t.meaning = QStringLiteral("injected");
    schedule(t, nowUs());
}

void Bus::schedule(const Transmission &t, qint64 startUs)
{
    qint64 at = std::max(startUs, m_txFreeUs);
    log(at, Direction::Answer, t.bytes, t.meaning);
    QByteArray chunk;
    for (int i = 0; i < t.bytes.size(); ++i) {
        at += charUs();
        chunk.append(t.bytes.at(i));
        const bool pause = t.pauses.contains(i + 1);
        if (chunk.size() >= m_fifoBytes || pause || i + 1 == t.bytes.size()) {
            m_tx.push_back({at, chunk});
            chunk.clear();
        }
        if (pause)
            at += m_splitPauseUs;
    }
    m_txFreeUs = at;
    armTxTimer();
}

void Bus::armTxTimer()
{
    if (m_tx.empty()) {
        m_txTimer.stop();
        return;
    }
    const qint64 wait = std::max<qint64>(0, m_tx.front().dueUs - nowUs());
    m_txTimer.start(static_cast<int>((wait + 999) / 1000));
}

void Bus::onTxTimer()
{
    // One signal per FIFO load, even when several are due: a reader that
    // takes everything at each signal still sees them merged, as from a busy port.
    const qint64 now = nowUs();
    while (!m_tx.empty() && m_tx.front().dueUs <= now) {
        const QByteArray bytes = m_tx.front().bytes;
        m_tx.pop_front();
        emit transmit(bytes);
    }
    armTxTimer();
}

void Bus::log(qint64 busUs, Direction direction, const QByteArray &bytes, const QString &meaning)
{
    emit frameLogged(m_epochMs + busUs / 1000, direction, bytes, meaning);
}

} // namespace sim
