#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

enum TVaParity : int { paNone, paOdd, paEven, paMark, paSpace };

// Line settings handed to a link. Data bits (8), stop bits (1), no flow control,
// DTR and RTS inactive are fixed for this bus and not part of the settings.
struct LineSettings
{
    qint32 baudRate = 19200;
    TVaParity parity = paNone;

    bool operator==(const LineSettings &o) const { return baudRate == o.baudRate && parity == o.parity; }
};

// The byte pipe under TVaComm: a real serial device, the in-process simulated
// bus, or a test fake; whatever a port number leads to. Everything is called and
// signalled on the GUI thread.
class BusLink : public QObject
{
    Q_OBJECT
public:
    enum class ErrorKind { None, NotFound, OpenFailed, Settings, Purge, Write };

    // Flags carried by lineError() (and by TVaComm::OnError). A link sets those its
    // device can tell apart.
    enum LineErrorFlag : int {
        Overrun = 0x0002,
        ParityError = 0x0004,
        FramingError = 0x0008,
        BreakReceived = 0x0010,
        TransmitFailed = 0x0100,
        ReceiveFailed = 0x0200,
        DeviceLost = 0x0400, // raised by TVaComm just before it closes a lost device
    };
    struct Error
    {
        ErrorKind kind = ErrorKind::None;
        int code = 0;   // the system's error number where there is one
        QString text;   // the system's text for it
    };

    using QObject::QObject;
    ~BusLink() override = default;

    virtual bool open(const LineSettings &settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual bool applySettings(const LineSettings &settings) = 0;
    // Queues bytes for transmission without waiting; returns the count queued or -1.
    virtual qint64 write(const QByteArray &bytes) = 0;
    // Everything received and not yet read; returns at once.
    virtual QByteArray readAll() = 0;
    virtual bool clearInput() = 0;
    virtual bool clearOutput() = 0;
    // Takes in at once what the device holds and has not signalled yet; readyRead
    // follows from inside the call. Links that signal at once need nothing here.
    virtual void pollInput() {}
    // Bytes accepted by write() and not yet handed to the device.
    virtual qint64 bytesToWrite() const { return 0; }
    virtual Error lastError() const = 0;

signals:
    void readyRead();
    // Line error flags (overrun, parity, framing...); a failed transmission too.
    void lineError(int flags);
    // The device went away under an open port (adapter unplugged, peer closed).
    // Raised once; the link may already have released the device. TVaComm closes
    // the port on it, possibly from inside the emit.
    void resourceLost();
};

// Creates the link for what a port number maps to (for example "/dev/ttyUSB0").
using LinkFactory = std::function<std::unique_ptr<BusLink>(const QString &address)>;
