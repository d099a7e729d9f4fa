#include "sim/bus.h"
#include "sim/modules.h"
#include "sim/relays.h"
#include "sim/setup.h"
#include "sim/thermal.h"

#include <QtTest>

using namespace sim;

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

std::unique_ptr<Device> frozen(const QString &kind, std::uint8_t address = 1)
{
    auto d = Bus::makeDevice(kind, address);
    d->live = false;
    return d;
}

// The answer body, or "-" for silence, as hex for readable failures.
QByteArray ask(Device &d, const QByteArray &request, qint64 nowMs = 1000)
{
    const auto answer = d.handle(request, nowMs);
    return answer ? answer->toHex().toUpper() : QByteArray("-");
}
} // namespace

class TestSimDevices : public QObject
{
    Q_OBJECT

private slots:
    // Frozen devices with their default values: request body -> answer body.
    void answers_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer"); // "-" for silence

        QTest::newRow("krv identification") << "krv" << hex("010400000003") << QByteArray("010406000C00020069");
        QTest::newRow("krv test request") << "krv" << hex("010402080014")
                                          << QByteArray("010428"
                                                        "0000"
                                                        "00003039"
                                                        "00002FB2"
                                                        "000030C0"
                                                        "00000023"
                                                        "000000000000"
                                                        "0003D090"
                                                        "0003C8C0"
                                                        "0003D66C"
                                                        "000004B0");
        QTest::newRow("krv trip currents alone") << "krv" << hex("010402140002") << QByteArray("0104040003D090");
        QTest::newRow("krv gap register") << "krv" << hex("010400030001") << QByteArray("018402");
        QTest::newRow("krv range past identification") << "krv" << hex("010400000004") << QByteArray("018402");
        QTest::newRow("krv range past the currents") << "krv" << hex("0104021B0002") << QByteArray("018402");
        QTest::newRow("krv sensor probe") << "krv" << hex("010300000003") << QByteArray("018302");
        QTest::newRow("krv read address register") << "krv" << hex("0103011F0001") << QByteArray("01030200 01");
        QTest::newRow("krv discrete inputs") << "krv" << hex("010200000008") << QByteArray("018201");
        QTest::newRow("krv module command") << "krv" << hex("014620") << QByteArray("01C601");
        QTest::newRow("krv zero count") << "krv" << hex("010400000000") << QByteArray("018403");
        QTest::newRow("krv 126 registers") << "krv" << hex("01040000007E") << QByteArray("018403");
        QTest::newRow("krv other address") << "krv" << hex("020400000003") << QByteArray("-");
        QTest::newRow("krv broadcast read") << "krv" << hex("000400000003") << QByteArray("-");
        QTest::newRow("krv garbled read length") << "krv" << hex("01040000000300") << QByteArray("-");
        QTest::newRow("krv bad baud code") << "krv" << hex("010601210005") << QByteArray("018603");
        QTest::newRow("krv address 248") << "krv" << hex("0106011F00F8") << QByteArray("018603");
        QTest::newRow("krv write elsewhere") << "krv" << hex("010600000001") << QByteArray("018602");

        QTest::newRow("zdlt all registers")
            << "zdlt" << hex("0104FC7C000E")
            << QByteArray("01041C006500000065000000640000000000000000000000000000000001F4");
        QTest::newRow("zdlt frequency only") << "zdlt" << hex("0104FC890001") << QByteArray("01040201F4");
        QTest::newRow("zdlt krv probe") << "zdlt" << hex("010400000003") << QByteArray("018402");
        QTest::newRow("zdlt past the end") << "zdlt" << hex("0104FC7C000F") << QByteArray("018402");
        QTest::newRow("zdlt holding") << "zdlt" << hex("010300000003") << QByteArray("018301");

