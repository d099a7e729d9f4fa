#include "bus/serial/qserialportlink.h"

#include <QFileInfo>
#include <QScopedValueRollback>

#include <cerrno>
#include <poll.h>
#include <termios.h>

namespace {
// Whether the terminal runs with the parity asked for; true when it cannot tell.
bool parityInForce(int fd, TVaParity parity)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return true;
    const bool enabled = t.c_cflag & PARENB;
    const bool odd = t.c_cflag & PARODD;
    switch (parity) {
    case paNone: return !enabled;
    case paOdd: return enabled && odd;
    case paEven: return enabled && !odd;
    case paMark:
    case paSpace: break;
    }
    return true;
}
} // namespace

QSerialPortLink::QSerialPortLink(const QString &deviceName, QObject *parent)
    : BusLink(parent)
    // A bare name ("ttyS0") is taken from /dev, as QSerialPort does.
    , m_devicePath(deviceName.startsWith(QLatin1Char('/')) ? deviceName : QStringLiteral("/dev/") + deviceName)
{
    m_port.setPortName(deviceName);
    // Bytes beyond this wait in the driver until the program has read what it holds.
    m_port.setReadBufferSize(ReadBufferSize);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    connect(&m_port, &QSerialPort::readyRead, this, &BusLink::readyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QSerialPortLink::onPortError);
}

QSerialPortLink::~QSerialPortLink()
{
    disconnect(&m_port, nullptr, this, nullptr);
    close();
}

bool QSerialPortLink::open(const LineSettings &settings)
{
    m_error = {};
    m_lost = false;
    if (m_port.isOpen())
        return failWith(ErrorKind::OpenFailed, EBUSY);

    // QSerialPort takes the device lock before it looks for the device, so a
    // missing device could otherwise be reported as one in use.
    if (!QFileInfo::exists(m_devicePath))
        return failWith(ErrorKind::NotFound, ENOENT);
    if (!applySettings(settings))
        return false;
    QScopedValueRollback<bool> quiet(m_quiet, true);
    errno = 0;
    if (!m_port.open(QIODevice::ReadWrite)) {
        int code = errno;
        switch (m_port.error()) {
        case QSerialPort::DeviceNotFoundError:
            return failWith(ErrorKind::NotFound, code ? code : ENOENT);
        case QSerialPort::PermissionError:
            // Refused without an access error: another program holds the device's lock.
            if (code != EACCES && code != EPERM)
                code = EBUSY;
            return failWith(ErrorKind::OpenFailed, code);
        case QSerialPort::UnsupportedOperationError:
            // Opened, but it takes no line settings: not a serial device.
            return failWith(ErrorKind::Settings, code ? code : ENOTTY);
        default:
            return failWith(ErrorKind::OpenFailed, code ? code : EIO);
        }
    }

    // A pseudo-terminal takes a parity without complaint and drops it. A line
    // that is not what was asked for is refused, so nobody takes an answer on
    // it for one at that parity.
    if (!parityInForce(int(m_port.handle()), settings.parity)) {
        m_port.close();
        return failWith(ErrorKind::Settings, EINVAL);
    }

    // Ptys and some adapters have no modem lines; the converter switches direction by itself.
    m_port.setDataTerminalReady(false);
    m_port.setRequestToSend(false);
    // A terminal keeps what arrived while nobody had it open (a late answer to the
    // last request of a window closed mid-test); a new search must not take it
    // for the answer to its first probe.
    m_port.clear(QSerialPort::Input);
    m_port.clearError();
    return true;
}

void QSerialPortLink::close()
{
    if (!m_port.isOpen())
        return;
    QScopedValueRollback<bool> quiet(m_quiet, true);
    m_port.close();
}

bool QSerialPortLink::isOpen() const
{
    return m_port.isOpen();
}

