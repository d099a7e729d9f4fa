#include "bus/buschannel.h"
#include "bus/portmap.h"
#include "bus/requestlayer.h"
#include "bus/vacomm.h"
#include "support/fakelink.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
QString errorText(const std::function<void()> &action)
{
    try {
        action();
    } catch (const EVaCommError &e) {
        return QString::fromStdString(e.what());
    }
    return QString();
}

const QString BusyText = QStringLiteral("Can't perform this operation while port is open");
} // namespace

// TVaComm's own logic, over an in-memory link.
class TestVaCommFake : public QObject
{
    Q_OBJECT

    FakeLinkFactory links;
    std::unique_ptr<TVaComm> port;

    void openPort()
    {
        port->Open();
        QVERIFY(links.last());
    }

private slots:
    void init()
    {
        links = FakeLinkFactory();
        port = std::make_unique<TVaComm>();
        port->setLinkFactory(links.factory());
    }
    void cleanup() { port.reset(); }

    void deviceNames_data()
    {
        QTest::addColumn<int>("portNumber");
        QTest::addColumn<QString>("configured");
        QTest::addColumn<QString>("expected");
        QTest::newRow("port 1") << 1 << QString() << "/dev/ttyUSB0";
        QTest::newRow("port 16") << 16 << QString() << "/dev/ttyUSB15";
        QTest::newRow("configured") << 3 << "/dev/ttyS0" << "/dev/ttyS0";
        QTest::newRow("configured with blanks") << 3 << " /dev/ttyACM1 " << "/dev/ttyACM1";
        QTest::newRow("blank configured") << 2 << "   " << "/dev/ttyUSB1";
    }
    void deviceNames()
    {
        QFETCH(int, portNumber);
        QFETCH(QString, configured);
        QFETCH(QString, expected);
        QCOMPARE(PortDeviceName(portNumber, configured), expected);
        if (configured.isEmpty()) {
            port->setPortNum(portNumber);
            openPort();
            QCOMPARE(links.devicesRequested, QStringList{expected});
        }
    }

