#include "bus/requestlayer.h"
#include "devices/c3940fprotocol.h"

#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(c3940f::WriteOutcome)

namespace {
// Bitwise CRC-16/MODBUS, apart from the table-driven one under test.
QByteArray withCrc(const QByteArray &body)
{
    std::uint16_t crc = 0xFFFF;
    for (char c : body) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return body + QByteArray(1, char(crc & 0xFF)) + QByteArray(1, char(crc >> 8));
}

const std::uint8_t *bytes(const QByteArray &a)
{
    return reinterpret_cast<const std::uint8_t *>(a.constData());
}
} // namespace

class TestC3940fProtocol : public QObject
{
    Q_OBJECT

private slots:
    void selectorsFromTheConfigurationByte_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("variant");
        QTest::newRow("no group, ЖНКТ") << QByteArray::fromHex("01020100") << -1 << 0;
        QTest::newRow("no group, ТРАВ") << QByteArray::fromHex("01020108") << -1 << 1;
        QTest::newRow("UT1-UT3") << QByteArray::fromHex("01020101") << 0 << 0;
        QTest::newRow("UT4-UT6") << QByteArray::fromHex("01020102") << 1 << 0;
        QTest::newRow("UT7-UT9") << QByteArray::fromHex("01020104") << 2 << 0;
        QTest::newRow("first two") << QByteArray::fromHex("01020103") << 4 << 0;
        QTest::newRow("last two") << QByteArray::fromHex("01020106") << 5 << 0;
        QTest::newRow("first and last shown as UT4-UT9") << QByteArray::fromHex("01020105") << 5 << 0;
        QTest::newRow("all nine, ТРАВ") << QByteArray::fromHex("0102010F") << 3 << 1;
        QTest::newRow("unused bits ignored") << QByteArray::fromHex("010201F3") << 4 << 0;
        QTest::newRow("answer too short") << QByteArray::fromHex("010201") << -1 << 0;
    }
    void selectorsFromTheConfigurationByte()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, group);
        QFETCH(int, variant);
        const std::uint8_t config = c3940f::configurationOfAnswer(bytes(answer), int(answer.size()));
        QCOMPARE(c3940f::groupIndex(config), group);
        QCOMPARE(c3940f::variantIndex(config), variant);
    }

    // Every list item written and read back gives the same item.
    void writtenByteReadsBackAsTheSameItems()
    {
        for (int group = -1; group < 6; ++group) {
            for (int variant = 0; variant < 2; ++variant) {
                const std::uint8_t config = c3940f::configurationByte(group, variant);
                QCOMPARE(config & 0xF0, 0);
                QCOMPARE(c3940f::groupIndex(config), group);
                QCOMPARE(c3940f::variantIndex(config), variant);
            }
        }
    }

    void writeFrame_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("variant");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("ТРАВ, all nine") << 1 << 3 << 1 << QByteArray::fromHex("010F01810004010F");
        QTest::newRow("ТРАВ, UT1-UT3") << 1 << 0 << 1 << QByteArray::fromHex("010F018100040109");
        QTest::newRow("ЖНКТ, UT4-UT9, address 247") << 247 << 5 << 0 << QByteArray::fromHex("F70F018100040106");
        QTest::newRow("nothing selected") << 12 << -1 << 0 << QByteArray::fromHex("0C0F018100040100");
    }
    void writeFrame()
    {
        QFETCH(int, address);
        QFETCH(int, group);
        QFETCH(int, variant);
        QFETCH(QByteArray, body);
        auto frames = std::make_unique<RequestLayer>();
        c3940f::frameWrite(*frames, std::uint8_t(address), c3940f::configurationByte(group, variant));
        QCOMPARE(frames->TxCount, c3940f::WriteRequestLength);
        QCOMPARE(frames->txBytes().toHex(), withCrc(body).toHex());
    }

    void judgement_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<c3940f::WriteOutcome>("outcome");
        QTest::addColumn<int>("code");
        const QByteArray echo = withCrc(QByteArray::fromHex("010F01810004"));
        QByteArray corrupted = echo;
        corrupted[7] = char(corrupted.at(7) ^ 0x5A);
        const QByteArray refusal = withCrc(QByteArray::fromHex("018F02"));
        QByteArray refusalCorrupted = refusal;
        refusalCorrupted[4] = char(refusalCorrupted.at(4) ^ 1);
        QTest::newRow("echo") << echo << c3940f::WriteOutcome::Written << 0;
        QTest::newRow("echo with a wrong CRC") << corrupted << c3940f::WriteOutcome::CrcError << 0;
        QTest::newRow("7 bytes") << echo.left(7) << c3940f::WriteOutcome::NoAnswer << 0;
        QTest::newRow("9 bytes") << echo + QByteArray::fromHex("00") << c3940f::WriteOutcome::NoAnswer << 0;
        QTest::newRow("nothing") << QByteArray() << c3940f::WriteOutcome::NoAnswer << 0;
        QTest::newRow("illegal data address") << refusal << c3940f::WriteOutcome::Refused << 2;
        QTest::newRow("refusal with a wrong CRC") << refusalCorrupted << c3940f::WriteOutcome::NoAnswer << 0;
    }
    void judgement()
    {
        QFETCH(QByteArray, answer);
        QFETCH(c3940f::WriteOutcome, outcome);
        QFETCH(int, code);
        const c3940f::WriteResult result = c3940f::judgeWriteAnswer(bytes(answer), int(answer.size()));
        QCOMPARE(result.outcome, outcome);
        QCOMPARE(int(result.exceptionCode), code);
    }
};

QTEST_APPLESS_MAIN(TestC3940fProtocol)
#include "test_c3940fprotocol.moc"