bool QSerialPortLink::applySettings(const LineSettings &settings)
{
    QSerialPort::Parity parity = QSerialPort::NoParity;
    switch (settings.parity) {
    case paNone: parity = QSerialPort::NoParity; break;
    case paOdd: parity = QSerialPort::OddParity; break;
    case paEven: parity = QSerialPort::EvenParity; break;
    case paMark: parity = QSerialPort::MarkParity; break;
    case paSpace: parity = QSerialPort::SpaceParity; break;
    default: return failWith(ErrorKind::Settings, EINVAL);
    }
    if (settings.baudRate <= 0)
        return failWith(ErrorKind::Settings, EINVAL);

    // On a closed port QSerialPort only keeps the values and open() applies them all.
    // On an open one only what changed is written: every write reconfigures the
    // line, and a pty, which drops the parity bit, refuses to be told it again.
    // Rates outside the classic table (14400, 56000, 128000) go through the
    // driver's arbitrary-rate call; QSerialPort picks it by itself.
    QScopedValueRollback<bool> quiet(m_quiet, true);
    errno = 0;
    bool applied = true;
    if (m_port.baudRate() != settings.baudRate)
        applied = m_port.setBaudRate(settings.baudRate);
    if (applied && m_port.parity() != parity)
        applied = m_port.setParity(parity);
    if (applied)
        return true;
    const int code = errno ? errno : EINVAL;
    m_port.clearError();
    return failWith(ErrorKind::Settings, code);
}

qint64 QSerialPortLink::write(const QByteArray &bytes)
{
    if (!m_port.isOpen()) {
        failWith(ErrorKind::Write, EBADF);
        return -1;
    }
    const qint64 queued = m_port.write(bytes);
    if (queued < 0) {
        failWith(ErrorKind::Write, EIO);
        return -1;
    }
    // Hand the bytes to the driver now rather than on the next pass of the event
    // loop; what the driver cannot take yet stays queued. A failure arrives through
    // onPortError (and may close the device).
    m_port.flush();
    return queued;
}

QByteArray QSerialPortLink::readAll()
{
    return m_port.readAll();
}

bool QSerialPortLink::clearInput()
{
    QScopedValueRollback<bool> quiet(m_quiet, true);
    errno = 0;
    if (m_port.clear(QSerialPort::Input))
        return true;
    return failWith(ErrorKind::Purge, errno ? errno : EIO);
}

bool QSerialPortLink::clearOutput()
{
    QScopedValueRollback<bool> quiet(m_quiet, true);
    errno = 0;
    if (m_port.clear(QSerialPort::Output))
        return true;
    return failWith(ErrorKind::Purge, errno ? errno : EIO);
}

qint64 QSerialPortLink::bytesToWrite() const
{
    return m_port.bytesToWrite();
}

BusLink::Error QSerialPortLink::lastError() const
{
    return m_error;
}

qintptr QSerialPortLink::handle() const
{
    return m_port.isOpen() ? m_port.handle() : -1;
}

void QSerialPortLink::pollInput()
{
    if (!m_port.isOpen() || m_lost)
        return;
    pollfd state{static_cast<int>(m_port.handle()), POLLIN, 0};
    if (::poll(&state, 1, 0) > 0 && (state.revents & POLLIN)) {
        // Readable, so no timeout error; a hang-up still takes the usual way.
        m_port.waitForReadyRead(0);
    }
}

void QSerialPortLink::onPortError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || m_quiet || m_lost || !m_port.isOpen())
        return;
    // A vanished device (adapter unplugged, pty peer closed) shows as a read that
    // returns nothing, with whatever error Qt guesses; left open, its descriptor
    // would signal forever. Release it and say so once.
    if (error == QSerialPort::ResourceError || hungUp()) {
        m_lost = true;
        close();
        emit resourceLost();
        return;
    }
    switch (error) {
    case QSerialPort::WriteError:
        emit lineError(TransmitFailed);
        break;
    case QSerialPort::ReadError:
    case QSerialPort::UnknownError:
        emit lineError(ReceiveFailed);
        break;
    default:
        break;
    }
}

bool QSerialPortLink::hungUp() const
{
    const qintptr fd = m_port.handle();
    if (fd < 0)
        return true;
    pollfd state{static_cast<int>(fd), POLLIN, 0};
    if (::poll(&state, 1, 0) < 0)
        return errno != EINTR;
    return (state.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool QSerialPortLink::failWith(ErrorKind kind, int code)
{
    m_error = {kind, code, qt_error_string(code)};
    return false;
}
