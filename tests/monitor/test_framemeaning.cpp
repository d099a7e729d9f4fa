#include "monitor/framemeaning.h"
#include "support/wire.h"

#include <QtTest>

using monitor::Protocol;

class TestFrameMeaning : public QObject
{
    Q_OBJECT

    // Rows: protocol, request body (answers: the request answered, may be empty),
    // frame body (the CRC is added), the text and whether the device refused.
    static void columns()
    {
        QTest::addColumn<bool>("meter");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("refused");
    }
    static void row(const char *name, bool meter, const char *request, const char *frame, const char *text,
                    bool refused = false)
    {
        QTest::newRow(name) << meter << QByteArray::fromHex(request) << QByteArray::fromHex(frame)
                            << QString::fromUtf8(text) << refused;
    }

private slots:
    void requests_data()
    {
        columns();
        row("2: controller inputs", false, "", "010201850004", "чтение дискретных входов 0x0185..0x0188 (4)");
        row("3: sensor probe", false, "", "010300000003", "чтение регистров хранения 0x0000..0x0002 (3)");
        row("4: KRV-A test", false, "", "010402080014", "чтение входных регистров 0x0208..0x021B (20)");
        row("4: one register", false, "", "0204FC890001", "чтение входных регистров 0xFC89 (1)");
        row("4: short request", false, "", "0104000000", "чтение входных регистров, неверная длина (байт: 7)");
        row("unknown function", false, "", "011301210004", "функция 19 (0x13)");
        row("6", false, "", "010601210004", "запись регистра 0x0121 := 4 (0x0004)");
        row("15: controller configuration", false, "", "010F018100040 10B", "запись катушек 0x0181..0x0184 (4) := 1101");
        row("15: byte count wrong", false, "", "010F0181000402 0B", "запись катушек 0x0181..0x0184 (4), неверная длина (байт: 10)");
        row("70/0x20 version", false, "", "014620", "функция 70: чтение версии");
        row("70/0x04 address", false, "", "01460407000000", "функция 70: запись сетевого адреса := 7");
        row("70/0x06 baud", false, "", "0146060007000000010000", "функция 70: запись скорости := код 7 (19200 бит/с)");
        row("70/0x06 unknown code", false, "", "0146060003000000010000",
            "функция 70: запись скорости := код 3 (неизвестная скорость)");
        row("70, other sub-code", false, "", "014699", "функция 70, подфункция 0x99");

        row("test channel", true, "", "0000", "тест канала");
        row("open channel", true, "", "0101303030303030", "открытие канала");
        row("integration time", true, "", "0103001E", "запись времени интегрирования := 30 мин");
        row("network address", true, "", "01030507", "запись сетевого адреса := 7");
        row("baud rate", true, "", "01031510", "запись скорости := 9600 бит/с");
        row("mode", true, "", "01031807", "запись режима := 07 (запрет автоматического закрытия канала)");
        row("voltage ratio", true, "", "01031B0064", "запись Кн := 100");
        row("current ratio", true, "", "01031C00C8", "запись Кт := 200");
        row("clear energy", true, "", "010320", "очистка регистров энергии");
        row("clock", true, "", "01030C3045140208122601", "установка даты и времени := 08.12.2026 14:45:30, зима");
        row("clock, bad block", true, "", "01030C3045990208122601", "установка даты и времени, неверный блок времени");
        row("energy since reset", true, "", "01050000", "чтение энергии от сброса");
        row("energy previous day", true, "", "01055000", "чтение энергии за предыдущие сутки");
        row("profile record", true, "", "010603123408", "чтение записи профиля 0x1234");
        row("ratios", true, "", "000802", "чтение Кн, Кт");
        row("profile pointer", true, "", "010804", "чтение указателя профиля");
        row("read address", true, "", "000805", "чтение сетевого адреса");
        row("read integration time", true, "", "000806", "чтение времени интегрирования");
        row("mode flags", true, "", "000809", "чтение флагов режима");
        row("phase A voltage", true, "", "01081111", "чтение Ua");
        row("power factor", true, "", "01081130", "чтение cos φ");
        row("unknown code", true, "", "0109", "запрос 0x09");
    }
    void requests()
    {
        QFETCH(bool, meter);
        QFETCH(QByteArray, frame);
        QFETCH(QString, text);
        const auto meaning = monitor::frameMeaning(meter ? Protocol::Set4tm : Protocol::Modbus, wire(frame), false);
        QCOMPARE(meaning.text, text);
        QVERIFY(!meaning.refused);
    }

