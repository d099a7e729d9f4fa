#include "bus/buschannel.h"
#include "bus/requestlayer.h"
#include "bus/ticktimer.h"
#include "bus/vacomm.h"
#include "scan/survey.h"
#include "scan/surveyexchange.h"
#include "scan/surveyreport.h"
#include "sim/bus.h"
#include "sim/simlink.h"
#include "support/fakeport.h"
#include "support/wire.h"

#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <memory>

Q_DECLARE_METATYPE(survey::Reception)
Q_DECLARE_METATYPE(survey::Shape)
Q_DECLARE_METATYPE(LineSettings)
Q_DECLARE_METATYPE(DeviceWindowKind)

namespace {

const QList<qint32> AllRates = {4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000};
const QList<TVaParity> AllParities = {paNone, paOdd, paEven};
const QList<int> AllTags = {TagKRV, TagZDLT, TagM7051, TagSET4TM, TagSensor, TagController, TagB7720Q};

Survey::Plan planOf(QList<qint32> rates, QList<TVaParity> parities, int first, int last, QList<int> tags = AllTags)
{
    Survey::Plan plan;
    plan.port = 2;
    plan.rates = std::move(rates);
    plan.parities = std::move(parities);
    plan.first = first;
    plan.last = last;
    plan.tags = std::move(tags);
    return plan;
}

// The probes of the six kinds that use the address, in button order, as the wire carries them.
QList<QByteArray> addressedProbes(int address)
{
    const QByteArray a = QByteArray(1, char(address)).toHex();
    QList<QByteArray> probes;
    for (const char *body : {"0400000003", "04FC7C000E", "4620", "0300000003", "0201850004", "0200000008"})
        probes << wire(QByteArray::fromHex(a + body));
    return probes;
}
const QByteArray MeterProbe = wireHex("0000");

QString lineName(const LineSettings &line)
{
    return QStringLiteral("%1%2").arg(line.baudRate).arg(QLatin1Char("NOE"[line.parity]));
}

} // namespace

// The helpers an exchange is timed and judged with.
class TestSurveyExchange : public QObject
{
    Q_OBJECT
private slots:
    void timerMs_data()
    {
        QTest::addColumn<double>("us");
        QTest::addColumn<int>("ms");
        QTest::newRow("a whole millisecond stays") << 58000.0 << 58;
        QTest::newRow("a third rounds down") << 58333.3 << 58;
        QTest::newRow("a half rounds up") << 58500.0 << 59;
        QTest::newRow("two thirds round up") << 52604.2 << 53;
        QTest::newRow("under a millisecond waits one") << 303.8 << 1;
        QTest::newRow("nothing waits one") << 0.0 << 1;
        QTest::newRow("past the deadline waits one") << -200.0 << 1;
    }
    void timerMs()
    {
        QFETCH(double, us);
        QFETCH(int, ms);
        QCOMPARE(survey::timerMs(us), ms);
    }

