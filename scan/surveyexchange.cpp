#include "scan/surveyexchange.h"

#include "bus/crc16.h"

#include <algorithm>
#include <cmath>

namespace survey {

namespace {
// The longest Modbus RTU frame; the meter's answers are shorter still.
constexpr int LongestFrame = 256;
constexpr int ShortestAnswer = 4;
} // namespace

double characterUs(const LineSettings &line)
{
    const int bits = line.parity == paNone ? 10 : 11;
    return bits * 1e6 / std::max<qint32>(line.baudRate, 1);
}

double wireUs(int bytes, const LineSettings &line)
{
    return std::max(bytes, 0) * characterUs(line);
}

double frameGapUs(const LineSettings &line)
{
    return 3.5 * characterUs(line);
}

int timerMs(double us)
{
    if (!(us > 1500))
        return 1;
    const double ms = std::floor(us / 1000 + 0.5);
    return ms > 1e9 ? 1000000000 : static_cast<int>(ms);
}

Reception receptionOf(const std::uint8_t *rx, int count)
{
    if (count <= 0)
        return Reception::Nothing;
    if (count > LongestFrame)
        return Reception::Overlong;
    if (count < ShortestAnswer)
        return Reception::Partial;
    const std::uint16_t crc = Crc16(rx, static_cast<std::uint16_t>(count - 2));
    const bool intact = rx[count - 2] == (crc >> 8) && rx[count - 1] == (crc & 0xFF);
    return intact ? Reception::Complete : Reception::Partial;
}

Shape modbusShape(const QByteArray &request, const std::uint8_t *rx, int count)
{
    if (request.size() < 2 || count < 5)
        return Shape::Foreign;
    // An answer from another address is one to an earlier probe, however it looks.
    if (rx[0] != static_cast<std::uint8_t>(request.at(0)))
        return Shape::Foreign;
    const auto function = static_cast<std::uint8_t>(request.at(1));
    if (rx[1] == (function | 0x80))
        return count == 5 ? Shape::Refusal : Shape::Foreign;
    if (rx[1] != function)
        return Shape::Foreign;
    // A read answer counts its data bytes: address, function, count, data, CRC.
    if (function >= 1 && function <= 4 && count != 5 + rx[2])
        return Shape::Foreign;
    return Shape::Answer;
}

QList<qint32> rateOrder(QList<qint32> rates)
{
    std::sort(rates.begin(), rates.end());
    rates.erase(std::unique(rates.begin(), rates.end()), rates.end());
    QList<qint32> ordered;
    for (qint32 first : {19200, 9600}) {
        if (rates.removeOne(first))
            ordered << first;
    }
    return ordered + rates;
}

QList<LineSettings> lineOrder(const QList<qint32> &rates, QList<TVaParity> parities)
{
    std::sort(parities.begin(), parities.end());
    parities.erase(std::unique(parities.begin(), parities.end()), parities.end());
    QList<LineSettings> lines;
    for (qint32 rate : rateOrder(rates))
        for (TVaParity parity : parities)
            lines.append({rate, parity});
    return lines;
}

QString parityText(TVaParity parity)
{
    switch (parity) {
    case paNone: return QStringLiteral("нет");
    case paOdd: return QStringLiteral("нечетн");
    case paEven: return QStringLiteral("четн");
    case paMark:
    case paSpace: break;
    }
    return QString::number(static_cast<int>(parity));
}

} // namespace survey
