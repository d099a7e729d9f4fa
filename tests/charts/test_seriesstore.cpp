#include "charts/decimation.h"
#include "charts/seriesstore.h"

#include <QtTest>

#include <cmath>

using namespace charts;

namespace {
Reading value(const QString &quantity, const QString &unit, double v, qint64 t)
{
    Reading r;
    r.quantity = quantity;
    r.unit = unit;
    r.value = v;
    r.timeMs = t;
    return r;
}

Reading state(const QString &quantity, bool on, qint64 t)
{
    Reading r;
    r.quantity = quantity;
    r.value = on ? 1 : 0;
    r.timeMs = t;
    r.state = true;
    return r;
}

// The runs of a series as "first time..last time" texts.
QStringList runs(const Series &s)
{
    QStringList out;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s.startsRun(i))
            out << QString::number(s.at(i).timeMs);
    for (int k = 0; k < out.size(); ++k) {
        const std::size_t start = s.lowerBound(out[k].toLongLong());
        out[k] += QStringLiteral("..") + QString::number(s.at(s.nextRunStart(start) - 1).timeMs);
    }
    return out;
}
} // namespace

class TestSeriesStore : public QObject
{
    Q_OBJECT

private slots:
    void keepsTheNewestPointsUpToTheBound_data()
    {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("added");
        QTest::addColumn<int>("kept");
        QTest::addColumn<int>("dropped");
        QTest::newRow("below the bound") << 10 << 7 << 7 << 0;
        QTest::newRow("at the bound") << 10 << 10 << 10 << 0;
        QTest::newRow("one over") << 10 << 11 << 10 << 1;
        QTest::newRow("far over") << 10 << 1005 << 10 << 995;
        QTest::newRow("bound of one") << 1 << 3 << 1 << 2;
    }
    void keepsTheNewestPointsUpToTheBound()
    {
        QFETCH(int, capacity);
        QFETCH(int, added);
        QFETCH(int, kept);
        QFETCH(int, dropped);
        SeriesStore store(static_cast<std::size_t>(capacity));
        for (int i = 0; i < added; ++i)
            store.add({value("Ia", "А", i, 1000 + i), value("Ib", "А", -i, 1000 + i)});
        QCOMPARE(store.count(), 2);
        const Series &ia = store.series(0);
        QCOMPARE(int(ia.size()), kept);
        QCOMPARE(int(ia.dropped()), dropped);
        QCOMPARE(ia.at(0).value, double(added - kept)); // the oldest went first
        QCOMPARE(ia.last().value, double(added - 1));
        QCOMPARE(int(store.dropped()), 2 * dropped);
        QCOMPARE(int(store.pointCount()), 2 * kept);
    }

    void eachTestIsARunOfItsOwnAndAllAreKept()
    {
        ReadingStream stream;
        qint64 now = 5000;
        stream.setClock([&now] { return now; });
        SeriesStore store;
        store.listen(stream);
        for (int test = 0; test < 3; ++test) {
            stream.beginTest();
            for (int i = 0; i < 4; ++i) {
                now += 100;
                stream.publish({value("Ua", "В", 230 + i, 0)});
            }
            now += 100;
            stream.endTest();
            now += 10000;
        }
        const Series &ua = store.series(0);
        QCOMPARE(int(ua.size()), 12);
        QCOMPARE(runs(ua), (QStringList{"5100..5400", "15600..15900", "26100..26400"}));
        QCOMPARE(store.firstTime(), std::optional<qint64>(5100));
        QCOMPARE(store.lastTime(), std::optional<qint64>(26500)); // the end of the last test
    }

    void droppingTheOldestKeepsTheGapsOfTheRest()
    {
        SeriesStore store(5);
        store.add({value("F", "Гц", 50, 100)});
        store.add({value("F", "Гц", 50, 200)});
        store.markTestBound(250);
        for (qint64 t = 300; t <= 700; t += 100)
            store.add({value("F", "Гц", 49.9, t)});
        store.markTestBound(750);
        store.add({value("F", "Гц", 50.1, 800)});
        const Series &f = store.series(0);
        QCOMPARE(int(f.dropped()), 3);
        QCOMPARE(runs(f), (QStringList{"400..700", "800..800"}));
    }

    void statesAndValuesAreSeparateSeries()
    {
        SeriesStore store;
        store.add({value("Ia", "А", 12.5, 1), state("Ia", true, 1), state("Авария", true, 1), value("Ia", "мА", 3, 1)});
        store.add({value("Ia", "А", 12.75, 2), state("Ia", false, 2), state("Авария", false, 2), value("Ia", "мА", 4, 2)});
        QCOMPARE(store.count(), 4);
        const int amps = store.indexOf("Ia", "А", false);
        const int led = store.indexOf("Ia", "", true);
        const int milliamps = store.indexOf("Ia", "мА", false);
        QVERIFY(amps >= 0 && led >= 0 && milliamps >= 0 && amps != led && amps != milliamps);
        QCOMPARE(store.series(amps).at(1).value, 12.75);
        QVERIFY(!store.series(amps).isState());
        QVERIFY(store.series(led).isState());
        QCOMPARE(store.series(led).at(0).value, 1.0);
        QCOMPARE(store.series(led).at(1).value, 0.0);
        QCOMPARE(store.series(milliamps).at(1).value, 4.0);
        QCOMPARE(store.series(amps).title(), QStringLiteral("Ia, А"));
        QCOMPARE(store.series(store.indexOf("Авария", "", true)).title(), QStringLiteral("Авария"));
    }

