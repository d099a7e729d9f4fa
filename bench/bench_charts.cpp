// Feeds the chart window an hour of a meter-like device's readings (12 series at
// ten answers a second, on a manual clock through a ReadingStream) and prints what
// that costs: the time to feed the hour, the memory it takes, the time of one
// refresh of the panes and of one full repaint of the window with the hour shown.
//
//   bench_charts
//
// ORVEK_CHART_DATA=krv feeds a KRV-A-like device instead (currents and LEDs), and
// ORVEK_SCREENSHOT=<file.png> saves a picture of the window (run it under xvfb-run
// to see it as it looks on a desktop).
#include "charts/chartpane.h"
#include "charts/chartwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineSeries>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <vector>

namespace {
constexpr int AnswersPerSecond = 10;
constexpr int Seconds = 3600;

// Resident memory of this process in bytes (VmRSS of /proc/self/status).
double residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() * 1024.0;
    return 0;
}

// Processor time of this process, in seconds: steadier than the wall clock on a busy machine.
double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Median wall and processor time of `runs` runs of `work`, in ms.
struct Timing
{
    double wallMs = 0;
    double cpuMs = 0;
};

Timing median(int runs, const std::function<void()> &work)
{
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        const double cpu0 = cpuSeconds();
        work();
        cpu.push_back((cpuSeconds() - cpu0) * 1000);
        wall.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

Reading value(const char *quantity, const char *unit, double v)
{
    Reading r;
    r.quantity = QString::fromUtf8(quantity);
    r.unit = QString::fromUtf8(unit);
    r.value = v;
    return r;
}

Reading state(const char *quantity, bool on)
{
    Reading r;
    r.quantity = QString::fromUtf8(quantity);
    r.value = on ? 1 : 0;
    r.state = true;
    return r;
}

// One answer at second `t` of the hour: a load that swells and falls, noise on every value.
class FakeDevice
{
public:
    explicit FakeDevice(bool krv) : m_krv(krv) {}

    Readings answer(double t)
    {
        const double load = 0.6 + 0.25 * std::sin(t / 600.0) + (t > 1500 && t < 1980 ? 0.3 : 0.0);
        if (m_krv) {
            const double fault = t > 2400 && t < 2412 ? 8.0 : 0.0;
            return {value("Ia", "А", 180 * load + noise(1.5)), value("Ib", "А", 176 * load + noise(1.5)),
                    value("Ic", "А", 184 * load + noise(1.5) + fault * 20), value("3Io", "А", 0.4 + noise(0.05) + fault),
                    state("Пуск", t > 2400 && t < 2412), state("Срабатывание", t > 2410 && t < 2440),
                    state("Авария", t > 2411 && t < 2900), state("Неисправность", false),
                    state("Связь", std::fmod(t, 1.0) < 0.5)};
        }
        const double p = 120 * load + noise(0.8), q = 35 * load + 5 + noise(0.5);
        const double ua = 229 - 6 * load + noise(0.4), ub = 230 - 6 * load + noise(0.4), uc = 228.5 - 6 * load + noise(0.4);
        m_f = std::clamp(m_f + noise(0.002), 49.95, 50.05);
        return {value("P", "кВт", p), value("Q", "квар", q), value("cos φ", "", p / std::hypot(p, q)),
                value("F", "Гц", m_f), value("Ua", "В", ua), value("Ub", "В", ub), value("Uc", "В", uc),
                value("Ia", "А", p * 1000 / 3 / ua * 0.98 + noise(0.3)), value("Ib", "А", p * 1000 / 3 / ub + noise(0.3)),
                value("Ic", "А", p * 1000 / 3 / uc * 1.03 + noise(0.3)), state("Реле 1", load > 0.75),
                state("Авария", t > 1500 && t < 1560)};
    }

private:
    double noise(double amplitude) { return std::normal_distribution<double>(0, amplitude)(m_random); }

    bool m_krv;
    double m_f = 50.0;
    std::mt19937 m_random{7};
};

int shownPoints(const TFChart &chart)
{
    int n = 0;
    for (const charts::ChartPane *pane : chart.panes())
        for (int index : pane->visibleSeries())
            for (const QLineSeries *piece : pane->pieces(index))
                n += piece->count();
    return n;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const bool krv = qEnvironmentVariable("ORVEK_CHART_DATA") == QLatin1String("krv");
    const qint64 start = QDateTime(QDate(2026, 3, 5), QTime(9, 0)).toMSecsSinceEpoch();
    qint64 now = start;
    ReadingStream stream;
    stream.setClock([&now] { return now; });
    TFChart chart(stream, krv ? QStringLiteral("КРВ-А, адрес 30") : QStringLiteral("Счетчик, адрес 5"));
    chart.resize(1200, 860);
    chart.ComboBoxWindow->setCurrentIndex(chart.ComboBoxWindow->findData(0)); // all
    FakeDevice device(krv);

    const double rssBefore = residentBytes();
    QElapsedTimer feedClock;
    feedClock.start();
    // The picture shows two tests with two minutes between them, so the gap shows.
    const QString shot = qEnvironmentVariable("ORVEK_SCREENSHOT");
    const int gapFrom = shot.isEmpty() ? Seconds : 1800, gapTo = gapFrom + 120;
    stream.beginTest();
    for (int tick = 0; tick < Seconds * AnswersPerSecond; ++tick) {
        const double t = double(tick) / AnswersPerSecond;
        if (tick == gapFrom * AnswersPerSecond)
            stream.endTest();
        if (t >= gapFrom && t < gapTo)
            continue;
        if (tick == gapTo * AnswersPerSecond)
            stream.beginTest();
        now = start + tick * (1000 / AnswersPerSecond);
        stream.publish(device.answer(t));
    }
    stream.endTest();
    const double feedMs = feedClock.nsecsElapsed() / 1e6;
    const double rssAfter = residentBytes();
    const double points = double(chart.store().pointCount());

    chart.show();
    QApplication::processEvents();
    const Timing refresh = median(9, [&] { chart.BitBtnZoomResetClick(); });
    QApplication::processEvents();
    const Timing repaint = median(9, [&] { (void)chart.grab(); });
    const int drawn = shownPoints(chart);
    chart.ComboBoxWindow->setCurrentIndex(chart.ComboBoxWindow->findData(5));
    QApplication::processEvents();
    const Timing refresh5 = median(9, [&] { chart.BitBtnZoomResetClick(); });
    chart.ComboBoxWindow->setCurrentIndex(chart.ComboBoxWindow->findData(0));
    QApplication::processEvents();

    std::printf("chart window, %d series, %d answers/s for %d s (%.0f points kept)\n", chart.store().count(),
                AnswersPerSecond, Seconds, points);
    std::printf("  feed the hour             %.1f ms (%.2f us a reading)\n", feedMs, feedMs * 1000 / points);
    std::printf("  memory after the hour     +%.1f MiB resident, %.1f bytes a point (16 stored)\n",
                (rssAfter - rssBefore) / 1048576.0, (rssAfter - rssBefore) / points);
    std::printf("  medians of 9, wall / processor time:\n");
    std::printf("  refresh, the hour shown   %.2f / %.2f ms (thin + replace, %d points drawn)\n", refresh.wallMs,
                refresh.cpuMs, drawn);
    std::printf("  refresh, 5 minutes shown  %.2f / %.2f ms\n", refresh5.wallMs, refresh5.cpuMs);
    std::printf("  repaint, the hour shown   %.2f / %.2f ms (grab of the %dx%d window)\n", repaint.wallMs,
                repaint.cpuMs, chart.width(), chart.height());

    if (!shot.isEmpty()) {
        chart.pointAt(now - 1500 * 1000); // the cursor's values, as when the mouse is over the plot
        QApplication::processEvents();
        if (!chart.grab().save(shot))
            std::fprintf(stderr, "cannot save %s\n", qPrintable(shot));
    }
    return 0;
}
