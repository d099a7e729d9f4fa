#include "charts/chartpane.h"
#include "charts/chartwindow.h"
#include "charts/profilechart.h"
#include "support/testfixture.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QValueAxis>
#include <QtTest>

#include <memory>

using charts::ChartPane;

namespace {
constexpr qint64 Start = 1772708400000; // 2026-03-05, a quarter past ten UTC

Reading value(const QString &quantity, const QString &unit, double v)
{
    Reading r;
    r.quantity = quantity;
    r.unit = unit;
    r.value = v;
    return r;
}

Reading led(const QString &quantity, bool on)
{
    Reading r;
    r.quantity = quantity;
    r.value = on ? 1 : 0;
    r.state = true;
    return r;
}

// Every point drawn of a series, over all its pieces, and the pieces that hold any.
QList<QPointF> drawn(const ChartPane *pane, int index)
{
    QList<QPointF> all;
    for (const QLineSeries *piece : pane->pieces(index))
        all += piece->points();
    return all;
}

// A value as the cursor's line shows it: its spaces do not break.
QString shownValue(const char *text)
{
    return QString::fromUtf8(text).replace(QLatin1Char(' '), QChar(0x00A0));
}

int piecesInUse(const ChartPane *pane, int index)
{
    int n = 0;
    for (const QLineSeries *piece : pane->pieces(index))
        n += piece->count() > 0 ? 1 : 0;
    return n;
}
} // namespace

class TestChartWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFixture> m_fixture;
    std::unique_ptr<ReadingStream> m_stream;
    std::unique_ptr<TFChart> m_chart;
    qint64 m_now = Start;

    TFChart &chart() { return *m_chart; }

    // One answer of a KRV-A-like device every 100 ms.
    void feed(int answers, double base = 10)
    {
        for (int i = 0; i < answers; ++i) {
            m_now += 100;
            m_stream->publish({value("Ia", "А", base + i), value("Ib", "А", base + 2 * i), value("F", "Гц", 50.0),
                               led("Авария", i % 2 == 1)});
        }
    }

    bool open(std::size_t capacity = charts::SeriesStore::DefaultCapacity)
    {
        m_chart = std::make_unique<TFChart>(*m_stream, QStringLiteral("КРВ-А, адрес 30"), nullptr, capacity);
        m_chart->show();
        return QTest::qWaitForWindowExposed(m_chart.get());
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<TestFixture>();
        m_stream = std::make_unique<ReadingStream>();
        m_now = Start;
        m_stream->setClock([this] { return m_now; });
    }

    void cleanup()
    {
        m_chart.reset();
        m_stream.reset();
        QVERIFY2(m_fixture->clean(), m_fixture->report());
        m_fixture.reset();
    }

    void readingsBecomePointsOfTheirSeries()
    {
        QVERIFY(open());
        QCOMPARE(chart().windowTitle(), QStringLiteral("График: КРВ-А, адрес 30"));
        m_stream->beginTest();
        feed(3);
        chart().TimerRefreshTimer();

        const charts::SeriesStore &store = chart().store();
        const int ia = store.indexOf("Ia", "А", false), ib = store.indexOf("Ib", "А", false);
        const int f = store.indexOf("F", "Гц", false), alarm = store.indexOf("Авария", "", true);
        ChartPane *amps = chart().paneOf(ia);
        QVERIFY(amps && !amps->isStates());
        QCOMPARE(amps->unit(), QStringLiteral("А"));
        QCOMPARE(chart().paneOf(ib), amps);
        QVERIFY(chart().paneOf(f) != amps);
        QCOMPARE(chart().paneOf(f)->unit(), QStringLiteral("Гц"));
        QVERIFY(chart().paneOf(alarm)->isStates());
        QCOMPARE(chart().panes().back(), chart().paneOf(alarm)); // the states at the bottom

        const double t1 = double(Start + 100), t2 = double(Start + 200), t3 = double(Start + 300);
        QCOMPARE(drawn(amps, ia), (QList<QPointF>{{t1, 10}, {t2, 11}, {t3, 12}}));
        QCOMPARE(drawn(amps, ib), (QList<QPointF>{{t1, 10}, {t2, 12}, {t3, 14}}));
        QCOMPARE(drawn(chart().paneOf(f), f), (QList<QPointF>{{t1, 50}, {t3, 50}})); // a level line by its ends
        // Off, on, off: as steps.
        QCOMPARE(drawn(chart().paneOf(alarm), alarm),
                 (QList<QPointF>{{t1, 0}, {t2, 0}, {t2, 1}, {t3, 1}, {t3, 0}}));
        QCOMPARE(chart().paneOf(ia)->pieces(ia).value(0)->name(), QStringLiteral("Ia, А"));
        QCOMPARE(component<QCheckBox>(&chart(), "CheckBoxIa")->text(), QStringLiteral("Ia, А"));
        QCOMPARE(component<QCheckBox>(&chart(), "CheckBoxАвария")->text(), QStringLiteral("Авария"));
        QVERIFY(chart().StaticTextPoints->text().startsWith(QStringLiteral("Точек: 12")));
    }

    void aGapBetweenTestsIsNotJoined()
    {
        QVERIFY(open());
        m_stream->beginTest();
        feed(5);
        m_stream->endTest();
        m_now += 30000;
        m_stream->beginTest();
        feed(5);
        chart().TimerRefreshTimer();
        const int ia = chart().store().indexOf("Ia", "А", false);
        QCOMPARE(piecesInUse(chart().paneOf(ia), ia), 2);
        QCOMPARE(drawn(chart().paneOf(ia), ia).size(), 10);
    }

    void aCheckBoxHidesItsSeriesAndAnEmptyPane()
    {
        QVERIFY(open());
        feed(3);
        chart().TimerRefreshTimer();
        const int ia = chart().store().indexOf("Ia", "А", false), ib = chart().store().indexOf("Ib", "А", false);
        const int f = chart().store().indexOf("F", "Гц", false);
        ChartPane *amps = chart().paneOf(ia);

        chart().checkBoxOf(ia)->click();
        QVERIFY(!chart().paneOf(ia)->pieces(ia).value(0)->isVisible());
        QVERIFY(chart().paneOf(ib)->pieces(ib).value(0)->isVisible());
        QVERIFY(amps->isVisible());
        chart().pointAt(Start + 200);
        QVERIFY(!chart().StaticTextCursor->text().contains(QStringLiteral("Ia:")));
        QVERIFY(chart().StaticTextCursor->text().contains(shownValue("Ib: 12 А")));

        chart().checkBoxOf(ib)->click();
        QVERIFY(!amps->isVisible());
        QVERIFY(chart().paneOf(f)->isVisible());

        chart().checkBoxOf(ia)->click();
        QVERIFY(amps->isVisible());
        QVERIFY(chart().paneOf(ia)->pieces(ia).value(0)->isVisible());
    }

    void valuesUnderTheCursor()
    {
        QVERIFY(open());
        feed(3);
        chart().TimerRefreshTimer();
        chart().pointAt(Start + 210);
        const QString text = chart().StaticTextCursor->text();
        QVERIFY2(text.contains(shownValue("Ia: 11 А")), qPrintable(text));
        QVERIFY2(text.contains(shownValue("F: 50 Гц")), qPrintable(text));
        QVERIFY2(text.contains(shownValue("Авария: вкл")), qPrintable(text));
        QVERIFY2(text.contains(QDateTime::fromMSecsSinceEpoch(Start + 210).toString("HH:mm:ss.zzz")), qPrintable(text));
        chart().pointAt(std::nullopt);
        QVERIFY(!chart().StaticTextCursor->text().contains(QStringLiteral("Ia:")));
    }

    void theWindowChoiceLimitsTheTimeAxis_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<qint64>("spanMs");
        QTest::newRow("1 min") << 0 << qint64(60000);
        QTest::newRow("5 min") << 1 << qint64(300000);
        QTest::newRow("15 min") << 2 << qint64(900000);
        QTest::newRow("60 min") << 3 << qint64(3600000);
        QTest::newRow("all") << 4 << qint64(2 * 3600000 - 1000);
    }
    void theWindowChoiceLimitsTheTimeAxis()
    {
        QFETCH(int, choice);
        QFETCH(qint64, spanMs);
        QVERIFY(open());
        // Two hours, one answer a second.
        for (int i = 0; i < 7200; ++i) {
            m_now += 1000;
            m_stream->publish({value("Ua", "В", 220 + i % 20)});
        }
        chart().ComboBoxWindow->setCurrentIndex(choice);
        chart().TimerRefreshTimer();
        const qint64 end = Start + 7200 * 1000;
        QCOMPARE(chart().shownRange(), std::make_pair(end - spanMs, end));
        ChartPane *pane = chart().paneOf(0);
        QCOMPARE(pane->timeAxis()->min().toMSecsSinceEpoch(), end - spanMs);
        QCOMPARE(pane->timeAxis()->max().toMSecsSinceEpoch(), end);
        const QList<QPointF> points = drawn(pane, 0);
        QVERIFY(!points.isEmpty());
        QVERIFY(points.constFirst().x() >= double(end - spanMs - 1000)); // one point before the window at most
        QCOMPARE(points.constLast().x(), double(end));
    }

    void pauseFreezesTheViewNotTheStore()
    {
        QVERIFY(open());
        feed(10);
        chart().TimerRefreshTimer();
        chart().BitBtnPause->click();
        QCOMPARE(chart().BitBtnPause->text(), QStringLiteral("Продолжить"));
        const std::pair<qint64, qint64> range = chart().shownRange();
        const QList<QPointF> before = drawn(chart().paneOf(0), 0);

        feed(10, 100);
        chart().TimerRefreshTimer();
        QTest::qWait(2 * TFChart::RefreshMs);
        QCOMPARE(chart().shownRange(), range);
        QCOMPARE(drawn(chart().paneOf(0), 0), before);
        QCOMPARE(chart().store().series(0).size(), std::size_t(20));

        chart().BitBtnPause->click();
        QCOMPARE(chart().BitBtnPause->text(), QStringLiteral("Пауза"));
        QCOMPARE(drawn(chart().paneOf(0), 0).size(), 20);
        QCOMPARE(chart().shownRange().second, m_now);
    }

    // A reading is drawn once the time window has moved on by a pixel column; less would move nothing.
    void redrawnWhenTheLinesMoveAPixel_data()
    {
        QTest::addColumn<int>("stepMs");
        QTest::addColumn<bool>("redrawn");
        QTest::newRow("a few ms on") << 20 << false;
        QTest::newRow("a minute on") << 60000 << true;
    }
    void redrawnWhenTheLinesMoveAPixel()
    {
        QFETCH(int, stepMs);
        QFETCH(bool, redrawn);
        QVERIFY(open());
        feed(10);
        chart().TimerRefreshTimer();
        QTest::qWait(50); // the panes settle their layout
        chart().TimerRefreshTimer();
        QSignalSpy replaced(chart().paneOf(0)->pieces(0).value(0), &QXYSeries::pointsReplaced);
        m_now += stepMs - 100; // feed() adds its own 100 ms
        feed(1, 500);
        chart().TimerRefreshTimer();
        QCOMPARE(replaced.size() > 0, redrawn);
        QCOMPARE(chart().store().series(0).size(), std::size_t(11)); // kept all the same
    }

    void readingsAfterAZoomedWindowRedrawNothing()
    {
        QVERIFY(open());
        feed(600);
        chart().TimerRefreshTimer();
        chart().zoomTo(Start + 10000, Start + 20000);
        chart().TimerRefreshTimer();
        QSignalSpy replaced(chart().paneOf(0)->pieces(0).value(0), &QXYSeries::pointsReplaced);
        feed(10);
        chart().TimerRefreshTimer();
        QCOMPARE(replaced.size(), 0);
    }

    // A device window's chart shows the device window's store; some lines start switched off.
    void aChartOfAGivenStoreWithLinesSwitchedOff()
    {
        charts::SeriesStore store;
        store.listen(*m_stream);
        feed(5); // before the chart opens
        QWidget device;
        device.setWindowTitle(QStringLiteral("КРВ-А"));
        QPointer<TFChart> chart = TFChart::open(store, *m_stream, &device, {QStringLiteral("Ib")});
        QVERIFY(QTest::qWaitForWindowExposed(chart.data()));
        const int ia = store.indexOf("Ia", "А", false), ib = store.indexOf("Ib", "А", false);
        QCOMPARE(&chart->store(), &store);
        QVERIFY(chart->checkBoxOf(ia)->isChecked());
        QVERIFY(!chart->checkBoxOf(ib)->isChecked());
        QCOMPARE(drawn(chart->paneOf(ia), ia).size(), 5);
        QVERIFY(drawn(chart->paneOf(ib), ib).isEmpty());
        chart->checkBoxOf(ib)->click();
        QCOMPARE(drawn(chart->paneOf(ib), ib).size(), 5);
        chart->close();
        QTRY_VERIFY(chart.isNull());
        QCOMPARE(store.series(ia).size(), std::size_t(5)); // the store stays with its owner
    }

    void aLongNameIsCutShortWithTheWholeInItsTip()
    {
        QVERIFY(open());
        const QString name = QStringLiteral("Превышена допустимая величина накопленного тока выключателя");
        m_stream->publish({led(name, true), led(QStringLiteral("Пуск"), false)});
        chart().TimerRefreshTimer();
        const QCheckBox *longBox = chart().checkBoxOf(chart().store().indexOf(name, QString(), true));
        QVERIFY(longBox->text().size() < name.size());
        QVERIFY(longBox->text().startsWith(QStringLiteral("Превышена")));
        QCOMPARE(longBox->toolTip(), name);
        const QCheckBox *shortBox = chart().checkBoxOf(chart().store().indexOf("Пуск", QString(), true));
        QCOMPARE(shortBox->text(), QStringLiteral("Пуск"));
        QVERIFY(shortBox->toolTip().isEmpty());
    }

    void nothingIsDrawnWhileIdleOrHidden()
    {
        QVERIFY(open());
        feed(10);
        chart().TimerRefreshTimer();
        QTest::qWait(50); // the panes settle their layout
        chart().TimerRefreshTimer();
        QSignalSpy replaced(chart().paneOf(0)->pieces(0).value(0), &QXYSeries::pointsReplaced);
        chart().TimerRefreshTimer();
        chart().TimerRefreshTimer();
        QCOMPARE(replaced.size(), 0);

        chart().hide();
        feed(10);
        chart().TimerRefreshTimer();
        QCOMPARE(replaced.size(), 0);
        chart().show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart()));
        QVERIFY(replaced.size() > 0);
        QCOMPARE(drawn(chart().paneOf(0), 0).size(), 20);
    }

    void zoomingWithTheMouseZoomsEveryPaneUntilReset()
    {
        QVERIFY(open());
        chart().ComboBoxWindow->setCurrentIndex(4); // all
        feed(600);
        chart().TimerRefreshTimer();
        const std::pair<qint64, qint64> full = chart().shownRange();
        ChartPane *amps = chart().paneOf(0);
        // A rubber band over the middle half of the plot, drawn with the mouse.
        const QRectF plot = amps->chart()->plotArea();
        const QPoint from = amps->mapFromScene(plot.left() + plot.width() / 4, plot.center().y());
        const QPoint to = amps->mapFromScene(plot.right() - plot.width() / 4, plot.center().y() + 10);
        QTest::mousePress(amps->viewport(), Qt::LeftButton, {}, from);
        QTest::mouseMove(amps->viewport(), to);
        QTest::mouseRelease(amps->viewport(), Qt::LeftButton, {}, to);
        QTRY_VERIFY(chart().BitBtnZoomReset->isEnabled());
        const std::pair<qint64, qint64> zoomed = chart().shownRange();
        QVERIFY(zoomed.first > full.first && zoomed.second < full.second);
        for (ChartPane *pane : chart().panes())
            if (pane->isVisible())
                QCOMPARE(pane->timeAxis()->min().toMSecsSinceEpoch(), zoomed.first);
        const QList<QPointF> points = drawn(amps, 0);
        QVERIFY(points.size() < 600);

        feed(10); // the zoomed range stays put while data comes
        chart().TimerRefreshTimer();
        QCOMPARE(chart().shownRange(), zoomed);

        chart().BitBtnZoomReset->click();
        QVERIFY(!chart().BitBtnZoomReset->isEnabled());
        QCOMPARE(chart().shownRange().second, m_now);
        QCOMPARE(drawn(amps, 0).size(), 610);
    }

    void droppedPointsAreCounted()
    {
        QVERIFY(open(50));
        feed(80);
        chart().TimerRefreshTimer();
        QCOMPARE(chart().StaticTextPoints->text(), QStringLiteral("Точек: 200, старых отброшено: 120"));
    }

    void csvIsSavedWhole()
    {
        QVERIFY(open());
        feed(3);
        const QString path = m_fixture->path(QStringLiteral("chart.csv"));
        m_fixture->dialogs.answerSave(path);
        chart().BitBtnSaveCsv->click();
        QVERIFY(m_fixture->dialogs.lastSaveProposal.endsWith(QStringLiteral(".csv")));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), 1 + 12 + 1);
        QCOMPARE(lines.at(0), QStringLiteral("Время,Величина,Единица,Значение\r").toUtf8());
        QVERIFY(lines.at(1).endsWith(QStringLiteral(",Ia,А,10\r").toUtf8()));
        QVERIFY(lines.at(11).endsWith(QStringLiteral(",F,Гц,50\r").toUtf8()));
        QVERIFY(lines.at(12).endsWith(QStringLiteral(",Авария,,0\r").toUtf8()));
    }

    void aFileThatCannotBeWrittenIsReportedAndKept()
    {
        QVERIFY(open());
        feed(3);
        const QString folder = m_fixture->path(QStringLiteral("taken"));
        QVERIFY(QDir().mkpath(folder));
        m_fixture->dialogs.answerSave(folder);
        m_fixture->dialogs.expectError(QStringLiteral("Не удалось записать данные графика в файл ") + folder
                                       + QStringLiteral(":\rПод этим именем уже есть папка."));
        chart().BitBtnSaveCsv->click();
        QVERIFY(QFileInfo(folder).isDir());
    }

    void cancellingTheDialogWritesNothing()
    {
        QVERIFY(open());
        feed(3);
        m_fixture->dialogs.answerSave(QString());
        chart().BitBtnSavePng->click();
        QCOMPARE(QDir(m_fixture->path(".")).entryList({"*.png"}, QDir::Files).size(), 0);
    }

    void pngIsAPictureOfTheCharts()
    {
        QVERIFY(open());
        feed(50);
        chart().TimerRefreshTimer();
        const QString path = m_fixture->path(QStringLiteral("chart.png"));
        m_fixture->dialogs.answerSave(path);
        chart().BitBtnSavePng->click();
        QImage image;
        QVERIFY(image.load(path, "PNG"));
        QVERIFY(!image.isNull());
        QCOMPARE(image.size(), chart().PanelCharts->size() * image.devicePixelRatio());
        QVERIFY(image.width() > 100 && image.height() > 100);
    }

    void standsBesideTheDeviceWindow_data()
    {
        QTest::addColumn<int>("deviceLeft");
        QTest::addColumn<int>("chartWidth");
        QTest::addColumn<bool>("onTheRight");
        QTest::addColumn<bool>("narrowed");
        QTest::newRow("room on the right") << 10 << 300 << true << false;
        QTest::newRow("room on the left only") << 450 << 300 << false << false;
        QTest::newRow("room on neither side: narrower on the wider") << 10 << 700 << true << true;
    }
    void standsBesideTheDeviceWindow()
    {
        QFETCH(int, deviceLeft);
        QFETCH(int, chartWidth);
        QFETCH(bool, onTheRight);
        QFETCH(bool, narrowed);
        QWidget device;
        device.setGeometry(deviceLeft, 20, 200, 150);
        device.show();
        QVERIFY(QTest::qWaitForWindowExposed(&device));
        const QRect screen = device.screen()->availableGeometry();
        QVERIFY(screen.width() >= 700);
        if (narrowed && screen.right() - 210 >= chartWidth)
            QSKIP("the screen has room for the chart beside the device window");
        TFChart beside(*m_stream, QStringLiteral("КРВ-А"));
        beside.resize(chartWidth, 200);
        beside.placeBeside(&device);
        const QRect frame = device.frameGeometry();
        const int frameWidth = frame.width() - device.width(); // the chart's frame is alike, once shown
        if (onTheRight)
            QCOMPARE(beside.x(), frame.right() + 1);
        else
            QCOMPARE(beside.x() + beside.width() + frameWidth, frame.left());
        QCOMPARE(beside.y(), frame.top());
        if (narrowed)
            QCOMPARE(beside.x() + beside.width() + frameWidth - 1, screen.right());
        else
            QCOMPARE(beside.width(), chartWidth);
    }

    void opensAsAWindowOfTheDeviceWindowAndClosesWithIt()
    {
        auto device = std::make_unique<QWidget>();
        device->setWindowTitle(QStringLiteral("КРВ-А"));
        device->show();
        QVERIFY(QTest::qWaitForWindowExposed(device.get()));
        QPointer<TFChart> opened = TFChart::open(*m_stream, device.get());
        QVERIFY(QTest::qWaitForWindowExposed(opened.data()));
        QCOMPARE(opened->windowTitle(), QStringLiteral("График: КРВ-А"));
        QVERIFY(opened->isWindow());
        QVERIFY(!opened->isModal());
        opened->close();
        QTRY_VERIFY(opened.isNull()); // it deletes itself
        QPointer<TFChart> again = TFChart::open(*m_stream, device.get());
        device.reset();
        QVERIFY(again.isNull());
    }

    // Period labels stand upright where they fit side by side, else they turn.
    void profileLabelsTurnWhenCrowded_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("angle");
        QTest::newRow("wide, few") << 900 << 4 << 0;
        QTest::newRow("narrow, a dozen") << 320 << 12 << -90;
    }
    void profileLabelsTurnWhenCrowded()
    {
        QFETCH(int, width);
        QFETCH(int, records);
        TProfileChart profile;
        profile.setVisibleRecords(12);
        profile.resize(width, 300);
        profile.show();
        QVERIFY(QTest::qWaitForWindowExposed(&profile));
        for (int i = 0; i < records; ++i)
            profile.addRecord(QDateTime(QDate(2026, 3, 5), QTime(10, 0)).addSecs(1800 * i), 1, 0, 1, 0);
        auto *periods = qobject_cast<QBarCategoryAxis *>(profile.ChartProfile->chart()->axes(Qt::Horizontal).value(0));
        QVERIFY(periods);
        QFETCH(int, angle);
        QTRY_COMPARE(int(periods->labelsAngle()), angle);
    }

    void profileChartHasABarPerRecord()
    {
        TProfileChart profile;
        profile.resize(700, 400);
        profile.show();
        QVERIFY(QTest::qWaitForWindowExposed(&profile));
        profile.addRecord(QStringLiteral("00:30"), 12.5, 0, 3.25, 0.5);
        profile.addRecord(QDateTime(QDate(2026, 3, 5), QTime(1, 0)), 11, 0.25, 3, 0);
        profile.addRecord(QDateTime(QDate(2026, 3, 5), QTime(1, 30)), 9, 0, 2, 0);
        profile.addRecord(QDateTime(QDate(2026, 3, 6), QTime(0, 0)), 8, 0, 2, 0);
        profile.addRecord(QStringLiteral("00:30"), 10, 0, 2, 1); // the same period again (a clock set back)
        QCOMPARE(profile.recordCount(), 5);
        QCOMPARE(profile.barSet(TProfileChart::PPlus)->count(), 5);
        QCOMPARE(profile.barSet(TProfileChart::PPlus)->at(0), 12.5);
        QCOMPARE(profile.barSet(TProfileChart::PMinus)->at(1), 0.25);
        QCOMPARE(profile.barSet(TProfileChart::PPlus)->at(4), 10.0);
        QCOMPARE(profile.barSet(TProfileChart::QPlus)->at(2), 2.0);
        QCOMPARE(profile.barSet(TProfileChart::QMinus)->at(0), 0.5);
        QCOMPARE(profile.labels(), (QStringList{"00:30", "05.03 01:00", "01:30", "06.03 00:00", "00:30 (2)"}));
        QVERIFY(profile.barSet(TProfileChart::QMinus)->label().contains(QStringLiteral("квар")));
        QVERIFY(!profile.ScrollBarRecords->isVisible());

        for (int i = 0; i < TProfileChart::VisibleRecords; ++i)
            profile.addRecord(QStringLiteral("r%1").arg(i), i, 0, 0, 0);
        QCOMPARE(profile.barSet(TProfileChart::PPlus)->count(), 5 + TProfileChart::VisibleRecords);
        QVERIFY(profile.ScrollBarRecords->isVisible());
        QCOMPARE(profile.ScrollBarRecords->value(), 5); // the newest shown

        profile.clear();
        QCOMPARE(profile.recordCount(), 0);
        QCOMPARE(profile.barSet(TProfileChart::PPlus)->count(), 0);
        QVERIFY(!profile.ScrollBarRecords->isVisible());
    }
};

QTEST_MAIN(TestChartWindow)
#include "test_chartwindow.moc"
