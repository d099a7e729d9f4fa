// Runs the configurator's search and a KRV-A test against orvek-sim on a
// pseudo-terminal and prints how close they come to their ideal timing, and how
// much processor time the configurator (this process, not the simulator) used.
//
//   bench_search [path/to/orvek-sim] [test requests, default 1000]
#include "app/mainwindow.h"
#include "bench/benchsupport.h"
#include "bus/vacomm.h"
#include "devices/krvmain.h"
#include "resources/images.h"
#include "widgets/dialogs.h"
#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initOrvekResources();
    const QStringList args = app.arguments();
    const int requests = args.size() > 2 ? args.at(2).toInt() : 1000;
    BenchSimulator sim;
    if (!sim.start(args, {"--device", "krv:30"}, "COM1"))
        return 1;

    SilentDialogs dialogs;
    setDialogs(&dialogs);
    TFOrvekConfigurator main;
    main.show();

    // 1. A search over 1..20 with nobody there, 100 ms poll timeout.
    main.RxSpinEdit3->setValue(20);
    main.RxSpinEdit2->setValue(1);
    main.RxSpinEdit4->setValue(100);
    double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    main.BitBtnKRVClick(TagKRV);
    waitUntil([&] { return !main.VaComm1->Active(); });
    const double searchWall = wall.nsecsElapsed() / 1e9;
    const double searchCpu = cpuSeconds() - cpu0;
    std::printf("search 1..20, no device, 100 ms poll timeout\n");
    std::printf("  wall time        %.3f s (ideal 20 x 4 x 100 ms = 8.000 s, %.1f%% over)\n", searchWall,
                (searchWall / 8.0 - 1) * 100);
    std::printf("  configurator CPU %.3f s (%.2f%% of wall)\n", searchCpu, 100 * searchCpu / searchWall);

    // 2. A KRV-A test at a 50 ms interval.
    QStringList journal;
    double testWall = 0, testCpu = 0;
    main.RxSpinEdit3->setValue(30);
    main.RxSpinEdit2->setValue(30);
    QTimer driver;
    QElapsedTimer testClock;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (!FKRV || !FKRV->isVisible())
            return;
        auto *start = FKRV->findChild<QWidget *>("BitBtnStart");
        if (journal.isEmpty() && testClock.isValid() && start->isEnabled()) {
            testWall = testClock.nsecsElapsed() / 1e9;
            testCpu = cpuSeconds() - cpu0;
            journal = FKRV->journalLines();
            FKRV->close();
        } else if (!testClock.isValid()) {
            FKRV->findChild<TRxSpinEdit *>("RxSpinEditCount")->setValue(requests);
            FKRV->findChild<TRxSpinEdit *>("RxSpinEditTimeOut")->setValue(50);
            cpu0 = cpuSeconds();
            testClock.start();
            FKRV->BitBtnStartClick();
        }
    });
    driver.start(100);
    main.BitBtnKRVClick(TagKRV);
    waitUntil([&] { return !journal.isEmpty() && !main.VaComm1->Active(); });

    const double sent = lineValue(journal, "Отправлено посылок: ").toDouble();
    std::printf("KRV-A test, %d requests at a 50 ms interval\n", requests);
    std::printf("  wall time        %.3f s\n", testWall);
    std::printf("  exchanges/s      %.2f (ideal one per two ticks = 10.00)\n", sent / testWall);
    std::printf("  accepted         %s, with errors %s, lost %s\n", qPrintable(lineValue(journal, "Принято без ошибок: ")),
                qPrintable(lineValue(journal, "Принято с ошибками: ")), qPrintable(lineValue(journal, "Утеряно посылок: ")));
    std::printf("  configurator CPU %.3f s (%.2f%% of wall)\n", testCpu, 100 * testCpu / testWall);

    setDialogs(nullptr);
    return 0;
}