        QTest::newRow("m7051 version") << "m7051" << hex("014620") << QByteArray("014620020511");
        QTest::newRow("m7051 16 inputs") << "m7051" << hex("010200000010") << QByteArray("0102020180");
        QTest::newRow("m7051 8 inputs") << "m7051" << hex("010200000008") << QByteArray("01020101");
        QTest::newRow("m7051 inputs 14 and 15") << "m7051" << hex("0102000E0002") << QByteArray("01020102");
        QTest::newRow("m7051 input 16") << "m7051" << hex("010200100001") << QByteArray("018202");
        QTest::newRow("m7051 unknown sub-code") << "m7051" << hex("014621") << QByteArray("01C601");
        QTest::newRow("m7051 version with extra bytes") << "m7051" << hex("01462000") << QByteArray("01C603");
        QTest::newRow("m7051 bad baud code") << "m7051" << hex("0146060005000000010000") << QByteArray("01C603");
        QTest::newRow("m7051 address 0") << "m7051" << hex("01460400000000") << QByteArray("01C603");
        QTest::newRow("m7051 registers") << "m7051" << hex("010400000001") << QByteArray("018401");

        QTest::newRow("b7720q inputs") << "b7720q" << hex("010200000008") << QByteArray("01020181");
        QTest::newRow("b7720q inputs 7 from 1") << "b7720q" << hex("010200010007") << QByteArray("01020140");
        QTest::newRow("b7720q nine inputs") << "b7720q" << hex("010200000009") << QByteArray("018202");
        QTest::newRow("b7720q outputs") << "b7720q" << hex("010100000008") << QByteArray("01010100");
        QTest::newRow("b7720q bad coil value") << "b7720q" << hex("010500001234") << QByteArray("018503");
        QTest::newRow("b7720q controller probe") << "b7720q" << hex("010201850004") << QByteArray("018202");
        QTest::newRow("b7720q module command") << "b7720q" << hex("014620") << QByteArray("01C601");

        QTest::newRow("sensor probe") << "sensor" << hex("010300000003") << QByteArray("01030611C6091A0050");
        QTest::newRow("sensor test request") << "sensor" << hex("010300000002") << QByteArray("01030411C6091A");
        QTest::newRow("sensor register 3") << "sensor" << hex("010300030001") << QByteArray("018302");
        QTest::newRow("sensor input registers") << "sensor" << hex("010400000003") << QByteArray("018401");
        QTest::newRow("sensor temperature write") << "sensor" << hex("010600000005") << QByteArray("018602");
        QTest::newRow("sensor kt 101") << "sensor" << hex("010600020065") << QByteArray("018603");
        QTest::newRow("sensor address 0 out of range")
            << "sensor" << hex("0006000000F8") << QByteArray("008603");

