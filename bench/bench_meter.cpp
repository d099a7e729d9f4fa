// Runs the meter window's test against orvek-sim on a pseudo-terminal at the
// shortest interval and prints how close it comes to one exchange per two ticks,
// how many requests went unanswered, and how much processor time the
// configurator (this process, not the simulator) used.
//
//   bench_meter [path/to/orvek-sim] [test requests, default 130]
//
// With ORVEK_SCREENSHOT=<file.png> the meter window's chart is open during the
// test, and a picture of the screen is saved 45 s into it with the power profile
// tab shown (run it under xvfb-run with enough requests, 600 or more).
#include "app/mainwindow.h"
#include "bench/benchsupport.h"
#include "bus/vacomm.h"
#include "charts/chartwindow.h"
#include "devices/devicecatalogue.h"
#include "meter/setmain.h"
#include "resources/images.h"
#include "widgets/dialogs.h"
#include "widgets/rxspinedit.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include <cstdio>
#include <memory>

using namespace bench;

namespace {
struct Run
{
    QStringList journal;
    double start = 0;  // the start handler: open channel and pointer read
    double wall = 0;   // from the click on Start to the end of the test
    double cpu = 0;
    int profileRows = 0;
};

// Once the meter window has read the settings: a test of `requests` at 50 ms
// with the monitoring tab shown, so every decoder runs; then the window closes.
void driveMeterWindow(QTimer &driver, Run &run, int requests)
{
    auto clock = std::make_shared<QElapsedTimer>();
    auto cpu0 = std::make_shared<double>(0);
    QObject::connect(&driver, &QTimer::timeout, [&run, requests, clock, cpu0] {
        if (!FSET4TM || !FSET4TM->isVisible())
            return;
        if (!clock->isValid()) {
            if (FSET4TM->findChild<QLabel *>("StaticTextTrend")->text() == QLatin1String("??"))
                return; // the settings are still being read
            FSET4TM->findChild<TRxSpinEdit *>("RxSpinEditCount")->setValue(requests);
            FSET4TM->findChild<TRxSpinEdit *>("RxSpinEditTimeOut")->setValue(50);
            FSET4TM->findChild<QTabWidget *>("PageControl1")->setCurrentIndex(1);
            *cpu0 = cpuSeconds();
            clock->start();
            FSET4TM->BitBtnStartClick(); // returns with the channel open, the pointer read and the ticks running
            run.start = clock->nsecsElapsed() / 1e9;
            const QString shot = qEnvironmentVariable("ORVEK_SCREENSHOT");
            if (!shot.isEmpty()) {
                FSET4TM->BitBtnChartClick();
                FSET4TM->chart()->ComboBoxWindow->setCurrentIndex(FSET4TM->chart()->ComboBoxWindow->findData(0));
                QTimer::singleShot(40000, FSET4TM, [] { FSET4TM->findChild<QTabWidget *>("PageControl1")->setCurrentIndex(2); });
                QTimer::singleShot(45000, FSET4TM, [shot] {
                    if (!QGuiApplication::primaryScreen()->grabWindow(0).save(shot))
                        std::fprintf(stderr, "cannot save %s\n", qPrintable(shot));
                });
            }
        } else if (run.journal.isEmpty() && FSET4TM->findChild<QPushButton *>("BitBtnStart")->isEnabled()) {
            run.wall = clock->nsecsElapsed() / 1e9;
            run.cpu = cpuSeconds() - *cpu0;
            run.journal = FSET4TM->journalLines();
            run.profileRows = FSET4TM->findChild<QTableWidget *>("StringGrid1")->rowCount() - 1; // the last is empty
            FSET4TM->close();
        }
    });
    driver.start(100);
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initOrvekResources();
    const QStringList args = app.arguments();
    const int requests = args.size() > 2 ? args.at(2).toInt() : 130;
    BenchSimulator sim;
    if (!sim.start(args, {"--device", "set4tm:7,baud=19200,password=649283", "--meter-minute", "100"}, "COM1"))
        return 1;

    SilentDialogs dialogs;
    setDialogs(&dialogs);
    TFOrvekConfigurator main;
    main.show();
    main.RxSpinEdit2->setValue(1);
    main.RxSpinEdit3->setValue(7);
    main.RxSpinEdit4->setValue(100);
    Run run;
    QTimer driver;
    driveMeterWindow(driver, run, requests);
    main.BitBtnKRVClick(TagSET4TM);
    waitUntil([&] { return !run.journal.isEmpty() && !main.VaComm1->Active(); });

    const QStringList &j = run.journal;
    // The summary's sent figure is what the ticks sent: the pointer read of the
    // start counts in, the last request, never judged, does not.
    const double sent = lineValue(j, "Отправлено посылок: ").toDouble();
    const double ticking = run.wall - run.start;
    std::printf("SET-4TM test, %d requests at a 50 ms interval (meter minute 0.1 s: a 30-minute record every 3 s)\n",
                requests);
    std::printf("  start            %.3f s (open channel and pointer read, two 350 ms waits)\n", run.start);
    std::printf("  ticking          %.3f s\n", ticking);
    std::printf("  requests/s       %.2f (ideal one per two ticks = 10.00)\n", sent / ticking);
    std::printf("  sent %s, accepted %s, with errors %s, lost %s\n", qPrintable(lineValue(j, "Отправлено посылок: ")),
                qPrintable(lineValue(j, "Принято без ошибок: ")), qPrintable(lineValue(j, "Принято с ошибками: ")),
                qPrintable(lineValue(j, "Утеряно посылок: ")));
    std::printf("  profile rows     %d\n", run.profileRows);
    std::printf("  configurator CPU %.3f s (%.2f%% of wall)\n", run.cpu, 100 * run.cpu / run.wall);
    setDialogs(nullptr);
    return 0;
}
