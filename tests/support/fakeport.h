#pragma once

#include "bus/requestlayer.h"
#include "bus/vacomm.h"
#include "support/fakelink.h"

#include <QObject>

// The port and the shared buffers a search or a test engine works on, without a
// window: a TVaComm over an in-memory link, its received bytes collected in the
// frames as the main window collects them.
struct FakePort
{
    FakePort()
    {
        port.setLinkFactory(links.factory());
        QObject::connect(&port, &TVaComm::OnRxBuf, [this](const QByteArray &bytes) { frames.VaComm1RxBuf(bytes); });
    }
    FakePort(const FakePort &) = delete;
    FakePort &operator=(const FakePort &) = delete;

    // The link of the port as opened last; the port must have been opened.
    FakeLink &link() { return *links.last(); }

    FakeLinkFactory links;
    TVaComm port;
    RequestLayer frames;
};
