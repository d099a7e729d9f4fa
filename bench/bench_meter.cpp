// Runs the meter window's test against orvek-sim on a pseudo-terminal at the
// shortest interval and prints how close it comes to one exchange per two ticks,
// how many requests went unanswered, and how much processor time the
// configurator (this process, not the simulator) used.
//
//   bench_meter [path/to/orvek-sim] [test requests, default 130]
#include "app/mainwindow.h"
#include "bench/benchsupport.h"
#include "bus/vacomm.h"
#include "devices/devicekinds.h"
#include "meter/setmain.h"
#include "resources/images.h"
#include "widgets/dialogs.h"
#include "widgets/rxspinedit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include <cstdio>

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

    QStringList journal;
    double ticksStart = 0, wall = 0, cpu = 0, cpu0 = 0;
    int profileRows = 0;
    QElapsedTimer clock;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (!FSET4TM || !FSET4TM->isVisible())
            return;
        auto *start = FSET4TM->findChild<QPushButton *>("BitBtnStart");
        if (!clock.isValid()) {
            if (FSET4TM->findChild<QLabel *>("StaticTextTrend")->text() == QLatin1String("??"))
                return; // the settings are still being read
            FSET4TM->findChild<TRxSpinEdit *>("RxSpinEditCount")->setValue(requests);
            FSET4TM->findChild<TRxSpinEdit *>("RxSpinEditTimeOut")->setValue(50);
            FSET4TM->findChild<QTabWidget *>("PageControl1")->setCurrentIndex(1); // every decoder runs
            cpu0 = cpuSeconds();
            clock.start();
            FSET4TM->BitBtnStartClick(); // returns once the channel is open, the pointer read and the ticks running
            ticksStart = clock.nsecsElapsed() / 1e9;
        } else if (journal.isEmpty() && start->isEnabled()) {
            wall = clock.nsecsElapsed() / 1e9;
            cpu = cpuSeconds() - cpu0;
            journal = FSET4TM->journalLines();
            profileRows = FSET4TM->findChild<QTableWidget *>("StringGrid1")->rowCount() - 1; // the last is empty
            FSET4TM->close();
        }
    });
    driver.start(100);
    main.BitBtnKRVClick(TagSET4TM);
    waitUntil([&] { return !journal.isEmpty() && !main.VaComm1->Active(); });

    const double sent = lineValue(journal, "Отправлено посылок: ").toDouble();
    const double ticking = wall - ticksStart;
    std::printf("SET-4TM test, %d requests at a 50 ms interval (meter minute 0.1 s: a 30-minute record every 3 s)\n", requests);
    std::printf("  start            %.3f s (open channel and pointer read, two 350 ms waits)\n", ticksStart);
    std::printf("  ticking          %.3f s\n", ticking);
    // The summary's sent figure is what the ticks sent: the pointer read of the start
    // counts in, the last request, never judged, does not.
    std::printf("  requests/s       %.2f (ideal one per two ticks = 10.00)\n", sent / ticking);
    std::printf("  sent %s, accepted %s, with errors %s, lost %s\n", qPrintable(lineValue(journal, "Отправлено посылок: ")),
                qPrintable(lineValue(journal, "Принято без ошибок: ")), qPrintable(lineValue(journal, "Принято с ошибками: ")),
                qPrintable(lineValue(journal, "Утеряно посылок: ")));
    std::printf("  profile rows     %d\n", profileRows);
    std::printf("  configurator CPU %.3f s (%.2f%% of wall)\n", cpu, 100 * cpu / wall);

    setDialogs(nullptr);
    return 0;
}
