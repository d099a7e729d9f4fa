#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

// orvek-sim serving its bus over TCP (the ORVEK_SIM environment variable names
// it), on a free loopback port unless one is given; killed when it goes out of scope.
class TcpSim
{
public:
    bool start(const QStringList &args, int tcpPort = 0)
    {
        m_process.start(qEnvironmentVariable("ORVEK_SIM"), QStringList{"--tcp", QString::number(tcpPort)} + args);
        if (!m_process.waitForStarted(10000))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (!m_process.canReadLine() && clock.elapsed() < 10000)
            m_process.waitForReadyRead(100);
        address = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        const QUrl url(address);
        host = url.host();
        port = url.port();
        return url.scheme() == QLatin1String("tcp") && port > 0;
    }
    // SIGTERM: the simulator closes its connection and ends.
    void stop()
    {
        m_process.terminate();
        m_process.waitForFinished(10000);
    }
    // SIGKILL: the system closes the connection for it.
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
    ~TcpSim()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    QString address;
    QString host;
    int port = 0;

private:
    QProcess m_process;
};
