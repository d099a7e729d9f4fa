// Feeds the chart window an hour of a meter-like device's readings (12 series at
// ten answers a second, on a manual clock through a ReadingStream) and prints what
// that costs: the time to feed the hour, the memory it takes, the time of one
// refresh of the panes and of one full repaint of the window with the hour shown.
// Then it runs the same KRV-A test against orvek-sim on a pseudo-terminal three
// times, each in a device window that has already gathered an hour of readings
// (fed on a manual clock before the test): with the chart closed, with the chart
// open on its default five minutes, and on the whole hour, and prints the
// configurator's processor time in each.
//
//   bench_charts [path/to/orvek-sim] [test requests, default 1000]
//
// ORVEK_CHART_DATA=krv feeds a KRV-A-like device instead (currents and LEDs) to
// the first part, ORVEK_SCREENSHOT=<file.png> saves a picture of its window, and
// ORVEK_TEST_SCREENSHOT=<file.png> runs only a KRV-A test on orvek-sim with the
// chart open and saves a picture of the screen 60 s into it (run these under
// xvfb-run, with a window manager for the frames, to see them as on a desktop).
#include "app/mainwindow.h"
#include "bench/benchsupport.h"
#include "bus/vacomm.h"
#include "charts/chartpane.h"
#include "charts/chartwindow.h"
#include "devices/krvmain.h"
#include "devices/krvprotocol.h"
#include "resources/images.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLineSeries>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

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

// An hour of 12 series fed to a chart window of its own on a manual clock.
void standaloneHour()
{
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
    QApplication::processEvents();
    const Timing repaint5 = median(9, [&] { (void)chart.grab(); });
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
    std::printf("  repaint, the hour shown   %.2f / %.2f ms (grab of the %dx%d window)\n", repaint.wallMs,
                repaint.cpuMs, chart.width(), chart.height());
    std::printf("  refresh, 5 minutes shown  %.2f / %.2f ms\n", refresh5.wallMs, refresh5.cpuMs);
    std::printf("  repaint, 5 minutes shown  %.2f / %.2f ms\n", repaint5.wallMs, repaint5.cpuMs);

    if (!shot.isEmpty()) {
        chart.pointAt(now - 1500 * 1000); // the cursor's values, as when the mouse is over the plot
        QApplication::processEvents();
        if (!chart.grab().save(shot))
            std::fprintf(stderr, "cannot save %s\n", qPrintable(shot));
    }
}

// An hour of the KRV-A's own readings at ten answers a second, ending now, as its
// window would hold them after an hour-long test: fed on a manual clock.
void gatherAnHour(TFKRV &window)
{
    ReadingStream &stream = window.readings();
    const qint64 end = QDateTime::currentMSecsSinceEpoch() - 2000;
    const qint64 start = end - Seconds * 1000LL;
    qint64 now = start;
    stream.setClock([&now] { return now; });
    stream.beginTest();
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0, 1.0);
    for (int tick = 0; tick < Seconds * AnswersPerSecond; ++tick) {
        now = start + tick * (1000 / AnswersPerSecond);
        const double t = double(tick) / AnswersPerSecond;
        const double load = 0.6 + 0.25 * std::sin(t / 600.0);
        krv::Reading r;
        r.status = t > 2400 && t < 2440 ? 0x0005 : 0;
        r.currents = {180 * load + noise(random), 176 * load + noise(random), 184 * load + noise(random),
                      0.4 + 0.03 * noise(random), 212.5, 208.4, 215.1, 1.2};
        stream.publish(krv::readings(r));
    }
    stream.endTest();
    stream.setClock({});
}

struct ChartRun
{
    bench::KrvTest test;
    int refreshTicks = 0;
    int lastInterval = 0;
    int series = 0;
    std::size_t points = 0;
};

