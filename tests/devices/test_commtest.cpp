#include "bus/requestlayer.h"
#include "bus/ticktimer.h"
#include "bus/vacomm.h"
#include "devices/commtest.h"
#include "devices/krvprotocol.h"
#include "support/fakeport.h"
#include "support/wire.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(CommTest::Stop)

namespace {
// A correct answer to the KRV-A test request (45 bytes), built independently of the code under test.
const QByteArray Answer = wire(QByteArray::fromHex("010428") + QByteArray(40, '\x11'));

// The device side of the engine: the KRV-A request, and a record of what it was given.
struct RecordingDevice : CommTest::Device
{
    void frameRequest(RequestLayer &frames, std::uint8_t address) override { krv::frameTestRequest(frames, address); }
    void decode(const RequestLayer &frames) override { decoded << frames.rxBytes(); }
    void judged(bool accepted) override { verdicts << accepted; }
    QList<QByteArray> decoded;
    QList<bool> verdicts;
};
} // namespace

// The communication test without a window, on a manual clock and an in-memory port.
class TestCommTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakePort> m_bus;
    ManualTickTimer m_clock;
    TestCounters m_counters;
    RecordingDevice m_device;
    std::unique_ptr<CommTest> m_test;
    QStringList m_journal;

    FakeLink &link() { return m_bus->link(); }
    int requestsWritten() { return int(link().written.size() / 8); }
    // The device answers the request just written.
    void answer(const QByteArray &bytes = Answer) { link().receive(bytes); }

private slots:
    void initTestCase() { qRegisterMetaType<CommTest::Stop>(); }
    void init()
    {
        m_bus = std::make_unique<FakePort>();
        m_bus->port.Open();
        m_counters = {};
        m_device = {};
        m_test = std::make_unique<CommTest>(m_bus->port, m_bus->frames, m_clock, m_counters, m_device);
        m_test->count = [] { return 50; };
        m_test->address = [] { return std::uint8_t(1); };
        m_journal.clear();
        connect(m_test.get(), &CommTest::journal, this, [this](const QString &l) { m_journal << l; });
        m_test->reset();
        m_test->run(50);
    }
    void cleanup()
    {
        m_test.reset();
        m_bus.reset();
    }

    void fullTestIsExactAndOneMoreRequestGoesOut()
    {
        QSignalSpy finished(m_test.get(), &CommTest::finished);
        for (int i = 0; i < 50; ++i) {
            m_clock.fire();
            answer();
            m_clock.fire();
        }
        m_clock.fire(); // request 51
        answer();
        m_clock.fire(); // sent has passed the count: its answer is never judged
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).value<CommTest::Stop>(), CommTest::Stop::CountReached);
        QVERIFY(!m_test->isRunning());
        QCOMPARE(requestsWritten(), 51);
        QCOMPARE(m_counters.sent, 51);
        QCOMPARE(m_counters.accepted, 50);
        QCOMPARE(m_counters.errors, 0);
        const QStringList summary = SummaryLines(QStringLiteral("KRV-A"), {}, 50, 50, m_counters);
        QVERIFY(summary.contains(QStringLiteral("Отправлено посылок: 50")));
        QVERIFY(summary.contains(QStringLiteral("Утеряно посылок: 0")));
        QVERIFY(m_journal.isEmpty());
    }

    // An answer that misses its tick: the next request goes out, and the late
    // answer lands in front of the next one, so the pair is one corrupted answer.
    void answerOneTickLateIsCountedAndJournalled()
    {
        m_clock.fire(); // request 1
        m_clock.fire(); // nothing yet: request 2
        answer();       // the answer to request 1
        answer();       // the answer to request 2
        m_clock.fire(); // judged together
        QCOMPARE(m_counters.sent, 2);
        QCOMPARE(m_counters.accepted, 0);
        QCOMPARE(m_counters.errors, 1);
        QCOMPARE(m_journal.size(), 2);
        QCOMPARE(m_journal.at(0), QStringLiteral("->") + QString::fromLatin1(m_bus->frames.txBytes().toHex().toUpper()));
        QCOMPARE(m_journal.at(1), QStringLiteral("<-") + QString::fromLatin1((Answer + Answer).toHex().toUpper()));
        const QStringList summary = SummaryLines(QStringLiteral("KRV-A"), {}, 50, 50, m_counters);
        QVERIFY(summary.contains(QStringLiteral("Отправлено посылок: 1")));
        QVERIFY(summary.contains(QStringLiteral("Утеряно посылок: 0")));
    }

    void noiseAfterTheAnswerIsNotASecondAnswer()
    {
        m_clock.fire();
        answer();
        m_clock.fire();
        answer(QByteArray::fromHex("55AA55AA55"));
        m_clock.fire(); // dropped, and the next request goes out
        QCOMPARE(m_counters.sent, 2);
        QCOMPARE(m_counters.accepted, 1);
        QCOMPARE(m_counters.errors, 0);
        QCOMPARE(m_bus->frames.RxCount, 0);
        QVERIFY(m_journal.isEmpty());
        QCOMPARE(m_device.verdicts, QList<bool>{true});
    }

    void fragmentStaysInFrontOfTheNextAnswer()
    {
        answer(QByteArray::fromHex("0102"));
        m_clock.fire(); // 2 bytes are no answer: the request goes out, the fragment stays
        answer();
        m_clock.fire();
        QCOMPARE(m_counters.errors, 1);
        QCOMPARE(m_device.verdicts, QList<bool>{false});
        QVERIFY(m_device.decoded.isEmpty());
    }

    void floodJournalIsBounded()
    {
        m_test->count = [] { return 100000; };
        const QByteArray flood(4000, '\x5A');
        for (int i = 0; i < CommTest::JournalledErrorLimit + 20; ++i) {
            m_clock.fire();
            answer(flood);
            m_clock.fire();
        }
        QCOMPARE(m_counters.errors, CommTest::JournalledErrorLimit + 20);
        QCOMPARE(m_journal.size(), 2 * CommTest::JournalledErrorLimit + 1);
        QCOMPARE(m_journal.at(1), QStringLiteral("<-") + QStringLiteral("5A").repeated(256) + QStringLiteral(" ... (всего 4000 байт)"));
        QVERIFY(m_journal.last().startsWith(QStringLiteral("... ")));
    }

    void lostPortEndsTheTest()
    {
        QSignalSpy finished(m_test.get(), &CommTest::finished);
        m_clock.fire();
        link().loseDevice();
        QVERIFY(!m_bus->port.Active());
        m_clock.fire();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).value<CommTest::Stop>(), CommTest::Stop::PortLost);
        QVERIFY(!m_test->isRunning());
        QCOMPARE(m_counters.sent, 1);
    }

    // A device with a cycle of requests moves on only when an answer was judged:
    // an unanswered request goes out again as it was.
    void unansweredRequestIsJudgedNeverAndResent()
    {
        m_clock.fire();
        m_clock.fire();
        QVERIFY(m_device.verdicts.isEmpty());
        answer();
        m_clock.fire();
        QCOMPARE(m_device.verdicts, QList<bool>{true});
        QCOMPARE(m_device.decoded, QList<QByteArray>{Answer});
    }
};

QTEST_GUILESS_MAIN(TestCommTest)
#include "test_commtest.moc"