    void lineSettingsReachTheLink_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<int>("parityItem");
        QTest::addColumn<int>("rate");
        const int rates[] = {4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000};
        for (int item = 0; item < 9; ++item)
            QTest::addRow("%d/parity %d", rates[item], item % 3) << item << item % 3 << rates[item];
    }
    void lineSettingsReachTheLink()
    {
        QFETCH(int, item);
        QFETCH(int, parityItem);
        QFETCH(int, rate);
        port->setBaudrate(TVaBaudrate(item + 6));
        port->setParity(TVaParity(parityItem));
        openPort();
        QCOMPARE(links.last()->settingsApplied, QList<LineSettings>{(LineSettings{rate, TVaParity(parityItem)})});

        // Changes on an open port apply at once.
        port->setParity(paEven);
        port->setBaudrate(br115200);
        QCOMPARE(links.last()->settingsApplied.last(), (LineSettings{115200, paEven}));
        QCOMPARE(links.last()->settingsApplied.size(), 3);
    }

    void failedOpenLeavesPortClosed_data()
    {
        using K = BusLink::ErrorKind;
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("inSettings");
        QTest::addColumn<QString>("text");
        QTest::newRow("not found") << int(K::NotFound) << false << "Specified device not found (/dev/ttyUSB0).";
        QTest::newRow("busy") << int(K::OpenFailed) << false
                              << "Can't open specified device /dev/ttyUSB0 (Error 16, Device or resource busy)";
        QTest::newRow("settings") << int(K::Settings) << true << "Error writing dcb (16), Device or resource busy";
    }
    void failedOpenLeavesPortClosed()
    {
        QFETCH(int, kind);
        QFETCH(bool, inSettings);
        QFETCH(QString, text);
        const BusLink::Error error{BusLink::ErrorKind(kind), 16, QStringLiteral("Device or resource busy")};
        links.prepare = [&](FakeLink &link) { (inSettings ? link.settingsError : link.openError) = error; };
        QSignalSpy opened(port.get(), &TVaComm::OnOpen);
        QSignalSpy closed(port.get(), &TVaComm::OnClose);

        QCOMPARE(errorText([&] { port->Open(); }), text);
        QVERIFY(!port->Active());
        QVERIFY(opened.isEmpty());
        QVERIFY(links.created.last().isNull()); // released, not leaked open
        port->Close();
        QVERIFY(closed.isEmpty());

        // The next attempt starts from scratch.
        links.prepare = nullptr;
        openPort();
        QVERIFY(port->Active());
        QCOMPARE(opened.size(), 1);
    }

    void errorTextsKeepNamesAsTheyAre()
    {
        const BusLink::Error busy{BusLink::ErrorKind::OpenFailed, 16, QStringLiteral("busy %1")};
        QCOMPARE(vaCommErrorText(busy, QStringLiteral("/dev/odd%2name")),
                 QStringLiteral("Can't open specified device /dev/odd%2name (Error 16, busy %1)"));
        const BusLink::Error settings{BusLink::ErrorKind::Settings, 22, QStringLiteral("bad %1")};
        QCOMPARE(vaCommErrorText(settings, QString()), QStringLiteral("Error writing dcb (22), bad %1"));
    }

    void rejectedSettingsAndMisuse()
    {
        // A rate the enumeration does not name never reaches a link.
        port->setBaudrate(brUser);
        QVERIFY(errorText([&] { port->Open(); }).startsWith("Error writing dcb ("));
        port->setBaudrate(TVaBaudrate(10 + 6)); // a stray item index
        QVERIFY(errorText([&] { port->Open(); }).startsWith("Error writing dcb ("));
        QVERIFY(links.created.isEmpty());
        QVERIFY(!port->Active());

        port->setBaudrate(br9600);
        port->setPortNum(2);
        openPort();
        QCOMPARE(errorText([&] { port->Open(); }), BusyText);
        QCOMPARE(errorText([&] { port->setPortNum(5); }), BusyText);
        QCOMPARE(port->PortNum(), 2);
        QCOMPARE(links.created.size(), 1);

        links.last()->settingsError = {BusLink::ErrorKind::Settings, 22, QStringLiteral("Invalid argument")};
        QCOMPARE(errorText([&] { port->setBaudrate(br128000); }), QStringLiteral("Error writing dcb (22), Invalid argument"));
        QVERIFY(port->Active());
    }

    // While a link waits to open, the window keeps running: another Open() or a
    // port number change is refused as on an open port, and Close() cancels the
    // wait without a close event.
    void callsWhileOpening_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("error");   // of the call itself
        QTest::addColumn<bool>("opens");       // whether the first Open() still succeeds
        QTest::newRow("second open") << "open" << BusyText << true;
        QTest::newRow("port number") << "portnum" << BusyText << true;
        QTest::newRow("close") << "close" << QString() << false;
    }
    void callsWhileOpening()
    {
        QFETCH(QString, call);
        QFETCH(QString, error);
        QFETCH(bool, opens);
        QString callError;
        bool wasOpening = false;
        links.prepare = [&](FakeLink &link) {
            link.duringOpen = [&] {
                wasOpening = port->Opening() && !port->Active();
                if (call == QLatin1String("open"))
                    callError = errorText([&] { port->Open(); });
                else if (call == QLatin1String("portnum"))
                    callError = errorText([&] { port->setPortNum(7); });
                else
                    callError = errorText([&] { port->Close(); });
            };
        };
        QSignalSpy opened(port.get(), &TVaComm::OnOpen);
        QSignalSpy closed(port.get(), &TVaComm::OnClose);
        EVaCommError::Failure failure = EVaCommError::Failure::Other;
        bool threw = false;
        try {
            port->Open();
        } catch (const EVaCommError &e) {
            threw = true;
            failure = e.failure();
        }
        QVERIFY(wasOpening);
        QCOMPARE(callError, error);
        QCOMPARE(threw, !opens);
        QCOMPARE(port->Active(), opens);
        QCOMPARE(opened.size(), opens ? 1 : 0);
        QVERIFY(closed.isEmpty());
        QVERIFY(!port->Opening());
        QCOMPARE(links.created.size(), 1);
        QCOMPARE(port->PortNum(), 1);
        if (!opens) {
            QCOMPARE(failure, EVaCommError::Failure::Cancelled);
            QVERIFY(links.created.last().isNull()); // released
        }
    }

    void destroyedWhileOpening()
    {
        bool threw = false;
        links.prepare = [&](FakeLink &link) { link.duringOpen = [&] { port.reset(); }; };
        TVaComm *raw = port.get();
        try {
            raw->Open();
        } catch (const EVaCommError &e) {
            threw = e.failure() == EVaCommError::Failure::Cancelled;
        }
        QVERIFY(threw);
        QVERIFY(links.created.last().isNull());
    }

    void writeBufQueuesAndLimitsOutput()
    {
        const std::uint8_t frame[] = {0x01, 0x04, 0x00, 0x00, 0x00, 0x03, 0xB0, 0x0B};
        QCOMPARE(port->WriteBuf(frame, 8), 0); // closed: nothing sent
        QVERIFY(links.created.isEmpty());

        openPort();
        FakeLink *link = links.last();
        QCOMPARE(port->WriteBuf(frame, 8), 8);
        QCOMPARE(port->WriteBuf(frame, 2), 2);
        QCOMPARE(link->written, QByteArray::fromHex("01040000" "0003B00B" "0104"));

        QByteArray block(TVaComm::OutputBufferSize, '\x55');
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(block.constData());
        link->pending = TVaComm::OutputBufferSize - 8;
        QCOMPARE(port->WriteBuf(frame, 8), 8); // exactly full is fine
        link->pending = TVaComm::OutputBufferSize - 7;
        QCOMPARE(errorText([&] { port->WriteBuf(frame, 8); }), QStringLiteral("Output buffer is full. Please check comm status."));
        link->pending = 0;
        QCOMPARE(errorText([&] { port->WriteBuf(bytes, block.size() + 1); }),
                 QStringLiteral("Output buffer is full. Please check comm status."));
        QCOMPARE(link->writeCalls, 3);

        QSignalSpy errors(port.get(), &TVaComm::OnError);
        link->refuseWrites = true;
        QCOMPARE(port->WriteBuf(frame, 8), 0);
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.at(0).at(0).toInt(), int(BusLink::TransmitFailed));
    }

    void purges()
    {
        port->PurgeRead(); // closed: nothing happens
        port->PurgeWrite();
        openPort();
        FakeLink *link = links.last();
        port->PurgeRead();
        port->PurgeWrite();
        QCOMPARE(link->clearInputCalls, 1);
        QCOMPARE(link->clearOutputCalls, 1);
        link->purgeError = {BusLink::ErrorKind::Purge, 5, QStringLiteral("Input/output error")};
        QCOMPARE(errorText([&] { port->PurgeRead(); }), QStringLiteral("Error clearing buffers (5), Input/output error"));
        QCOMPARE(errorText([&] { port->PurgeWrite(); }), QStringLiteral("Error clearing buffers (5), Input/output error"));
    }

    void receivedBytesAndLineErrors()
    {
        openPort();
        QSignalSpy rx(port.get(), &TVaComm::OnRxBuf);
        QSignalSpy errors(port.get(), &TVaComm::OnError);
        links.last()->receive(QByteArray::fromHex("0104"));
        links.last()->receive(QByteArray::fromHex("06000100"));
        QCOMPARE(rx.size(), 2);
        QCOMPARE(rx.at(0).at(0).toByteArray() + rx.at(1).at(0).toByteArray(), QByteArray::fromHex("010406000100"));
        links.last()->raiseLineError(BusLink::ParityError | BusLink::Overrun);
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.at(0).at(0).toInt(), BusLink::ParityError | BusLink::Overrun);
    }

    void closingFromInsideAHandlerIsSafe()
    {
        openPort();
        QPointer<FakeLink> link = links.last();
        QSignalSpy closed(port.get(), &TVaComm::OnClose);
        int chunks = 0;
        connect(port.get(), &TVaComm::OnRxBuf, this, [&] {
            ++chunks;
            port->Close();
        });
        link->receive("ab");
        QCOMPARE(chunks, 1);
        QCOMPARE(closed.size(), 1);
        QVERIFY(!port->Active());
        QTRY_VERIFY(link.isNull()); // deleted once its signal has returned
    }

    void lostDeviceClosesThePort()
    {
        openPort();
        QSignalSpy closed(port.get(), &TVaComm::OnClose);
        QStringList order;
        connect(port.get(), &TVaComm::OnError, this, [&](int flags) { order << QStringLiteral("error %1").arg(flags); });
        connect(port.get(), &TVaComm::OnClose, this, [&] { order << QStringLiteral("close"); });
        links.last()->loseDevice();
        QCOMPARE(order, (QStringList{QStringLiteral("error %1").arg(BusLink::DeviceLost), "close"}));
        QVERIFY(!port->Active());
        const std::uint8_t byte = 0;
        QCOMPARE(port->WriteBuf(&byte, 1), 0);

        openPort();
        QVERIFY(port->Active());
        QCOMPARE(links.created.size(), 2);
    }

    void destructionReleasesQuietly()
    {
        openPort();
        QPointer<FakeLink> link = links.last();
        int closes = 0;
        connect(port.get(), &TVaComm::OnClose, this, [&] { ++closes; });
        port.reset();
        QCOMPARE(closes, 0);
        QVERIFY(link.isNull());
    }
};

