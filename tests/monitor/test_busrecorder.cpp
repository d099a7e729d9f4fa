#include "bus/vacomm.h"
#include "monitor/busrecorder.h"
#include "monitor/monitorfile.h"
#include "support/fakelink.h"
#include "support/wire.h"

#include <QtTest>

using namespace monitor;

namespace {
// 19200 bit/s, no parity: 521 µs a character, 1823 µs of silence end a frame.
constexpr qint64 Char = 521;

const QByteArray KrvProbe = wireHex("010400000003");
const QByteArray KrvAnswer = wireHex("010406000C00020069");

QStringList cut(const QStringList &events)
{
    FrameCutter cutter;
    cutter.setLine({19200, paNone});
    for (const QString &event : events) {
        // "S <µs> <hex>" sent, "R <µs> <hex>" received, "I <µs>" a look at the clock.
        const QStringList parts = event.split(QLatin1Char(' '));
        const qint64 us = parts.at(1).toLongLong();
        const QByteArray bytes = QByteArray::fromHex(parts.value(2).toLatin1());
        if (parts.at(0) == QLatin1String("I"))
            cutter.idle(us);
        else if (parts.at(0) == QLatin1String("S"))
            cutter.sent(us, bytes, Protocol::Modbus);
        else
            cutter.received(us, bytes);
    }
    cutter.idle(100000000);
    QStringList frames;
    for (const BusFrame &f : cutter.takeFrames())
        frames << (f.direction == Direction::Sent ? "S " : "R ") + QString::fromLatin1(f.bytes.toHex().toUpper());
    return frames;
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

BusFrame answerFrame(int address, qint64 responseUs, Problem problem = Problem::None)
{
    BusFrame f;
    f.direction = Direction::Received;
    f.bytes = QByteArray(1, char(address));
    f.answerTo = address;
    f.responseUs = responseUs;
    f.problem = problem;
    return f;
}
} // namespace

class TestBusRecorder : public QObject
{
    Q_OBJECT

private slots:
    void framing_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("frames");
        const QString probe = hex(KrvProbe), answer = hex(KrvAnswer);
        const QString head = answer.left(8), tail = answer.mid(8);
        // The answer in two chunks, the second coming in as fast as the line carries it.
        QTest::newRow("split in pieces")
            << QStringList{"S 0 " + probe, "R 10000 " + head, QStringLiteral("R %1 ").arg(10000 + 7 * Char) + tail}
            << QStringList{"S " + probe, "R " + answer};
        const QString status = hex(wireHex("0100"));
        QTest::newRow("an intact frame ends at a silence")
            << QStringList{"S 0 " + probe, "R 20000 " + answer, QStringLiteral("R %1 ").arg(20000 + 4 * Char + 1823) + status}
            << QStringList{"S " + probe, "R " + answer, "R " + status};
        // A silence seen by the program, not on the line: the CRC shows the pieces are one answer.
        QTest::newRow("pieces of an intact frame across a silence")
            << QStringList{"S 0 " + probe, "R 10000 " + head, "I 14000", QStringLiteral("R %1 ").arg(10000 + 7 * Char + 5000) + tail}
            << QStringList{"S " + probe, "R " + answer};
        QTest::newRow("damaged pieces stay apart")
            << QStringList{"S 0 " + probe, "R 10000 " + head, QStringLiteral("R %1 FFFF").arg(10000 + 2 * Char + 1823)}
            << QStringList{"S " + probe, "R " + head, "R FFFF"};
        QTest::newRow("two frames glued in one chunk")
            << QStringList{"S 0 " + probe, "R 20000 " + answer + answer}
            << QStringList{"S " + probe, "R " + answer, "R " + answer};
        QTest::newRow("three frames glued in one chunk")
            << QStringList{"S 0 " + probe, "R 20000 " + status + answer + status}
            << QStringList{"S " + probe, "R " + status, "R " + answer, "R " + status};
        QTest::newRow("end of one, start of the next")
            << QStringList{"S 0 " + probe, "R 20000 " + answer + status.left(4), QStringLiteral("R %1 ").arg(20000 + 2 * Char) + status.mid(4)}
            << QStringList{"S " + probe, "R " + answer, "R " + status};
        QTest::newRow("noise byte stays with the answer")
            << QStringList{"S 0 " + probe, "R 20000 FF" + answer} << QStringList{"S " + probe, "R FF" + answer};
        QTest::newRow("the next request ends a frame")
            << QStringList{"S 0 " + probe, "R 20000 " + head, "S 20100 " + probe, "R 40000 " + tail}
            << QStringList{"S " + probe, "R " + head, "S " + probe, "R " + tail};
    }
    void framing()
    {
        QFETCH(QStringList, events);
        QFETCH(QStringList, frames);
        QCOMPARE(cut(events), frames);
    }

