#include "bus/vacomm.h"

#include "bus/portmap.h"
#include "bus/linkfactory.h"

#include <cerrno>
#include <iterator>

namespace {

const char *const PortOpenText = "Can't perform this operation while port is open";
const char *const OutputFullText = "Output buffer is full. Please check comm status.";

// Counts how deep the component is inside a link's signal, so a Close() from a
// handler never deletes the link under its own emit.
class LinkCall
{
public:
    explicit LinkCall(int &depth) : m_depth(depth) { ++m_depth; }
    ~LinkCall() { --m_depth; }
    LinkCall(const LinkCall &) = delete;
    LinkCall &operator=(const LinkCall &) = delete;

private:
    int &m_depth;
};

// The link's own error number and text under the kind the operation stands for.
BusLink::Error errorAs(BusLink::ErrorKind kind, BusLink::Error error)
{
    error.kind = kind;
    return error;
}

BusLink::Error invalidSettings()
{
    return {BusLink::ErrorKind::Settings, EINVAL, qt_error_string(EINVAL)};
}

// What a failed open means to the user; the texts stay those of the error kind.
EVaCommError::Failure openFailure(const BusLink::Error &error)
{
    using F = EVaCommError::Failure;
    switch (error.kind) {
    case BusLink::ErrorKind::NotFound:
        return F::NotFound;
    case BusLink::ErrorKind::OpenFailed:
        if (error.code == ECANCELED)
            return F::Cancelled;
        if (error.code == EACCES || error.code == EPERM)
            return F::PermissionDenied;
        return error.code == EBUSY ? F::Busy : F::Other;
    case BusLink::ErrorKind::Settings:
        // Opened, but it takes no terminal settings: a FIFO, a plain file, /dev/null.
        return error.code == ENOTTY ? F::NotSerial : F::Other;
    case BusLink::ErrorKind::None:
    case BusLink::ErrorKind::Purge:
    case BusLink::ErrorKind::Write:
        break;
    }
    return F::Other;
}

} // namespace

QString vaCommErrorText(const BusLink::Error &error, const QString &deviceName)
{
    // One arg() call per text: a name or system text holding "%1" stays as it is.
    const QString code = QString::number(error.code);
    switch (error.kind) {
    case BusLink::ErrorKind::NotFound:
        return QStringLiteral("Specified device not found (%1).").arg(deviceName);
    case BusLink::ErrorKind::Settings:
        return QStringLiteral("Error writing dcb (%1), %2").arg(code, error.text);
    case BusLink::ErrorKind::Purge:
        return QStringLiteral("Error clearing buffers (%1), %2").arg(code, error.text);
    case BusLink::ErrorKind::None:
    case BusLink::ErrorKind::OpenFailed:
    case BusLink::ErrorKind::Write:
        break;
    }
    return QStringLiteral("Can't open specified device %1 (Error %2, %3)").arg(deviceName, code, error.text);
}

TVaComm::TVaComm(QObject *parent) : QObject(parent) {}

TVaComm::~TVaComm()
{
    *m_alive = false;
    if (m_opening)
        m_opening->close(); // ends the wait; Open() then leaves this object alone
    releaseLink();
}

void TVaComm::setPortResolver(std::function<QString(int)> resolver)
{
    m_resolver = std::move(resolver);
}

void TVaComm::setLinkFactory(LinkFactory factory)
{
    m_factory = std::move(factory);
}

void TVaComm::setPortNum(int port)
{
    if (Active() || Opening())
        fail(QString::fromLatin1(PortOpenText));
    m_portNum = port;
}

QString TVaComm::DeviceName() const
{
    return m_resolver ? m_resolver(m_portNum) : PortDeviceName(m_portNum, QString());
}

void TVaComm::setBaudrate(TVaBaudrate rate)
{
    m_baudrate = rate;
    applyToLink();
}

void TVaComm::setParity(TVaParity parity)
{
    m_parity = parity;
    applyToLink();
}

void TVaComm::setLine(const LineSettings &line)
{
    m_baudrate = baudrateOf(line.baudRate);
    m_parity = line.parity;
    applyToLink();
}

TVaBaudrate TVaComm::baudrateOf(qint32 bitsPerSecond)
{
    for (int rate = br110; rate <= br256000; ++rate)
        if (baudRateValue(static_cast<TVaBaudrate>(rate)) == bitsPerSecond)
            return static_cast<TVaBaudrate>(rate);
    return brUser;
}

LineSettings TVaComm::lineSettings() const
{
    LineSettings settings;
    settings.baudRate = baudRateValue(m_baudrate);
    settings.parity = m_parity;
    return settings;
}

qint32 TVaComm::baudRateValue(TVaBaudrate rate)
{
    static const qint32 values[] = {0, 110, 300, 600, 1200, 2400, 4800, 9600, 14400,
                                    19200, 38400, 56000, 57600, 115200, 128000, 256000};
    const int index = static_cast<int>(rate);
    if (index < 0 || index >= static_cast<int>(std::size(values)))
        return 0;
    return values[index];
}

