#pragma once

// What the benchmarks that drive the configurator's windows share.

#include "app/mainwindow.h"
#include "bus/vacomm.h"
#include "devices/krvmain.h"
#include "settings/formstorage.h"
#include "settings/inifile.h"
#include "widgets/dialogs.h"
#include "widgets/rxspinedit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>

namespace bench {

// Processor time of this process, in seconds.
inline double cpuSeconds()
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
inline void waitUntil(const std::function<bool()> &done)
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

// The text after `prefix` in the first line that starts with it, "-" when none does.
inline QString lineValue(const QStringList &lines, const QString &prefix)
{
    for (const QString &l : lines)
        if (l.startsWith(prefix))
            return l.mid(prefix.size());
    return QStringLiteral("-");
}

// orvek-sim (the first command-line argument, or the one beside this program)
// serving `devices` on a pseudo-terminal. The settings file and the terminal's
// link lie in a folder of the run's own; the link is entered as port `port`.
class BenchSimulator
{
public:
    BenchSimulator() { TFormStorage::setFilePath(m_dir.filePath(QStringLiteral("OrvekConfigurator.ini"))); }
    ~BenchSimulator()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
        m_process.waitForFinished(5000);
    }
    BenchSimulator(const BenchSimulator &) = delete;
    BenchSimulator &operator=(const BenchSimulator &) = delete;

    bool start(const QStringList &args, const QStringList &devices, const QString &port)
    {
        const QString program = args.size() > 1 ? args.at(1)
                                                : QDir(QCoreApplication::applicationDirPath()).filePath("orvek-sim");
        const QString link = m_dir.filePath(QStringLiteral("ttySIM"));
        m_process.start(program, devices + QStringList{"--link", link, "--quiet"});
        if (!m_process.waitForStarted(10000) || !m_process.waitForReadyRead(10000)) {
            std::fprintf(stderr, "cannot start %s\n", qPrintable(program));
            return false;
        }
        IniFile(TFormStorage::filePath()).WriteString("Ports", port, link);
        return true;
    }

    // The same, served over TCP on a free loopback port; the port number leads there.
    bool startTcp(const QStringList &args, const QStringList &devices, const QString &port)
    {
        const QString program = args.size() > 1 ? args.at(1)
                                                : QDir(QCoreApplication::applicationDirPath()).filePath("orvek-sim");
        m_process.start(program, devices + QStringList{"--tcp", "0", "--quiet"});
        if (!m_process.waitForStarted(10000) || !m_process.waitForReadyRead(10000)) {
            std::fprintf(stderr, "cannot start %s\n", qPrintable(program));
            return false;
        }
        const QString address = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        IniFile(TFormStorage::filePath()).WriteString("Ports", port, address);
        return true;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

// A KRV-A at address 30 on port 1. The arguments are
// [path/to/orvek-sim] [test requests, default 1000].
class SimulatedBus
{
public:
    explicit SimulatedBus(const QStringList &args)
        : requests(args.size() > 2 ? args.at(2).toInt() : 1000), m_args(args)
    {
    }
    // `extra`: more options for orvek-sim (faults).
    bool start(const QStringList &extra = {})
    {
        return m_sim.start(m_args, QStringList{"--device", "krv:30"} + extra, QStringLiteral("COM1"));
    }

    const int requests;

private:
    const QStringList m_args;
    BenchSimulator m_sim;
};

// A KRV-A test as the user runs it: the search (of the range set in the main
// window) opens the window, the test runs `requests` at 50 ms, the window closes.
// `prepare` runs in the open window just before the test starts.
struct KrvTest
{
    double wall = 0; // from the start of the test to its end
    double cpu = 0;  // of this process meanwhile
    QStringList journal;
    double sent() const { return lineValue(journal, QStringLiteral("Отправлено посылок: ")).toDouble(); }
};

inline KrvTest runKrvTest(TFOrvekConfigurator &main, int requests, const std::function<void(TFKRV &)> &prepare = {})
{
    KrvTest run;
    double cpu0 = 0;
    QTimer driver;
    QElapsedTimer clock;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (!FKRV || !FKRV->isVisible())
            return;
        auto *start = FKRV->findChild<QWidget *>("BitBtnStart");
        if (run.journal.isEmpty() && clock.isValid() && start->isEnabled()) {
            run.wall = clock.nsecsElapsed() / 1e9;
            run.cpu = cpuSeconds() - cpu0;
            run.journal = FKRV->journalLines();
            FKRV->close();
        } else if (!clock.isValid()) {
            FKRV->findChild<TRxSpinEdit *>("RxSpinEditCount")->setValue(requests);
            FKRV->findChild<TRxSpinEdit *>("RxSpinEditTimeOut")->setValue(50);
            if (prepare)
                prepare(*FKRV);
            cpu0 = cpuSeconds();
            clock.start();
            FKRV->BitBtnStartClick();
        }
    });
    driver.start(100);
    main.BitBtnKRVClick(TagKRV);
    waitUntil([&] { return !run.journal.isEmpty() && !main.VaComm1->Active(); });
    return run;
}

inline void printKrvTest(const KrvTest &run)
{
    std::printf("  wall time        %.3f s\n", run.wall);
    std::printf("  exchanges/s      %.2f (ideal one per two ticks = 10.00)\n", run.sent() / run.wall);
    std::printf("  accepted         %s, with errors %s, lost %s\n",
                qPrintable(lineValue(run.journal, QStringLiteral("Принято без ошибок: "))),
                qPrintable(lineValue(run.journal, QStringLiteral("Принято с ошибками: "))),
                qPrintable(lineValue(run.journal, QStringLiteral("Утеряно посылок: "))));
    std::printf("  configurator CPU %.3f s (%.2f%% of wall)\n", run.cpu, 100 * run.cpu / run.wall);
}

} // namespace bench