    // Response time from the end of the request (8 characters after the write) to
    // the first byte of the answer (its 11 characters before the chunk came in).
    void answerTiming()
    {
        BusRecorder recorder;
        recorder.setLine({19200, paNone});
        recorder.setWallClock(0, 1000000);
        recorder.sent(0, KrvProbe, Protocol::Modbus);
        recorder.received(20000, KrvAnswer);
        recorder.idle(20000 + 1823);
        const auto frames = recorder.takeFrames();
        QCOMPARE(frames.size(), std::size_t(2));
        const BusFrame &answer = frames[1];
        QCOMPARE(answer.startUs, 20000 - 11 * Char);
        QCOMPARE(answer.responseUs, 20000 - 11 * Char - 8 * Char);
        QCOMPARE(answer.sinceUs, 20000 - 11 * Char);
        QCOMPARE(answer.wallMs, 1000000 + (20000 - 11 * Char) / 1000);
        QCOMPARE(answer.answerTo, 1);
        QCOMPARE(answer.meaning, QStringLiteral("входные регистры 0x0000..0x0002 (3): 12 2 105"));
        QCOMPARE(frames[0].sinceUs, -1);
        QCOMPARE(frames[0].responseUs, -1);
    }

    // Bytes already on the line when the recording began start before its zero;
    // the frame after them still has its time since them.
    void frameBeforeTheClocksZeroStillHasASuccessor()
    {
        BusRecorder recorder;
        recorder.setLine({19200, paNone});
        recorder.received(100, KrvAnswer);
        recorder.sent(50000, KrvProbe, Protocol::Modbus);
        const auto frames = recorder.takeFrames();
        QCOMPARE(frames.size(), std::size_t(2));
        QCOMPARE(frames[0].startUs, 100 - 11 * Char);
        QCOMPARE(frames[1].sinceUs, 50000 - (100 - 11 * Char));
    }

    void lostWhenTheNextRequestComesFirst()
    {
        BusRecorder recorder;
        recorder.setLine({19200, paNone});
        recorder.sent(0, KrvProbe, Protocol::Modbus);
        const auto first = recorder.takeFrames(); // the view has taken the request already
        recorder.sent(100000, KrvProbe, Protocol::Modbus);
        recorder.received(120000, KrvAnswer);
        recorder.idle(200000);
        QCOMPARE(recorder.takeUnanswered(), std::vector<quint64>{first.at(0).seq});
        // A request still waiting to be taken carries its fate itself.
        recorder.sent(300000, wireHex("020400000003"), Protocol::Modbus);
        recorder.sent(400000, wireHex("000600010002"), Protocol::Modbus); // a broadcast: nobody answers
        recorder.sent(500000, wireHex("0000"), Protocol::Set4tm);         // the meter answers at 0
        recorder.portClosed();
        const auto frames = recorder.takeFrames();
        QCOMPARE(frames.size(), std::size_t(5));
        QCOMPARE(frames[0].problem, Problem::None);     // the answered request
        QCOMPARE(frames[2].problem, Problem::NoAnswer); // to address 2
        QCOMPARE(frames[3].problem, Problem::None);     // the broadcast
        QCOMPARE(frames[4].problem, Problem::NoAnswer); // the meter's, when the port closed
        QVERIFY(recorder.takeUnanswered().empty());
        const auto rows = recorder.statistics().rows();
        QCOMPARE(rows.size(), std::size_t(3));
        QCOMPARE(rows[0].address, 0);
        QCOMPARE(rows[0].requests, quint64(2));
        QCOMPARE(rows[0].lost, quint64(1)); // the meter's, not the broadcast
        QCOMPARE(rows[1].requests, quint64(2));
        QCOMPARE(rows[1].answers, quint64(1));
        QCOMPARE(rows[1].lost, quint64(1));
        QCOMPARE(rows[2].lost, quint64(1));
    }