    void aStateIsOnOrOff_data()
    {
        QTest::addColumn<double>("given");
        QTest::addColumn<double>("stored");
        QTest::newRow("0") << 0.0 << 0.0;
        QTest::newRow("1") << 1.0 << 1.0;
        QTest::newRow("any other") << 255.0 << 1.0;
        QTest::newRow("negative") << -1.0 << 1.0;
    }
    void aStateIsOnOrOff()
    {
        QFETCH(double, given);
        QFETCH(double, stored);
        SeriesStore store;
        Reading r = state("Вход 1", false, 10);
        r.value = given;
        store.add({r});
        QCOMPARE(store.series(0).at(0).value, stored);
    }

    void aBatchInAnotherOrderFindsItsSeries()
    {
        SeriesStore store;
        store.add({value("Ua", "В", 1, 10), value("Ub", "В", 2, 10)});
        store.add({value("Ub", "В", 20, 20), value("Ua", "В", 10, 20), value("Uc", "В", 30, 20)});
        QCOMPARE(store.count(), 3);
        QCOMPARE(store.series(0).last().value, 10.0);
        QCOMPARE(store.series(1).last().value, 20.0);
        QCOMPARE(store.series(2).quantity(), QStringLiteral("Uc"));
    }

    void aClockSetBackKeepsThePointsInOrder()
    {
        SeriesStore store;
        store.add({value("T1", "°C", 20, 1000)});
        store.add({value("T1", "°C", 21, 900)});
        store.add({value("T1", "°C", 22, 1100)});
        const Series &t = store.series(0);
        QCOMPARE(int(t.size()), 3);
        QCOMPARE(t.at(1).timeMs, qint64(1000));
        QCOMPARE(t.at(1).value, 21.0);
        QCOMPARE(t.lowerBound(1050), std::size_t(2));
    }

    void valueUnderTheCursor_data()
    {
        QTest::addColumn<bool>("isState");
        QTest::addColumn<qint64>("at");
        QTest::addColumn<double>("expected"); // NaN: none
        const double none = std::nan("");
        QTest::newRow("value before the data") << false << qint64(50) << none;
        QTest::newRow("value at a point") << false << qint64(200) << 2.0;
        QTest::newRow("value nearer the earlier") << false << qint64(240) << 2.0;
        QTest::newRow("value nearer the later") << false << qint64(260) << 3.0;
        QTest::newRow("value in the gap") << false << qint64(500) << none;
        QTest::newRow("value in the second run") << false << qint64(1000) << 5.0;
        QTest::newRow("value after the data") << false << qint64(1200) << none;
        QTest::newRow("state holds until the next") << true << qint64(290) << 0.0;
        QTest::newRow("state at its change") << true << qint64(300) << 1.0;
        QTest::newRow("state in the gap") << true << qint64(500) << none;
    }
    void valueUnderTheCursor()
    {
        QFETCH(bool, isState);
        QFETCH(qint64, at);
        QFETCH(double, expected);
        SeriesStore store;
        const double values[] = {1, 2, 3, 4};
        for (int i = 0; i < 4; ++i) {
            Reading r = isState ? state("Вход 1", i % 2 == 0, 100 * (i + 1)) : value("Ia", "А", values[i], 100 * (i + 1));
            store.add({r});
        }
        store.markTestBound(450);
        store.add({isState ? state("Вход 1", true, 900) : value("Ia", "А", 5, 900)});
        store.add({isState ? state("Вход 1", true, 1100) : value("Ia", "А", 6, 1100)});
        const std::optional<double> got = store.series(0).valueAt(at);
        if (std::isnan(expected))
            QVERIFY2(!got, qPrintable(QString::number(got.value_or(0))));
        else
            QCOMPARE(got, std::optional<double>(expected));
    }

