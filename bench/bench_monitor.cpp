// Runs the same KRV-A test against orvek-sim on a pseudo-terminal twice, first
// without and then with the bus monitor open and showing every frame, and prints
// how close each comes to the ideal exchange rate and what the configurator (this
// process, not the simulator) spent in processor time and resident memory. Then
// it fills the monitor to its bound of 100 000 frames and times one batch of rows.
//
//   bench_monitor [path/to/orvek-sim] [test requests, default 1000]
//
// With ORVEK_SCREENSHOT=<file.png> it saves a picture of the screen a few seconds
// into the watched test (run it under xvfb-run to look at the windows), and
// ORVEK_SIM_ARGS adds options to orvek-sim (faults, to see how errors look).
#include "app/mainwindow.h"
#include "bench/benchsupport.h"
#include "bus/vacomm.h"
#include "monitor/monitorwindow.h"
#include "resources/images.h"
#include "settings/formstorage.h"
#include "widgets/dialogs.h"
#include "widgets/rxspinedit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>

using namespace bench;

namespace {
// Resident memory of this process in MiB (VmRSS of /proc/self/status).
double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// A KRV-A test and the resident memory before and after it.
struct Run
{
    KrvTest test;
    double rssBefore = 0, rssAfter = 0;
};

Run testRun(TFOrvekConfigurator &main, int requests)
{
    Run run;
    run.rssBefore = residentMiB();
    run.test = runKrvTest(main, requests);
    run.rssAfter = residentMiB();
    return run;
}

void print(const char *title, const Run &run)
{
    std::printf("%s\n", title);
    printKrvTest(run.test);
    std::printf("  resident memory  %.1f MiB before, %.1f MiB after\n", run.rssBefore, run.rssAfter);
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initOrvekResources();
    SimulatedBus bus(app.arguments());
    if (!bus.start(qEnvironmentVariable("ORVEK_SIM_ARGS").split(QLatin1Char(' '), Qt::SkipEmptyParts)))
        return 1;
    const int requests = bus.requests;

    SilentDialogs dialogs;
    setDialogs(&dialogs);
    TFOrvekConfigurator main;
    main.show();
    main.RxSpinEdit3->setValue(30);
    main.RxSpinEdit2->setValue(30);
    main.RxSpinEdit4->setValue(100);

    std::printf("KRV-A test, %d requests at a 50 ms interval, 19200 bit/s on a pseudo-terminal\n", requests);
    const Run plain = testRun(main, requests);
    print("without the monitor", plain);

    main.BitBtnMonitorClick();
    TFMonitor *monitor = main.monitor();
    const QString shot = qEnvironmentVariable("ORVEK_SCREENSHOT");
    QTimer shooter;
    if (!shot.isEmpty()) {
        main.move(0, 0);
        const int x = main.frameGeometry().right() + 8;
        monitor->setGeometry(x, 0, QGuiApplication::primaryScreen()->geometry().width() - x, 720);
        shooter.setSingleShot(true);
        QObject::connect(&shooter, &QTimer::timeout, [&] {
            QGuiApplication::primaryScreen()->grabWindow(0).save(shot);
        });
        shooter.start(8000);
    }
    const Run watched = testRun(main, requests);
    waitUntil([&] { return monitor->frames().rowCount() >= 2 * watched.test.sent(); });
    print("with the monitor open, following every frame", watched);
    std::printf("  monitor rows     %d\n", monitor->frames().rowCount());
    // What the test journalled: the exchanges it did not take as good.
    int shown = 0;
    for (const QString &line : watched.test.journal) {
        if (!line.startsWith(QLatin1String("->")) && !line.startsWith(QLatin1String("<-")) && shown > 0 && shown < 12)
            std::printf("  journal          %s\n", qPrintable(line.left(60)));
        if ((line.startsWith(QLatin1String("->")) || line.startsWith(QLatin1String("<-"))) && shown++ < 12)
            std::printf("  journal          %s (%lld bytes)\n", qPrintable(line.left(60)), (line.size() - 2) / 2LL);
    }
    std::printf("  difference       %+.2f exchanges/s, %+.3f s CPU\n",
                watched.test.sent() / watched.test.wall - plain.test.sent() / plain.test.wall,
                watched.test.cpu - plain.test.cpu);

    // The bound: 100 000 frames in the view, and what one more batch costs then.
    const QByteArray request = QByteArray::fromHex("1E0402080014F5A2");
    const QByteArray answer(45, '\x1E');
    const double rss0 = residentMiB();
    QElapsedTimer fill;
    fill.start();
    for (int i = 0; i < 50000; ++i) {
        emit main.VaComm1->OnTxBuf(request);
        emit main.VaComm1->OnRxBuf(answer);
        if (i % 500 == 499)
            monitor->TimerBatchTimer();
    }
    monitor->TimerBatchTimer();
    std::printf("monitor filled to its bound\n");
    std::printf("  rows             %d (100 000 frames added in %.2f s)\n", monitor->frames().rowCount(),
                fill.nsecsElapsed() / 1e9);
    std::printf("  resident memory  %.1f MiB (%+.1f MiB for the full buffer)\n", residentMiB(), residentMiB() - rss0);
    QElapsedTimer batch;
    double worst = 0, total = 0;
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < 10; ++i) {
            emit main.VaComm1->OnTxBuf(request);
            emit main.VaComm1->OnRxBuf(answer);
        }
        batch.start();
        monitor->TimerBatchTimer();
        app.processEvents(); // the repaint that follows
        const double ms = batch.nsecsElapsed() / 1e6;
        worst = std::max(worst, ms);
        total += ms;
    }
    std::printf("  one batch of 20 rows at the bound, with its repaint: %.2f ms mean, %.2f ms worst\n", total / 20, worst);

    setDialogs(nullptr);
    return 0;
}