    // The tap hears what the port handed to the link and what came back, and
    // nothing of a write the link refused.
    void tapListensToThePort()
    {
        FakeLinkFactory links;
        TVaComm port;
        port.setLinkFactory(links.factory());
        port.Open();
        BusRecorder recorder;
        BusTap tap(port, recorder);
        const auto write = [&port](const QByteArray &frame) {
            return port.WriteBuf(reinterpret_cast<const std::uint8_t *>(frame.constData()), int(frame.size()));
        };
        QCOMPARE(write(KrvProbe), int(KrvProbe.size()));
        links.last()->receive(KrvAnswer);
        links.last()->refuseWrites = true;
        QCOMPARE(write(KrvProbe), 0);
        port.Close();
        const auto frames = recorder.takeFrames();
        QCOMPARE(frames.size(), std::size_t(2));
        QCOMPARE(frames[0].bytes, KrvProbe);
        QCOMPARE(frames[1].bytes, KrvAnswer);
        QCOMPARE(frames[1].answerTo, 1);
    }

    void answerErrorsAreCounted()
    {
        BusRecorder recorder;
        recorder.setLine({115200, paNone});
        QByteArray corrupted = KrvAnswer;
        corrupted[3] = char(corrupted.at(3) ^ 0x10);
        recorder.sent(0, KrvProbe, Protocol::Modbus);
        recorder.received(10000, corrupted);
        recorder.sent(50000, KrvProbe, Protocol::Modbus);
        recorder.received(60000, wireHex("018402"));
        recorder.portClosed();
        const auto frames = recorder.takeFrames();
        QCOMPARE(frames[1].problem, Problem::Crc);
        QVERIFY(!frames[1].crcOk);
        QCOMPARE(frames[3].problem, Problem::Refused);
        const auto row = recorder.statistics().rows().at(0);
        QCOMPARE(row.answers, quint64(2));
        QCOMPARE(row.crcErrors, quint64(1));
        QCOMPARE(row.exceptions, quint64(1));
        QCOMPARE(row.lost, quint64(0));
    }

    void responseTimeFigures_data()
    {
        QTest::addColumn<QList<qint64>>("times");
        QTest::addColumn<qint64>("minimum");
        QTest::addColumn<qint64>("median");
        QTest::addColumn<qint64>("maximum");
        QTest::newRow("odd count") << QList<qint64>{3000, 1000, 2000} << qint64(1000) << qint64(2000) << qint64(3000);
        QTest::newRow("even count") << QList<qint64>{3000, 1000, 2000, 6000} << qint64(1000) << qint64(2500)
                                    << qint64(6000);
        QTest::newRow("repeated values") << QList<qint64>{4000, 4000, 4000, 9000, 1000} << qint64(1000)
                                         << qint64(4000) << qint64(9000);
        QTest::newRow("one") << QList<qint64>{7770} << qint64(7770) << qint64(7770) << qint64(7770);
    }
    void responseTimeFigures()
    {
        QFETCH(QList<qint64>, times);
        QFETCH(qint64, minimum);
        QFETCH(qint64, median);
        QFETCH(qint64, maximum);
        LinkStatistics statistics;
        for (qint64 t : times)
            statistics.add(answerFrame(5, t));
        const AddressStatistics row = statistics.rows().at(0);
        QCOMPARE(row.answers, quint64(times.size()));
        QCOMPARE(row.minUs.value(), minimum);
        QCOMPARE(row.medianUs.value(), median);
        QCOMPARE(row.maxUs.value(), maximum);
        statistics.clear();
        QVERIFY(statistics.rows().empty());
    }

