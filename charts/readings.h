#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QVector>

#include <cstdint>
#include <functional>
#include <utility>

// One decoded value of a device at one moment: what a monitoring field, LED or
// display shows, as a number with its unit.
struct Reading
{
    QString quantity;  // as the window labels it: "Ia", "Ua", "F", "Вход 3"
    QString unit;      // "А", "В", "Гц", "°C"; empty for a ratio or a state
    double value = 0;
    qint64 timeMs = 0; // local clock, ms since the epoch
    bool state = false; // an on/off state (an LED): 0 or 1, drawn as steps

    bool operator==(const Reading &o) const
    {
        return quantity == o.quantity && unit == o.unit && value == o.value && timeMs == o.timeMs
            && state == o.state;
    }
};

Q_DECLARE_METATYPE(Reading)
using Readings = QVector<Reading>;

// Discrete inputs as states, named as their LEDs are captioned: "Di0" for bit 0.
inline Readings InputStates(std::uint32_t bits, int count)
{
    Readings out;
    for (int n = 0; n < count; ++n) {
        Reading input{QStringLiteral("Di%1").arg(n), QString(), double(bits >> n & 1u)};
        input.state = true;
        out.append(input);
    }
    return out;
}

// The readings a device window decodes from its accepted test answers, whatever
// tab it shows, and the bounds of each test. Monitoring fields, charts and logs
// subscribe; nothing here knows who listens.
class ReadingStream : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<qint64()>;

    explicit ReadingStream(QObject *parent = nullptr) : QObject(parent) {}

    // The clock that stamps readings and test bounds; benchmarks and tests set a manual one.
    void setClock(Clock clock) { m_clock = std::move(clock); }
    qint64 now() const { return m_clock ? m_clock() : QDateTime::currentMSecsSinceEpoch(); }

    // Stamps the readings of one answer with the same time and hands them on.
    void publish(Readings batch)
    {
        if (batch.isEmpty())
            return;
        const qint64 t = now();
        for (Reading &r : batch)
            r.timeMs = t;
        emit readings(batch);
    }
    void beginTest() { emit testStarted(now()); }
    void endTest() { emit testStopped(now()); }

signals:
    void readings(const Readings &batch);
    void testStarted(qint64 timeMs);
    void testStopped(qint64 timeMs);

private:
    Clock m_clock;
};
