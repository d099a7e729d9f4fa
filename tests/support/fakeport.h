#pragma once

#include "bus/buschannel.h"
#include "bus/requestlayer.h"
#include "bus/vacomm.h"
#include "support/fakelink.h"

// The bus channel a search or a test engine works on, without a window, over
// in-memory links the test drives.
struct FakePort
{
    FakePort() { channel.setLinkFactory(links.factory()); }
    FakePort(const FakePort &) = delete;
    FakePort &operator=(const FakePort &) = delete;

    // The link of the port as opened last; the port must have been opened.
    FakeLink &link() { return *links.last(); }

    FakeLinkFactory links;
    BusChannel channel;
    TVaComm &port = channel.port();
    RequestLayer &frames = channel.frames();
};