    void buffersKeepTheNewestFrames()
    {
        FrameLog log;
        QCOMPARE(log.capacity(), std::size_t(100000));
        for (quint64 seq = 0; seq < 100005; ++seq) {
            BusFrame f;
            f.seq = seq;
            log.append(std::move(f));
        }
        QCOMPARE(log.size(), std::size_t(100000));
        QCOMPARE(log.at(0).seq, quint64(5));
        QCOMPARE(log.indexOf(4), -1LL);
        QCOMPARE(log.indexOf(100004), 99999LL);

        // Frames nobody takes (a paused view) are bounded the same way.
        BusRecorder recorder(3);
        recorder.setLine({115200, paNone});
        for (int i = 0; i < 5; ++i)
            recorder.sent(i * 10000, wireHex("000600010002"), Protocol::Modbus);
        const auto frames = recorder.takeFrames();
        QCOMPARE(frames.size(), std::size_t(3));
        QCOMPARE(frames.front().seq, quint64(2));
        QCOMPARE(recorder.dropped(), quint64(2));
        QCOMPARE(recorder.statistics().rows().at(0).requests, quint64(5)); // the statistics miss nothing
    }

    void csvEscaping_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("csv");
        QTest::newRow("plain") << "чтение Ua" << "чтение Ua";
        QTest::newRow("comma") << "Кн 100, Кт 200" << "\"Кн 100, Кт 200\"";
        QTest::newRow("quote") << "a \"b\"" << "\"a \"\"b\"\"\"";
        QTest::newRow("line break") << "a\nb" << "\"a\nb\"";
        QTest::newRow("carriage return") << "a\rb" << "\"a\rb\"";
    }
    void csvEscaping()
    {
        QFETCH(QString, field);
        QFETCH(QString, csv);
        QCOMPARE(csvField(field), csv);
    }

    void filesHoldOneFrameALine()
    {
        BusFrame f;
        f.direction = Direction::Received;
        f.wallMs = QDateTime(QDate(2026, 12, 9), QTime(14, 5, 33, 120)).toMSecsSinceEpoch();
        f.sinceUs = 12345;
        f.responseUs = 9113;
        f.bytes = wireHex("0008020064");
        f.crcOk = true;
        f.meaning = QStringLiteral("Кн 100, Кт 200");
        QCOMPARE(csvBytes({&f}), QStringLiteral("Время,Напр.,Адрес,Байты,CRC,Значение,\"Δt, мс\",\"Ответ, мс\"\r\n"
                                                "14:05:33.120,<-,0,00 08 02 00 64 %1,верна,\"Кн 100, Кт 200\",12.3,9.1\r\n")
                                     .arg(hex(f.bytes.right(2)).insert(2, ' '))
                                     .toUtf8());
        f.problem = Problem::NoAnswer;
        f.direction = Direction::Sent;
        f.responseUs = -1;
        QCOMPARE(textLine(f), QStringLiteral("14:05:33.120 -> 00 08 02 00 64 %1  CRC верна  Кн 100, Кт 200; нет ответа  Δt 12.3 мс")
                                  .arg(hex(f.bytes.right(2)).insert(2, ' ')));
    }
};

QTEST_GUILESS_MAIN(TestBusRecorder)
#include "test_busrecorder.moc"