    void reception_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<survey::Reception>("reception");
        const QByteArray krv = wireHex("010406000C00020069");
        QTest::newRow("nothing") << QByteArray() << survey::Reception::Nothing;
        QTest::newRow("three bytes") << krv.left(3) << survey::Reception::Partial;
        QTest::newRow("half an answer") << krv.left(6) << survey::Reception::Partial;
        QTest::newRow("whole answer") << krv << survey::Reception::Complete;
        QTest::newRow("four-byte meter status") << wireHex("0700") << survey::Reception::Complete;
        QTest::newRow("noise byte in front") << QByteArray(1, '\x55') + krv << survey::Reception::Partial;
        QTest::newRow("last byte changed") << krv.left(10) + QByteArray(1, char(krv.at(10) ^ 1))
                                           << survey::Reception::Partial;
        QByteArray longest = QByteArray(254, '\x11');
        QTest::newRow("256 bytes with a CRC") << wire(longest) << survey::Reception::Complete;
        QTest::newRow("257 bytes with a CRC") << wire(longest + "\x11") << survey::Reception::Overlong;
    }
    void reception()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(survey::Reception, reception);
        QCOMPARE(survey::receptionOf(reinterpret_cast<const std::uint8_t *>(bytes.constData()), int(bytes.size())),
                 reception);
    }

    void shape_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<survey::Shape>("shape");
        const QByteArray krvProbe = wireHex("0304000000 03");
        QTest::newRow("three registers") << krvProbe << wireHex("030406000C00020069") << survey::Shape::Answer;
        QTest::newRow("refusal") << krvProbe << wireHex("038402") << survey::Shape::Refusal;
        QTest::newRow("refusal with more bytes") << krvProbe << wireHex("03840200") << survey::Shape::Foreign;
        QTest::newRow("byte count off") << krvProbe << wireHex("030408000C00020069") << survey::Shape::Foreign;
        QTest::newRow("other function") << krvProbe << wireHex("030306000C00020069") << survey::Shape::Foreign;
        QTest::newRow("meter status") << krvProbe << wireHex("0705") << survey::Shape::Foreign;
        QTest::newRow("eight inputs") << wireHex("030200000008") << wireHex("03020105") << survey::Shape::Answer;
        QTest::newRow("module function 70") << wireHex("034620") << wireHex("03462002050011")
                                            << survey::Shape::Answer;
        QTest::newRow("function 70 refused") << wireHex("034620") << wireHex("03C601") << survey::Shape::Refusal;
        QTest::newRow("answer from another address") << krvProbe << wireHex("040406000C00020069")
                                                     << survey::Shape::Foreign;
        QTest::newRow("refusal from another address") << krvProbe << wireHex("028402") << survey::Shape::Foreign;
    }
    void shape()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        QFETCH(survey::Shape, shape);
        QCOMPARE(survey::modbusShape(request, reinterpret_cast<const std::uint8_t *>(answer.constData()),
                                     int(answer.size())),
                 shape);
    }

    void lineOrder_data()
    {
        QTest::addColumn<QList<qint32>>("rates");
        QTest::addColumn<QList<int>>("parities");
        QTest::addColumn<QString>("lines");
        QTest::newRow("all rates, no parity")
            << AllRates << QList<int>{paNone}
            << "19200N 9600N 4800N 14400N 38400N 56000N 57600N 115200N 128000N";
        QTest::newRow("parities: none first") << QList<qint32>{9600} << QList<int>{paEven, paNone, paOdd}
                                              << "9600N 9600O 9600E";
        QTest::newRow("rate by rate") << QList<qint32>{115200, 19200} << QList<int>{paOdd, paNone}
                                      << "19200N 19200O 115200N 115200O";
        QTest::newRow("without the usual two") << QList<qint32>{57600, 4800} << QList<int>{paNone}
                                               << "4800N 57600N";
        QTest::newRow("twice chosen, tried once") << QList<qint32>{9600, 9600} << QList<int>{paNone, paNone}
                                                  << "9600N";
    }
    void lineOrder()
    {
        QFETCH(QList<qint32>, rates);
        QFETCH(QList<int>, parities);
        QFETCH(QString, lines);
        QList<TVaParity> p;
        for (int parity : parities)
            p << static_cast<TVaParity>(parity);
        QStringList names;
        for (const LineSettings &line : survey::lineOrder(rates, p))
            names << lineName(line);
        QCOMPARE(names.join(' '), lines);
    }

    void planProblem_data()
    {
        QTest::addColumn<QList<qint32>>("rates");
        QTest::addColumn<int>("parities");
        QTest::addColumn<int>("kinds");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<QString>("problem");
        QTest::newRow("all chosen") << QList<qint32>{9600} << 1 << 1 << 1 << 247 << QString();
        QTest::newRow("one address") << QList<qint32>{9600} << 1 << 1 << 5 << 5 << QString();
        QTest::newRow("no rate") << QList<qint32>{} << 1 << 1 << 1 << 1 << "Не выбрана ни одна скорость обмена.";
        QTest::newRow("no parity") << QList<qint32>{9600} << 0 << 1 << 1 << 1 << "Не выбрана ни одна четность.";
        QTest::newRow("no kind") << QList<qint32>{9600} << 1 << 0 << 1 << 1 << "Не выбран ни один тип устройств.";
        QTest::newRow("first above last") << QList<qint32>{9600} << 1 << 1 << 9 << 3
                                          << "Первый адрес (9) больше последнего (3).";
        QTest::newRow("nothing at all") << QList<qint32>{} << 0 << 0 << 1 << 1
                                        << "Не выбрана ни одна скорость обмена.\rНе выбрана ни одна четность.\r"
                                           "Не выбран ни один тип устройств.";
        QTest::newRow("address 0") << QList<qint32>{9600} << 1 << 1 << 0 << 3 << "Адреса должны быть от 1 до 247.";
    }
    void planProblem()
    {
        QFETCH(QList<qint32>, rates);
        QFETCH(int, parities);
        QFETCH(int, kinds);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(QString, problem);
        const Survey::Plan plan = planOf(rates, AllParities.mid(0, parities), first, last, AllTags.mid(0, kinds));
        QCOMPARE(survey::planProblem(plan), problem);
    }

    void durationText_data()
    {
        QTest::addColumn<double>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << 0.0 << "0 с";
        QTest::newRow("part of a second counts whole") << 36100.0 << "37 с";
        QTest::newRow("minutes") << 252000.0 << "4 мин 12 с";
        QTest::newRow("hours") << 7500000.0 << "2 ч 05 мин";
    }
    void durationText()
    {
        QFETCH(double, ms);
        QFETCH(QString, text);
        QCOMPARE(survey::durationText(ms), text);
    }

    void csvHoldsEveryHitInUtf8()
    {
        SurveyHit hit;
        hit.found.kind = DeviceWindowKind::KRV;
        hit.found.address = 12;
        hit.found.line = {9600, paEven};
        hit.id = {{QStringLiteral("Код: "), QStringLiteral("12")}, {QStringLiteral("Firmware Version: "), "1,05"}};
        hit.responseMs = 12.25;
        SurveyHit meter;
        meter.found.kind = DeviceWindowKind::SET4TM;
        meter.found.line = {19200, paNone};
        meter.responseMs = 4;
        const QByteArray csv = survey::csvBytes({hit, meter});
        QCOMPARE(QString::fromUtf8(csv),
                 QStringLiteral("Устройство,Адрес,Скорость,Четность,Идентификация,\"Ответ, мс\"\r\n"
                                "Блок релейной защиты KRV-A,12,9600,четн,\"Код: 12; Firmware Version: 1,05\",12.3\r\n"
                                "\"Счетчик эл.энергии СЭТ-4ТМ (10/0,4кВ)\",0,19200,нет,,4.0\r\n"));
    }
};

