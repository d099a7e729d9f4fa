#pragma once

#include <QObject>
#include <QString>

#include <memory>

class TcpLink;

// The "Проверить" of a network port: connects once, as a search would, notes how
// long it took, and disconnects at once without sending anything. The event
// loop runs while it waits; cancel() ends the wait quietly.
class TcpCheck : public QObject
{
    Q_OBJECT
public:
    struct Result
    {
        bool connected = false;
        bool cancelled = false;
        qint64 elapsedMs = 0;
        QString text; // in Russian: how long it took, or why it failed and what to check
    };

    explicit TcpCheck(QObject *parent = nullptr);
    ~TcpCheck() override;

    // A malformed address fails at once with its own error text.
    Result run(const QString &address, int connectTimeoutMs);
    bool isRunning() const { return m_link != nullptr; }
    void cancel();

private:
    TcpLink *m_link = nullptr; // while run() waits
};
