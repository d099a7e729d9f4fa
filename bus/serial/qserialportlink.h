#pragma once

#include "bus/buslink.h"

#include <QSerialPort>

// A real serial device through QSerialPort: 8 data bits, 1 stop bit, no flow
// control, DTR and RTS inactive, received bytes delivered whatever their parity.
class QSerialPortLink final : public BusLink
{
    Q_OBJECT
public:
    static constexpr qint64 ReadBufferSize = 4096;

    explicit QSerialPortLink(const QString &deviceName, QObject *parent = nullptr);
    ~QSerialPortLink() override;

    bool open(const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override;
    bool applySettings(const LineSettings &settings) override;
    qint64 write(const QByteArray &bytes) override;
    QByteArray readAll() override;
    bool clearInput() override;
    bool clearOutput() override;
    void pollInput() override;
    qint64 bytesToWrite() const override;
    Error lastError() const override;

    // The open descriptor (-1 when closed), for callers that watch the device's queues.
    qintptr handle() const;

private:
    void onPortError(QSerialPort::SerialPortError error);
    bool hungUp() const;
    bool failWith(ErrorKind kind, int code);

    QString m_devicePath;
    QSerialPort m_port;
    Error m_error;
    bool m_quiet = false; // port errors of our own calls are reported by their results
    bool m_lost = false;
};
