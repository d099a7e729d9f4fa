#pragma once

#include "sim/bus.h"

#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <memory>

// The master side of a pseudo-terminal, wired to a bus: what a program writes
// to the slave side is heard on the bus, and the bus's answers come out there.
class PtyPort : public QObject
{
    Q_OBJECT
public:
    PtyPort(sim::Bus &bus, QObject *parent = nullptr);
    ~PtyPort() override;

    // False with a message when no pseudo-terminal can be had.
    bool open(QString *error);
    QString slavePath() const { return m_slavePath; }
    // 0: take the line rate the client set on the terminal (19200 until it sets one).
    void setFixedBaud(int baud) { m_fixedBaud = baud; }

private:
    void onReadable();
    void onTransmit(const QByteArray &bytes);
    void followClientSettings();

    sim::Bus &m_bus;
    int m_master = -1;
    int m_slave = -1; // kept open so the master never sees a hang-up between clients
    QString m_slavePath;
    int m_fixedBaud = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

// Line rate and parity the client of the terminal has set (from the master
// side); false when they cannot be read.
bool ptyLineSettings(int fd, int *baud, int *parity);
