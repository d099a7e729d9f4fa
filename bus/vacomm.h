#pragma once

#include "bus/seriallink.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>

enum TVaBaudrate {
    brUser, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
    br38400, br56000, br57600, br115200, br128000, br256000
};

// Errors of the serial component, with the component's own English texts.
class EVaCommError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The program's one serial port. Opened and closed only by the main window;
// every event arrives on the GUI thread.
class TVaComm : public QObject
{
    Q_OBJECT
public:
    explicit TVaComm(QObject *parent = nullptr);
    ~TVaComm() override; // releases the device without raising OnClose

    // Port number -> device name; the default maps n to "/dev/ttyUSB<n-1>".
    void setPortResolver(std::function<QString(int)> resolver);
    // Link construction; the default opens a real serial device through QSerialPort.
    void setLinkFactory(SerialLinkFactory factory);

    int PortNum() const { return m_portNum; }
    void setPortNum(int port); // EVaCommError while open
    QString DeviceName() const; // resolved name of the current port number

    TVaBaudrate Baudrate() const { return m_baudrate; }
    void setBaudrate(TVaBaudrate rate); // takes effect at once on an open port
    TVaParity Parity() const { return m_parity; }
    void setParity(TVaParity parity);   // likewise
    LineSettings lineSettings() const;
    static qint32 baudRateValue(TVaBaudrate rate);

    void Open();   // EVaCommError on failure; the port then stays closed and OnOpen is not raised
    void Close();  // nothing when closed; otherwise releases the device and raises OnClose
    bool Active() const;
    int WriteBuf(const std::uint8_t *data, int count); // returns count, or 0 when closed
    void PurgeRead();
    void PurgeWrite();

signals:
    void OnOpen();
    void OnClose();
    void OnRxBuf(const QByteArray &bytes);
    void OnError(int flags);

private:
    void onReadyRead();
    void onResourceLost();
    void releaseLink();
    [[noreturn]] void fail(const QString &text);

    int m_portNum = 1;
    TVaBaudrate m_baudrate = br19200;
    TVaParity m_parity = paNone;
    std::function<QString(int)> m_resolver;
    SerialLinkFactory m_factory;
    std::unique_ptr<SerialLink> m_link;
};
