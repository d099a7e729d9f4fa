#pragma once

#include "bus/buslink.h"
#include "sim/device.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QVector>

#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <vector>

namespace sim {

enum class Direction {
    Request, // master to the devices
    Answer,  // devices to the master
    Note,    // something that did not go on the wire (a dropped answer, a deaf device)
};

struct Counters
{
    int frames = 0;     // frames heard on the line
    int badFrames = 0;  // wrong CRC or too short: nobody answers
    int answers = 0;    // answers put on the line
    int dropped = 0;
    int corrupted = 0;
    int noise = 0;
    int late = 0;
    int split = 0;
    int deaf = 0;       // frames a device missed for a rate or parity other than the line's
    int collisions = 0; // frames that several devices answered at once
};

// What goes back to the master for one request.
struct Transmission
{
    QByteArray bytes;      // everything that goes on the wire, noise and CRC included
    QVector<int> pauses;   // byte counts after which the sender pauses (split answers)
    qint64 delayUs = 0;    // from the end of the request's silence to the first byte
    QString meaning;
};

// A simulated RS-485 bus: the devices on it, the line timing, and the faults.
// Bytes from the master (receive) take their wire time at the line rate; a
// silence of 3.5 characters ends a frame; a frame with a correct CRC is offered
// to every device, and answers go back (transmit) after the think time, each
// byte at its wire time, delivered in chunks as a UART receive FIFO would.
// Everything runs on the thread that owns the bus.
class Bus : public QObject
{
    Q_OBJECT
public:
    explicit Bus(QObject *parent = nullptr);
    ~Bus() override;

    // The kinds makeDevice knows, in the order of the scan table.
    static QStringList kinds();
    // nullptr for an unknown kind.
    static std::unique_ptr<Device> makeDevice(const QString &kind, std::uint8_t address);

    // Takes the device; two devices may share an address (their answers collide).
    Device *addDevice(std::unique_ptr<Device> device);
    // The first device at the address, or nullptr.
    Device *device(std::uint8_t address) const;
    std::vector<Device *> devices() const;
    // Devices added later, or given other seeds, move differently.
    void setSeed(std::uint32_t seed);
    std::uint32_t seed() const { return m_seed; }

    void setLine(const LineSettings &line);
    LineSettings line() const { return m_line; }
    // When on (the default) a device whose own rate or parity differs from the
    // line's hears only garbage and stays silent, as after a baud change and a
    // power cycle.
    void setBaudMatters(bool on) { m_baudMatters = on; }
    bool baudMatters() const { return m_baudMatters; }
    void setThinkTimeMs(double ms) { m_thinkUs = static_cast<qint64>(ms * 1000); }
    double thinkTimeMs() const { return m_thinkUs / 1000.0; }
    // Largest chunk handed to the master at once (1..4096).
    void setFifoBytes(int bytes);
    int fifoBytes() const { return m_fifoBytes; }
    void setSplitPauseMs(double ms) { m_splitPauseUs = static_cast<qint64>(ms * 1000); }

    // Switches every device off and on.
    void powerCycle();
    // The master's adapter is pulled out: every link to the bus loses its device.
    void unplug() { emit unplugged(); }

    qint64 charUs() const;    // one character (start, 8 data, parity, stop bit)
    qint64 silenceUs() const; // 3.5 characters, at least 1750 µs
    qint64 nowUs() const;     // bus clock

    // Bytes from the master. They go on the wire behind what is already there.
    void receive(const QByteArray &bytes);
    // Drops bytes from the master that have not yet gone on the wire.
    void purgeIncoming();
    // Bytes from the master still waiting for their turn on the wire.
    int pendingIncoming() const;
    // Raw bytes towards the master, now.
    void inject(const QByteArray &bytes);

    // The decision for one complete frame (CRC included) heard at `nowMs`:
    // which devices answer, and with which faults. Device state, counters and
    // the monitor follow; nothing is scheduled.
    std::optional<Transmission> respond(const QByteArray &frame, qint64 nowMs);

    const Counters &counters() const { return m_counters; }
    void resetCounters() { m_counters = {}; }

signals:
    void unplugged();
    // Bytes arriving at the master.
    void transmit(const QByteArray &bytes);
    // Bus monitor: every frame in both directions; the time is the local wall
    // clock in ms since the epoch.
    void frameLogged(qint64 timestampMs, sim::Direction direction, const QByteArray &bytes, const QString &meaning);

private:
    struct Chunk
    {
        qint64 dueUs;
        QByteArray bytes;
    };

    void onSilenceTimer();
    void completeFrame();
    void schedule(const Transmission &t, qint64 startUs);
    void onTxTimer();
    void armTxTimer();
    void log(qint64 busUs, Direction direction, const QByteArray &bytes, const QString &meaning);
    double draw();
    // The device that speaks for an address: the one there, or the meter for 0.
    const Device *speakerFor(std::uint8_t address) const;
    QString requestMeaningOf(const QByteArray &frame) const;

    std::vector<std::unique_ptr<Device>> m_devices;
    std::uint32_t m_seed = 1;
    std::mt19937 m_rng;
    LineSettings m_line;
    bool m_baudMatters = true;
    qint64 m_thinkUs = 3000;
    int m_fifoBytes = 16;
    qint64 m_splitPauseUs = 10000;
    Counters m_counters;

    QElapsedTimer m_clock;
    qint64 m_epochMs = 0;

    QByteArray m_rx;          // the frame being heard
    QVector<qint64> m_rxEnds; // wire end time of each of its bytes
    QTimer m_silenceTimer;

    std::deque<Chunk> m_tx;
    qint64 m_txFreeUs = 0;    // when the last scheduled byte has left
    QTimer m_txTimer;
};

// "9600 bit/s, even parity", "any rate": a device's line as the logs name it.
QString lineText(int baudRate, int parity);

} // namespace sim

Q_DECLARE_METATYPE(sim::Direction)