// The survey on the in-process simulated bus and a manual clock: the deadline
// the engine sets is declared passed as soon as the line has nothing more to
// say, that is when the probe has been heard and whatever answer it drew has
// arrived. The bus runs on real time, so a test takes what its exchanges take
// on the wire, not what their waits would.
class SurveyRig
{
public:
    struct Sent
    {
        LineSettings line;
        QByteArray frame;
    };

    SurveyRig()
    {
        bus.setThinkTimeMs(1);
        channel.setLinkFactory(sim::simLinkFactory(bus));
        QObject::connect(&bus, &sim::Bus::frameLogged,
                         [this](qint64, sim::Direction direction, const QByteArray &bytes, const QString &) {
                             if (direction == sim::Direction::Request)
                                 ++heard;
                             else if (direction == sim::Direction::Answer)
                                 answered += int(bytes.size());
                         });
        QObject::connect(&channel.port(), &TVaComm::OnRxBuf,
                         [this](const QByteArray &bytes) { received += int(bytes.size()); });
        QObject::connect(&channel.port(), &TVaComm::OnTxBuf,
                         [this](const QByteArray &bytes) { sent.append({channel.port().lineSettings(), bytes}); });
    }

    sim::Device *add(const char *kind, int address, LineSettings line)
    {
        sim::Device *device = bus.addDevice(sim::Bus::makeDevice(QString::fromLatin1(kind), std::uint8_t(address)));
        device->live = false;
        device->fixedBaud = line.baudRate;
        device->parity = line.parity;
        return device;
    }

    // Runs a started survey to its end; false when the line stops answering the rig.
    bool run(int maxSteps = 100000)
    {
        for (int step = 0; step < maxSteps && survey.isRunning(); ++step) {
            if (!QTest::qWaitFor([this] { return heard >= sent.size(); }, 3000))
                return false;
            if (!QTest::qWaitFor([this] { return received >= answered; }, 3000))
                return false;
            clock.fire();
        }
        return !survey.isRunning();
    }

    sim::Bus bus;
    BusChannel channel;
    ManualTickTimer clock;
    Survey survey{channel, clock};
    QList<Sent> sent;
    int heard = 0;
    int answered = 0;
    int received = 0;
};