void TVaComm::Open()
{
    if (Active() || Opening())
        fail(QString::fromLatin1(PortOpenText));

    const QString device = DeviceName();
    const LineSettings settings = lineSettings();
    // No link is asked to run at a rate nobody can name (brUser, a stray item index).
    if (settings.baudRate <= 0)
        fail(vaCommErrorText(invalidSettings(), device));

    std::unique_ptr<BusLink> link = m_factory ? m_factory(device) : CreateLink(device);
    if (!link)
        failOpen({BusLink::ErrorKind::NotFound, ENOENT, QString()}, device);

    // The link may wait in the event loop (a network port connecting): whoever
    // closes or destroys the port meanwhile ends the wait.
    m_opening = link.get();
    m_openCancelled = false;
    const std::shared_ptr<bool> alive = m_alive;
    const bool opened = link->open(settings);
    const BusLink::Error cancelled{BusLink::ErrorKind::OpenFailed, ECANCELED, qt_error_string(ECANCELED)};
    if (!*alive) {
        link->close();
        throw EVaCommError(vaCommErrorText(cancelled, device), EVaCommError::Failure::Cancelled, device, ECANCELED);
    }
    m_opening = nullptr;
    if (!opened || m_openCancelled) {
        const BusLink::Error error = m_openCancelled ? cancelled : link->lastError();
        link->close();
        link.reset();
        failOpen(error, device);
    }

    connect(link.get(), &BusLink::readyRead, this, &TVaComm::onReadyRead);
    connect(link.get(), &BusLink::lineError, this, &TVaComm::onLineError);
    connect(link.get(), &BusLink::resourceLost, this, &TVaComm::onResourceLost);
    m_link = std::move(link);
    emit OnOpen();
}

void TVaComm::Close()
{
    if (m_opening) {
        // Never opened, so no OnClose: Open() fails as cancelled.
        m_openCancelled = true;
        m_opening->close();
        return;
    }
    if (!m_link)
        return;
    releaseLink();
    // The 300 ms pause other drivers need after a close serves no purpose here.
    emit OnClose();
}

bool TVaComm::Active() const
{
    return m_link != nullptr;
}

int TVaComm::WriteBuf(const std::uint8_t *data, int count)
{
    if (!m_link || !data || count <= 0)
        return 0;
    if (m_link->bytesToWrite() + count > OutputBufferSize)
        fail(QString::fromLatin1(OutputFullText));

    const QByteArray bytes(reinterpret_cast<const char *>(data), count);
    const qint64 queued = m_link->write(bytes);
    if (queued == count) {
        emit OnTxBuf(bytes);
        return count;
    }
    // A refused transmission is only reported, as a line error would be; the link may
    // have gone away meanwhile, so it is not touched again here.
    emit OnError(BusLink::TransmitFailed);
    return 0;
}

void TVaComm::PurgeRead()
{
    // A link that went away meanwhile has closed the port: nothing left to report.
    if (!m_link || m_link->clearInput() || !m_link)
        return;
    fail(vaCommErrorText(errorAs(BusLink::ErrorKind::Purge, m_link->lastError()), DeviceName()));
}

void TVaComm::PollInput()
{
    if (m_link && m_link->isOpen())
        m_link->pollInput();
}

void TVaComm::PurgeWrite()
{
    // A link that went away meanwhile has closed the port: nothing left to report.
    if (!m_link || m_link->clearOutput() || !m_link)
        return;
    fail(vaCommErrorText(errorAs(BusLink::ErrorKind::Purge, m_link->lastError()), DeviceName()));
}

void TVaComm::onReadyRead()
{
    LinkCall call(m_linkCallDepth);
    // A handler that waits inside OnRxBuf keeps the link from signalling again, so
    // whatever arrived meanwhile is collected here; a handler may also close the port.
    while (m_link) {
        const QByteArray bytes = m_link->readAll();
        if (bytes.isEmpty())
            break;
        emit OnRxBuf(bytes);
    }
}

void TVaComm::onLineError(int flags)
{
    LinkCall call(m_linkCallDepth);
    if (flags != 0)
        emit OnError(flags);
}

void TVaComm::onResourceLost()
{
    LinkCall call(m_linkCallDepth);
    emit OnError(BusLink::DeviceLost);
    Close(); // nothing when an OnError handler closed it already
    emit OnLost();
}

void TVaComm::applyToLink()
{
    if (!m_link)
        return;
    const LineSettings settings = lineSettings();
    if (settings.baudRate <= 0)
        fail(vaCommErrorText(invalidSettings(), DeviceName()));
    if (m_link->applySettings(settings) || !m_link)
        return;
    fail(vaCommErrorText(errorAs(BusLink::ErrorKind::Settings, m_link->lastError()), DeviceName()));
}

void TVaComm::releaseLink()
{
    if (!m_link)
        return;
    disconnect(m_link.get(), nullptr, this, nullptr);
    m_link->close();
    if (m_linkCallDepth > 0)
        m_link.release()->deleteLater();
    else
        m_link.reset();
}

void TVaComm::fail(const QString &text)
{
    throw EVaCommError(text.toStdString());
}

void TVaComm::failOpen(const BusLink::Error &error, const QString &device)
{
    throw EVaCommError(vaCommErrorText(error, device), openFailure(error), device, error.code);
}