    void answers_data()
    {
        columns();
        row("4: KRV-A probe", false, "010400000003", "010406000C00020069", "входные регистры 0x0000..0x0002 (3): 12 2 105");
        row("3: no request", false, "", "0103020035", "регистры хранения (1): 53");
        row("3: answer to another function", false, "010400000001", "0103020035", "регистры хранения (1): 53");
        row("4: byte count wrong", false, "010400000003", "0104040001", "входные регистры 0x0000..0x0002 (3), неверная длина (байт: 7)");
        row("2: eight inputs", false, "010200000008", "0102010B", "дискретные входы 0x0000..0x0007 (8): 1101 0000");
        row("2: four inputs", false, "060201850004", "06020105", "дискретные входы 0x0185..0x0188 (4): 1010");
        row("6: echo", false, "010601210004", "010601210004", "подтверждение, запись регистра 0x0121 := 4 (0x0004)");
        row("15: echo", false, "010F01810004010B", "010F01810004", "подтверждение, запись катушек 0x0181..0x0184 (4)");
        row("70/0x20 version", false, "014620", "014620020511", "функция 70: версия 2.5.17");
        row("70/0x04 echo", false, "01460407000000", "01460407000000", "функция 70: подтверждение, сетевой адрес := 7");
        row("exception 2", false, "010400000003", "018402", "исключение 02 (недопустимый адрес данных) на функцию 4", true);
        row("exception to 70", false, "", "05C604", "исключение 04 (отказ устройства) на функцию 70", true);
        row("exception, unknown code", false, "", "018307", "исключение 07 на функцию 3", true);

        row("test channel", true, "0000", "0000", "статус 00 (успешно)");
        row("channel open", true, "0101303030303030", "0100", "статус 00 (успешно)");
        row("wrong password", true, "0101303030303030", "0103", "отказ: статус 03 (неверный пароль)", true);
        row("busy", true, "0101303030303030", "0104", "отказ: статус 04 (устройство занято)", true);
        row("status 06", true, "0101303030303030", "0106", "отказ: статус 06", true);
        row("baud rate written", true, "01031510", "0110", "статус 10 (скорость записана)");
        row("baud rate, 0 is an error", true, "01031510", "0100", "отказ: статус 00", true);
        row("energy cleared", true, "010320", "0140", "статус 40 (регистры энергии очищены)");
        row("write answered with data", true, "01030507", "01000000", "неверная длина (байт: 6), ожидалось 4", true);
        row("ratios refused", true, "000802", "0002", "отказ: статус 02 (внутренняя ошибка счетчика)", true);
        row("ratios", true, "000802", "00006400C8000000000000", "Кн 100, Кт 200");
        row("network address", true, "000805", "000007", "сетевой адрес 7");
        row("network address refused", true, "000805", "000107", "отказ: статус 01 (недопустимая команда или параметр)", true);
        row("integration time", true, "000806", "00001E", "время интегрирования 30 мин");
        row("mode flags", true, "000809", "000002", "флаги режима: отметка неполных срезов разрешена");
        row("energy", true, "01050000", "0100000064000000000000 00C800000000",
            "энергия: A+ 100, A- 0, R+ 200, R- 0");
        row("energy cut short", true, "01050000", "01000000", "неверная длина (байт: 6), ожидалось 19", true);
        row("phase A voltage", true, "01081111", "01005A0A", "Ua = 230.5 В");
        row("negative active power", true, "01081100", "01800064", "P = -100 (код)");
        row("profile pointer", true, "010804", "0185140812261234", "указатель профиля 0x1234, срез 08.12.2026 14:05");
        row("profile record", true, "010603123408", "010001000200030004", "запись профиля: P+ 1, P- 2, Q+ 3, Q- 4");
        row("status, request unknown", true, "", "0103", "статус 03 (неверный пароль)");
    }
    void answers()
    {
        QFETCH(bool, meter);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, frame);
        QFETCH(QString, text);
        QFETCH(bool, refused);
        const auto meaning = monitor::frameMeaning(meter ? Protocol::Set4tm : Protocol::Modbus, wire(frame), true,
                                                   request.isEmpty() ? QByteArray() : wire(request));
        QCOMPARE(meaning.text, text);
        QCOMPARE(meaning.refused, refused);
    }

    void damagedFrames_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("text");
        QByteArray flipped = wireHex("010406000C00020069");
        flipped[4] = char(flipped.at(4) ^ 0x01);
        QTest::newRow("one bit flipped") << flipped << QStringLiteral("ошибка CRC");
        QTest::newRow("noise byte first") << QByteArray(1, '\xFF') + wireHex("0100") << QStringLiteral("ошибка CRC");
        QTest::newRow("one byte") << QByteArray::fromHex("01") << QStringLiteral("слишком короткий кадр (байт: 1)");
        QTest::newRow("three bytes") << wireHex("01") << QStringLiteral("слишком короткий кадр (байт: 3)");
    }
    void damagedFrames()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, text);
        for (Protocol protocol : {Protocol::Modbus, Protocol::Set4tm}) {
            const auto meaning = monitor::frameMeaning(protocol, frame, true, wireHex("010400000003"));
            QCOMPARE(meaning.text, text);
            QVERIFY(!meaning.refused);
        }
    }
};

QTEST_GUILESS_MAIN(TestFrameMeaning)
#include "test_framemeaning.moc"
