#pragma once

#include "bus/buslink.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

// A fixed underlying type, so a value computed from a list index is never undefined.
enum TVaBaudrate : int {
    brUser, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
    br38400, br56000, br57600, br115200, br128000, br256000
};

// Errors of the serial component, with the component's own English texts. A failed
// open also says what kind of failure it was and which device, so the error box can
// add what to do about it.
class EVaCommError : public std::runtime_error
{
public:
    // Cancelled: Close() was called while Open() waited for the device (a network
    // port connecting); the user asked for it, so it is no error to show.
    enum class Failure { Other, NotFound, PermissionDenied, Busy, NotSerial, Cancelled };

    using std::runtime_error::runtime_error;
    EVaCommError(const QString &text, Failure failure, const QString &device, int code)
        : std::runtime_error(text.toStdString()), m_failure(failure), m_device(device), m_code(code)
    {
    }

    Failure failure() const { return m_failure; }
    const QString &device() const { return m_device; } // empty unless an open failed
    int code() const { return m_code; }                // the system's error number, 0 when none

private:
    Failure m_failure = Failure::Other;
    QString m_device;
    int m_code = 0;
};

// The program's one serial port. Opened and closed only by the main window;
// every event arrives on the GUI thread.
class TVaComm : public QObject
{
    Q_OBJECT
public:
    explicit TVaComm(QObject *parent = nullptr);
    ~TVaComm() override; // releases the device without raising OnClose

    // Port number -> address; the default maps n to "/dev/ttyUSB<n-1>".
    void setPortResolver(std::function<QString(int)> resolver);
    // Link construction; by default the link factory chooses by the address.
    void setLinkFactory(LinkFactory factory);

    int PortNum() const { return m_portNum; }
    void setPortNum(int port); // EVaCommError while open
    QString DeviceName() const; // resolved name of the current port number

    TVaBaudrate Baudrate() const { return m_baudrate; }
    void setBaudrate(TVaBaudrate rate); // takes effect at once on an open port
    TVaParity Parity() const { return m_parity; }
    void setParity(TVaParity parity);   // likewise
    // Both at once. A rate outside the enumeration becomes brUser, which no link is
    // asked to run at: opening then fails with the settings error.
    void setLine(const LineSettings &line);
    LineSettings lineSettings() const;
    static qint32 baudRateValue(TVaBaudrate rate); // 0 for brUser and values outside the enumeration
    static TVaBaudrate baudrateOf(qint32 bitsPerSecond); // brUser for a rate the enumeration lacks

    // Limit of output accepted and not yet handed to the device.
    static constexpr int OutputBufferSize = 4096;

    // EVaCommError on failure; the port then stays closed and OnOpen is not raised.
    // A link may take a while to open (a network port connects) and the event loop
    // runs meanwhile: Opening() is then true, a second Open() fails as on an open
    // port, and Close() ends the wait (Failure::Cancelled).
    void Open();
    void Close();  // nothing when closed; otherwise releases the device and raises OnClose
    bool Active() const;
    bool Opening() const { return m_opening != nullptr; }
    // Queues the bytes without waiting and returns count; 0 when closed or when the
    // link refused them (reported through OnError). EVaCommError when the pending
    // output would pass OutputBufferSize.
    int WriteBuf(const std::uint8_t *data, int count);
    void PurgeRead();  // drops received bytes not yet delivered; nothing when closed
    void PurgeWrite(); // drops output not yet sent; nothing when closed
    // Delivers through OnRxBuf, before it returns, whatever the device has already
    // received: a tick that judges an answer must not depend on whether the event
    // loop served the port or the timer first after a busy moment.
    void PollInput();

signals:
    void OnOpen();
    void OnClose();
    // Every received byte exactly once, in arrival order, in chunks of any size.
    void OnRxBuf(const QByteArray &bytes);
    // The bytes of each WriteBuf the link accepted, right after it took them; for
    // listeners such as the bus monitor, which must not change what goes out or when.
    void OnTxBuf(const QByteArray &bytes);
    // BusLink::LineErrorFlag bits. A lost device raises DeviceLost, then the port closes.
    void OnError(int flags);
    // The device went away under the open port (adapter unplugged); raised once the
    // port has closed (after OnClose), so a handler finds it closed.
    void OnLost();

private:
    void onReadyRead();
    void onLineError(int flags);
    void onResourceLost();
    void applyToLink();
    void releaseLink();
    [[noreturn]] void fail(const QString &text);
    [[noreturn]] void failOpen(const BusLink::Error &error, const QString &device);

    int m_portNum = 1;
    TVaBaudrate m_baudrate = br19200;
    TVaParity m_parity = paNone;
    std::function<QString(int)> m_resolver;
    LinkFactory m_factory;
    std::unique_ptr<BusLink> m_link;
    BusLink *m_opening = nullptr; // the link Open() waits for
    bool m_openCancelled = false;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    int m_linkCallDepth = 0; // > 0 while a link signal is being handled
};

// The component's English text for a failed open, purge or settings change.
QString vaCommErrorText(const BusLink::Error &error, const QString &deviceName);
