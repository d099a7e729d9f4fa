#include "bus/crc16.h"
#include "bus/delayms.h"
#include "bus/modbusexception.h"
#include "bus/requestlayer.h"
#include "devices/m7051protocol.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {
// Bit-by-bit CRC-16/MODBUS, independent of the table form under test.
std::uint16_t referenceCrc(const QByteArray &bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}
} // namespace

class TestRequestLayer : public QObject
{
    Q_OBJECT

private slots:
    void crcTablesStartAsTheClassicTables()
    {
        const std::uint8_t hi[] = {0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41};
        const std::uint8_t lo[] = {0x00, 0xC0, 0xC1, 0x01, 0xC3, 0x03, 0x02, 0xC2};
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(CrcTableHi[i], hi[i]);
            QCOMPARE(CrcTableLo[i], lo[i]);
        }
    }

    void crcMatchesReference_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("check string") << QByteArray("123456789") << hex("374B");
        QTest::newRow("read holding") << hex("01030000000A") << hex("C5CD");
        QTest::newRow("empty") << QByteArray() << hex("FFFF");
        QTest::newRow("meter test channel") << hex("0000") << hex("01B0");
    }
    void crcMatchesReference()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, wire);
        const auto *data = reinterpret_cast<const std::uint8_t *>(body.constData());
        const std::uint16_t crc = Crc16(data, static_cast<std::uint16_t>(body.size()));
        const std::uint16_t ref = referenceCrc(body);
        // The table form yields the standard value with its bytes exchanged.
        QCOMPARE(crc, static_cast<std::uint16_t>((ref << 8) | (ref >> 8)));
        QByteArray onWire;
        onWire.append(static_cast<char>(crc >> 8)).append(static_cast<char>(crc & 0xFF));
        QCOMPARE(onWire.toHex(), wire.toHex());
    }

    void crcMatchesReferenceOverEveryByteValue()
    {
        QByteArray body;
        for (int i = 0; i < 256; ++i) {
            body.append(static_cast<char>(i));
            const std::uint16_t crc
                = Crc16(reinterpret_cast<const std::uint8_t *>(body.constData()), static_cast<std::uint16_t>(body.size()));
            const std::uint16_t ref = referenceCrc(body);
            QCOMPARE(crc, static_cast<std::uint16_t>((ref << 8) | (ref >> 8)));
        }
    }

    void requestFrames_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<int>("c");
        QTest::addColumn<QByteArray>("frame");
        // op: 2/3/4/6 Modbus function, 70 module command, 71 command ex, 72 module baud
        QTest::newRow("holding 1,0,10") << 3 << 1 << 0 << 10 << hex("01030000000AC5CD");
        QTest::newRow("probe KRV-A") << 4 << 1 << 0 << 3 << hex("010400000003B00B");
        QTest::newRow("probe ZDLT-1") << 4 << 1 << 0xFC7C << 14 << hex("0104FC7C000E8046");
        QTest::newRow("probe M-7051D") << 70 << 1 << 0x20 << 0 << hex("01462013B8");
        QTest::newRow("probe sensor") << 3 << 1 << 0 << 3 << hex("01030000000305CB");
        QTest::newRow("probe controller") << 2 << 1 << 0x0185 << 4 << hex("01020185000469DC");
        QTest::newRow("probe B-7720Q") << 2 << 1 << 0 << 8 << hex("01020000000879CC");
        QTest::newRow("write single") << 6 << 1 << 0x011F << 5 << QByteArray();
        QTest::newRow("command ex") << 71 << 3 << 0x04 << 9 << QByteArray();
        QTest::newRow("module baud 9600") << 72 << 1 << 0x06 << 9600 << QByteArray();
        QTest::newRow("address 0 accepted") << 4 << 0 << 0 << 3 << QByteArray();
    }
    void requestFrames()
    {
        QFETCH(int, op);
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(int, c);
        QFETCH(QByteArray, frame);
        auto layer = std::make_unique<RequestLayer>();
        const auto addr = static_cast<std::uint8_t>(a);
        QByteArray body;
        switch (op) {
        case 2: layer->SendReadDiscreteInputs(addr, b, c); break;
        case 3: layer->SendReadHoldingRegisters(addr, b, c); break;
        case 4: layer->SendReadInputRegisters(addr, b, c); break;
        case 6: layer->SendWriteSingleRegister(addr, b, c); break;
        case 70: SendModuleCommand(*layer, addr, b); break;
        case 71: SendModuleCommandEx(*layer, addr, b, c); break;
        case 72: SendModuleBaudRate(*layer, addr, b, c); break;
        }
        auto bytes = [](std::initializer_list<int> list) {
            QByteArray out;
            for (int v : list)
                out.append(char(v));
            return out;
        };
        switch (op) {
        case 2: case 3: case 4: case 6: body = bytes({a, op, b >> 8, b & 0xFF, c >> 8, c & 0xFF}); break;
        case 70: body = bytes({a, 0x46, b}); break;
        case 71: body = bytes({a, 0x46, b, c, 0, 0, 0}); break;
        case 72: body = bytes({a, 0x46, b, 0, 6, 0, 0, 0, 1, 0, 0}); break;
        }
        QCOMPARE(layer->TxCount, int(body.size()) + 2);
        QCOMPARE(layer->txBytes().left(body.size()).toHex(), body.toHex());
        const std::uint16_t ref = referenceCrc(body);
        QCOMPARE(std::uint8_t(layer->TxFrame[body.size()]), std::uint8_t(ref & 0xFF));
        QCOMPARE(std::uint8_t(layer->TxFrame[body.size() + 1]), std::uint8_t(ref >> 8));
        if (!frame.isEmpty())
            QCOMPARE(layer->txBytes().toHex(), frame.toHex());
    }

    void moduleBaudCodes()
    {
        QCOMPARE(m7051::moduleBaudCode(19200), 7);
        QCOMPARE(m7051::moduleBaudCode(38400), 8);
        QCOMPARE(m7051::moduleBaudCode(57600), 9);
        QCOMPARE(m7051::moduleBaudCode(115200), 10);
        QCOMPARE(m7051::moduleBaudCode(9600), 6);
        QCOMPARE(m7051::moduleBaudCode(14400), 6);
        auto layer = std::make_unique<RequestLayer>();
        SendModuleBaudRate(*layer, 2, 0x06, 115200);
        QCOMPARE(int(layer->TxFrame[4]), 10);
        QCOMPARE(layer->TxCount, 13);
    }

    void checkResponseCrcOnlyForIntactAnswers()
    {
        auto layer = std::make_unique<RequestLayer>();
        // A correct 5-byte answer passes; any single changed byte fails.
        const QByteArray five = [] {
            RequestLayer l;
            l.SendRaw(QByteArray::fromHex("018302"));
            return l.txBytes();
        }();
        layer->VaComm1RxBuf(five);
        QVERIFY(layer->CheckResponseCrc());
        for (int i = 0; i < five.size(); ++i) {
            for (int bit = 0; bit < 8; ++bit) {
                QByteArray bad = five;
                bad[i] = char(bad[i] ^ (1 << bit));
                layer->ResetRx();
                layer->VaComm1RxBuf(bad);
                QVERIFY2(!layer->CheckResponseCrc(), qPrintable(bad.toHex()));
            }
        }
    }

    void checkResponseCrcWithTooFewBytes()
    {
        auto layer = std::make_unique<RequestLayer>();
        QVERIFY(!layer->CheckResponseCrc());
        layer->VaComm1RxBuf(hex("FF"));
        QVERIFY(!layer->CheckResponseCrc());
        // Two bytes equal to the CRC of nothing: defined, no read before the buffer.
        layer->ResetRx();
        layer->VaComm1RxBuf(hex("FFFF"));
        QVERIFY(layer->CheckResponseCrc());
    }

    // Only a 5-byte answer with bit 7 of the function code and a correct CRC is a refusal.
    void exceptionAnswers_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("crcIntact");
        QTest::addColumn<int>("code");
        QTest::newRow("illegal data address") << hex("018602") << true << 2;
        QTest::newRow("device failure, function 70") << hex("05C604") << true << 4;
        QTest::newRow("bad crc") << hex("018602") << false << -1;
        QTest::newRow("echo of a write") << hex("01060121 0004") << true << -1;
        QTest::newRow("bit 7 but too long") << hex("01860200") << true << -1;
    }
    void exceptionAnswers()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, crcIntact);
        QFETCH(int, code);
        const std::uint16_t crc = referenceCrc(body);
        QByteArray frame = body;
        frame.append(char(crc & 0xFF)).append(char(crc >> 8));
        if (!crcIntact)
            frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 1);
        const auto found = ModbusExceptionCode(reinterpret_cast<const std::uint8_t *>(frame.constData()),
                                               int(frame.size()));
        QCOMPARE(found ? int(*found) : -1, code);
    }

    void exceptionCodesInWords()
    {
        QCOMPARE(ModbusExceptionText(1), QStringLiteral("01 (недопустимая функция)"));
        QCOMPARE(ModbusExceptionText(4), QStringLiteral("04 (отказ устройства)"));
        QCOMPARE(ModbusExceptionText(0x0B), QStringLiteral("0B"));
        QCOMPARE(RefusalMessage(3, QStringLiteral("Новый сетевой адрес не записан!")),
                 QStringLiteral("Устройство отклонило запрос!\rКод исключения: 03 (недопустимое значение "
                                "данных)\rНовый сетевой адрес не записан!"));
    }

    void receiveBufferNeverOverflows()
    {
        auto layer = std::make_unique<RequestLayer>();
        const QByteArray chunk(1000, '\x55');
        for (int i = 0; i < 5; ++i)
            layer->VaComm1RxBuf(chunk);
        QCOMPARE(layer->RxCount, RequestLayer::Capacity);
        layer->VaComm1RxBuf(chunk);
        QCOMPARE(layer->RxCount, RequestLayer::Capacity);
        layer->ResetRx();
        QCOMPARE(layer->RxCount, 0);
        QCOMPARE(int(layer->RxFrame[0]), 0);
    }

    void chunksAppendInArrivalOrder()
    {
        auto layer = std::make_unique<RequestLayer>();
        layer->VaComm1RxBuf(hex("0104"));
        layer->VaComm1RxBuf(hex(""));
        layer->VaComm1RxBuf(hex("06000C0002"));
        QCOMPARE(layer->rxBytes().toHex(), QByteArray("010406000c0002"));
    }

    void bcd()
    {
        QCOMPARE(int(BinToBcd(59)), 0x59);
        QCOMPARE(int(BinToBcd(0)), 0x00);
        QCOMPARE(int(BinToBcd(99)), 0x99);
        QCOMPARE(BcdToBin(0x59), 59);
        QCOMPARE(BcdToBin(0xFF), 165);
        for (int v = 0; v < 100; ++v)
            QCOMPARE(BcdToBin(BinToBcd(v)), v);
    }

    void hexJournalText()
    {
        const std::uint8_t bytes[] = {0x01, 0x04, 0x02, 0x08, 0x00, 0x14, 0xAB, 0x0F};
        QCOMPARE(HexBytes(bytes, 8), QStringLiteral("0104020800 14AB0F").remove(' '));
        QCOMPARE(HexBytes(bytes, 0), QString());
    }

    void delayZeroHandlesNothing()
    {
        bool fired = false;
        QTimer::singleShot(0, this, [&] { fired = true; });
        DelayMs(0);
        QVERIFY(!fired);
        QTRY_VERIFY(fired);
    }

    void delayKeepsEventsFlowingAndLasts()
    {
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start(10);
        QElapsedTimer clock;
        clock.start();
        DelayMs(200);
        QVERIFY(clock.elapsed() >= 195);
        QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
    }
};

QTEST_GUILESS_MAIN(TestRequestLayer)
#include "test_requestlayer.moc"
