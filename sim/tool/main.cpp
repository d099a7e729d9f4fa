// orvek-sim: a simulated RS-485 device bus served on a pseudo-terminal or over TCP.
#include "sim/bus.h"
#include "sim/modbus.h"
#include "sim/tool/options.h"
#include "sim/tool/pty.h"
#include "sim/tool/tcpport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const int saved = errno;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

bool installSignals()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) {
        if (::sigaction(s, &action, nullptr) != 0)
            return false;
    }
    // A closed log pipe must not kill the bus, and reading commands while in the
    // background of a shell must not stop it (the read fails instead).
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGTTIN, SIG_IGN);
    return true;
}

void logLine(qint64 timestampMs, sim::Direction direction, const QByteArray &bytes, const QString &meaning)
{
    const char *arrow = direction == sim::Direction::Request ? "->" : direction == sim::Direction::Answer ? "<-" : "!!";
    const QString time = QDateTime::fromMSecsSinceEpoch(timestampMs).toString(QStringLiteral("HH:mm:ss.zzz"));
    const QString hex = sim::modbus::spacedHex(bytes);
    const QString line = QStringLiteral("%1 %2 %3  %4\n").arg(time, QLatin1String(arrow), hex, meaning);
    std::fputs(line.toLocal8Bit().constData(), stderr);
}

// Removes the link only while it still points to our terminal.
void removeLink(const QString &link, const QString &target)
{
    if (link.isEmpty())
        return;
    const QFileInfo info(link);
    if (info.isSymLink() && info.symLinkTarget() == target)
        ::unlink(QFile::encodeName(link).constData());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    sim::Bus bus;
    ToolOptions options;
    QString error;
    if (!configureBus(app.arguments(), bus, options, &error)) {
        std::fprintf(stderr, "orvek-sim: %s\nTry orvek-sim --help.\n", error.toLocal8Bit().constData());
        return 2;
    }
    if (options.help) {
        std::fputs(helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!installSignals()) {
        std::fprintf(stderr, "orvek-sim: cannot install signal handlers: %s\n", std::strerror(errno));
        return 1;
    }

    std::unique_ptr<PtyPort> pty;
    std::unique_ptr<TcpPort> tcp;
    QString target;
    if (options.tcpPort >= 0) {
        // No client sets the line over TCP: it stays at the fixed rate.
        LineSettings line = bus.line();
        if (options.baud > 0)
            line.baudRate = options.baud;
        bus.setLine(line);
        tcp = std::make_unique<TcpPort>(bus);
        const QHostAddress address(options.listen);
        if (!tcp->listen(address, static_cast<quint16>(options.tcpPort), &error)) {
            std::fprintf(stderr, "orvek-sim: %s\n", error.toLocal8Bit().constData());
            return 1;
        }
        target = tcp->address();
        if (!address.isLoopback())
            std::fprintf(stderr, "orvek-sim: listening on %s: reachable from the network\n",
                         target.toLocal8Bit().constData());
        QObject::connect(tcp.get(), &TcpPort::clientConnected, &app, [](const QString &peer) {
            std::fprintf(stderr, "orvek-sim: client %s connected\n", peer.toLocal8Bit().constData());
        });
        QObject::connect(tcp.get(), &TcpPort::clientLeft, &app, [](const QString &peer) {
            std::fprintf(stderr, "orvek-sim: client %s left\n", peer.toLocal8Bit().constData());
        });
        QObject::connect(tcp.get(), &TcpPort::failed, &app, [&app](const QString &message) {
            std::fprintf(stderr, "orvek-sim: %s\n", message.toLocal8Bit().constData());
            app.exit(1);
        });
    } else {
        pty = std::make_unique<PtyPort>(bus);
        pty->setFixedBaud(options.baud);
        if (!pty->open(&error)) {
            std::fprintf(stderr, "orvek-sim: %s\n", error.toLocal8Bit().constData());
            return 1;
        }
        target = pty->slavePath();
    }
    if (!options.link.isEmpty()) {
        const QByteArray link = QFile::encodeName(options.link);
        const QFileInfo existing(options.link);
        if (existing.isSymLink())
            ::unlink(link.constData());
        if (::symlink(QFile::encodeName(target).constData(), link.constData()) != 0) {
            std::fprintf(stderr, "orvek-sim: cannot create link %s: %s\n", link.constData(), std::strerror(errno));
            return 1;
        }
    }

    if (!options.quiet)
        QObject::connect(&bus, &sim::Bus::frameLogged, &app, &logLine);

    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char number = 0;
        while (::read(signalPipe[0], &number, 1) == 1) {
            if (number == SIGUSR1) {
                bus.powerCycle();
                std::fputs("orvek-sim: power cycled every device\n", stderr);
            } else {
                app.quit();
            }
        }
    });

    // Optional commands on standard input; a closed or empty input is fine.
    std::unique_ptr<QSocketNotifier> input;
    if (::fcntl(STDIN_FILENO, F_GETFD) != -1) {
        input = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(input.get(), &QSocketNotifier::activated, &app, [&] {
            char buffer[256];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                if (n == 0 || (errno != EINTR && errno != EAGAIN))
                    input->setEnabled(false);
                return;
            }
            const QString text = QString::fromLocal8Bit(buffer, static_cast<int>(n));
            if (text.contains(QLatin1String("power"))) {
                bus.powerCycle();
                std::fputs("orvek-sim: power cycled every device\n", stderr);
            }
        });
    }

    std::printf("%s\n", target.toLocal8Bit().constData());
    std::fflush(stdout);
    std::fprintf(stderr, "orvek-sim: %d device(s) on %s%s%s\n", static_cast<int>(bus.devices().size()),
                 target.toLocal8Bit().constData(), options.link.isEmpty() ? "" : " linked as ",
                 options.link.toLocal8Bit().constData());
    for (sim::Device *d : bus.devices())
        std::fprintf(stderr, "  %-10s at %3d, %s\n", d->kind(), d->address(),
                     sim::lineText(d->lineRate(), d->parity).toLocal8Bit().constData());

    const int code = app.exec();

    removeLink(options.link, target);
    const sim::Counters &c = bus.counters();
    std::fprintf(stderr,
                 "orvek-sim: %d frames, %d bad, %d answers (%d dropped, %d corrupted, %d noise, %d late, %d split, "
                 "%d collisions, %d deaf)\n",
                 c.frames, c.badFrames, c.answers, c.dropped, c.corrupted, c.noise, c.late, c.split, c.collisions,
                 c.deaf);
    return code;
}
