#include "set4tm_support.h"

#include "meter/set4tmprotocol.h"

#include <QtTest>

using namespace set4tmtest;
using sim::Set4tmDevice;

class TestSet4tmProtocol : public QObject
{
    Q_OBJECT

private slots:
    // The documented request frames, answered with the documented layout and length.
    void documentedFrames_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answerBody");
        QTest::addColumn<int>("answerLength");
        auto row = [](const char *name, const char *request, const char *answer, int length) {
            QTest::newRow(name) << QByteArray::fromHex(request) << QByteArray::fromHex(answer) << length;
        };
        row("read network address at 0", "000805B603", "010001", 5);
        row("energy since reset", "0105000011D9", "01" "00012345" "00000002" "00000003" "00000004", 19);
        row("energy previous day", "010550002DD9", "01" "00000005" "00000006" "00000007" "00000008", 19);
        row("phase A voltage", "010811114C46", "010059D8", 6);
        row("profile pointer", "0108042603", "01" "0014081226" "1240", 10);
        row("profile memory at 1234", "0106031234083E8D", "01" "04E2" "0001" "0002" "0003", 11);
        row("test channel", "000001B0", "0100", 4);
        row("baud rate 9600", "01031510FE84", "0110", 4);
        row("clear energy", "0103202128", "0140", 4);
        row("set clock", "01030C3045140208122601B3D6", "0100", 4);
    }
    void documentedFrames()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answerBody);
        QFETCH(int, answerLength);
        QVERIFY2(crcOk(request), "the documented frame carries a valid CRC");

        auto meter = frozenMeter();
        meter->voltageRatio = 10;
        meter->currentRatio = 20;
        meter->energy = {0x12345, 2, 3, 4};
        meter->previousDayEnergy = {5, 6, 7, 8};
        meter->aux.voltage[0] = 23000;
        meter->profile.writeRecord(0x1234, {1250, 1, 2, 3});
        meter->profile.pointer = 0x1240;

        const QByteArray answer = exchange(*meter, request, 0);
        QCOMPARE(answer.size(), answerLength);
        QCOMPARE(answer, wire(answerBody));
    }

    // The reads the window sends at opening, byte-exact.
    void settingsReads_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answerBody");
        QTest::newRow("ratios") << wireHex("000802") << QByteArray::fromHex("01" "000A" "0014" "000000000000");
        QTest::newRow("integration time") << wireHex("000806") << QByteArray::fromHex("01001E");
        QTest::newRow("mode flags") << wireHex("000809") << QByteArray::fromHex("010002");
        QTest::newRow("open channel") << ::set4tmtest::openChannel(0) << QByteArray::fromHex("0100");
    }
    void settingsReads()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answerBody);
        auto meter = frozenMeter();
        meter->voltageRatio = 10;
        meter->currentRatio = 20;
        QCOMPARE(exchange(*meter, request, 0), wire(answerBody));
    }

    void openChannel_data()
    {
        QTest::addColumn<QByteArray>("configured");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("open");
        QTest::newRow("right") << QByteArray("000000") << QByteArray("000000") << 0 << true;
        QTest::newRow("wrong") << QByteArray("000000") << QByteArray("649283") << 3 << false;
        QTest::newRow("one byte off") << QByteArray("649283") << QByteArray("649284") << 3 << false;
        QTest::newRow("short, zero padded") << QByteArray("12") << QByteArray("12\0\0\0\0", 6) << 0 << true;
        QTest::newRow("five bytes") << QByteArray("000000") << QByteArray("00000") << 1 << false;
        QTest::newRow("seven bytes") << QByteArray("000000") << QByteArray("0000000") << 1 << false;
    }
    void openChannel()
    {
        QFETCH(QByteArray, configured);
        QFETCH(QByteArray, sent);
        QFETCH(int, status);
        QFETCH(bool, open);
        Set4tmDevice meter(1);
        meter.password = configured;
        QCOMPARE(statusOf(exchange(meter, ::set4tmtest::openChannel(1, sent), 0)), status);
        QCOMPARE(meter.channelOpen, open);
        QCOMPARE(statusOf(exchange(meter, wireHex("010806"), 10)), open ? -1 : 5);
    }

    void wrongPasswordEndsAnOpenChannel()
    {
        auto meter = frozenMeter();
        QCOMPARE(statusOf(exchange(*meter, ::set4tmtest::openChannel(1, "999999"), 0)), 3);
        QCOMPARE(statusOf(exchange(*meter, wireHex("010805"), 0)), 5);
    }

    // Only the channel test and the opening itself pass a closed channel.
    void closedChannelRefuses_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::newRow("test channel") << wireHex("0100") << 0;
        QTest::newRow("read address") << wireHex("010805") << 5;
        QTest::newRow("read energy") << wireHex("01050000") << 5;
        QTest::newRow("read aux") << wireHex("01081111") << 5;
        QTest::newRow("read memory") << wireHex("010603000008") << 5;
        QTest::newRow("write address") << wireHex("01030507") << 5;
        QTest::newRow("clear energy") << wireHex("010320") << 5;
        QTest::newRow("unknown code") << wireHex("0177") << 5;
    }
    void closedChannelRefuses()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        Set4tmDevice meter(1);
        meter.live = false;
        const auto before = meter.energy;
        QCOMPARE(statusOf(exchange(meter, request, 0)), status);
        QCOMPARE(meter.address(), std::uint8_t(1));
        QCOMPARE(meter.energy, before);
    }

    void addressing()
    {
        auto meter = frozenMeter();
        QVERIFY(exchange(*meter, wireHex("0200"), 0).isEmpty());
        QVERIFY(exchange(*meter, wireHex("00"), 0).isEmpty());
        QCOMPARE(exchange(*meter, wireHex("0000"), 0), wireHex("0100"));

        // The answer to the address write still comes from the old address.
        QCOMPARE(exchange(*meter, wireHex("01030507"), 0), wireHex("0100"));
        QCOMPARE(meter->address(), std::uint8_t(7));
        QVERIFY(exchange(*meter, wireHex("010805"), 0).isEmpty());
        QCOMPARE(exchange(*meter, wireHex("070805"), 0), wireHex("070007"));
        QCOMPARE(exchange(*meter, wireHex("000805"), 0), wireHex("070007"));
    }

    // On a bus shared with Modbus slaves the meter can leave foreign codes alone.
    void foreignCodesWithoutExceptions()
    {
        auto meter = frozenMeter();
        QVERIFY(meter->setOption(QStringLiteral("exceptions"), QStringLiteral("0")));
        QVERIFY(exchange(*meter, wireHex("010400000003"), 0).isEmpty());
        QVERIFY(exchange(*meter, wireHex("0177"), 0).isEmpty());
        QCOMPARE(exchange(*meter, wireHex("010806"), 0), wireHex("01001E"));
        meter->exceptions = true;
        QCOMPARE(exchange(*meter, wireHex("0177"), 0), wireHex("0101"));
    }

    // Writes: the status and the state they leave.
    void writes_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("readBack");  // a read after the write
        QTest::addColumn<QByteArray>("readAnswer"); // its answer body
        QTest::newRow("integration 15") << wireHex("0103000F") << 0 << wireHex("010806") << QByteArray::fromHex("01000F");
        QTest::newRow("integration 7") << wireHex("01030007") << 1 << wireHex("010806") << QByteArray::fromHex("01001E");
        QTest::newRow("integration 0") << wireHex("01030000") << 1 << wireHex("010806") << QByteArray::fromHex("01001E");
        QTest::newRow("address 0") << wireHex("01030500") << 1 << wireHex("010805") << QByteArray::fromHex("010001");
        QTest::newRow("address 248") << wireHex("010305F8") << 1 << wireHex("010805") << QByteArray::fromHex("010001");
        QTest::newRow("Ku") << wireHex("01031B1234") << 0 << wireHex("010802") << QByteArray::fromHex("0112340001000000000000");
        QTest::newRow("Ki") << wireHex("01031C0190") << 0 << wireHex("010802") << QByteArray::fromHex("0100010190000000000000");
        QTest::newRow("Ku zero") << wireHex("01031B0000") << 1 << wireHex("010802") << QByteArray::fromHex("0100010001000000000000");
        QTest::newRow("Ku short") << wireHex("01031B12") << 1 << wireHex("010802") << QByteArray::fromHex("0100010001000000000000");
        QTest::newRow("forbid marking") << wireHex("01031803") << 0 << wireHex("010809") << QByteArray::fromHex("010000");
        QTest::newRow("allow marking") << wireHex("01031802") << 0 << wireHex("010809") << QByteArray::fromHex("010002");
        QTest::newRow("mode 05") << wireHex("01031805") << 1 << wireHex("010809") << QByteArray::fromHex("010002");
        QTest::newRow("baud 19200") << wireHex("01031516") << 0x10 << wireHex("0100") << QByteArray::fromHex("0100");
        QTest::newRow("baud code 11") << wireHex("01031511") << 1 << wireHex("0100") << QByteArray::fromHex("0100");
        QTest::newRow("unknown parameter") << wireHex("01037F00") << 1 << wireHex("0100") << QByteArray::fromHex("0100");
    }
    void writes()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QByteArray, readBack);
        QFETCH(QByteArray, readAnswer);
        auto meter = frozenMeter();
        QCOMPARE(statusOf(exchange(*meter, request, 0)), status);
        QCOMPARE(exchange(*meter, readBack, 0), wire(readAnswer));
    }

    void unknownReadsAreInvalid_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("code 07") << wireHex("0107");
        QTest::newRow("parameter 77") << wireHex("010877");
        QTest::newRow("aux selector 14") << wireHex("01081114");
        QTest::newRow("aux without selector") << wireHex("010811");
        QTest::newRow("energy array 60") << wireHex("01056000");
        QTest::newRow("energy tariff 1") << wireHex("01050001");
        QTest::newRow("memory type 02") << wireHex("010602000008");
        QTest::newRow("memory 0 bytes") << wireHex("010603000000");
        QTest::newRow("read address, extra byte") << wireHex("01080500");
        QTest::newRow("test channel, extra byte") << wireHex("010000");
    }
    void unknownReadsAreInvalid()
    {
        QFETCH(QByteArray, request);
        auto meter = frozenMeter();
        QCOMPARE(exchange(*meter, request, 0), wireHex("0101"));
    }

    void clockBlock_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("Tuesday 08.12.2026 14:45:30 winter") << QByteArray::fromHex("3045140208122601") << true;
        QTest::newRow("Sunday is 7") << QByteArray::fromHex("0000000713122600") << true;
        QTest::newRow("Monday is 1") << QByteArray::fromHex("0000000114122600") << true;
        QTest::newRow("29 Feb 2028") << QByteArray::fromHex("0000000229022800") << true;
        QTest::newRow("Sunday sent as 0") << QByteArray::fromHex("0000000013122600") << false;
        QTest::newRow("wrong weekday") << QByteArray::fromHex("3045140108122601") << false;
        QTest::newRow("seconds 60") << QByteArray::fromHex("6045140208122601") << false;
        QTest::newRow("not BCD") << QByteArray::fromHex("3A45140208122601") << false;
        QTest::newRow("hour 24") << QByteArray::fromHex("3045240208122601") << false;
        QTest::newRow("29 Feb 2027") << QByteArray::fromHex("0000000129022700") << false;
        QTest::newRow("month 13") << QByteArray::fromHex("0000000101132700") << false;
        QTest::newRow("season 2") << QByteArray::fromHex("3045140208122602") << false;
        QTest::newRow("seven bytes") << QByteArray::fromHex("30451402081226") << false;
    }
    void clockBlock()
    {
        QFETCH(QByteArray, block);
        QFETCH(bool, accepted);
        auto meter = frozenMeter();
        const QDateTime before = meter->clockAt(0);
        QCOMPARE(statusOf(exchange(*meter, wire(QByteArray::fromHex("01030C") + block), 0)), accepted ? 0 : 1);
        if (!accepted) {
            QCOMPARE(meter->clockAt(0), before);
            return;
        }
        const QDateTime set = meter->clockAt(0);
        QCOMPARE(set.date().dayOfWeek(), static_cast<int>(block.at(3)));
        QCOMPARE(set4tm::clockBlock(set, meter->winterTime ? set4tm::Season::Winter : set4tm::Season::Summer), block);
    }

    void clearEnergy()
    {
        auto meter = frozenMeter();
        meter->energy = {100, 200, 300, 400};
        meter->previousDayEnergy = {1, 2, 3, 4};
        QCOMPARE(exchange(*meter, wireHex("010320"), 0), wireHex("0140"));
        const QByteArray zeros = QByteArray(1, '\x01') + QByteArray(16, '\0');
        QCOMPARE(exchange(*meter, wireHex("01050000"), 0), wire(zeros));
        QCOMPARE(exchange(*meter, wireHex("01055000"), 0), wire(zeros));
    }

    void baudRateNeedsPowerCycle()
    {
        auto meter = frozenMeter();
        QCOMPARE(meter->baudRate(), 9600);
        QCOMPARE(exchange(*meter, wireHex("01031516"), 0), wireHex("0110"));
        QCOMPARE(meter->baudRate(), 9600);
        QVERIFY(meter->channelOpen);
        meter->powerCycle();
        QCOMPARE(meter->baudRate(), 19200);
        QVERIFY(!meter->channelOpen);
        QCOMPARE(statusOf(exchange(*meter, wireHex("01031510"), 0)), 5);
    }
};

QTEST_GUILESS_MAIN(TestSet4tmProtocol)
#include "test_set4tm_protocol.moc"
