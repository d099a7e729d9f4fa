#include "meter/set4tmanswers.h"

#include "bus/answerbytes.h"
#include "bus/requestlayer.h"

#include <algorithm>

namespace set4tm {

using answer::byteAt;
using answer::word16;
using answer::word32;

namespace {
void appendBig(QByteArray &bytes, std::uint32_t value, int width)
{
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
        bytes.append(static_cast<char>((value >> shift) & 0xFF));
}

constexpr std::uint32_t MagnitudeMask = 0x3FFFFF;
} // namespace

int decodeParameter(const std::uint8_t *rx, int count)
{
    return static_cast<int>(byteAt(rx, count, 2));
}

QByteArray parameterPayload(std::uint8_t value)
{
    QByteArray bytes(1, '\0');
    bytes.append(static_cast<char>(value));
    return bytes;
}

Ratios decodeRatios(const std::uint8_t *rx, int count)
{
    return {static_cast<std::uint16_t>(word16(rx, count, 1)), static_cast<std::uint16_t>(word16(rx, count, 3))};
}

QByteArray ratiosPayload(const Ratios &ratios)
{
    QByteArray bytes;
    appendBig(bytes, ratios.ku, 2);
    appendBig(bytes, ratios.ki, 2);
    bytes.append(6, '\0');
    return bytes;
}

bool decodeIncompleteSlicesAllowed(const std::uint8_t *rx, int count)
{
    return (byteAt(rx, count, 2) & 0x02) != 0;
}

QByteArray modeFlagsPayload(bool incompleteSlicesAllowed)
{
    QByteArray bytes(1, '\0');
    bytes.append(incompleteSlicesAllowed ? '\x02' : '\0');
    return bytes;
}

QString yesNoText(bool value)
{
    return value ? QStringLiteral("ДА") : QStringLiteral("НЕТ");
}

EnergyCounts decodeEnergy(const std::uint8_t *rx, int count)
{
    EnergyCounts counts{};
    for (int i = 0; i < 4; ++i)
        counts[static_cast<std::size_t>(i)] = word32(rx, count, 1 + 4 * i);
    return counts;
}

QByteArray energyPayload(const EnergyCounts &counts)
{
    QByteArray bytes;
    for (std::uint32_t c : counts)
        appendBig(bytes, c, 4);
    return bytes;
}

AuxReading decodeAuxiliary(AuxSelector selector, const std::uint8_t *rx, int count)
{
    const std::uint32_t word = byteAt(rx, count, 1) << 16 | word16(rx, count, 2);
    AuxReading reading;
    reading.magnitude = word & MagnitudeMask;
    if (selector == ActivePower)
        reading.negative = (word & 0x800000u) != 0;
    else if (selector == ReactivePower)
        reading.negative = (word & 0xC00000u) != 0;
    return reading;
}

QByteArray auxWord(AuxSelector selector, std::int64_t value)
{
    const bool negative = value < 0;
    const std::uint64_t size = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::uint32_t word = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, MagnitudeMask));
    if (negative && selector == ActivePower)
        word |= 0x800000u;
    if (negative && selector == ReactivePower)
        word |= 0x400000u;
    QByteArray bytes;
    appendBig(bytes, word, 3);
    return bytes;
}

ProfilePointer decodeProfilePointer(const std::uint8_t *rx, int count)
{
    auto bcd = [&](int i) { return BcdToBin(static_cast<std::uint8_t>(byteAt(rx, count, i))); };
    const int minute = BcdToBin(static_cast<std::uint8_t>(byteAt(rx, count, 1) & 0x7F));
    const QDate date(2000 + bcd(5), bcd(4), bcd(3));
    const QTime time(bcd(2), minute);
    ProfilePointer result;
    // Qt would take an invalid time as midnight; a damaged stamp must stay recognisable.
    if (date.isValid() && time.isValid())
        result.stamp = QDateTime(date, time, Qt::UTC);
    result.pointer = static_cast<std::uint16_t>(word16(rx, count, 6));
    return result;
}

QByteArray profileStamp(const QDateTime &time)
{
    QByteArray stamp(5, '\0');
    stamp[0] = static_cast<char>(BinToBcd(time.time().minute()));
    stamp[1] = static_cast<char>(BinToBcd(time.time().hour()));
    stamp[2] = static_cast<char>(BinToBcd(time.date().day()));
    stamp[3] = static_cast<char>(BinToBcd(time.date().month()));
    stamp[4] = static_cast<char>(BinToBcd(time.date().year() % 100));
    return stamp;
}

QByteArray profilePointerPayload(const QDateTime &stamp, std::uint16_t pointer)
{
    QByteArray bytes = profileStamp(stamp);
    appendBig(bytes, pointer, 2);
    return bytes;
}

ProfileRecord decodeProfileRecord(const std::uint8_t *rx, int count)
{
    ProfileRecord record{};
    for (int i = 0; i < 4; ++i)
        record[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(word16(rx, count, 1 + 2 * i));
    return record;
}

QByteArray profileRecordPayload(const ProfileRecord &record)
{
    QByteArray bytes;
    for (std::uint16_t c : record)
        appendBig(bytes, c, 2);
    return bytes;
}

} // namespace set4tm
