#include "meter/set4tm_wire.h"

#include "bus/requestlayer.h"
#include "meter/set4tmanswers.h"
#include "meter/set4tmjudgement.h"
#include "meter/set4tmprotocol.h"
#include "meter/set4tmvalues.h"
#include "devices/testjournal.h"

#include <QLocale>
#include <QStringEncoder>
#include <QtTest>

using namespace set4tmtest;
using set4tm::BoxKind;
using set4tm::Outcome;
using set4tm::Request;

Q_DECLARE_METATYPE(set4tm::Request)
Q_DECLARE_METATYPE(set4tm::Outcome)
Q_DECLARE_METATYPE(set4tm::BoxKind)

namespace {
QDateTime at(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

const QString CodeMessage = QStringLiteral("Недопустимая команда или параметр!\r\nКод ошибки: ");

// Rows of scaledValues() that are not an auxiliary selector.
constexpr int Energy = 1000;
constexpr int Record = 1001;
} // namespace

class TestSet4tmProtocol : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    // Frames of the request table, byte for byte; the literal ones as documented.
    void requestFrames_data()
    {
        QTest::addColumn<Request>("request");
        QTest::addColumn<QByteArray>("frame");
        auto literal = [](const char *name, const Request &r, const char *hex) {
            QTest::newRow(name) << r << QByteArray::fromHex(hex);
        };
        literal("read network address at 0", set4tm::readNetworkAddress(0), "000805B603");
        literal("energy since reset", set4tm::readEnergy(1, set4tm::SinceReset), "0105000011D9");
        literal("energy previous day", set4tm::readEnergy(1, set4tm::PreviousDay), "010550002DD9");
        literal("phase A voltage", set4tm::readAuxiliary(1, set4tm::VoltageA), "010811114C46");
        literal("profile pointer", set4tm::readProfilePointer(1), "0108042603");
        literal("profile memory at 1234", set4tm::readProfileMemory(1, 0x1234), "0106031234083E8D");
        literal("test channel", set4tm::testChannel(), "000001B0");
        literal("baud rate 9600", set4tm::writeBaudRate(1, 9600), "01031510FE84");
        literal("clear energy", set4tm::clearEnergy(1), "0103202128");
        literal("set clock, Tuesday 08.12.2026 14:45:30 winter",
                set4tm::setDateTime(1, at(2026, 12, 8, 14, 45, 30), set4tm::Season::Winter),
                "01030C3045140208122601B3D6");

        auto body = [](const char *name, const Request &r, const char *hex) {
            QTest::newRow(name) << r << wireHex(hex);
        };
        body("open channel", set4tm::openChannel(5, set4tm::passwordBytes(QStringLiteral("649283"))), "0501363439323833");
        body("baud rate 19200", set4tm::writeBaudRate(5, 19200), "05031516");
        body("integration time", set4tm::writeIntegrationTime(5, 30), "0503001E");
        body("network address", set4tm::writeNetworkAddress(5, 7), "05030507");
        body("forbid auto close", set4tm::writeMode(5, set4tm::ForbidAutoClose), "05031807");
        body("Ku high byte first", set4tm::writeVoltageRatio(5, 0x1234), "05031B1234");
        body("Ki high byte first", set4tm::writeCurrentRatio(5, 0xFC7C), "05031CFC7C");
        body("ratios", set4tm::readRatios(0), "000802");
        body("integration time read", set4tm::readIntegrationTime(0), "000806");
        body("mode flags", set4tm::readModeFlags(0), "000809");
        body("reactive power", set4tm::readAuxiliary(5, set4tm::ReactivePower), "05081104");
    }
    void requestFrames()
    {
        QFETCH(Request, request);
        QFETCH(QByteArray, frame);
        QVERIFY2(crcOk(frame), "the expected frame carries a bit-wise CRC");
        RequestLayer layer;
        request.frameInto(layer);
        QCOMPARE(layer.txBytes().toHex(' '), frame.toHex(' '));
        QCOMPARE(layer.TxCount, request.length + 2);
    }

