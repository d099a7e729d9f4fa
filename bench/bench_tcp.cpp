// The same KRV-A test over a pseudo-terminal and over a loopback TCP connection
// (orvek-sim --tcp, as a serial device server), one after the other in one run:
// exchanges per second and the configurator's processor time of each, and how
// the network port compares (goal: the pty's rate within 1 %, processor time no
// more than the pty's + 1 % of a core).
//
//   bench_tcp [path/to/orvek-sim] [test requests, default 1000]
#include "bench/benchsupport.h"
#include "resources/images.h"
#include "widgets/rxspinedit.h"

#include <QApplication>

#include <cstdio>

using namespace bench;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initOrvekResources();
    const QStringList args = app.arguments();
    const int requests = args.size() > 2 ? args.at(2).toInt() : 1000;
    const QStringList krv{"--device", "krv:30"};
    BenchSimulator pty;
    BenchSimulator tcp; // made last, so its folder holds the run's settings file with both ports
    if (!pty.start(args, krv, QStringLiteral("COM1")) || !tcp.startTcp(args, krv, QStringLiteral("COM2")))
        return 1;

    SilentDialogs dialogs;
    setDialogs(&dialogs);
    TFOrvekConfigurator main;
    main.show();
    main.RxSpinEdit3->setValue(30);
    main.RxSpinEdit2->setValue(30);
    main.RxSpinEdit4->setValue(100);

    main.RxSpinEdit1->setValue(1);
    const KrvTest onPty = runKrvTest(main, requests);
    std::printf("KRV-A test on a pseudo-terminal, %d requests at a 50 ms interval\n", requests);
    printKrvTest(onPty);

    main.RxSpinEdit1->setValue(2);
    const KrvTest onTcp = runKrvTest(main, requests);
    std::printf("KRV-A test over loopback TCP, %d requests at a 50 ms interval\n", requests);
    printKrvTest(onTcp);

    const double ptyRate = onPty.sent() / onPty.wall;
    const double tcpRate = onTcp.sent() / onTcp.wall;
    const double ptyCpu = 100 * onPty.cpu / onPty.wall;
    const double tcpCpu = 100 * onTcp.cpu / onTcp.wall;
    std::printf("TCP against the pty\n");
    std::printf("  rate             %+.2f%% (goal: within 1%%)\n", (tcpRate / ptyRate - 1) * 100);
    std::printf("  CPU              %+.2f%% of a core (goal: at most +1%%)\n", tcpCpu - ptyCpu);

    setDialogs(nullptr);
    return 0;
}
