#pragma once

#include "settings/formstorage.h"
#include "settings/inifile.h"
#include "widgets/dialogs.h"

#include <QCoreApplication>
#include <QDir>
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

// What the benchmarks share: orvek-sim on a pseudo-terminal, the processor time
// of this process, boxes that answer themselves, a wait on a condition, and a
// figure from a test summary.

// orvek-sim (the first command-line argument, or the one beside this program)
// serving `devices` on a pseudo-terminal. The settings file and the terminal's
// link lie in a folder of the run's own; the link is entered as port `port`.
class BenchSimulator
{
public:
    bool start(const QStringList &args, const QStringList &devices, const QString &port)
    {
        const QString program = args.size() > 1 ? args.at(1)
                                                : QDir(QCoreApplication::applicationDirPath()).filePath("orvek-sim");
        TFormStorage::setFilePath(m_dir.filePath(QStringLiteral("OrvekConfigurator.ini")));
        const QString link = m_dir.filePath(QStringLiteral("ttySIM"));
        m_process.start(program, devices + QStringList{"--link", link, "--quiet"});
        if (!m_process.waitForStarted(10000) || !m_process.waitForReadyRead(10000)) {
            std::fprintf(stderr, "cannot start %s\n", qPrintable(program));
            return false;
        }
        IniFile(TFormStorage::filePath()).WriteString("Ports", port, link);
        return true;
    }
    ~BenchSimulator()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
        m_process.waitForFinished(5000);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

inline double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Answers every box at once and remembers the last message; Cancel in an input
// box (the meter's password box then keeps the proposed password).
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

// The text after `prefix` of the first line that starts with it; "-" when none does.
inline QString lineValue(const QStringList &lines, const QString &prefix)
{
    for (const QString &l : lines)
        if (l.startsWith(prefix))
            return l.mid(prefix.size());
    return QStringLiteral("-");
}
