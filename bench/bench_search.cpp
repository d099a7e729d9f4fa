// Runs the configurator's search and a KRV-A test against orvek-sim on a
// pseudo-terminal and prints how close they come to their ideal timing, and how
// much processor time the configurator (this process, not the simulator) used.
//
//   bench_search [path/to/orvek-sim] [test requests, default 1000]
#include "app/mainwindow.h"
#include "bench/benchsupport.h"
#include "bus/vacomm.h"
#include "resources/images.h"
#include "settings/formstorage.h"
#include "widgets/dialogs.h"
#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace bench;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initOrvekResources();
    SimulatedBus bus(app.arguments());
    if (!bus.start())
        return 1;
    const int requests = bus.requests;

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
    main.RxSpinEdit3->setValue(30);
    main.RxSpinEdit2->setValue(30);
    const KrvTest test = runKrvTest(main, requests);
    std::printf("KRV-A test, %d requests at a 50 ms interval\n", requests);
    printKrvTest(test);

    setDialogs(nullptr);
    return 0;
}
