#pragma once

#include "meter/set4tm_wire.h"
#include "sim/meter/set4tm_device.h"

#include <QByteArray>
#include <QDateTime>

#include <cstdint>
#include <memory>

// Shared by the simulated meter's tests, on top of the wire framing of the
// protocol tests (a bit-wise CRC of their own, not the table form under test).
namespace set4tmtest {

// One exchange as it happens on the line: the request arrives with its CRC, the
// answer leaves with one. An empty result means the meter stayed silent.
inline QByteArray exchange(sim::Set4tmDevice &meter, const QByteArray &request, qint64 nowMs)
{
    const auto answer = meter.handle(request.left(request.size() - 2), nowMs);
    return answer ? wire(*answer) : QByteArray();
}

inline QByteArray openChannel(std::uint8_t address, const QByteArray &password = "000000")
{
    return wire(QByteArray(1, static_cast<char>(address)) + QByteArray(1, '\x01') + password);
}

// Status byte of a 4-byte answer, or -1 for anything else.
inline int statusOf(const QByteArray &answer)
{
    return answer.size() == 4 ? static_cast<std::uint8_t>(answer.at(1)) : -1;
}

inline std::uint32_t bigEndian(const QByteArray &bytes, int offset, int width)
{
    std::uint32_t value = 0;
    for (int i = 0; i < width; ++i)
        value = value << 8 | static_cast<std::uint8_t>(bytes.at(offset + i));
    return value;
}

inline QDateTime meterTime(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

// A frozen meter at address 1 with its channel open and its clock set.
inline std::unique_ptr<sim::Set4tmDevice> frozenMeter(const QDateTime &clock = meterTime(2026, 12, 8, 14, 7))
{
    auto meter = std::make_unique<sim::Set4tmDevice>(1);
    meter->live = false;
    meter->setClock(clock, 0);
    meter->channelOpen = true;
    return meter;
}

} // namespace set4tmtest
