#pragma once

#include "bus/buslink.h"
#include "monitor/framemeaning.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <deque>
#include <optional>

namespace sim {

// Per-device fault injection. Probabilities are 0..1 and drawn per answer from
// the bus's seeded generator, so a seed makes a run repeatable.
struct Faults
{
    double drop = 0;      // no answer at all
    double corrupt = 0;   // answer with a wrong CRC
    double noise = 0;     // a stray byte on the line before the answer
    double late = 0;      // answer sent only after lateMs
    int lateMs = 500;
    double split = 0;     // answer sent in several chunks with short gaps
    double busy = 0;      // meter only: a "busy" status answer instead of the real one
    std::uint8_t exceptionCode = 4; // of a refused request (Action::Refuse): 4 = device failure
};

// A one-shot fault for the next answer of a device, taken before the random ones:
// a test can say "drop the first two answers, then answer normally".
enum class Action {
    Answer,  // answer normally, without any random fault
    Drop,    // the answer never reaches the master
    Corrupt, // the answer goes out with a wrong CRC
    Noise,   // a stray byte precedes the answer
    Late,    // the answer goes out only after faults.lateMs
    Split,   // the answer arrives in several chunks with pauses
    Short,   // the answer loses its last byte on the line
    Long,    // a stray byte follows the answer
    Refuse,  // a Modbus exception answer (faults.exceptionCode) replaces the answer
};

// One simulated field device: a pure request-to-answer core. The bus finds frame
// boundaries, checks the request CRC, offers every complete frame to every device,
// appends the CRC to an answer and applies the line timing and the faults.
class Device
{
public:
    explicit Device(std::uint8_t address) : m_address(address) {}
    virtual ~Device() = default;
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    // Short type name as the command line uses it: "krv", "zdlt", "m7051", "b7720q",
    // "sensor", "controller", "set4tm".
    virtual const char *kind() const = 0;

    // The answer body (without CRC) to one intact request frame (without its CRC),
    // or nullopt when the device stays silent (not addressed to it, broadcast...).
    // `nowMs` is the bus clock, for values that move and channels that time out.
    virtual std::optional<QByteArray> handle(const QByteArray &request, qint64 nowMs) = 0;

    // Name in the bus monitor ("KRV-A") and the language its frames speak.
    virtual QString title() const = 0;
    virtual monitor::Protocol protocol() const { return monitor::Protocol::Modbus; }

    // The bus monitor's line for a frame of this device: its title and the
    // frame's meaning, empty when there is nothing to decode. The frame may carry
    // its CRC or not (an intact trailing CRC is recognised); for an answer,
    // `request` is the request it answers, likewise.
    QString describe(const QByteArray &frame, bool isAnswer, const QByteArray &request = {}) const
    {
        const monitor::Meaning meaning = isAnswer
            ? monitor::answerMeaning(protocol(), withoutCrc(frame), withoutCrc(request))
            : monitor::requestMeaning(protocol(), withoutCrc(frame));
        return meaning.text.isEmpty() ? QString() : title() + QStringLiteral(": ") + meaning.text;
    }
    static QByteArray withoutCrc(const QByteArray &frame)
    {
        return frame.size() >= 4 && monitor::crcIntact(frame) ? frame.left(frame.size() - 2) : frame;
    }

    // Settings that the real device applies only after switching power off and on
    // (baud rate, emissivity...) take effect here.
    virtual void powerCycle() {}

    // Line speed the device answers at after its last power cycle (0: any).
    virtual int baudRate() const { return 0; }

    // The line the device was put on from outside ("krv:3@9600E"): a rate that
    // stands in for its own where the device cannot be set to it (0: its own),
    // and a parity (-1: it hears any). A device on another line hears garbage.
    int fixedBaud = 0;
    int parity = -1;
    int lineRate() const { return fixedBaud > 0 ? fixedBaud : baudRate(); }
    bool hears(const LineSettings &line) const
    {
        const int rate = lineRate();
        return (rate == 0 || rate == line.baudRate) && (parity < 0 || parity == line.parity);
    }

    // Applies one "key=value" setting from the command line or a config file
    // (initial register values and the like). False when the key is unknown or
    // the value does not fit; the device is then unchanged.
    virtual bool setOption(const QString &key, const QString &value)
    {
        Q_UNUSED(key);
        Q_UNUSED(value);
        return false;
    }

    std::uint8_t address() const { return m_address; }
    void setAddress(std::uint8_t address) { m_address = address; }

    Faults faults;
    std::deque<Action> script; // consumed one entry per answer, front first

    // Live values move with the bus clock; false freezes them at the values set,
    // so tests can compare exact answers. `liveSeed` varies the movement between
    // devices and runs; the bus sets it from its own seed.
    bool live = true;
    std::uint32_t liveSeed = 1;

    // Requests the device does not serve get a Modbus exception answer, as on a
    // standard slave; false makes it ignore them instead.
    bool exceptions = true;

    int requestsSeen = 0; // frames addressed to this device
    int answersSent = 0;

private:
    std::uint8_t m_address;
};

} // namespace sim
