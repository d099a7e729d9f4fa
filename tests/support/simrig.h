#pragma once

#include "bus/buschannel.h"
#include "bus/requestlayer.h"
#include "bus/vacomm.h"
#include "devices/devicewindow.h"
#include "sim/bus.h"
#include "sim/simlink.h"

#include <QObject>
#include <QTest>

#include <memory>

// A simulated bus tuned for window tests: a fast line, whole answers delivered
// at once and no baud-rate deafness, so a 50 ms tick always finds a complete answer.
inline void tuneForTests(sim::Bus &bus)
{
    bus.setBaudMatters(false);
    bus.setFifoBytes(4096);
    bus.setThinkTimeMs(1);
    bus.setSeed(7);
}

// Stands in for the main window as a device window's host: a channel open on a
// simulated bus and the found device (address 1 at 19200 bit/s unless a test
// says otherwise).
class SimHost : public DeviceHost
{
public:
    SimHost()
    {
        tuneForTests(bus);
        busChannel.setLinkFactory(sim::simLinkFactory(bus));
        comm.setBaudrate(br115200);
        device.kind = DeviceWindowKind::KRV;
        device.address = 1;
        device.line.baudRate = 19200;
    }

    BusChannel &channel() override { return busChannel; }
    const FoundDevice &found() const override { return device; }

    // The search's last step: the probe framed in TxFrame goes out, and its answer,
    // left in RxFrame, is the found device's. False when it did not come.
    [[nodiscard]] bool probe(int answerBytes)
    {
        comm.WriteBuf(m_frames.TxFrame, m_frames.TxCount);
        if (!waitForAnswer(answerBytes))
            return false;
        device.answer = m_frames.rxBytes();
        return true;
    }

    // Waits until `bytes` have come back; false when the time is up first.
    [[nodiscard]] bool waitForAnswer(int bytes, int timeoutMs = 2000)
    {
        return QTest::qWaitFor([&] { return m_frames.RxCount >= bytes; }, timeoutMs);
    }

    // Every request heard on the bus from now on, in order.
    const QList<QByteArray> &requestsFromNow()
    {
        m_requests.clear();
        if (!m_recording) {
            m_recording = true;
            QObject::connect(&bus, &sim::Bus::frameLogged,
                             [this](qint64, sim::Direction d, const QByteArray &bytes, const QString &) {
                                 if (d == sim::Direction::Request)
                                     m_requests << bytes;
                             });
        }
        return m_requests;
    }

    // One sending tick of a device window's test, the wait for `answerBytes`, one
    // evaluating tick. False when the answer did not come.
    [[nodiscard]] bool exchange(TTestWindow &window, int answerBytes)
    {
        window.TimerTestTimer();
        const bool answered = waitForAnswer(answerBytes, 3000);
        window.TimerTestTimer();
        return answered;
    }

    sim::Bus bus;
    BusChannel busChannel;
    TVaComm &comm = busChannel.port();
    RequestLayer &m_frames = busChannel.frames();
    FoundDevice device;

private:
    QList<QByteArray> m_requests;
    bool m_recording = false;
};