        QTest::newRow("controller probe") << "controller" << hex("010201850004") << QByteArray("0102010F");
        QTest::newRow("controller coils") << "controller" << hex("010101810004") << QByteArray("0101010F");
        QTest::newRow("controller inputs from 0x0184") << "controller" << hex("010201840004") << QByteArray("018202");
        QTest::newRow("controller b7720q probe") << "controller" << hex("010200000008") << QByteArray("018202");
        QTest::newRow("controller sensor probe") << "controller" << hex("010300000003") << QByteArray("018301");
        QTest::newRow("controller write config")
            << "controller" << hex("010F01810004010A") << QByteArray("010F01810004");
        QTest::newRow("controller write with wrong byte count")
            << "controller" << hex("010F0181000402000A") << QByteArray("018F03");
        QTest::newRow("controller write past the coils")
            << "controller" << hex("010F01820004010A") << QByteArray("018F02");
    }
    void answers()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        auto d = frozen(kind);
        QCOMPARE(ask(*d, request), answer.replace(' ', ""));
    }

    void silentWithoutExceptions_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("krv unserved register") << "krv" << hex("010400030001");
        QTest::newRow("zdlt krv probe") << "zdlt" << hex("010400000003");
        QTest::newRow("b7720q module command") << "b7720q" << hex("014620");
        QTest::newRow("m7051 controller probe") << "m7051" << hex("010201850004");
        QTest::newRow("controller sensor probe") << "controller" << hex("010300000003");
    }
    void silentWithoutExceptions()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, request);
        auto d = frozen(kind);
        d->exceptions = false;
        QCOMPARE(ask(*d, request), QByteArray("-"));
    }

    void krvAddressChangeAnswersAtOnce()
    {
        auto d = frozen("krv");
        QCOMPARE(ask(*d, hex("0106011F0007")), QByteArray("0106011F0007"));
        QCOMPARE(d->address(), 7);
        QCOMPARE(ask(*d, hex("010400000003")), QByteArray("-"));
        QCOMPARE(ask(*d, hex("070400000003")), QByteArray("070406000C00020069"));
    }

    void krvBaudTakesEffectAfterPowerCycle()
    {
        auto owned = frozen("krv");
        auto &d = static_cast<KrvDevice &>(*owned);
        QCOMPARE(d.baudRate(), 19200);
        QCOMPARE(ask(d, hex("010601210003")), QByteArray("010601210003"));
        QCOMPARE(d.baudRate(), 19200);
        QCOMPARE(ask(d, hex("010301210001")), QByteArray("0103020003")); // the written code reads back
        d.powerCycle();
        QCOMPARE(d.baudRate(), 9600);
    }

    void broadcastWriteActsSilently()
    {
        auto d = frozen("krv", 3);
        QCOMPARE(ask(*d, hex("0006011F0009")), QByteArray("-"));
        QCOMPARE(d->address(), 9);
    }

    void m7051AddressAndBaud()
    {
        auto owned = frozen("m7051", 5);
        auto &d = static_cast<M7051Device &>(*owned);
        QCOMPARE(ask(d, hex("05460409000000")), QByteArray("05460409000000"));
        QCOMPARE(d.address(), 9);
        QCOMPARE(ask(d, hex("094620")), QByteArray("094620020511"));

        QCOMPARE(ask(d, hex("094606000A000000010000")), QByteArray("094606000A000000010000"));
        QCOMPARE(d.baudRate(), 19200);
        d.powerCycle();
        QCOMPARE(d.baudRate(), 115200);
    }

    void sensorAddressThroughAddressZero()
    {
        auto d = frozen("sensor", 5);
        QCOMPARE(ask(*d, hex("000600000007")), QByteArray("000600000007"));
        QCOMPARE(d->address(), 7);
        QCOMPARE(ask(*d, hex("050300000002")), QByteArray("-"));
        QCOMPARE(ask(*d, hex("070300000002")), QByteArray("07030411C6091A"));
    }

    void sensorCoefficientAfterPowerCycle()
    {
        auto d = frozen("sensor");
        QCOMPARE(ask(*d, hex("010600020035")), QByteArray("010600020035"));
        QCOMPARE(ask(*d, hex("010300020001")), QByteArray("0103020050")); // still 0.80
        d->powerCycle();
        QCOMPARE(ask(*d, hex("010300020001")), QByteArray("0103020035")); // now 0.53
    }

    void controllerWriteChangesNextRead()
    {
        auto d = frozen("controller");
        QCOMPARE(ask(*d, hex("010F01810004010A")), QByteArray("010F01810004"));
        QCOMPARE(ask(*d, hex("010201850004")), QByteArray("0102010A"));
        // Function 5 on one coil: group UT1-UT3 on.
        QCOMPARE(ask(*d, hex("01050181FF00")), QByteArray("01050181FF00"));
        QCOMPARE(ask(*d, hex("010201850004")), QByteArray("0102010B"));
    }

    void b7720qOutputsWritten()
    {
        auto d = frozen("b7720q");
        QCOMPARE(ask(*d, hex("010F000000080155")), QByteArray("010F00000008"));
        QCOMPARE(ask(*d, hex("01050007FF00")), QByteArray("01050007FF00"));
        QCOMPARE(ask(*d, hex("010100000008")), QByteArray("010101D5"));
    }

    // Live values: moving over time, repeatable for a seed, frozen on request.
    void liveValuesMoveAndRepeat()
    {
        auto a = Bus::makeDevice("krv", 1);
        auto b = Bus::makeDevice("krv", 1);
        a->liveSeed = b->liveSeed = 77;
        const QByteArray request = hex("010402080014");
        QSet<QByteArray> seen;
        for (qint64 t = 0; t < 60000; t += 1000) {
            QCOMPARE(ask(*a, request, t), ask(*b, request, t));
            seen.insert(ask(*a, request, t));
        }
        QVERIFY2(seen.size() > 30, "currents should move");

        b->liveSeed = 78;
        int differ = 0;
        for (qint64 t = 0; t < 10000; t += 1000)
            differ += ask(*a, request, t) != ask(*b, request, t);
        QVERIFY(differ > 5);

        auto &krv = static_cast<KrvDevice &>(*a);
        for (qint64 t = 0; t < 60000; t += 997) {
            const double ia = (krv.inputRegister(0x0209, t) << 16 | krv.inputRegister(0x020A, t)) / 100.0;
            QVERIFY2(ia > 115 && ia < 132, qPrintable(QString::number(ia)));
        }
    }

    void liveInputsToggleAndTemperaturesStayPlausible()
    {
        auto m = Bus::makeDevice("m7051", 1);
        m->liveSeed = 5;
        QSet<QByteArray> states;
        for (qint64 t = 0; t < 120000; t += 500)
            states.insert(ask(*m, hex("010200000010"), t));
        QVERIFY(states.size() >= 4);

        auto s = Bus::makeDevice("sensor", 1);
        s->liveSeed = 5;
        auto &sensor = static_cast<SensorDevice &>(*s);
        QSet<int> temperatures;
        for (qint64 t = 0; t < 120000; t += 500) {
            const int surface = sensor.holdingRegister(0, t);
            QVERIFY(surface > 4000 && surface < 5100);
            QVERIFY(sensor.holdingRegister(1, t) > 0);
            temperatures.insert(surface);
        }
        QVERIFY(temperatures.size() > 20);
    }

    void describeNamesTheDevice()
    {
        auto krv = frozen("krv");
        QCOMPARE(krv->describe(hex("010400000003"), false), QString("KRV-A: чтение входных регистров 0x0000..0x0002 (3)"));
        QCOMPARE(krv->describe(hex("018402"), true), QString("KRV-A: исключение 02 (недопустимый адрес данных) на функцию 4"));
        auto m = frozen("m7051");
        QCOMPARE(m->describe(hex("014620020511"), true), QString("M-7051D: функция 70: версия 2.5.17"));
        QVERIFY(m->describe(hex("0146060007000000010000"), false).contains("19200"));
    }

    void parseDeviceSpecs_data()
    {
        QTest::addColumn<QString>("definition");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer"); // empty: the definition is rejected
        QTest::newRow("krv settings") << "krv:4,code=13,version=0x7B,live=0" << hex("040400000003")
                                      << QByteArray("040406000D0002007B");
        QTest::newRow("krv current") << "krv:1,ia=70000,live=0" << hex("010402090002")
                                     << QByteArray("010404 0001 1170");
        QTest::newRow("zdlt frequency") << "zdlt:2,f=499,live=0" << hex("0204FC890001") << QByteArray("020402 01F3");
        QTest::newRow("m7051 version") << "m7051:3,version=1.2.10" << hex("034620") << QByteArray("03462001020A");
        QTest::newRow("sensor kt") << "sensor:9,kt=53" << hex("090300020001") << QByteArray("0903020035");
        QTest::newRow("controller config") << "controller:6,config=5" << hex("060201850004")
                                           << QByteArray("06020105");
        QTest::newRow("unknown kind") << "pump:1" << QByteArray() << QByteArray();
        QTest::newRow("address 0") << "krv:0" << QByteArray() << QByteArray();
        QTest::newRow("address 248") << "krv:248" << QByteArray() << QByteArray();
        QTest::newRow("unknown key") << "krv:1,colour=red" << QByteArray() << QByteArray();
        QTest::newRow("bad value") << "sensor:1,kt=abc" << QByteArray() << QByteArray();
        QTest::newRow("probability above 1") << "krv:1,drop=1.5" << QByteArray() << QByteArray();
        QTest::newRow("key without value") << "krv:1,drop" << QByteArray() << QByteArray();
        QTest::newRow("config out of range") << "controller:1,config=16" << QByteArray() << QByteArray();
    }
    void parseDeviceSpecs()
    {
        QFETCH(QString, definition);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        QString error;
        auto d = parseDevice(definition, &error);
        if (answer.isEmpty()) {
            QVERIFY(!d);
            QVERIFY(!error.isEmpty());
            return;
        }
        QVERIFY2(d, qPrintable(error));
        QCOMPARE(ask(*d, request), answer.replace(' ', ""));
    }

    // Which lines a device put on a line of its own hears; an empty list: refused.
    void deviceOnALineOfItsOwn_data()
    {
        QTest::addColumn<QString>("definition");
        QTest::addColumn<QString>("hears");    // rate+parity letter of the lines it answers at
        QTest::addColumn<QString>("deafTo");
        QTest::newRow("own rate by default, any parity") << "krv:3" << "19200N 19200O 19200E" << "9600N";
        QTest::newRow("a rate the KRV-A can be set to") << "krv:3@9600" << "9600N 9600E" << "19200N";
        QTest::newRow("a rate it cannot: stands in") << "krv:3@4800" << "4800N" << "9600N 19200N";
        QTest::newRow("sensor, fixed otherwise") << "sensor:5@38400o" << "38400O" << "19200N 38400N 38400E";
        QTest::newRow("M-7051D with parity") << "m7051:4@115200E" << "115200E" << "115200N 19200E";
        QTest::newRow("meter") << "set4tm:7@9600N" << "9600N" << "9600O 19200N";
        QTest::newRow("two @") << "krv:3@9600@4800" << "" << "";
        QTest::newRow("parity letter only") << "krv:3@E" << "" << "";
        QTest::newRow("unknown parity") << "krv:3@9600X" << "" << "";
        QTest::newRow("rate below 300") << "krv:3@110" << "" << "";
    }
    void deviceOnALineOfItsOwn()
    {
        QFETCH(QString, definition);
        QFETCH(QString, hears);
        QFETCH(QString, deafTo);
        QString error;
        auto d = parseDevice(definition, &error);
        if (hears.isEmpty()) {
            QVERIFY(!d);
            QVERIFY(error.contains(QStringLiteral("@RATE")));
            return;
        }
        QVERIFY2(d, qPrintable(error));
        const auto lineOf = [](const QString &text) {
            const QChar p = text.back();
            return LineSettings{text.chopped(1).toInt(), p == 'N' ? paNone : p == 'O' ? paOdd : paEven};
        };
        for (const QString &line : hears.split(' '))
            QVERIFY2(d->hears(lineOf(line)), qPrintable(line));
        for (const QString &line : deafTo.split(' '))
            QVERIFY2(!d->hears(lineOf(line)), qPrintable(line));
    }

    void aRateTheDeviceKnowsIsItsOwn()
    {
        // Its baud register then says the same, and a power cycle keeps it.
        QString error;
        auto d = parseDevice(QStringLiteral("krv:3@9600,live=0"), &error);
        QVERIFY2(d, qPrintable(error));
        QCOMPARE(d->fixedBaud, 0);
        QCOMPARE(ask(*d, hex("030301210001")), QByteArray("0303020003"));
        d->powerCycle();
        QCOMPARE(d->lineRate(), 9600);
    }

    void faultKeysInDeviceSpec()
    {
        QString error;
        auto d = parseDevice("krv:1,drop=0.25,corrupt=0.5,latems=120,late=1,split=0.1,noise=0.2", &error);
        QVERIFY2(d, qPrintable(error));
        QCOMPARE(d->faults.drop, 0.25);
        QCOMPARE(d->faults.corrupt, 0.5);
        QCOMPARE(d->faults.lateMs, 120);
        QCOMPARE(d->faults.late, 1.0);
        QCOMPARE(d->faults.split, 0.1);
        QCOMPARE(d->faults.noise, 0.2);
    }

    void configLinesBecomeArguments()
    {
        const QString text = "# a bus\n\ndevice krv:1,ia=5\nfault drop=0.05\nseed=42\n  quiet  \n";
        QCOMPARE(configArguments(text), (QStringList{"--device", "krv:1,ia=5", "--fault", "drop=0.05", "--seed",
                                                     "42", "--quiet"}));
    }
};

QTEST_GUILESS_MAIN(TestSimDevices)
#include "test_simdevices.moc"
