#include "bus/serial/qserialportlink.h"
#include "bus/vacomm.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <asm/termbits.h>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

// A pseudo-terminal: the port opens the slave side, the test plays the device on the master.
class Pty
{
public:
    Pty()
    {
        m_fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd >= 0 && ::grantpt(m_fd) == 0 && ::unlockpt(m_fd) == 0)
            m_path = QString::fromLocal8Bit(::ptsname(m_fd));
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    QString path() const { return m_path; }

    bool send(const QByteArray &bytes) const
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Everything the port has sent so far.
    QByteArray received()
    {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
            m_received.append(buffer, int(n));
        return m_received;
    }
    termios2 settings() const
    {
        termios2 t{}; // termios calls on the master act on the slave
        ::ioctl(m_fd, TCGETS2, &t);
        return t;
    }
    void closeMaster()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
    QString m_path;
    QByteArray m_received;
};

// Waits for `count` bytes in the device's input queue without running the event
// loop, as a GUI thread busy elsewhere would.
int waitQueuedWhileBusy(qintptr fd, int count)
{
    QDeadlineTimer deadline(10000);
    int queued = 0;
    while (!deadline.hasExpired()) {
        if (::ioctl(int(fd), FIONREAD, &queued) != 0 || queued >= count)
            break;
        std::this_thread::yield();
    }
    return queued;
}

QString errorText(const std::function<void()> &action)
{
    try {
        action();
    } catch (const EVaCommError &e) {
        return QString::fromStdString(e.what());
    }
    return QString();
}

QByteArray joined(const QSignalSpy &spy)
{
    QByteArray all;
    for (const QList<QVariant> &call : spy)
        all += call.at(0).toByteArray();
    return all;
}

} // namespace

// TVaComm over real QSerialPort links on pseudo-terminals.
class TestVaComm : public QObject
{
    Q_OBJECT

    std::unique_ptr<Pty> pty;
    std::unique_ptr<TVaComm> port;
    QPointer<QSerialPortLink> link;
    QTemporaryDir scratch;

    void usePath(const QString &path)
    {
        port->setPortResolver([path](int) { return path; });
    }

    // A test running beside this one may hold, for a moment longer, the device lock
    // of a pty number it has just given back and this test has just been handed.
    bool tryOpen()
    {
        try {
            if (!port->Active()) // QTRY_ evaluates once more after success
                port->Open();
            return true;
        } catch (const EVaCommError &e) {
            if (!QString::fromStdString(e.what()).contains(QStringLiteral("(Error %1,").arg(EBUSY)))
                throw;
            return false;
        }
    }
    void openPort() { QTRY_VERIFY_WITH_TIMEOUT(tryOpen(), 10000); }

private slots:
    void init()
    {
        pty = std::make_unique<Pty>();
        QVERIFY2(!pty->path().isEmpty(), "no pseudo-terminal");
        port = std::make_unique<TVaComm>();
        usePath(pty->path());
        port->setLinkFactory([this](const QString &name) -> std::unique_ptr<BusLink> {
            auto created = std::make_unique<QSerialPortLink>(name);
            link = created.get();
            return created;
        });
    }
    void cleanup()
    {
        port.reset();
        pty.reset();
    }

    void exchangesBytesInChunks()
    {
        QSignalSpy opened(port.get(), &TVaComm::OnOpen);
        QSignalSpy rx(port.get(), &TVaComm::OnRxBuf);
        openPort();
        QVERIFY(port->Active());
        QCOMPARE(opened.size(), 1);

        const QByteArray answer = QByteArray::fromHex("010406" "000100020003" "C5CD") + QByteArray(300, '\x0A');
        for (int at = 0; at < answer.size(); at += 97)
            QVERIFY(pty->send(answer.mid(at, 97)));
        QTRY_COMPARE(joined(rx), answer);

        const QByteArray request = QByteArray::fromHex("0104000000" "03B00B") + QByteArray(500, '\x0D');
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(request.constData());
        QCOMPARE(port->WriteBuf(bytes, 1), 1);
        QCOMPARE(port->WriteBuf(bytes + 1, 7), 7);
        QCOMPARE(port->WriteBuf(bytes + 8, int(request.size()) - 8), int(request.size()) - 8);
        QTRY_COMPARE(pty->received(), request);
    }