class TestSurveyOnTheBus : public QObject
{
    Q_OBJECT
private slots:
    void sevenDevicesAtTheirOwnLinesAreAllFound()
    {
        SurveyRig rig;
        rig.add("b7720q", 1, {14400, paNone});
        rig.add("m7051", 2, {38400, paOdd});
        rig.add("krv", 3, {56000, paEven});
        rig.add("sensor", 4, {115200, paEven});
        rig.add("zdlt", 5, {19200, paNone});
        rig.add("controller", 6, {128000, paOdd});
        rig.add("set4tm", 7, {57600, paNone});
        QSignalSpy found(&rig.survey, &Survey::found);
        QSignalSpy finished(&rig.survey, &Survey::finished);
        rig.survey.start(planOf({14400, 19200, 38400, 56000, 57600, 115200, 128000}, AllParities, 1, 7));
        QVERIFY(rig.run());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).value<Survey::End>().how, Survey::End::How::Completed);
        QVERIFY(!rig.channel.isOpen());

        const QString point = QLocale().decimalPoint();
        struct Expected
        {
            DeviceWindowKind kind;
            int address;
            LineSettings line;
            Identification id;
        };
        // In the order the lines are tried: 19200 first, then from the slowest up.
        const QList<Expected> expected = {
            {DeviceWindowKind::ZDLT, 5, {19200, paNone}, {}},
            {DeviceWindowKind::B7720Q, 1, {14400, paNone}, {{"Firmware Version: ", "B3.00"}}},
            {DeviceWindowKind::M7051, 2, {38400, paOdd}, {{"Firmware Version:", "2.5.17"}}},
            {DeviceWindowKind::KRV,
             3,
             {56000, paEven},
             {{"Код: ", "12"}, {"Модель: ", "2"}, {"Firmware Version: ", "1" + point + "05"}}},
            {DeviceWindowKind::SET4TM, 0, {57600, paNone}, {}},
            {DeviceWindowKind::MLX, 4, {115200, paEven}, {{"Коэффициент теплоизлучения:", "0" + point + "8"}}},
            {DeviceWindowKind::C3940F, 6, {128000, paOdd}, {{"Версия Firmware: ", "01 от 15.02.23"}}},
        };
        const QList<SurveyHit> &hits = rig.survey.hits();
        QCOMPARE(hits.size(), expected.size());
        QCOMPARE(found.size(), expected.size());
        for (int i = 0; i < hits.size(); ++i) {
            const SurveyHit &hit = hits.at(i);
            QCOMPARE(hit.found.kind, expected.at(i).kind);
            QCOMPARE(hit.found.address, expected.at(i).address);
            QCOMPARE(lineName(hit.found.line), lineName(expected.at(i).line));
            QCOMPARE(hit.found.port, 2);
            QCOMPARE(hit.id, expected.at(i).id);
            QVERIFY(hit.responseMs > 0);
            QCOMPARE(int(survey::receptionOf(reinterpret_cast<const std::uint8_t *>(hit.found.answer.constData()),
                                             int(hit.found.answer.size()))),
                     int(survey::Reception::Complete));
        }
    }

    void eachDistinctProbeGoesOncePerAddress()
    {
        SurveyRig rig;
        rig.add("krv", 2, {19200, paNone});
        rig.survey.start(planOf({9600, 19200}, {paNone}, 1, 3));
        QVERIFY(rig.run());

        QList<QByteArray> at19200, at9600;
        for (const SurveyRig::Sent &s : rig.sent)
            (s.line.baudRate == 19200 ? at19200 : at9600) << s.frame;
        // The meter's probe once per line, then each address; the KRV-A at 2 is
        // told by the first probe, so the others are not sent there.
        QCOMPARE(at19200, QList<QByteArray>{MeterProbe} + addressedProbes(1) + addressedProbes(2).mid(0, 1)
                              + addressedProbes(3));
        // At 9600 the KRV-A hears nothing.
        QCOMPARE(at9600, QList<QByteArray>{MeterProbe} + addressedProbes(1) + addressedProbes(2) + addressedProbes(3));
        QCOMPARE(rig.survey.hits().size(), 1);
    }

    void silenceIsProbedAgainAsOftenAsAsked_data()
    {
        QTest::addColumn<int>("repeats");
        QTest::addColumn<int>("lostAnswers");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("probes"); // of the KRV-A probe to its address
        QTest::newRow("no repeat, answers the first") << 0 << 0 << true << 1;
        QTest::newRow("no repeat, answers only the second") << 0 << 1 << false << 1;
        QTest::newRow("one repeat, answers only the second") << 1 << 1 << true << 2;
        QTest::newRow("one repeat, answers only the third") << 1 << 2 << false << 2;
        QTest::newRow("three repeats, answers the fourth") << 3 << 3 << true << 4;
    }
    void silenceIsProbedAgainAsOftenAsAsked()
    {
        QFETCH(int, repeats);
        QFETCH(int, lostAnswers);
        QFETCH(bool, found);
        QFETCH(int, probes);
        SurveyRig rig;
        sim::Device *krv = rig.add("krv", 4, {115200, paNone});
        for (int i = 0; i < lostAnswers; ++i)
            krv->script.push_back(sim::Action::Drop);
        Survey::Plan plan = planOf({115200}, {paNone}, 4, 4, {TagKRV});
        plan.repeats = repeats;
        rig.survey.start(plan);
        QVERIFY(rig.run());
        QCOMPARE(rig.survey.hits().size(), found ? 1 : 0);
        QCOMPARE(int(rig.sent.size()), probes);
        if (found)
            QCOMPARE(rig.survey.hits().at(0).found.kind, DeviceWindowKind::KRV);
    }

    void aCorruptedAnswerIsProbedOnceMoreAndNeverReported_data()
    {
        QTest::addColumn<QList<int>>("faults");
        QTest::addColumn<int>("repeats");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("probes");
        const int corrupt = int(sim::Action::Corrupt), noise = int(sim::Action::Noise), drop = int(sim::Action::Drop);
        QTest::newRow("wrong CRC, then good") << QList<int>{corrupt} << 0 << true << 2;
        QTest::newRow("wrong CRC twice") << QList<int>{corrupt, corrupt} << 0 << false << 2;
        QTest::newRow("noise in front, then good") << QList<int>{noise} << 0 << true << 2;
        QTest::newRow("short answer twice") << QList<int>{int(sim::Action::Short), int(sim::Action::Short)} << 0
                                            << false << 2;
        // Repeats are for silence: they do not stretch the one retry of a corrupted answer.
        QTest::newRow("wrong CRC twice, repeats on") << QList<int>{corrupt, corrupt} << 3 << false << 2;
        QTest::newRow("silence, then wrong CRC, then good") << QList<int>{drop, corrupt} << 1 << true << 3;
    }
    void aCorruptedAnswerIsProbedOnceMoreAndNeverReported()
    {
        QFETCH(QList<int>, faults);
        QFETCH(int, repeats);
        QFETCH(bool, found);
        QFETCH(int, probes);
        SurveyRig rig;
        sim::Device *krv = rig.add("krv", 9, {57600, paNone});
        for (int fault : faults)
            krv->script.push_back(static_cast<sim::Action>(fault));
        Survey::Plan plan = planOf({57600}, {paNone}, 9, 9, {TagKRV});
        plan.repeats = repeats;
        rig.survey.start(plan);
        QVERIFY(rig.run());
        QCOMPARE(int(rig.sent.size()), probes);
        QCOMPARE(rig.survey.hits().size(), found ? 1 : 0);
        for (const SurveyHit &hit : rig.survey.hits()) {
            QCOMPARE(hit.found.kind, DeviceWindowKind::KRV);
            QCOMPARE(hit.found.answer, wireHex("090406000C00020069"));
        }
    }

    // One row per device: a refusal of another kind's probe, the meter's status
    // at its own address and a module serving a smaller module's probe do not
    // add rows; a refusal still counts where the kind's search would take it.
    void oneRowPerDevice_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QList<int>>("tags");
        QTest::addColumn<QList<int>>("rows"); // the kinds listed at the device's address
        const auto all = AllTags;
        using K = DeviceWindowKind;
        QTest::newRow("KRV-A refuses the others") << "krv" << all << QList<int>{int(K::KRV)};
        QTest::newRow("ZDLT-1 by its own probe") << "zdlt" << all << QList<int>{int(K::ZDLT)};
        QTest::newRow("ZDLT-1 refusing the KRV-A probe alone") << "zdlt" << QList<int>{TagKRV}
                                                               << QList<int>{int(K::ZDLT)};
        QTest::newRow("M-7051D also serves the B-7720Q probe") << "m7051" << all << QList<int>{int(K::M7051)};
        QTest::newRow("M-7051D for the B-7720Q probe alone") << "m7051" << QList<int>{TagB7720Q}
                                                             << QList<int>{int(K::B7720Q)};
        QTest::newRow("B-7720Q") << "b7720q" << all << QList<int>{int(K::B7720Q)};
        QTest::newRow("controller") << "controller" << all << QList<int>{int(K::C3940F)};
        QTest::newRow("sensor") << "sensor" << all << QList<int>{int(K::MLX)};
        QTest::newRow("meter: at 0 only") << "set4tm" << all << QList<int>{};
        QTest::newRow("meter for the ZDLT-1 probe alone") << "set4tm" << QList<int>{TagZDLT} << QList<int>{};
    }
    void oneRowPerDevice()
    {
        QFETCH(QString, device);
        QFETCH(QList<int>, tags);
        QFETCH(QList<int>, rows);
        SurveyRig rig;
        rig.add(device.toLatin1().constData(), 8, {115200, paNone})->exceptions = true;
        rig.survey.start(planOf({115200}, {paNone}, 7, 9, tags));
        QVERIFY(rig.run());
        QList<int> listed;
        for (const SurveyHit &hit : rig.survey.hits()) {
            if (hit.found.address != 0) {
                QCOMPARE(hit.found.address, 8);
                listed << int(hit.found.kind);
            }
        }
        QCOMPARE(listed, rows);
    }

    void stopAfterTheFirstFound()
    {
        SurveyRig rig;
        rig.add("b7720q", 2, {115200, paNone});
        rig.add("krv", 5, {115200, paNone});
        QSignalSpy finished(&rig.survey, &Survey::finished);
        Survey::Plan plan = planOf({115200, 57600}, {paNone}, 1, 9);
        plan.tags = {TagKRV, TagB7720Q};
        plan.stopAtFirst = true;
        rig.survey.start(plan);
        QVERIFY(rig.run());
        QCOMPARE(rig.survey.hits().size(), 1);
        QCOMPARE(rig.survey.hits().at(0).found.address, 2);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).value<Survey::End>().how, Survey::End::How::FirstFound);
        QVERIFY(!rig.channel.isOpen());
        QVERIFY(!rig.clock.isActive());
        QCOMPARE(rig.sent.last().frame, addressedProbes(2).at(5)); // nothing after the find
    }

    // "Стоп" from whatever the window does with a signal ends the survey at once,
    // with what was found kept.
    void stopEndsAtOnceAndKeepsWhatWasFound_data()
    {
        QTest::addColumn<QString>("signal");
        QTest::addColumn<int>("probes");
        QTest::addColumn<int>("hits");
        QTest::newRow("on a device found") << "found" << 1 << 1;
        QTest::newRow("on progress") << "progressed" << 0 << 0;
        QTest::newRow("on a line started") << "lineStarted" << 0 << 0;
    }
    void stopEndsAtOnceAndKeepsWhatWasFound()
    {
        QFETCH(QString, signal);
        QFETCH(int, probes);
        QFETCH(int, hits);
        SurveyRig rig;
        rig.add("krv", 1, {115200, paNone});
        QSignalSpy finished(&rig.survey, &Survey::finished);
        if (signal == QLatin1String("found"))
            connect(&rig.survey, &Survey::found, &rig.survey, &Survey::stop);
        else if (signal == QLatin1String("progressed"))
            connect(&rig.survey, &Survey::progressed, &rig.survey, &Survey::stop);
        else
            connect(&rig.survey, &Survey::lineStarted, &rig.survey, &Survey::stop);
        rig.survey.start(planOf({115200}, {paNone}, 1, 20, {TagKRV}));
        QVERIFY(rig.run());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).value<Survey::End>().how, Survey::End::How::Stopped);
        QCOMPARE(int(rig.survey.hits().size()), hits);
        QCOMPARE(int(rig.sent.size()), probes);
        QVERIFY(!rig.channel.isOpen());
        QVERIFY(!rig.clock.isActive());
    }
};