// A KRV-A test on orvek-sim in a window that holds an hour; with the chart open on
// `minutes` (0: the whole hour), or closed when `minutes` is negative.
ChartRun chartRun(TFOrvekConfigurator &main, int requests, int minutes)
{
    ChartRun run;
    run.test = bench::runKrvTest(main, requests, [&run, minutes](TFKRV &window) {
        gatherAnHour(window);
        run.series = window.readingSeries().count();
        run.points = window.readingSeries().pointCount();
        if (minutes < 0)
            return;
        window.BitBtnChartClick();
        TFChart *chart = window.chart();
        chart->ComboBoxWindow->setCurrentIndex(chart->ComboBoxWindow->findData(minutes));
        QObject::connect(chart->TimerRefresh, &QTimer::timeout, [&run, timer = chart->TimerRefresh] {
            ++run.refreshTicks;
            run.lastInterval = timer->interval();
        });
    });
    return run;
}

void printRun(const char *title, const ChartRun &run, const ChartRun *without)
{
    const double share = 100 * run.test.cpu / run.test.wall;
    std::printf("%s\n", title);
    std::printf("  wall %.1f s, %.0f requests, configurator CPU %.3f s = %.2f%% of a core", run.test.wall,
                run.test.sent(), run.test.cpu, share);
    if (without)
        std::printf(" (%+.2f%% against the chart closed)", share - 100 * without->test.cpu / without->test.wall);
    std::printf("\n");
    if (run.refreshTicks > 0)
        std::printf("  refresh timer %d ticks, interval at the end %d ms\n", run.refreshTicks, run.lastInterval);
}

int testsOnTheSimulator(const QStringList &args)
{
    bench::SimulatedBus bus(args);
    if (!bus.start())
        return 1;
    bench::SilentDialogs dialogs;
    setDialogs(&dialogs);
    TFOrvekConfigurator main;
    main.show();
    main.RxSpinEdit3->setValue(30);
    main.RxSpinEdit2->setValue(30);
    main.RxSpinEdit4->setValue(100);

    std::printf("KRV-A test on orvek-sim, %d requests at 50 ms, in a window holding an hour of readings\n",
                bus.requests);
    const ChartRun closed = chartRun(main, bus.requests, -1);
    std::printf("  the hour in the window: %d series, %zu points\n", closed.series, closed.points);
    printRun("chart closed", closed, nullptr);
    printRun("chart open, 5 minutes shown", chartRun(main, bus.requests, 5), &closed);
    printRun("chart open, the hour shown", chartRun(main, bus.requests, 0), &closed);
    setDialogs(nullptr);
    return 0;
}

// A KRV-A test on orvek-sim with the monitoring tab and the chart open, and a
// picture of the screen a minute into it.
int testScreenshot(const QStringList &args, const QString &shot)
{
    bench::SimulatedBus bus(args);
    if (!bus.start())
        return 1;
    bench::SilentDialogs dialogs;
    setDialogs(&dialogs);
    TFOrvekConfigurator main;
    main.move(0, 0);
    main.show();
    main.RxSpinEdit3->setValue(30);
    main.RxSpinEdit2->setValue(30);
    main.RxSpinEdit4->setValue(100);
    QTimer shooter;
    shooter.setSingleShot(true);
    QObject::connect(&shooter, &QTimer::timeout, [&] {
        if (!QGuiApplication::primaryScreen()->grabWindow(0).save(shot))
            std::fprintf(stderr, "cannot save %s\n", qPrintable(shot));
    });
    bench::runKrvTest(main, std::max(bus.requests, 800), [&](TFKRV &window) {
        window.findChild<QTabWidget *>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
        window.BitBtnChartClick();
        TFChart *chart = window.chart();
        chart->ComboBoxWindow->setCurrentIndex(chart->ComboBoxWindow->findData(0)); // the whole test
        shooter.start(60000);
    });
    setDialogs(nullptr);
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initOrvekResources();
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as it comes
    const QString testShot = qEnvironmentVariable("ORVEK_TEST_SCREENSHOT");
    if (!testShot.isEmpty())
        return testScreenshot(app.arguments(), testShot);
    standaloneHour();
    return testsOnTheSimulator(app.arguments());
}