    void everyBaudRate_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<int>("rate");
        const int rates[] = {4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000};
        for (int item = 0; item < 9; ++item)
            QTest::addRow("%d", rates[item]) << item << rates[item];
    }
    void everyBaudRate()
    {
        QFETCH(int, item);
        QFETCH(int, rate);
        port->setBaudrate(TVaBaudrate(item + 6));
        openPort();
        QCOMPARE(int(pty->settings().c_ospeed), rate);
        QCOMPARE(int(pty->settings().c_ispeed), rate);

        // Applied at once on the open port.
        const int next = (item + 4) % 9;
        port->setBaudrate(TVaBaudrate(next + 6));
        QCOMPARE(int(pty->settings().c_ospeed), TVaComm::baudRateValue(TVaBaudrate(next + 6)));
    }

    void fixedLineSettingsOnTheDevice()
    {
        // Parity cannot be seen here: a pty drops the parity enable bit.
        openPort();
        const termios2 t = pty->settings();
        QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
        QVERIFY(!(t.c_cflag & (CSTOPB | CRTSCTS)));
        QVERIFY(!(t.c_iflag & (IXON | IXOFF | INPCK | PARMRK | ISTRIP))); // bytes delivered as they are
        QVERIFY(!(t.c_lflag & (ICANON | ECHO)));
    }

    // A pty drops the parity bit without complaint: the open is refused, not
    // reported as a line with a parity it does not have.
    void aParityTheDeviceDropsIsRefused_data()
    {
        QTest::addColumn<int>("parity");
        QTest::addColumn<QString>("error");
        QTest::newRow("none") << int(paNone) << QString();
        QTest::newRow("odd") << int(paOdd) << QStringLiteral("Error writing dcb (22), Invalid argument");
        QTest::newRow("even") << int(paEven) << QStringLiteral("Error writing dcb (22), Invalid argument");
    }
    void aParityTheDeviceDropsIsRefused()
    {
        QFETCH(int, parity);
        QFETCH(QString, error);
        QSignalSpy opened(port.get(), &TVaComm::OnOpen);
        port->setParity(TVaParity(parity));
        QString text;
        // As tryOpen(): a pty number just given back may still be locked a moment.
        const auto attempt = [&] {
            text = errorText([this] { port->Open(); });
            return !text.contains(QStringLiteral("(Error %1,").arg(EBUSY));
        };
        QTRY_VERIFY_WITH_TIMEOUT(port->Active() || attempt(), 10000);
        QCOMPARE(text, error);
        QCOMPARE(port->Active(), error.isEmpty());
        QCOMPARE(opened.size(), error.isEmpty() ? 1 : 0);
    }

    void closedPortSendsNothing()
    {
        openPort();
        port->Close();
        QVERIFY(!port->Active());
        const std::uint8_t frame[] = {0x01, 0x04};
        QCOMPARE(port->WriteBuf(frame, 2), 0);
        port->PurgeRead();
        port->PurgeWrite();
        QCoreApplication::processEvents();
        QVERIFY(pty->received().isEmpty());
    }

    void closeRaisesOnCloseOnlyWhenOpen()
    {
        QSignalSpy closed(port.get(), &TVaComm::OnClose);
        port->Close();
        QCOMPARE(closed.size(), 0);
        openPort();
        port->Close();
        port->Close();
        QCOMPARE(closed.size(), 1);
    }

    void openFailures_data()
    {
        QVERIFY(scratch.isValid());
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("text");
        const QString missing = scratch.filePath(QStringLiteral("ttyUSB0"));
        QTest::newRow("missing") << missing << QStringLiteral("Specified device not found (%1).").arg(missing);
        const QString plain = scratch.filePath(QStringLiteral("plain"));
        QFile file(plain);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QTest::newRow("not a tty") << plain
                                   << QStringLiteral("Error writing dcb (%1), %2").arg(ENOTTY).arg(qt_error_string(ENOTTY));
        QTest::newRow("directory") << scratch.path()
                                   << QStringLiteral("Can't open specified device %1 (Error %2, %3)")
                                          .arg(scratch.path()).arg(EISDIR).arg(qt_error_string(EISDIR));
    }
    void openFailures()
    {
        QFETCH(QString, path);
        QFETCH(QString, text);
        usePath(path);
        QSignalSpy opened(port.get(), &TVaComm::OnOpen);
        QCOMPARE(errorText([&] { port->Open(); }), text);
        QVERIFY(!port->Active());
        QVERIFY(opened.isEmpty());
    }

    void defaultNameOfAMissingAdapter()
    {
        int number = 1;
        while (number <= 16 && QFile::exists(QStringLiteral("/dev/ttyUSB%1").arg(number - 1)))
            ++number;
        QVERIFY(number <= 16);
        TVaComm plain;
        plain.setPortNum(number);
        QCOMPARE(errorText([&] { plain.Open(); }),
                 QStringLiteral("Specified device not found (/dev/ttyUSB%1).").arg(number - 1));
        QVERIFY(!plain.Active());
    }

    void deviceInUse()
    {
        openPort();
        TVaComm second;
        second.setPortResolver([this](int) { return pty->path(); });
        QSignalSpy opened(&second, &TVaComm::OnOpen);
        QCOMPARE(errorText([&] { second.Open(); }), QStringLiteral("Can't open specified device %1 (Error %2, %3)")
                                                      .arg(pty->path()).arg(EBUSY).arg(qt_error_string(EBUSY)));
        QVERIFY(opened.isEmpty());
        QVERIFY(!second.Active());

        QSignalSpy rx(port.get(), &TVaComm::OnRxBuf);
        QVERIFY(pty->send("\x01\x02"));
        QTRY_COMPARE(joined(rx), QByteArray("\x01\x02"));
    }

    void peerGoneClosesThePort()
    {
        openPort();
        QSignalSpy closed(port.get(), &TVaComm::OnClose);
        QSignalSpy errors(port.get(), &TVaComm::OnError);
        pty->closeMaster();
        QTRY_COMPARE(closed.size(), 1);
        QVERIFY(!port->Active());
        QVERIFY(!errors.isEmpty());
        QCOMPARE(errors.last().at(0).toInt() & BusLink::DeviceLost, int(BusLink::DeviceLost));

        pty = std::make_unique<Pty>();
        usePath(pty->path());
        QSignalSpy rx(port.get(), &TVaComm::OnRxBuf);
        openPort();
        QVERIFY(pty->send("ok"));
        QTRY_COMPARE(joined(rx), QByteArray("ok"));
        QCOMPARE(closed.size(), 1);
    }

    void closeFromTheReceiveHandler()
    {
        // The main window closes the port from inside the handler when a search ends.
        openPort();
        QSignalSpy closed(port.get(), &TVaComm::OnClose);
        connect(port.get(), &TVaComm::OnRxBuf, this, [this] { port->Close(); });
        QVERIFY(pty->send("answer"));
        QTRY_COMPARE(closed.size(), 1);
        QVERIFY(!port->Active());
        QTRY_VERIFY(link.isNull());
        openPort();
        QVERIFY(port->Active());
    }

    void answersQueuedWhileBusyArriveTogether()
    {
        openPort();
        QSignalSpy rx(port.get(), &TVaComm::OnRxBuf);
        const QByteArray first = QByteArray::fromHex("0104020001" "7830");
        const QByteArray second = QByteArray::fromHex("0204020002" "7D30");
        QVERIFY(pty->send(first));
        QVERIFY(pty->send(second));
        QCOMPARE(waitQueuedWhileBusy(link->handle(), int(first.size() + second.size())), int(first.size() + second.size()));
        QTRY_COMPARE(rx.size(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(rx.size(), 1);
        QCOMPARE(rx.at(0).at(0).toByteArray(), first + second);
    }

    // A tick that judges an answer takes in what waits in the device itself, so a
    // busy moment of the event loop cannot make it judge half an answer.
    void pollInputDeliversWhatWaitsWithoutTheEventLoop()
    {
        openPort();
        QSignalSpy rx(port.get(), &TVaComm::OnRxBuf);
        port->PollInput(); // nothing waits: nothing delivered, no error
        QCOMPARE(rx.size(), 0);
        const QByteArray answer = QByteArray::fromHex("0104020001" "7830");
        QVERIFY(pty->send(answer));
        QCOMPARE(waitQueuedWhileBusy(link->handle(), int(answer.size())), int(answer.size()));
        port->PollInput();
        QCOMPARE(joined(rx), answer);
        QVERIFY(port->Active());
    }

    void purgeReadDropsWhatWaits()
    {
        openPort();
        QSignalSpy rx(port.get(), &TVaComm::OnRxBuf);
        QVERIFY(pty->send("stale"));
        QCOMPARE(waitQueuedWhileBusy(link->handle(), 5), 5);
        port->PurgeRead();
        QVERIFY(pty->send("fresh"));
        QTRY_COMPARE(joined(rx), QByteArray("fresh"));
    }

    void outputBufferFull()
    {
        const QString full = QStringLiteral("Output buffer is full. Please check comm status.");
        openPort();
        QByteArray block(TVaComm::OutputBufferSize + 1, 'U');
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(block.constData());
        QCOMPARE(errorText([&] { port->WriteBuf(bytes, int(block.size())); }), full);
        QCoreApplication::processEvents();
        QVERIFY(pty->received().isEmpty());

        // Nobody reads the other end: the device's queue fills, then ours.
        QString text;
        for (int i = 0; i < 64 && text.isEmpty(); ++i)
            text = errorText([&] { port->WriteBuf(bytes, TVaComm::OutputBufferSize); });
        QCOMPARE(text, full);
        QVERIFY(port->Active());

        port->PurgeWrite();
        QCOMPARE(port->WriteBuf(bytes, TVaComm::OutputBufferSize), TVaComm::OutputBufferSize);
    }
};

QTEST_GUILESS_MAIN(TestVaComm)
#include "test_vacomm.moc"