// The survey over in-memory links: what it asks of the port and the clock.
class TestSurveyEngine : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakePort> m_port;
    std::unique_ptr<ManualTickTimer> m_clock;
    std::unique_ptr<Survey> m_survey;
    qint64 m_nowUs = 0; // the engine's steady clock

private slots:
    void init()
    {
        m_port = std::make_unique<FakePort>();
        m_clock = std::make_unique<ManualTickTimer>();
        m_survey = std::make_unique<Survey>(m_port->channel, *m_clock);
        m_nowUs = 0;
        m_survey->setClock([this] { return m_nowUs; });
    }
    void cleanup()
    {
        m_survey.reset();
        m_port.reset();
    }

    // Silence ends after the probe's wire time and the wait, an answer 3.5
    // characters after its CRC came right, half an answer after the wait and a
    // FIFO's 16 characters.
    void deadlinesFollowTheLine_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("waitMs");
        QTest::addColumn<int>("silentMs");
        QTest::addColumn<int>("answeredMs");
        QTest::addColumn<int>("partialMs");
        // KRV-A probe: 8 bytes. 9600 8N1: 8.33 ms + 50; 3.65 ms; 50 + 16.7 ms.
        QTest::newRow("9600 8N1, 50 ms") << 9600 << int(paNone) << 50 << 58 << 4 << 67;
        // 19200 8E1: 4.58 ms + 10; 2.0 ms; 10 + 9.17 ms.
        QTest::newRow("19200 8E1, 10 ms") << 19200 << int(paEven) << 10 << 15 << 2 << 19;
        // 115200 8N1: 0.69 ms + 1000; 0.30 ms (a timer waits one); 1000 + 1.39 ms.
        QTest::newRow("115200 8N1, 1000 ms") << 115200 << int(paNone) << 1000 << 1001 << 1 << 1001;
    }
    void deadlinesFollowTheLine()
    {
        QFETCH(int, baud);
        QFETCH(int, parity);
        QFETCH(int, waitMs);
        QFETCH(int, silentMs);
        QFETCH(int, answeredMs);
        QFETCH(int, partialMs);
        Survey::Plan plan = planOf({baud}, {static_cast<TVaParity>(parity)}, 1, 1, {TagKRV});
        plan.waitMs = waitMs;
        m_survey->start(plan);
        QCOMPARE(m_port->link().written, addressedProbes(1).at(0));
        QCOMPARE(m_clock->interval(), silentMs);
        const QByteArray answer = wireHex("010406000C00020069");
        m_nowUs += 30000;
        m_port->link().receive(answer.left(4));
        QCOMPARE(m_clock->interval(), partialMs);
        m_nowUs += 2500;
        m_port->link().receive(answer.mid(4));
        QCOMPARE(m_clock->interval(), answeredMs);
        m_clock->fire();
        QVERIFY(!m_survey->isRunning());
        QCOMPARE(m_survey->hits().size(), 1);
        QCOMPARE(m_survey->hits().at(0).responseMs, 32.5); // from the probe to the answer's last piece
    }

    // What the one probe's answer shows, fall-backs included, as the kind's search takes it.
    void fallBacksAsTheSearchTakesThem_data()
    {
        QTest::addColumn<int>("tag");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<DeviceWindowKind>("kind");
        QTest::newRow("KRV-A probe, code 12 model 2") << int(TagKRV) << wireHex("010406000C00020069")
                                                      << DeviceWindowKind::KRV;
        QTest::newRow("KRV-A probe, other registers") << int(TagKRV) << wireHex("0104060001000100AA")
                                                      << DeviceWindowKind::ZDLT;
        QTest::newRow("KRV-A probe refused") << int(TagKRV) << wireHex("018402") << DeviceWindowKind::ZDLT;
        QTest::newRow("sensor probe, 6 bytes") << int(TagSensor) << wireHex("0103010F") << DeviceWindowKind::C3940F;
        QTest::newRow("sensor probe, emissivity over 1") << int(TagSensor) << wireHex("010306007B00C80065")
                                                         << DeviceWindowKind::None;
    }
    void fallBacksAsTheSearchTakesThem()
    {
        QFETCH(int, tag);
        QFETCH(QByteArray, answer);
        QFETCH(DeviceWindowKind, kind);
        m_survey->start(planOf({19200}, {paNone}, 1, 1, {tag}));
        m_nowUs += 20000;
        m_port->link().receive(answer);
        m_clock->fire();
        QVERIFY(!m_survey->isRunning());
        if (kind == DeviceWindowKind::None) {
            QCOMPARE(m_survey->hits().size(), 0);
            return;
        }
        QCOMPARE(m_survey->hits().size(), 1);
        QCOMPARE(m_survey->hits().at(0).found.kind, kind);
        QCOMPARE(m_survey->hits().at(0).found.answer, answer);
    }

    // The wait counts from the probe handed to the port: a slow write is part of it.
    void theWriteIsPartOfTheWait()
    {
        m_survey->setClock([this] { return m_nowUs += 3000; }); // every reading 3 ms on
        m_survey->start(planOf({9600}, {paNone}, 1, 1, {TagKRV}));
        QCOMPARE(m_clock->interval(), 55); // 8.33 ms + 50 ms, 3 ms of it gone
    }

    // The rest of an answer to the previous probe arrives before the device could
    // have heard this one: it is dropped, not taken for this probe's answer.
    void whatComesSoonerThanAnAnswerCanIsDropped_data()
    {
        QTest::addColumn<int>("afterUs");
        QTest::addColumn<int>("hits");
        // 115200 8N1: the ZDLT-1 probe takes 0.69 ms, the silence 0.30 ms, 11 bytes 0.95 ms.
        QTest::newRow("at once") << 0 << 0;
        QTest::newRow("sooner than its bytes") << 1500 << 0;
        QTest::newRow("as soon as it can") << 1950 << 1;
    }
    void whatComesSoonerThanAnAnswerCanIsDropped()
    {
        QFETCH(int, afterUs);
        QFETCH(int, hits);
        m_survey->start(planOf({115200}, {paNone}, 1, 1, {TagKRV, TagZDLT}));
        m_clock->fire(); // the KRV-A probe got nothing in time
        m_nowUs += afterUs;
        m_port->link().receive(wireHex("010406000C00020069")); // its answer, late
        m_clock->fire();
        QVERIFY(!m_survey->isRunning());
        QCOMPARE(m_survey->hits().size(), hits);
    }

    void aLineThePortRefusesIsNotedAndSkipped()
    {
        int opened = 0;
        // The second of the three lines (9600 odd) is refused as a pseudo-terminal refuses parity.
        m_port->links.prepare = [&opened](FakeLink &link) {
            if (++opened == 2)
                link.settingsError = {BusLink::ErrorKind::Settings, 22, QStringLiteral("Invalid argument")};
        };
        QSignalSpy refused(m_survey.get(), &Survey::lineRefused);
        QSignalSpy started(m_survey.get(), &Survey::lineStarted);
        m_survey->start(planOf({9600}, AllParities, 1, 1, {TagKRV}));
        while (m_survey->isRunning() && m_clock->fire()) {
        }
        QCOMPARE(refused.size(), 1);
        QCOMPARE(lineName(refused.at(0).at(0).value<LineSettings>()), QStringLiteral("9600O"));
        QCOMPARE(refused.at(0).at(1).toString(), QStringLiteral("Error writing dcb (22), Invalid argument"));
        QCOMPARE(started.size(), 2);
        QCOMPARE(lineName(started.at(1).at(0).value<LineSettings>()), QStringLiteral("9600E"));
        QVERIFY(!m_port->channel.isOpen());
    }

    void everyLineRefusedEndsTheSurveyWithAReason()
    {
        m_port->links.prepare = [](FakeLink &link) {
            link.settingsError = {BusLink::ErrorKind::Settings, 22, QStringLiteral("Invalid argument")};
        };
        QSignalSpy finished(m_survey.get(), &Survey::finished);
        m_survey->start(planOf({9600}, {paOdd, paEven}, 1, 1));
        QCOMPARE(finished.size(), 1);
        const auto end = finished.at(0).at(0).value<Survey::End>();
        QCOMPARE(end.how, Survey::End::How::Failed);
        QCOMPARE(end.error, QStringLiteral("Порт /dev/ttyUSB1 не принял ни одной из выбранных скоростей и четностей."));
    }

    void aPortThatCannotBeOpenedStartsNothing()
    {
        m_port->links.prepare = [](FakeLink &link) { link.openError = {BusLink::ErrorKind::NotFound, 2, {}}; };
        QSignalSpy finished(m_survey.get(), &Survey::finished);
        QVERIFY_THROWS_EXCEPTION(EVaCommError, m_survey->start(planOf(AllRates, AllParities, 1, 247)));
        QVERIFY(!m_survey->isRunning());
        QVERIFY(!m_clock->isActive());
        QCOMPARE(finished.size(), 0);
        QCOMPARE(m_port->links.devicesRequested, QStringList{QStringLiteral("/dev/ttyUSB1")}); // one try
    }

    void aBusyChannelStartsNothing()
    {
        m_port->channel.open(1, {19200, paNone}); // a search or a device window has it
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, m_survey->start(planOf({9600}, {paNone}, 1, 1)));
        QVERIFY(!m_survey->isRunning());
        QVERIFY(m_port->channel.isOpen());
        QCOMPARE(m_port->link().written, QByteArray());
    }

    // A network port connects with the event loop running; "Стоп" meanwhile
    // cancels the connection and ends the survey once, without an error.
    void stopWhileThePortConnects_data()
    {
        QTest::addColumn<int>("line"); // the opening the stop comes in, from 1
        QTest::newRow("the first line") << 1;
        QTest::newRow("a later line") << 2;
    }
    void stopWhileThePortConnects()
    {
        QFETCH(int, line);
        int opening = 0;
        m_port->links.prepare = [&](FakeLink &link) {
            if (++opening == line)
                link.duringOpen = [this] { m_survey->stop(); };
        };
        QSignalSpy finished(m_survey.get(), &Survey::finished);
        m_survey->start(planOf({9600, 19200, 38400}, {paNone}, 1, 1, {TagKRV}));
        while (m_survey->isRunning() && m_clock->fire()) {
        }
        QVERIFY(!m_survey->isRunning());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).value<Survey::End>().how, Survey::End::How::Stopped);
        QCOMPARE(opening, line); // no line opened after the stop
        QVERIFY(!m_port->channel.isOpen());
        QVERIFY(!m_port->port.Opening());
    }

    void closingTheChannelUnderTheSurveyStopsIt()
    {
        QSignalSpy finished(m_survey.get(), &Survey::finished);
        m_survey->start(planOf({9600, 19200}, {paNone}, 1, 9));
        m_clock->fire();
        m_port->channel.close(); // Ctrl+C in the main window
        QVERIFY(!m_survey->isRunning());
        QVERIFY(!m_clock->isActive());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).value<Survey::End>().how, Survey::End::How::Stopped);
        QCOMPARE(m_port->links.created.size(), 1); // no further line opened
    }

    void aLastingPortFaultEndsTheSurveyOnce()
    {
        QSignalSpy finished(m_survey.get(), &Survey::finished);
        m_survey->start(planOf({9600}, {paNone}, 1, 9));
        m_port->link().purgeError = {BusLink::ErrorKind::Purge, 5, QStringLiteral("Input/output error")};
        m_clock->fire();
        QVERIFY(!m_survey->isRunning());
        QVERIFY(!m_port->channel.isOpen());
        QCOMPARE(finished.size(), 1);
        const auto end = finished.at(0).at(0).value<Survey::End>();
        QCOMPARE(end.how, Survey::End::How::Failed);
        QCOMPARE(end.error, QStringLiteral("Error clearing buffers (5), Input/output error"));
    }

    void noiseThatNeverStopsEndsTheExchange()
    {
        QByteArray written;
        connect(&m_port->port, &TVaComm::OnTxBuf, this, [&written](const QByteArray &bytes) { written += bytes; });
        m_survey->start(planOf({9600}, {paNone}, 1, 1, {TagKRV}));
        // More than the longest frame, and more at every tick: the retry, then the end.
        for (int tick = 0; tick < 4 && m_survey->isRunning(); ++tick) {
            m_nowUs += 400000; // as long as 300 bytes take at 9600 bit/s
            m_port->link().receive(QByteArray(300, '\x55'));
            m_clock->fire();
        }
        QVERIFY(!m_survey->isRunning());
        QCOMPARE(m_survey->hits().size(), 0);
        QCOMPARE(written, addressedProbes(1).at(0) + addressedProbes(1).at(0));
    }

    void progressCountsDownTheTimeWithoutAnswers()
    {
        QList<Survey::Progress> seen;
        connect(m_survey.get(), &Survey::progressed, this, [&](const Survey::Progress &p) { seen << p; });
        Survey::Plan plan = planOf({9600, 19200}, {paNone}, 1, 2, {TagKRV, TagSET4TM});
        m_survey->start(plan);
        while (m_survey->isRunning() && m_clock->fire()) {
        }
        // Per line: the meter's 4 bytes and two KRV-A probes of 8, each with 50 ms.
        const double at19200 = (4 + 16) * 10 / 19.2 + 150, at9600 = (4 + 16) * 10 / 9.6 + 150;
        const double total = at19200 + at9600;
        QCOMPARE(seen.size(), 6);
        QCOMPARE(seen.at(0).address, 0);
        QCOMPARE(seen.at(1).address, 1);
        QCOMPARE(lineName(seen.at(3).line), QStringLiteral("9600N"));
        QVERIFY(std::abs(seen.at(0).leftMs - total) < 1e-6);
        QVERIFY(std::abs(seen.at(3).leftMs - at9600) < 1e-6);
        QVERIFY(std::abs(seen.at(3).fraction - at19200 / total) < 1e-9);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestSurveyExchange exchange;
    TestSurveyEngine engine;
    TestSurveyOnTheBus onTheBus;
    return QTest::qExec(&exchange, argc, argv) | QTest::qExec(&engine, argc, argv)
         | QTest::qExec(&onTheBus, argc, argv);
}
#include "test_survey.moc"
