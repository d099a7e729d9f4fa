#pragma once

#include "bus/buslink.h"
#include "bus/frameprotocol.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class RequestLayer;
class TVaComm;

// The bus as windows and engines use it: the one port component, the one pair of
// frame buffers with every received byte appended as it comes, and the language
// of the frames being exchanged. Nothing above it wires the port to the buffers.
class BusChannel : public QObject
{
    Q_OBJECT
public:
    explicit BusChannel(QObject *parent = nullptr);
    ~BusChannel() override;

    TVaComm &port() { return *m_port; }
    const TVaComm &port() const { return *m_port; }
    RequestLayer &frames() { return *m_frames; }
    const RequestLayer &frames() const { return *m_frames; }

    // What a port number maps to; by default /dev/ttyUSB<n-1>.
    void setPortResolver(std::function<QString(int)> resolver);
    // How the link for an address is made; by default the link factory's choice.
    void setLinkFactory(LinkFactory factory);

    // Port number and line, then the link the number maps to is opened.
    // EVaCommError when it cannot be; the channel then stays closed.
    void open(int portNumber, const LineSettings &line);
    // Nothing when closed.
    void close();
    bool isOpen() const;
    // What the current port number maps to, as the messages name it.
    QString address() const;

    // How the bus monitor reads the frames sent from now on.
    FrameProtocol protocol() const { return m_protocol; }
    void setProtocol(FrameProtocol protocol) { m_protocol = protocol; }

private:
    std::unique_ptr<RequestLayer> m_frames;
    TVaComm *m_port;
    FrameProtocol m_protocol = FrameProtocol::Modbus;
};
