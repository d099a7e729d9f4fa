// Runs the configurator's search and a KRV-A test against orvek-sim on a
// pseudo-terminal and prints how close they come to their ideal timing, and how
// much processor time the configurator (this process, not the simulator) used.
//
//   bench_search [path/to/orvek-sim] [test requests, default 1000]
#include "app/mainwindow.h"
#include "bus/vacomm.h"
#include "devices/krvmain.h"
#include "resources/images.h"
#include "settings/formstorage.h"
#include "widgets/dialogs.h"
#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <optional>

namespace {
double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Answers every box at once and remembers the last message.
class SilentDialogs final : public UserDialogs
{
public:
    QString last;
    void message(QWidget *, Kind, const QString &text) override { last = text; }
    bool question(QWidget *, const QString &) override { return false; }
    std::optional<QString> inputText(QWidget *, const QString &, const QString &, const QString &, bool) override
    {
        return std::nullopt;
    }
    QString saveFileName(QWidget *, const QString &, const QString &, const QString &, const QString &) override
    {
        return {};
    }
};

// Runs the event loop (sleeping between events) until `done` holds.
void waitUntil(const std::function<bool()> &done)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(20);
    loop.exec();
}

QString lineValue(const QStringList &lines, const QString &prefix)
{
    for (const QString &l : lines)
        if (l.startsWith(prefix))
            return l.mid(prefix.size());
    return QStringLiteral("-");
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initOrvekResources();
    const QStringList args = app.arguments();
    const QString simPath = args.size() > 1 ? args.at(1)
                                            : QDir(QCoreApplication::applicationDirPath()).filePath("orvek-sim");
    const int requests = args.size() > 2 ? args.at(2).toInt() : 1000;

    QTemporaryDir dir;
    TFormStorage::setFilePath(dir.filePath(QStringLiteral("OrvekConfigurator.ini")));
    const QString link = dir.filePath(QStringLiteral("ttySIM"));
    QProcess sim;
    sim.start(simPath, {"--device", "krv:30", "--link", link, "--quiet"});
    if (!sim.waitForStarted(10000) || !sim.waitForReadyRead(10000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(simPath));
        return 1;
    }
    IniFile(TFormStorage::filePath()).WriteString("Ports", "COM1", link);

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
    ::kill(static_cast<pid_t>(sim.processId()), SIGTERM);
    sim.waitForFinished(5000);
    return 0;
}
