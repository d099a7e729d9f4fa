#pragma once

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

// Stands in for the main window as a device window's host: an open port on a
// simulated bus, the shared buffers, the found address and the baud rate text.
class SimHost : public DeviceHost
{
public:
    SimHost()
    {
        tuneForTests(bus);
        comm.setLinkFactory(sim::simLinkFactory(bus));
        comm.setBaudrate(br115200);
        QObject::connect(&comm, &TVaComm::OnRxBuf, [this](const QByteArray &bytes) { m_frames->VaComm1RxBuf(bytes); });
    }

    TVaComm &port() override { return comm; }
    RequestLayer &frames() override { return *m_frames; }
    QString foundAddressText() const override { return address; }
    QString baudRateText() const override { return baud; }

    // Waits until `bytes` have come back; false when the time is up first.
    [[nodiscard]] bool waitForAnswer(int bytes, int timeoutMs = 2000)
    {
        return QTest::qWaitFor([&] { return m_frames->RxCount >= bytes; }, timeoutMs);
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
    TVaComm comm;
    std::unique_ptr<RequestLayer> m_frames = std::make_unique<RequestLayer>();

    QString address = QStringLiteral("1");
    QString baud = QStringLiteral("19200");

private:
    QList<QByteArray> m_requests;
    bool m_recording = false;
};