    void clockBlock_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<int>("season");
        QTest::addColumn<QByteArray>("block");
        QTest::newRow("Sunday is 7") << at(2026, 12, 13, 9, 5, 7) << 0 << QByteArray::fromHex("0705090713122600");
        QTest::newRow("Monday is 1") << at(2026, 12, 14, 23, 59, 59) << 1 << QByteArray::fromHex("5959230114122601");
        QTest::newRow("before 2000") << at(1999, 12, 31, 0, 0) << 0 << QByteArray::fromHex("0000000531129900");
        QTest::newRow("milliseconds dropped") << at(2026, 1, 1, 0, 0).addMSecs(999) << 0
                                              << QByteArray::fromHex("0000000401012600");
    }
    void clockBlock()
    {
        QFETCH(QDateTime, time);
        QFETCH(int, season);
        QFETCH(QByteArray, block);
        QCOMPARE(set4tm::clockBlock(time, static_cast<set4tm::Season>(season)).toHex(), block.toHex());
    }

    // One Windows-1251 byte a character; a short text never reads past its end.
    void password_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("proposed") << QStringLiteral("649283") << QByteArray::fromHex("363439323833");
        QTest::newRow("Cyrillic") << QStringLiteral("пароль") << QByteArray::fromHex("EFE0F0EEEBFC");
        QTest::newRow("longer: first six") << QStringLiteral("1234567") << QByteArray::fromHex("313233343536");
        QTest::newRow("short: zero bytes") << QStringLiteral("12") << QByteArray::fromHex("313200000000");
        QTest::newRow("empty") << QString() << QByteArray(6, '\0');
        QTest::newRow("outside the code page") << QStringLiteral("\U0001F600ab") << QByteArray::fromHex("3F6162000000");
    }
    void password()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, bytes);
        QVERIFY(QStringEncoder("windows-1251").isValid());
        const set4tm::Password p = set4tm::passwordBytes(typed);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(p.data()), 6).toHex(), bytes.toHex());
    }

    void judgement_data()
    {
        QTest::addColumn<Request>("request");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<BoxKind>("box");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("closes");
        const Request open = set4tm::openChannel(1, set4tm::passwordBytes(QStringLiteral("649283")));
        auto row = [](const char *name, const Request &r, const QByteArray &answer, Outcome o, BoxKind b,
                      const QString &m, bool closes = false) { QTest::newRow(name) << r << answer << o << b << m << closes; };
        const auto W = BoxKind::Warning, E = BoxKind::Error, I = BoxKind::Information;
        row("open 00", open, wireHex("0100"), Outcome::Accepted, BoxKind::None, QString());
        row("open 01", open, wireHex("0101"), Outcome::Refused, W, QStringLiteral("Недопустимая команда или параметр!"));
        row("open 02", open, wireHex("0102"), Outcome::Refused, W, QStringLiteral("Внутренняя ошибка счетчика!"), true);
        row("open 03", open, wireHex("0103"), Outcome::Refused, E,
            QStringLiteral("Неверно указан пароль.\rДоступ к устройству запрещен!"), true);
        row("open 04", open, wireHex("0104"), Outcome::Refused, W, QStringLiteral("Устройство занято!"), true);
        row("open 05", open, wireHex("0105"), Outcome::Refused, W, QStringLiteral("Не открыт канал связи!"), true);
        row("open 06", open, wireHex("0106"), Outcome::Refused, W, QStringLiteral("Устройство занято!"), true);
        row("baud 10", set4tm::writeBaudRate(1, 9600), wireHex("0110"), Outcome::Accepted, I,
            QStringLiteral("Новые параметры обмена записаны успешно!"), true);
        row("baud 00", set4tm::writeBaudRate(1, 9600), wireHex("0100"), Outcome::Refused, W, CodeMessage + "00");
        row("clear 40", set4tm::clearEnergy(1), wireHex("0140"), Outcome::Accepted, I,
            QStringLiteral("Регистры накопленной энергии очищены!"));
        row("clear 01", set4tm::clearEnergy(1), wireHex("0101"), Outcome::Refused, W, CodeMessage + "01");
        row("address written", set4tm::writeNetworkAddress(1, 7), wireHex("0100"), Outcome::Accepted, I,
            QStringLiteral("Новый сетевой адрес записан успешно!"), true);
        row("auto close forbidden", set4tm::writeMode(1, set4tm::ForbidAutoClose), wireHex("0100"), Outcome::Accepted, I,
            QStringLiteral("Выставлен запрет на автоматическое закрытие канала связи!"));
        row("slices mode set", set4tm::writeMode(1, set4tm::AllowIncompleteSlices), wireHex("0100"), Outcome::Accepted,
            I, QStringLiteral("Требуемый режим установлен!"));
        row("integration time 01", set4tm::writeIntegrationTime(1, 7), wireHex("0101"), Outcome::Refused, E,
            QStringLiteral("Задано недопустимое значение времени интегрирования мощности!"));
        row("integration time 02", set4tm::writeIntegrationTime(1, 7), wireHex("0102"), Outcome::Refused, W,
            CodeMessage + "02");
        row("clock 05", set4tm::setDateTime(1, at(2026, 12, 8, 14, 45), set4tm::Season::Summer), wireHex("0105"),
            Outcome::Refused, E, QStringLiteral("Установить дату и время не возможно!\rКод ошибки: 05"));
        row("ratios", set4tm::readRatios(0), wireHex("01000A0014000000000000"), Outcome::Accepted, BoxKind::None,
            QString());
        row("ratios refused 02", set4tm::readRatios(0), wireHex("0102"), Outcome::Refused, W, CodeMessage + "02");
        row("ratios one byte short", set4tm::readRatios(0), wireHex("01000A00140000000000"), Outcome::Refused, W,
            CodeMessage + "00");
        row("address read", set4tm::readNetworkAddress(0), wireHex("010007"), Outcome::Accepted, BoxKind::None, QString());
        row("address read, bare status 0", set4tm::readNetworkAddress(0), wireHex("0100"), Outcome::Refused, W,
            CodeMessage + "00");
        row("integration time read refused", set4tm::readIntegrationTime(0), wireHex("01AB"), Outcome::Refused, W,
            CodeMessage + "AB");
        row("wrong CRC", set4tm::readModeFlags(0), QByteArray::fromHex("0100020000"), Outcome::CrcError, W,
            QStringLiteral("Произошла ошибка обмена - CRC!"));
        row("no answer", set4tm::readModeFlags(0), QByteArray::fromHex("010002"), Outcome::NoAnswer, E,
            QStringLiteral("Устройство не отвечает на запросы:\r1. Проверьте питание и схему подключения "
                           "устройства;\r2. Повторите поиск устройства."));
    }
    void judgement()
    {
        QFETCH(Request, request);
        QFETCH(QByteArray, answer);
        QFETCH(Outcome, outcome);
        QFETCH(BoxKind, box);
        QFETCH(QString, message);
        QFETCH(bool, closes);
        RequestLayer layer;
        layer.VaComm1RxBuf(answer);
        const set4tm::Judgement j = set4tm::judgeExchange(request, layer);
        QCOMPARE(j.outcome, outcome);
        QCOMPARE(j.box, box);
        QCOMPARE(j.message, message);
        QCOMPARE(j.closesWindow, closes);
    }

    void settingsAnswers()
    {
        const QByteArray ratios = wireHex("01000A0014FFFFFFFFFFFF");
        const set4tm::Ratios r = set4tm::decodeRatios(bytesOf(ratios), sizeOf(ratios));
        QCOMPARE(r.ku, std::uint16_t(10));
        QCOMPARE(r.ki, std::uint16_t(20));
        const QByteArray address = wireHex("0100F7");
        QCOMPARE(set4tm::decodeParameter(bytesOf(address), sizeOf(address)), 247);
        const QByteArray allowed = wireHex("010002");
        const QByteArray other = wireHex("0102FD");
        QCOMPARE(set4tm::yesNoText(set4tm::decodeIncompleteSlicesAllowed(bytesOf(allowed), 5)), QStringLiteral("ДА"));
        QCOMPARE(set4tm::yesNoText(set4tm::decodeIncompleteSlicesAllowed(bytesOf(other), 5)), QStringLiteral("НЕТ"));
    }

    void profilePointer_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QDateTime>("stamp");
        QTest::addColumn<int>("pointer");
        const auto utc = [](int h, int m) { return QDateTime(QDate(2026, 12, 8), QTime(h, m), Qt::UTC); };
        QTest::newRow("plain") << wireHex("01301408122612A0") << utc(14, 30) << 0x12A0;
        QTest::newRow("minutes bit 7 ignored") << wireHex("0185140812260008") << utc(14, 5) << 0x0008;
        QTest::newRow("month 13 is no date") << wireHex("0100001013260010") << QDateTime() << 0x0010;
        QTest::newRow("hour 24 is no time") << wireHex("0100240812260010") << QDateTime() << 0x0010;
    }
    void profilePointer()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QDateTime, stamp);
        QFETCH(int, pointer);
        const set4tm::ProfilePointer p = set4tm::decodeProfilePointer(bytesOf(answer), sizeOf(answer));
        QCOMPARE(p.stamp, stamp);
        QCOMPARE(int(p.pointer), pointer);
    }

    // Values as the window shows them; an empty text: cannot be computed.
    void scaledValues_data()
    {
        QTest::addColumn<int>("what"); // selector of an auxiliary answer, or Energy / Record
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("ku");
        QTest::addColumn<QString>("ki");
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("shown");
        const QByteArray energy = wireHex("01" "00012345" "00000000" "00000000" "00000000");
        const QByteArray record = wireHex("01" "04E2" "0000" "0000" "0000");
        QTest::newRow("energy 230 V") << Energy << energy << "1" << "1" << "30" << 1 << "29,826";
        QTest::newRow("energy 57.7 V, ratios") << Energy << energy << "10" << "20" << "30" << 0 << "1491,3";
        QTest::newRow("energy, Ku unknown") << Energy << energy << "????" << "1" << "30" << 1 << "";
        QTest::newRow("voltage") << 0x11 << wireHex("010059D8") << "10" << "20" << "30" << 0 << "230";
        QTest::newRow("current") << 0x22 << wireHex("01001388") << "10" << "20" << "30" << 0 << "0,5";
        QTest::newRow("voltage, ratios unknown") << 0x13 << wireHex("010059D8") << "????" << "????" << "??" << -1 << "230";
        QTest::newRow("frequency") << 0x40 << wireHex("01001388") << "1" << "1" << "30" << 1 << "50";
        QTest::newRow("cos, sign bit ignored") << 0x30 << wireHex("01800059") << "1" << "1" << "30" << 1 << "0,89";
        QTest::newRow("P negative") << 0x00 << wireHex("018003E8") << "10" << "20" << "30" << 0 << "-200";
        QTest::newRow("Q negative, same scale as P") << 0x04 << wireHex("014003E8") << "10" << "20" << "30" << 0 << "-200";
        QTest::newRow("Q, bit 23") << 0x04 << wireHex("018003E8") << "1" << "1" << "30" << 1 << "-2";
        QTest::newRow("P, bit 22 is no sign") << 0x00 << wireHex("014003E8") << "1" << "1" << "30" << 1 << "2";
        QTest::newRow("P, Ki unknown") << 0x00 << wireHex("010003E8") << "1" << "????" << "30" << 1 << "";
        QTest::newRow("P, no variant") << 0x00 << wireHex("010003E8") << "1" << "1" << "30" << -1 << "";
        QTest::newRow("record 230 V") << Record << record << "1" << "1" << "30" << 1 << "1";
        QTest::newRow("record 57.7 V") << Record << record << "1" << "1" << "30" << 0 << "0,25";
        QTest::newRow("record, T unknown") << Record << record << "1" << "1" << "??" << 1 << "";
        QTest::newRow("record, T zero") << Record << record << "1" << "1" << "0" << 1 << "";
    }
    void scaledValues()
    {
        QFETCH(int, what);
        QFETCH(QByteArray, answer);
        QFETCH(QString, ku);
        QFETCH(QString, ki);
        QFETCH(QString, minutes);
        QFETCH(int, variant);
        QFETCH(QString, shown);
        const auto scaling = set4tm::Scaling::fromFields(ku, ki, minutes, variant);
        std::optional<double> value;
        if (what == Energy) {
            if (const auto v = set4tm::energyValues(set4tm::decodeEnergy(bytesOf(answer), sizeOf(answer)), scaling))
                value = (*v)[0];
        } else if (what == Record) {
            if (const auto v = set4tm::profileValues(set4tm::decodeProfileRecord(bytesOf(answer), sizeOf(answer)), scaling))
                value = (*v)[0];
        } else {
            const auto selector = static_cast<set4tm::AuxSelector>(what);
            value = set4tm::auxiliaryValue(selector, set4tm::decodeAuxiliary(selector, bytesOf(answer), sizeOf(answer)),
                                           scaling);
        }
        QCOMPARE(value ? FormatGeneral(*value) : QString(), shown);
    }
};

QTEST_GUILESS_MAIN(TestSet4tmProtocol)
#include "test_set4tmprotocol.moc"