// The channel: the port and the buffers wired together, with no window around them.
class TestBusChannel : public QObject
{
    Q_OBJECT

    FakeLinkFactory links;
    std::unique_ptr<BusChannel> channel;

private slots:
    void init()
    {
        links = FakeLinkFactory();
        channel = std::make_unique<BusChannel>();
        channel->setLinkFactory(links.factory());
        channel->setPortResolver([](int port) { return QStringLiteral("/dev/ttyTEST%1").arg(port); });
    }
    void cleanup() { channel.reset(); }

    void opensTheAddressOfThePortNumberOnTheLineGiven()
    {
        channel->open(4, {38400, paOdd});
        QVERIFY(channel->isOpen());
        QCOMPARE(links.devicesRequested, QStringList{QStringLiteral("/dev/ttyTEST4")});
        QCOMPARE(channel->address(), QStringLiteral("/dev/ttyTEST4"));
        QCOMPARE(links.last()->settingsApplied, (QList<LineSettings>{{38400, paOdd}}));
    }

    void aRateNobodyCanNameIsRefusedAndNothingOpens()
    {
        QVERIFY_THROWS_EXCEPTION(EVaCommError, channel->open(1, {12345, paNone}));
        QVERIFY(!channel->isOpen());
        QVERIFY(links.devicesRequested.isEmpty());
    }

    void receivedChunksLandInRxFrameInOrder()
    {
        channel->open(1, {19200, paNone});
        links.last()->receive(QByteArray::fromHex("0104"));
        links.last()->receive(QByteArray::fromHex("06000c"));
        links.last()->receive(QByteArray::fromHex("0002"));
        QCOMPARE(channel->frames().RxCount, 7);
        QCOMPARE(channel->frames().rxBytes().toHex(), QByteArray("010406000c0002"));
    }

    void closeIsQuietWhenClosedAndEndsReception()
    {
        QSignalSpy closed(&channel->port(), &TVaComm::OnClose);
        channel->close();
        QCOMPARE(closed.size(), 0);
        channel->open(1, {19200, paNone});
        QPointer<FakeLink> link = links.last();
        channel->close();
        QCOMPARE(closed.size(), 1);
        QVERIFY(link.isNull());
        QCOMPARE(channel->frames().RxCount, 0);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestVaCommFake port;
    TestBusChannel channel;
    return QTest::qExec(&port, argc, argv) | QTest::qExec(&channel, argc, argv);
}
#include "test_vacommfake.moc"