    void thinningKeepsExtremesAndGaps()
    {
        // Ten thousand points on a 100-pixel plot, a spike in the middle, a gap between two tests.
        SeriesStore store;
        for (int i = 0; i < 5000; ++i)
            store.add({value("Ia", "А", i == 2500 ? 99.0 : 10.0 + (i % 7) * 0.1, i)});
        store.markTestBound(5000);
        for (int i = 6000; i < 11000; ++i)
            store.add({value("Ia", "А", i == 8000 ? -5.0 : 10.0, i)});
        const QList<QList<QPointF>> lines = decimate(store.series(0), {0, 11000, 100, 0});
        QCOMPARE(lines.size(), 2);
        // Each line spans its run to the last pixel column, and no further.
        QCOMPARE(lines[0].constFirst(), QPointF(0, 10.0));
        QVERIFY(lines[0].constLast().x() > 4999 - 110 && lines[0].constLast().x() <= 4999);
        QVERIFY(lines[1].constFirst().x() >= 6000 && lines[1].constFirst().x() < 6000 + 110);
        QVERIFY(lines[1].constLast().x() > 10999 - 110 && lines[1].constLast().x() <= 10999);
        for (const QList<QPointF> &line : lines)
            QVERIFY2(line.size() <= 2 * 100, qPrintable(QString::number(line.size())));
        QVERIFY(lines[0].contains(QPointF(2500, 99.0)));
        QVERIFY(lines[0].contains(QPointF(6, 10.6)));
        QVERIFY(lines[1].contains(QPointF(8000, -5.0)));
        for (const QList<QPointF> &line : lines)
            for (int k = 1; k < line.size(); ++k)
                QVERIFY(line[k].x() >= line[k - 1].x());
    }

    void thinningReachesTheWindowEdges()
    {
        SeriesStore store;
        for (int i = 0; i < 10; ++i)
            store.add({value("U", "В", i, 1000 * i)});
        const QList<QList<QPointF>> lines = decimate(store.series(0), {2500, 6500, 400, 0});
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines[0], (QList<QPointF>{{2000, 2}, {3000, 3}, {4000, 4}, {5000, 5}, {6000, 6}, {7000, 7}}));
    }

    void aStateIsDrawnAsSteps()
    {
        SeriesStore store;
        const bool on[] = {false, false, true, true, false};
        for (int i = 0; i < 5; ++i)
            store.add({state("Авария", on[i], 100 * i)});
        const QList<QList<QPointF>> lines = decimate(store.series(0), {0, 400, 200, 3.0});
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines[0], (QList<QPointF>{{0, 3}, {200, 3}, {200, 4}, {400, 4}, {400, 3}}));
    }

    // A level stretch is drawn by its ends; every change of level, however short, stays.
    void aLevelStretchKeepsItsEndsOnly_data()
    {
        QTest::addColumn<QList<double>>("values"); // one a second from 0 on
        QTest::addColumn<QList<QPointF>>("drawn");
        QTest::newRow("steady") << QList<double>{5, 5, 5, 5, 5} << QList<QPointF>{{0, 5}, {4000, 5}};
        QTest::newRow("one spike") << QList<double>{5, 5, 9, 5, 5, 5}
                                   << QList<QPointF>{{0, 5}, {1000, 5}, {2000, 9}, {3000, 5}, {5000, 5}};
        QTest::newRow("two levels") << QList<double>{1, 1, 1, 2, 2, 2}
                                    << QList<QPointF>{{0, 1}, {2000, 1}, {3000, 2}, {5000, 2}};
        QTest::newRow("always moving") << QList<double>{1, 2, 1, 2}
                                       << QList<QPointF>{{0, 1}, {1000, 2}, {2000, 1}, {3000, 2}};
    }
    void aLevelStretchKeepsItsEndsOnly()
    {
        QFETCH(QList<double>, values);
        QFETCH(QList<QPointF>, drawn);
        SeriesStore store;
        for (int i = 0; i < values.size(); ++i)
            store.add({value("Ia", "А", values[i], 1000 * i)});
        const QList<QList<QPointF>> lines = decimate(store.series(0), {0, 10000, 400, 0});
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines[0], drawn);
    }

    // Round steps, the values inside, and no more ticks than the pane has room for.
    void valueAxisScale_data()
    {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<int>("maxTicks");
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<int>("ticks");
        QTest::newRow("power factor in a short pane") << 0.88 << 0.92 << 3 << 0.88 << 0.92 << 3;
        QTest::newRow("quarter steps") << 0.876 << 0.924 << 3 << 0.875 << 0.925 << 3;
        QTest::newRow("currents from zero") << 0.0 << 2515.0 << 5 << 0.0 << 3000.0 << 4;
        QTest::newRow("phase voltages") << 225.3 << 234.7 << 4 << 225.0 << 235.0 << 3;
        QTest::newRow("frequency") << 49.93 << 50.07 << 3 << 49.9 << 50.1 << 3;
        QTest::newRow("negative power, one step too many at first") << -2.5 << -0.5 << 3 << -4.0 << 0.0 << 3;
        QTest::newRow("one value") << 5.0 << 5.0 << 3 << 5.0 << 6.0 << 3;
    }
    void valueAxisScale()
    {
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(int, maxTicks);
        const AxisScale scale = niceScale(low, high, maxTicks);
        QTEST(scale.min, "min");
        QTEST(scale.max, "max");
        QTEST(scale.ticks, "ticks");
        QVERIFY(scale.min <= low && scale.max >= high);
        QVERIFY(scale.ticks <= maxTicks);
    }
};

QTEST_GUILESS_MAIN(TestSeriesStore)
#include "test_seriesstore.moc"
