#include "charts/chartpane.h"
#include "charts/chartwindow.h"
#include "devices/b7720qmain.h"
#include "devices/krvmain.h"
#include "devices/m7051main.h"
#include "devices/mlxmain.h"
#include "devices/zdltmain.h"
#include "sim/modules.h"
#include "sim/relays.h"
#include "sim/thermal.h"
#include "support/simrig.h"
#include "support/testfixture.h"
#include "widgets/rxspinedit.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineSeries>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include <memory>

using charts::ChartPane;

namespace {
const QString Finished = QStringLiteral("Тест завершен!\rРезультаты теста содержатся в журнале ошибок.");

enum Kind { KRV, ZDLT, B7720Q, M7051, Sensor };

// Every point drawn of a series, over all its pieces.
QList<QPointF> drawn(const ChartPane *pane, int index)
{
    QList<QPointF> all;
    for (const QLineSeries *piece : pane->pieces(index))
        all += piece->points();
    return all;
}

int piecesInUse(const ChartPane *pane, int index)
{
    int n = 0;
    for (const QLineSeries *piece : pane->pieces(index))
        n += piece->count() > 0 ? 1 : 0;
    return n;
}
} // namespace

// The chart of a device window: what the window's tests read, drawn whatever tab
// the window shows, kept over the window's life, in a window that stays usable
// beside the modal device window and goes with it.
class TestDeviceChart : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFixture> m_fixture;
    std::unique_ptr<SimHost> m_host;
    std::unique_ptr<TTestWindow> m_window;
    int m_answerBytes = 0;
    qint64 m_now = 0;

    template <typename T>
    T *child(const char *name)
    {
        return component<T>(m_window.get(), QString::fromLatin1(name));
    }

    // A window of `kind` on the simulated bus, its device frozen at the values the rows expect.
    void openWindow(Kind kind)
    {
        sim::Bus &bus = m_host->bus;
        switch (kind) {
        case KRV: {
            auto *krv = static_cast<sim::KrvDevice *>(bus.addDevice(std::make_unique<sim::KrvDevice>(1)));
            krv->live = false;
            krv->currents = {12345, 0, 7, 0, 250000, 0, 0, 0};
            krv->statusWord = 0x0001;
            m_window = std::make_unique<TFKRV>(*m_host, nullptr);
            m_answerBytes = 45;
            break;
        }
        case ZDLT: {
            auto *zdlt = static_cast<sim::ZdltDevice *>(bus.addDevice(std::make_unique<sim::ZdltDevice>(1)));
            zdlt->live = false;
            zdlt->registers[sim::ZdltDevice::Frequency] = 499;
            m_window = std::make_unique<TFZDLT>(*m_host, nullptr);
            m_answerBytes = 33;
            break;
        }
        case B7720Q: {
            auto *module = static_cast<sim::B7720qDevice *>(bus.addDevice(std::make_unique<sim::B7720qDevice>(1)));
            module->live = false;
            module->inputs = 0x81;
            m_window = std::make_unique<TFB7720Q>(*m_host, nullptr);
            m_answerBytes = 6;
            break;
        }
        case M7051: {
            auto *module = static_cast<sim::M7051Device *>(bus.addDevice(std::make_unique<sim::M7051Device>(1)));
            module->live = false;
            module->inputs = 0x8001;
            m_window = std::make_unique<TFM7051>(*m_host, nullptr);
            m_answerBytes = 7;
            break;
        }
        case Sensor: {
            auto *sensor = static_cast<sim::SensorDevice *>(bus.addDevice(std::make_unique<sim::SensorDevice>(1)));
            sensor->live = false;
            sensor->surface = 2500;
            sensor->air = 2330;
            m_window = std::make_unique<TFMLX>(*m_host, nullptr);
            m_answerBytes = 9;
            break;
        }
        }
        m_host->comm.Open();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    // A test whose ticks run when the test says; the window stays on its first tab.
    void startManual()
    {
        child<TRxSpinEdit>("RxSpinEditCount")->setValue(50);
        m_window->BitBtnStartClick();
        child<QTimer>("TimerTest")->stop();
    }
    [[nodiscard]] bool exchanges(int n)
    {
        for (int i = 0; i < n; ++i)
            if (!m_host->exchange(*m_window, m_answerBytes))
                return false;
        return true;
    }
    void stop()
    {
        m_fixture->dialogs.expectInformation(Finished);
        m_window->BitBtnStopClick();
    }
    TFChart *openChart()
    {
        child<QPushButton>("BitBtnChart")->click();
        TFChart *chart = m_window->chart();
        if (chart && !QTest::qWaitForWindowExposed(chart))
            return nullptr;
        return chart;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    void init()
    {
        m_fixture = std::make_unique<TestFixture>();
        m_host = std::make_unique<SimHost>();
    }
    void cleanup()
    {
        m_window.reset();
        m_host.reset();
        QVERIFY2(m_fixture->clean(), m_fixture->report());
        m_fixture.reset();
    }

    // One answer before the chart opens, one while it is open; the monitoring tab is never shown.
    void readingsBecomePointsWithTheMonitoringTabHidden_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<bool>("state");
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("shown"); // its line is on when the chart opens
        QTest::newRow("KRV-A phase current") << int(KRV) << "Ia" << "A" << false << 123.45 << true;
        QTest::newRow("KRV-A small current") << int(KRV) << "Ic" << "A" << false << 0.07 << true;
        QTest::newRow("KRV-A current at the trip") << int(KRV) << "Ia при отключении" << "A" << false << 2500.0
                                                   << false;
        QTest::newRow("KRV-A alarm bit") << int(KRV) << "Времязависимая МТЗ в фазах" << "" << true << 1.0 << true;
        QTest::newRow("KRV-A quiet alarm bit") << int(KRV) << "Тревога МТЗ на землю" << "" << true << 0.0 << true;
        QTest::newRow("ZDLT-1 frequency") << int(ZDLT) << "F" << "Гц" << false << 49.9 << true;
        QTest::newRow("B-7720Q input") << int(B7720Q) << "Di7" << "" << true << 1.0 << true;
        QTest::newRow("M-7051D input") << int(M7051) << "Di15" << "" << true << 1.0 << true;
        QTest::newRow("sensor surface") << int(Sensor) << "T поверхности" << "°C" << false << 25.0 << true;
        QTest::newRow("sensor air") << int(Sensor) << "T воздуха" << "°C" << false << 23.3 << true;
    }
    void readingsBecomePointsWithTheMonitoringTabHidden()
    {
        QFETCH(int, kind);
        QFETCH(QString, quantity);
        QFETCH(QString, unit);
        QFETCH(bool, state);
        QFETCH(double, value);
        QFETCH(bool, shown);
        openWindow(Kind(kind));
        // A second between answers, so the chart has moved on by more than a pixel at each.
        m_now = QDateTime(QDate(2026, 3, 5), QTime(10, 0)).toMSecsSinceEpoch();
        m_window->readings().setClock([this] { return m_now += 1000; });
        startManual();
        QVERIFY(exchanges(1));
        TFChart *chart = openChart();
        QVERIFY(chart);
        QVERIFY(exchanges(1));
        chart->TimerRefreshTimer();
        QCOMPARE(child<QTabWidget>("PageControl1")->currentIndex(), 0);

        const int index = chart->store().indexOf(quantity, unit, state);
        QVERIFY2(index >= 0, qPrintable(quantity));
        const charts::Series &series = chart->store().series(index);
        QCOMPARE(series.size(), std::size_t(2));
        QCOMPARE(series.at(0).value, value);
        QCOMPARE(series.at(1).value, value);
        ChartPane *pane = chart->paneOf(index);
        QVERIFY(pane);
        QCOMPARE(pane->isStates(), state);
        if (!state)
            QCOMPARE(pane->unit(), unit);
        QCOMPARE(chart->checkBoxOf(index)->isChecked(), shown);
        if (!shown) {
            QVERIFY(drawn(pane, index).isEmpty());
            chart->checkBoxOf(index)->click(); // recorded all along: drawn once asked for
        }
        QVERIFY(pane->isVisible());
        const QList<QPointF> points = drawn(pane, index);
        QVERIFY(!points.isEmpty());
        QCOMPARE(points.constLast().x(), double(series.last().timeMs));
        if (!state)
            for (const QPointF &p : points)
                QCOMPARE(p.y(), value);
        stop();
    }

    // Readings of a test before the chart ever opened, and of one after it was closed, are all there.
    void theChartShowsEveryTestOfTheWindowsLife()
    {
        openWindow(KRV);
        startManual();
        QVERIFY(exchanges(2));
        stop();
        TFChart *first = openChart();
        QVERIFY(first);
        QPointer<TFChart> closed = first;
        first->close();
        QTRY_VERIFY(closed.isNull());
        QVERIFY(!m_window->chart());

        startManual();
        QVERIFY(exchanges(3));
        stop();
        TFChart *chart = openChart();
        QVERIFY(chart);
        chart->TimerRefreshTimer();
        const int ia = chart->store().indexOf(QStringLiteral("Ia"), QStringLiteral("A"), false);
        QVERIFY(ia >= 0);
        QCOMPARE(chart->store().series(ia).size(), std::size_t(5));
        QCOMPARE(piecesInUse(chart->paneOf(ia), ia), 2); // a test each, the time between them empty
    }

    void aSecondClickBringsUpTheSameChart()
    {
        openWindow(KRV);
        TFChart *chart = openChart();
        QVERIFY(chart);
        QCOMPARE(chart->windowTitle(), QStringLiteral("График: Блок релейной защиты KRV-A"));
        QVERIFY(chart->isWindow());
        chart->showMinimized();
        QCOMPARE(openChart(), chart);
        QVERIFY(!chart->isMinimized());
        QCOMPARE(m_window->findChildren<TFChart *>().size(), 1);
    }

    // The tabs are the design's: the button is under them, usable during a test.
    void theButtonStandsUnderTheTabs()
    {
        openWindow(ZDLT);
        auto *button = child<QPushButton>("BitBtnChart");
        auto *tabs = child<QTabWidget>("PageControl1");
        QCOMPARE(button->text(), QStringLiteral("График..."));
        QVERIFY(!tabs->isAncestorOf(button));
        QVERIFY(button->geometry().top() >= tabs->geometry().bottom());
        QCOMPARE(tabs->count(), 2);
        startManual();
        QVERIFY(button->isEnabled());
        stop();
    }

    void theChartGoesWithItsDeviceWindow()
    {
        openWindow(KRV);
        QPointer<TFChart> chart = openChart();
        QVERIFY(chart);
        m_window->close();
        QVERIFY(!chart || !chart->isVisible());
        QTRY_VERIFY(chart.isNull());

        // A window destroyed with its chart open takes the chart with it.
        m_window.reset();
        m_host = std::make_unique<SimHost>();
        openWindow(KRV);
        chart = openChart();
        QVERIFY(chart);
        startManual();
        QVERIFY(exchanges(1));
        m_window.reset();
        QVERIFY(chart.isNull());
    }

    // The device window blocks its owner; its chart takes clicks all the same.
    void theChartTakesClicksBesideTheModalWindow()
    {
        QWidget owner;
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        auto *krv = static_cast<sim::KrvDevice *>(m_host->bus.addDevice(std::make_unique<sim::KrvDevice>(1)));
        krv->live = false;
        m_host->comm.Open();
        m_window = std::make_unique<TFKRV>(*m_host, &owner);
        m_window->setWindowModality(Qt::WindowModal);
        m_window->open();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        TFChart *chart = openChart();
        QVERIFY(chart);
        QVERIFY(!chart->isModal());
        // Through the window system, as a user's click comes, so a blocked window would not get it.
        const QPoint pause = chart->BitBtnPause->mapTo(chart, chart->BitBtnPause->rect().center());
        QTest::mouseClick(chart->windowHandle(), Qt::LeftButton, {}, pause);
        QTRY_VERIFY(chart->isPaused());
        QTest::mouseClick(chart->windowHandle(), Qt::LeftButton, {}, pause);
        QTRY_VERIFY(!chart->isPaused());
        m_window.reset();
    }
};

QTEST_MAIN(TestDeviceChart)
#include "test_devicechart.moc"
