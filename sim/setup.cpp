#include "sim/setup.h"

#include "sim/bus.h"
#include "sim/modbusdevice.h"

#include <QRegularExpression>

namespace sim {

bool setFaultOption(Faults &faults, const QString &key, const QString &value)
{
    bool ok = false;
    if (key == QLatin1String("latems")) {
        const int ms = value.toInt(&ok);
        if (!ok || ms < 0 || ms > 600000)
            return false;
        faults.lateMs = ms;
        return true;
    }
    double *target = nullptr;
    if (key == QLatin1String("drop"))
        target = &faults.drop;
    else if (key == QLatin1String("corrupt"))
        target = &faults.corrupt;
    else if (key == QLatin1String("noise"))
        target = &faults.noise;
    else if (key == QLatin1String("late"))
        target = &faults.late;
    else if (key == QLatin1String("split"))
        target = &faults.split;
    else if (key == QLatin1String("busy"))
        target = &faults.busy;
    if (!target)
        return false;
    const double p = value.toDouble(&ok);
    if (!ok || !(p >= 0.0 && p <= 1.0))
        return false;
    *target = p;
    return true;
}

std::unique_ptr<Device> parseDevice(const QString &definition, QString *error)
{
    auto fail = [error](const QString &text) -> std::unique_ptr<Device> {
        if (error)
            *error = text;
        return nullptr;
    };
    const QStringList parts = definition.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return fail(QStringLiteral("empty device"));
    const QStringList head = parts.first().split(QLatin1Char(':'));
    if (head.size() != 2)
        return fail(QStringLiteral("device \"%1\": expected kind:address").arg(definition));
    const QStringList place = head[1].split(QLatin1Char('@'));
    quint64 address = 0;
    if (!parseUnsigned(place[0], 247, address) || address < 1)
        return fail(QStringLiteral("device \"%1\": address must be 1..247").arg(definition));
    std::optional<DeviceLine> line;
    if (place.size() > 1) {
        line = place.size() == 2 ? parseDeviceLine(place[1]) : std::nullopt;
        if (!line)
            return fail(QStringLiteral("device \"%1\": expected @RATE with an optional parity N, O or E, "
                                       "such as @9600 or @19200E")
                            .arg(definition));
    }
    auto device = Bus::makeDevice(head[0].trimmed().toLower(), static_cast<std::uint8_t>(address));
    if (!device)
        return fail(QStringLiteral("device \"%1\": unknown kind \"%2\" (known: %3)")
                        .arg(definition, head[0], Bus::kinds().join(QStringLiteral(", "))));
    if (line) {
        // A rate the device can be set to is set as its own, so its registers
        // say the same; any other stands in for it.
        if (!device->setOption(QStringLiteral("baud"), QString::number(line->baudRate)))
            device->fixedBaud = line->baudRate;
        device->parity = line->parity;
    }
    for (int i = 1; i < parts.size(); ++i) {
        const int eq = parts[i].indexOf(QLatin1Char('='));
        if (eq <= 0)
            return fail(QStringLiteral("device \"%1\": expected key=value, got \"%2\"").arg(definition, parts[i]));
        const QString key = parts[i].left(eq).trimmed().toLower();
        const QString value = parts[i].mid(eq + 1).trimmed();
        if (!setFaultOption(device->faults, key, value) && !device->setOption(key, value))
            return fail(QStringLiteral("device \"%1\": bad setting \"%2\"").arg(definition, parts[i]));
    }
    return device;
}

std::optional<DeviceLine> parseDeviceLine(const QString &text)
{
    QString rate = text.trimmed();
    int parity = -1;
    if (!rate.isEmpty() && rate.back().isLetter()) {
        const QChar letter = rate.back().toUpper();
        if (letter == QLatin1Char('N'))
            parity = paNone;
        else if (letter == QLatin1Char('O'))
            parity = paOdd;
        else if (letter == QLatin1Char('E'))
            parity = paEven;
        else
            return std::nullopt;
        rate.chop(1);
    }
    quint64 baud = 0;
    if (!parseUnsigned(rate, 4000000, baud) || baud < 300)
        return std::nullopt;
    return DeviceLine{static_cast<int>(baud), parity};
}

std::vector<std::pair<QString, std::uint8_t>> defaultBusLayout()
{
    // The B-7720Q probe (8 inputs from 0) is also served by the M-7051D, so the
    // B-7720Q sits below it; the meter, which may answer any frame at its own
    // address with a status, sits above every Modbus device whose probe has no
    // acceptance test of its own.
    return {{QStringLiteral("krv"), 1},    {QStringLiteral("zdlt"), 2},   {QStringLiteral("b7720q"), 3},
            {QStringLiteral("m7051"), 4},  {QStringLiteral("sensor"), 5}, {QStringLiteral("controller"), 6},
            {QStringLiteral("set4tm"), 7}};
}

QStringList configArguments(const QString &text)
{
    QStringList args;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int space = line.indexOf(QRegularExpression(QStringLiteral("[\\s=]")));
        if (space < 0) {
            args << QStringLiteral("--") + line;
            continue;
        }
        args << QStringLiteral("--") + line.left(space) << line.mid(space + 1).trimmed();
    }
    return args;
}

} // namespace sim
