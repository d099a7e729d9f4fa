#pragma once

#include "sim/device.h"
#include "sim/meter/set4tm_load.h"
#include "sim/meter/set4tm_profile.h"

#include <QDateTime>

#include <array>

namespace sim {

// The SET-4TM electricity meter with its own binary protocol (same CRC as Modbus
// RTU). It answers requests to its own address and to address 0. Apart from the
// channel test and the channel opening, every request needs an open channel; the
// channel closes by itself after `idleCloseMs` without a request unless automatic
// closing was forbidden (mode byte 0x07).
//
// Every field below is plain state a test may set directly. With `live` set the
// meter behaves like one on a loaded network: each request first integrates the
// energy since the previous request into `energy` and the running profile period,
// then re-measures `aux` from `load` with a drift that is a function of
// `liveSeed` and the bus clock. With `live` cleared `aux` and the energy registers
// stay exactly as set; the meter clock and the profile pointer still follow the
// bus clock. The busy fault is drawn from a hash of `liveSeed` and a draw
// counter, so a seed repeats the same sequence of busy answers.
class Set4tmDevice : public Device
{
public:
    explicit Set4tmDevice(std::uint8_t address);

    const char *kind() const override { return "set4tm"; }
    std::optional<QByteArray> handle(const QByteArray &request, qint64 nowMs) override;
    QString title() const override { return QStringLiteral("СЭТ-4ТМ"); }
    monitor::Protocol protocol() const override { return monitor::Protocol::Set4tm; }
    // Applies a written baud rate; the channel is closed and automatic closing allowed again.
    void powerCycle() override;
    int baudRate() const override { return activeBaud; }
    // Keys: live (0/1), exceptions (0/1: 0 leaves request codes the meter does not
    // know unanswered, to share a bus with Modbus slaves), password (up to 6 characters), idle (ms before the channel
    // closes), baud (9600/19200, active at once), address, ku, ki, minutes
    // (integration time), minutems (bus ms per meter minute, 1..60000), rating (57
    // or 230), current (A per phase), cos (0..1), export (0/1).
    bool setOption(const QString &key, const QString &value) override;

    // Access. The six password bytes of the open-channel request are compared with
    // `password` cut or padded with zero bytes to six.
    QByteArray password = QByteArrayLiteral("000000");
    qint64 idleCloseMs = 60000;
    bool channelOpen = false;
    bool autoCloseForbidden = false; // set by mode byte 0x07
    qint64 lastRequestMs = 0;        // last request addressed to the meter

    // Line speed: a write sets `pendingBaud`, a power cycle makes it active.
    int activeBaud = 9600;
    int pendingBaud = 9600;

    std::uint16_t voltageRatio = 1; // Ku
    std::uint16_t currentRatio = 1; // Ki
    bool markIncompleteSlices = true; // mode 0x02 allows, 0x03 forbids; read back as flag 0x02 of byte 2
    std::uint8_t lastModeWritten = 0;
    bool winterTime = false;
    Set4tmRating rating = Set4tmRating::Nominal230V; // see setRating()

    Set4tmLoad load;
    Set4tmAuxiliary aux;
    std::array<std::uint32_t, 4> energy{};            // since reset: A+, A-, R+, R-
    std::array<std::uint32_t, 4> previousDayEnergy{}; // the meter's previous calendar day
    Set4tmProfile profile; // integration time is profile.minutes

    // Sets the rating and the load voltage to its nominal value; `aux` follows exactly.
    void setRating(Set4tmRating newRating);

    // The meter clock is naive local time (kept with Qt::UTC so no daylight rule
    // applies). Until it is set it starts from the PC's local time at the first request.
    QDateTime clockAt(qint64 nowMs) const;
    // How many bus milliseconds a meter minute lasts (60000 by default). A shorter
    // minute makes the clock, the integration periods and the energy run faster,
    // so a demonstration sees power profile records within a minute; the channel's
    // idle time and the moving values keep to the bus clock.
    void setMinuteMs(qint64 ms);
    qint64 minuteMs() const { return m_minuteMs; }
    // Sets the clock and starts the profile period it lies in.
    void setClock(const QDateTime &meterTime, qint64 nowMs);

private:
    QByteArray status(std::uint8_t code) const;
    QByteArray data(const QByteArray &payload) const;
    std::optional<QByteArray> dispatch(const QByteArray &request, qint64 nowMs);
    QByteArray openChannel(const QByteArray &request, qint64 nowMs);
    QByteArray write(const QByteArray &request, qint64 nowMs);
    QByteArray readParameter(const QByteArray &request, qint64 nowMs);
    QByteArray readEnergy(const QByteArray &request);
    QByteArray readMemory(const QByteArray &request);
    QByteArray readAuxiliary(std::uint8_t selector);

    void advanceTo(qint64 nowMs);
    void accumulate(qint64 meterMs);
    void closeSlice();

    bool busyDrawn();

    std::uint32_t m_busyDraws = 0;
    bool m_clockSet = false;
    qint64 m_minuteMs = 60000;
    QDateTime m_clockBase;
    qint64 m_clockBaseMs = 0;
    qint64 m_lastUpdateMs = 0;
    std::array<double, 4> m_fraction{};         // energy counts not yet whole
    std::array<std::uint32_t, 4> m_dayStart{};  // `energy` at the start of the meter's day
};

} // namespace sim
