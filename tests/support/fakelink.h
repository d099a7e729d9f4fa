#pragma once

#include "bus/buslink.h"

#include <QList>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>

// In-memory BusLink for unit tests. Set the public fields to choose how it
// behaves, call the drive functions to make the "device" act, read the record
// fields to see what the port did with it.
class FakeLink final : public BusLink
{
public:
    explicit FakeLink(const QString &deviceName = QString()) : deviceName(deviceName) {}

    // Behaviour: an error whose kind is not None makes that operation fail with it.
    Error openError;
    Error settingsError;
    Error purgeError;
    bool refuseWrites = false; // write() returns -1
    // Runs inside open(), as a link that waits in the event loop would let other
    // handlers run (a network port connecting). close() meanwhile fails the open
    // with ECANCELED, as such a link does.
    std::function<void()> duringOpen;
    qint64 pending = 0;        // reported by bytesToWrite()

    // Record.
    QString deviceName;
    QList<LineSettings> settingsApplied; // at open and every later change
    QByteArray written;
    int writeCalls = 0;
    int clearInputCalls = 0;
    int clearOutputCalls = 0;
    int closeCalls = 0;

    // Drive: bytes arriving from the line (kept until read), a line error, the device vanishing.
    void receive(const QByteArray &bytes)
    {
        m_input += bytes;
        emit readyRead();
    }
    void raiseLineError(int flags) { emit lineError(flags); }
    void loseDevice() { emit resourceLost(); }
    QByteArray unread() const { return m_input; }

    bool open(const LineSettings &settings) override
    {
        if (duringOpen) {
            m_opening = true;
            m_cancelled = false;
            duringOpen();
            m_opening = false;
            if (m_cancelled)
                return fail({ErrorKind::OpenFailed, 125, QStringLiteral("Operation canceled")});
        }
        if (openError.kind != ErrorKind::None)
            return fail(openError);
        if (!applySettings(settings))
            return false;
        m_open = true;
        return true;
    }
    void close() override
    {
        ++closeCalls;
        m_cancelled = m_cancelled || m_opening;
        m_open = false;
    }
    bool isOpen() const override { return m_open; }
    bool applySettings(const LineSettings &settings) override
    {
        if (settingsError.kind != ErrorKind::None)
            return fail(settingsError);
        settingsApplied.append(settings);
        return true;
    }
    qint64 write(const QByteArray &bytes) override
    {
        ++writeCalls;
        if (refuseWrites) {
            fail({ErrorKind::Write, 5, QStringLiteral("Input/output error")});
            return -1;
        }
        written += bytes;
        return bytes.size();
    }
    QByteArray readAll() override { return std::exchange(m_input, QByteArray()); }
    bool clearInput() override
    {
        ++clearInputCalls;
        if (purgeError.kind != ErrorKind::None)
            return fail(purgeError);
        m_input.clear();
        return true;
    }
    bool clearOutput() override
    {
        ++clearOutputCalls;
        return purgeError.kind == ErrorKind::None || fail(purgeError);
    }
    qint64 bytesToWrite() const override { return pending; }
    Error lastError() const override { return m_error; }

private:
    bool fail(const Error &error)
    {
        m_error = error;
        return false;
    }

    bool m_open = false;
    bool m_opening = false;
    bool m_cancelled = false;
    QByteArray m_input;
    Error m_error;
};

// Builds FakeLinks for TVaComm::setLinkFactory and keeps track of them, so a test
// can drive the link the port owns. `prepare` runs on each new link before it is
// handed over (to make it fail, for example).
struct FakeLinkFactory
{
    std::function<void(FakeLink &)> prepare;
    QStringList devicesRequested;
    QList<QPointer<FakeLink>> created; // null once the port has destroyed the link

    FakeLink *last() const { return created.isEmpty() ? nullptr : created.last().data(); }

    LinkFactory factory()
    {
        return [this](const QString &deviceName) -> std::unique_ptr<BusLink> {
            devicesRequested.append(deviceName);
            auto link = std::make_unique<FakeLink>(deviceName);
            if (prepare)
                prepare(*link);
            created.append(link.get());
            return link;
        };
    }
};
