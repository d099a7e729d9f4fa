#include "sim/tool/pty.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

PtyPort::PtyPort(sim::Bus &bus, QObject *parent) : QObject(parent), m_bus(bus)
{
    connect(&m_bus, &sim::Bus::transmit, this, &PtyPort::onTransmit);
}

PtyPort::~PtyPort()
{
    m_notifier.reset();
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

bool PtyPort::open(QString *error)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        *error = QStringLiteral("no pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const char *name = ::ptsname(m_master);
    if (!name) {
        *error = QStringLiteral("no pseudo-terminal name: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slave < 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(m_slavePath, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // Raw 8N1 at 19200 until a client sets its own line.
    struct termios t {};
    ::tcgetattr(m_slave, &t);
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&t, B19200);
    ::cfsetospeed(&t, B19200);
    ::tcsetattr(m_slave, TCSANOW, &t);

    m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &PtyPort::onReadable);
    followClientSettings();
    return true;
}

void PtyPort::followClientSettings()
{
    LineSettings line = m_bus.line();
    int baud = 0;
    int parity = 0;
    if (ptyLineSettings(m_master, &baud, &parity)) {
        if (baud > 0)
            line.baudRate = baud;
        line.parity = parity == 1 ? paOdd : parity == 2 ? paEven : paNone;
    }
    if (m_fixedBaud > 0)
        line.baudRate = m_fixedBaud;
    if (!(line == m_bus.line()))
        m_bus.setLine(line);
}

void PtyPort::onReadable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            followClientSettings();
            m_bus.receive(QByteArray(buffer, static_cast<int>(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: all read
    }
}

void PtyPort::onTransmit(const QByteArray &bytes)
{
    if (m_master < 0)
        return;
    qint64 done = 0;
    bool flushed = false;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN && !flushed) {
            // Nobody reads the terminal: old answers are of no use to the next client.
            ::tcflush(m_slave, TCIFLUSH);
            flushed = true;
            continue;
        }
        break;
    }
}
