#include "meterwindow_rig.h"

#include "charts/chartpane.h"
#include "charts/chartwindow.h"
#include "charts/profilechart.h"
#include "widgets/rxspinedit.h"

#include <QFileInfo>
#include <QLocale>
#include <QPushButton>
#include <QTabWidget>
#include <QBarSet>
#include <QCheckBox>
#include <QTableWidget>

using namespace set4tmtest;

namespace {
QDateTime meterTime(int hour, int minute)
{
    return QDateTime(QDate(2026, 12, 8), QTime(hour, minute), Qt::UTC);
}

QStringList rowCells(const QTableWidget *grid, int row)
{
    QStringList cells;
    for (int c = 0; c < grid->columnCount(); ++c)
        cells << (grid->item(row, c) ? grid->item(row, c)->text() : QString());
    return cells;
}
} // namespace

// The meter window's test: the cycle, the monitoring values, the power profile,
// the summary and the report.
class TestSet4tmDiagnostics : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFixture> m_fixture;
    std::unique_ptr<MeterRig> m_rig;

    ScriptedDialogs &dialogs() { return m_fixture->dialogs; }
    MeterRig &rig() { return *m_rig; }
    void stop()
    {
        dialogs().expectInformation(Finished);
        rig().window->BitBtnStopClick();
    }
    void showTab(int index) { rig().child<QTabWidget>("PageControl1")->setCurrentIndex(index); }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    void init()
    {
        m_fixture = std::make_unique<TestFixture>();
        m_rig = std::make_unique<MeterRig>(m_fixture->dialogs);
        sim::Set4tmDevice &m = *rig().meter;
        m.aux.voltage = {23000, 22950, 23100};
        m.aux.current = {5000, 0, 12345};
        m.aux.frequency = 5001;
        m.aux.powerFactor = 92;
        m.aux.activePower = -1000;
        m.aux.reactivePower = 500;
        m.energy = {0x00012345, 0, 2500, 0};
        m.previousDayEnergy = {12500, 250, 0, 0};
    }
    void cleanup()
    {
        m_rig.reset();
        QVERIFY2(m_fixture->clean(), m_fixture->report());
        m_fixture.reset();
    }

    // With the ratios unknown the scaled values cannot be computed: they keep
    // their placeholder, the rest is shown and counted as usual.
    void monitoringShowsTheValues_data()
    {
        QTest::addColumn<bool>("ratiosRead");
        QTest::addColumn<QStringList>("scaled"); // P, Q, A+, A-, R+, R- since reset and of the previous day
        const QString idle = QString::fromLatin1(TTestWindow::IdleValue);
        QTest::newRow("ratios read") << true
                                     << QStringList{"-2", "1", "29,826", "0", "1", "0", "5", "0,1", "0", "0"};
        QTest::newRow("ratios not read") << false << QStringList(10, idle);
    }
    void monitoringShowsTheValues()
    {
        QFETCH(bool, ratiosRead);
        QFETCH(QStringList, scaled);
        if (!ratiosRead) {
            rig().meter->reply("0802", "01");
            dialogs().expectWarning(codeMessage("01"));
        }
        rig().openAndRead();
        showTab(1);
        rig().startManual();
        QVERIFY(rig().valueSteps());
        const char *scaledFields[] = {"StaticTextP",  "StaticTextQ",   "StaticTextA1",  "StaticTextA2",  "StaticTextR1",
                                      "StaticTextR2", "StaticTextA01", "StaticTextA02", "StaticTextR01", "StaticTextR02"};
        QStringList shown;
        for (const char *field : scaledFields)
            shown << rig().text(field);
        QCOMPARE(shown, scaled);
        QStringList measured;
        for (const char *field : {"StaticTextUa", "StaticTextUb", "StaticTextUc", "StaticTextIa", "StaticTextIb",
                                  "StaticTextIc", "StaticTextF", "StaticTextCos"})
            measured << rig().text(field);
        QCOMPARE(measured, (QStringList{"230", "229,5", "231", "0,5", "0", "1,2345", "50,01", "0,92"}));

        stop();
        QVERIFY(rig().window->journalLines().contains(QStringLiteral("Принято без ошибок: 13")));
        QCOMPARE(rig().child<QTabWidget>("PageControl1")->currentIndex(), 0);
        QCOMPARE(rig().text("StaticTextUa"), QString::fromLatin1(TTestWindow::IdleValue));
        QCOMPARE(rig().text("StaticTextA01"), QString::fromLatin1(TTestWindow::IdleValue));
    }

    // The pointer check and the record run whatever tab is shown; the values only
    // on the monitoring tab.
    void powerProfile_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("initialReadLost");
        QTest::addColumn<int>("pointer");
        QTest::addColumn<QDateTime>("stamp");
        QTest::addColumn<QStringList>("row");
        QTest::addColumn<QStringList>("journal");
        QTest::newRow("one period on: the record") << 0 << false << 8 << meterTime(14, 30)
                                                   << QStringList{"08.12.2026", "14:00:00", "1", "0", "0,5", "0"}
                                                   << QStringList();
        QTest::newRow("two periods on: journalled") << 2 << false << 16 << meterTime(15, 0) << QStringList()
                                                    << QStringList{"Физический адрес: 0000",
                                                                   "Дата и Время: 08.12.2026 14:00:00",
                                                                   "Физический адрес(нов): 0010",
                                                                   "Дата и Время(нов): 08.12.2026 15:00:00",
                                                                   "power_str_time = 14:30:00",
                                                                   "next_power_str_time = 15:00:00"};
        QTest::newRow("initial read lost") << 2 << true << 0 << meterTime(14, 0) << QStringList()
                                           << QStringList{"Физический адрес: FFFF",
                                                          "Дата и Время: 30.12.1899",
                                                          "Физический адрес(нов): 0000",
                                                          "Дата и Время(нов): 08.12.2026 14:00:00",
                                                          "power_str_time = 00:30:00",
                                                          "next_power_str_time = 14:00:00"};
    }
    void powerProfile()
    {
        QFETCH(int, tab);
        QFETCH(bool, initialReadLost);
        QFETCH(int, pointer);
        QFETCH(QDateTime, stamp);
        QFETCH(QStringList, row);
        QFETCH(QStringList, journal);
        rig().openAndRead();
        showTab(tab);
        if (initialReadLost) // the channel opens, the pointer answer is damaged
            rig().meter->script = {sim::Action::Answer, sim::Action::Corrupt};
        rig().startManual();
        QVERIFY(rig().valueSteps());
        // The meter closes the running period: its record is complete and the pointer moves on.
        rig().meter->profile.writeRecord(0, {1250, 0, 625, 0});
        rig().meter->profile.pointer = static_cast<std::uint16_t>(pointer);
        rig().meter->profile.sliceStart = stamp;
        QVERIFY(rig().exchange(10));
        if (!row.isEmpty())
            QVERIFY(rig().exchange(11));
        QVERIFY(rig().exchange(19)); // the cycle starts again
        QCOMPARE(rig().host.frames().TxFrame[2], std::uint8_t(0x50));

        const QTableWidget *grid = rig().child<QTableWidget>("StringGrid1");
        QStringList header;
        for (int c = 0; c < grid->columnCount(); ++c)
            header << grid->horizontalHeaderItem(c)->text();
        QCOMPARE(header, (QStringList{"Дата", "Время", "P+ (кВт)", "P- (кВт)", "Q+ (кВАр)", "Q- (кВАр)"}));
        QCOMPARE(grid->rowCount(), row.isEmpty() ? 1 : 2);
        QCOMPARE(rowCells(grid, grid->rowCount() - 1), QStringList(6, QString())); // the last row stays empty
        if (!row.isEmpty())
            QCOMPARE(rowCells(grid, 0), row);
        // Beside the table, a bar group per row with the row's values.
        const TProfileChart *bars = rig().window->findChild<TProfileChart *>();
        QVERIFY(bars);
        QCOMPARE(bars->recordCount(), grid->rowCount() - 1);
        for (int r = 0; r < bars->recordCount(); ++r)
            for (int q = 0; q < TProfileChart::QuantityCount; ++q)
                QCOMPARE(bars->barSet(TProfileChart::Quantity(q))->at(r), QLocale().toDouble(rowCells(grid, r).at(2 + q)));
        QStringList lines = rig().window->journalLines().mid(1);
        if (initialReadLost) {
            QVERIFY2(lines.value(0).startsWith(QStringLiteral("->050804")), qPrintable(lines.value(0)));
            QVERIFY2(lines.value(1).startsWith(QStringLiteral("<-05")), qPrintable(lines.value(1)));
            lines = lines.mid(2);
        }
        QCOMPARE(lines, journal);
        QCOMPARE(rig().text("StaticTextUa"), QString::fromLatin1(TTestWindow::IdleValue));
        stop();
        const int accepted = 14 + (row.isEmpty() ? 0 : 1) + (initialReadLost ? 0 : 1);
        QVERIFY(rig().window->journalLines().contains(QStringLiteral("Принято без ошибок: %1").arg(accepted)));
        QCOMPARE(grid->rowCount(), row.isEmpty() ? 1 : 2); // the table keeps its rows
    }

    // Three periods in a row: three table rows, three bar groups labelled with their periods.
    void theProfileChartHasABarGroupPerRow()
    {
        rig().openAndRead();
        rig().startManual();
        for (int k = 0; k < 3; ++k) {
            QVERIFY(rig().valueSteps());
            rig().meter->profile.writeRecord(static_cast<std::uint16_t>(8 * k),
                                             {1250u * static_cast<std::uint32_t>(k + 1), 0, 625, 1250});
            rig().meter->profile.pointer = static_cast<std::uint16_t>(8 * (k + 1));
            rig().meter->profile.sliceStart = meterTime(14, 0).addSecs(1800 * (k + 1));
            QVERIFY(rig().exchange(10));
            QVERIFY(rig().exchange(11));
        }
        const QTableWidget *grid = rig().child<QTableWidget>("StringGrid1");
        QCOMPARE(grid->rowCount(), 4);
        const TProfileChart *bars = rig().window->findChild<TProfileChart *>();
        QCOMPARE(bars->labels(), (QStringList{"08.12 14:00", "14:30", "15:00"}));
        for (int r = 0; r < 3; ++r) {
            QCOMPARE(bars->barSet(TProfileChart::PPlus)->at(r), double(r + 1));
            QCOMPARE(bars->barSet(TProfileChart::PMinus)->at(r), 0.0);
            QCOMPARE(bars->barSet(TProfileChart::QPlus)->at(r), 0.5);
            QCOMPARE(bars->barSet(TProfileChart::QMinus)->at(r), 1.0);
        }
        QVERIFY(rig().child<QTabWidget>("PageControl1")->isAncestorOf(bars));
        stop();
        QCOMPARE(bars->recordCount(), 3); // kept with the table's rows
    }

    // The chart gets the values with the monitoring tab hidden; the energies wait switched off.
    void theChartDrawsTheValuesAndKeepsTheEnergiesOff()
    {
        rig().openAndRead();
        rig().startManual();
        QVERIFY(rig().valueSteps());
        rig().window->BitBtnChartClick();
        TFChart *chart = rig().window->chart();
        QVERIFY(chart && QTest::qWaitForWindowExposed(chart));
        QCOMPARE(chart->windowTitle(), QStringLiteral("График: ") + rig().window->windowTitle());
        const charts::SeriesStore &store = chart->store();
        const struct
        {
            const char *quantity, *unit;
            double value;
            bool shown;
        } expected[] = {{"Ua", "В", 230, true}, {"Ic", "A", 1.2345, true}, {"F", "Гц", 50.01, true},
                        {"cos φ", "", 0.92, true}, {"P", "Вт", -2, true}, {"A+", "кВт*ч", 29.826, false},
                        {"R+ за сутки", "кВАр*ч", 0, false}};
        for (const auto &e : expected) {
            const int index = store.indexOf(QString::fromUtf8(e.quantity), QString::fromUtf8(e.unit), false);
            QVERIFY2(index >= 0, e.quantity);
            QCOMPARE(store.series(index).size(), std::size_t(1));
            QCOMPARE(store.series(index).last().value, e.value);
            QCOMPARE(chart->checkBoxOf(index)->isChecked(), e.shown);
            QCOMPARE(chart->paneOf(index)->isVisible(), e.shown);
        }
        QCOMPARE(rig().child<QTabWidget>("PageControl1")->currentIndex(), 0);
        stop();
    }

    void summaryButtonsAndReport()
    {
        rig().openAndRead();
        rig().startManual();
        QVERIFY(rig().exchange(19));
        rig().window->TimerTestTimer(); // step 2 goes out, its answer is never judged
        stop();
        const QStringList j = rig().window->journalLines();
        QVERIFY(j.at(j.size() - 16).startsWith(QStringLiteral("Тест остановлен в ")));
        QCOMPARE(j.mid(j.size() - 14), (QStringList{"[КОНФИГУРАЦИЯ СЭТ-4ТМ]",
                                                    "Сетевой адрес: 5",
                                                    "Скорость обмена: 19200",
                                                    "Разрешить помечать",
                                                    "неполные срезы мощности: ДА",
                                                    "Время интегр.мощности: 30",
                                                    "",
                                                    "[ДИАГНОСТИКА СЭТ-4ТМ]",
                                                    "Количество тестовых посылок: 50",
                                                    "Интервал опроса: 300мсек.",
                                                    "Отправлено посылок: 2",
                                                    "Принято без ошибок: 2",
                                                    "Принято с ошибками: 0",
                                                    "Утеряно посылок: 0"}));

        const QString path = m_fixture->path(QStringLiteral("report.log"));
        dialogs().answerSave(path);
        rig().window->BitBtnReportClick();
        const QDate today = QDate::currentDate();
        QCOMPARE(QFileInfo(dialogs().lastSaveProposal).fileName(),
                 QStringLiteral("СЭТ4ТМ02-%1-%2-%3.log").arg(today.day()).arg(today.month()).arg(today.year()));
        QVERIFY(QFileInfo::exists(path));
        dialogs().answerSave(QString());
        dialogs().expectInformation(QStringLiteral("Журнал не сохранен!"));
        rig().window->BitBtnReportClick();
    }

    // The pointer read of the start is one of the test's requests: the automatic
    // stop reports the count as sent, and a lost answer is not hidden.
    void automaticStopCountsTheLostAnswer()
    {
        rig().openAndRead();
        rig().startManual(50);
        rig().meter->script = {sim::Action::Drop};
        rig().window->TimerTestTimer(); // step 1, its answer lost on the line
        QTRY_COMPARE(rig().host.bus.counters().dropped, 1);
        const int lengths[] = {19, 19, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 10};
        for (int k = 0; k < 49; ++k) {
            if (k == 48)
                dialogs().expectInformation(Finished); // the 51st request is never judged
            QVERIFY(rig().exchange(lengths[k % 13]));
        }
        QVERIFY(!rig().window->testRunning());
        const QStringList j = rig().window->journalLines();
        QCOMPARE(j.mid(j.size() - 4), (QStringList{"Отправлено посылок: 50", "Принято без ошибок: 49",
                                                   "Принято с ошибками: 0", "Утеряно посылок: 1"}));
    }

    // The port already lost at the start: the open-channel step says the port is
    // closed and the window closes, as on any closed port; the test never runs.
    void startOnALostPortClosesTheWindow()
    {
        rig().openAndRead();
        dialogs().expectError(QStringLiteral("Связь с портом /dev/ttyUSB0 потеряна: адаптер отключен или порт закрыт.\r"
                                             "Проверьте подключение и повторите поиск устройства."));
        rig().host.bus.unplug();
        QTRY_COMPARE(dialogs().texts("error").size(), 1);
        dialogs().expectError(QStringLiteral("Порт закрыт!\rПроверьте параметры подключения и повторите поиск устройства."));
        rig().window->BitBtnStartClick();
        QCOMPARE(dialogs().texts("error").size(), 2);
        QVERIFY(!rig().window->testRunning());
        QVERIFY(!rig().window->isVisible());
    }

    // The port goes while the start talks to the meter: one message, and the
    // window is idle again whichever exchange the loss fell into.
    void portLostDuringTheStart_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("summaryEnd");
        const QString lost = QStringLiteral("Связь с портом /dev/ttyUSB0 потеряна: адаптер отключен или порт закрыт.\r");
        const QString check = QStringLiteral("Проверьте подключение и повторите поиск устройства.");
        // Nothing has started yet: the last journal stays as it was.
        QTest::newRow("open channel") << QByteArray::fromHex("0501") << lost + check << QStringList();
        QTest::newRow("pointer read")
            << QByteArray::fromHex("050804")
            << lost + QStringLiteral("Тест остановлен. Результаты теста содержатся в журнале ошибок.\r") + check
            << QStringList{"Отправлено посылок: 0", "Принято без ошибок: 0", "Принято с ошибками: 0",
                           "Утеряно посылок: 0"};
    }
    void portLostDuringTheStart()
    {
        QFETCH(QByteArray, request);
        QFETCH(QString, message);
        QFETCH(QStringList, summaryEnd);
        rig().openAndRead();
        const QStringList before = rig().window->journalLines();
        // The meter keeps silent to that request, and the adapter goes while the start waits for it.
        connect(&rig().host.bus, &sim::Bus::frameLogged, this,
                [this, request](qint64, sim::Direction d, const QByteArray &bytes, const QString &) {
                    if (d == sim::Direction::Request && bytes.startsWith(request))
                        QTimer::singleShot(0, &rig().host.bus, [this] { rig().host.bus.unplug(); });
                });
        rig().meter->dropWhen = request;
        dialogs().expectError(message);
        rig().window->BitBtnStartClick();
        QCOMPARE(dialogs().texts("error").size(), 1);
        QVERIFY(!rig().window->testRunning());
        QVERIFY(rig().child<QPushButton>("BitBtnStart")->isEnabled());
        QVERIFY(!rig().child<QPushButton>("BitBtnStop")->isEnabled());
        const QStringList j = rig().window->journalLines();
        if (summaryEnd.isEmpty())
            QCOMPARE(j, before);
        else
            QCOMPARE(j.mid(j.size() - 4), summaryEnd);
        rig().window->TimerTestTimer(); // a late tick: nothing more
        QCOMPARE(dialogs().texts("error").size(), 1);
        QVERIFY(rig().window->isVisible());
    }

    // A status that closes the window lets the start run to its end first.
    void channelRefusedAtTheStartClosesTheWindow()
    {
        rig().openAndRead();
        rig().meter->reply("01", "04");
        dialogs().expectWarning(QStringLiteral("Устройство занято!"));
        const QList<QByteArray> &sent = rig().host.requestsFromNow();
        rig().window->BitBtnStartClick();
        QCOMPARE(sent, onWire({OpenAt5, "050804"}));
        QVERIFY(!rig().window->isVisible());
        QVERIFY(!rig().window->testRunning());
    }
};

QTEST_MAIN(TestSet4tmDiagnostics)
#include "test_set4tmdiagnostics.moc"
