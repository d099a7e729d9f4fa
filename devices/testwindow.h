#pragma once

#include "devices/commtest.h"
#include "devices/devicehost.h"
#include "charts/readings.h"
#include "widgets/dialogs.h"

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;
class QVBoxLayout;
class QtTickTimer;
class TFChart;
class TFormStorage;
class TRxSpinEdit;
class TVrBlinkLed;
class TVrDigitGroup;
namespace charts {
class SeriesStore;
}

// What the test side of a device window needs to know about its device.
struct TestProfile
{
    QString caption;      // window caption
    QString deviceName;   // "KRV-A" in the summary headers
    QString reportPrefix; // "KRV-"
    QString reportCancelText = QStringLiteral("Отчет не создан!");
    QString journalHint = QStringLiteral("журнал ошибок обмена");
    int intervalMin = 50, intervalMax = 1000, intervalDefault = 300;
    int countMin = 50, countMax = 100000, countDefault = 1000;
    QStringList stored; // "Component.Property" entries kept in the settings file
    QStringList chartOff; // quantities the chart opens with switched off
    bool centred = true;
    QSize size = QSize(400, 640);
};

// A device window with a communication test: the tabs, the " Диагностика "
// panel (count and interval editors, Start, Stop, Save, the journal), the
// progress bar, the test engine behind them, the summary, the report, and what
// happens when the port is lost. A device fills the configuration panel above
// the test panel, the monitoring tab and the hooks below.
class TTestWindow : public QDialog, protected CommTest::Device
{
    Q_OBJECT
public:
    // `counters` belong to the window type, not to one window: see CountersOf.
    TTestWindow(DeviceHost &host, const TestProfile &profile, TestCounters &counters, QWidget *parent);
    ~TTestWindow() override;

    // What a monitoring value field shows while no test runs (room for 42949672,95).
    static constexpr const char *IdleValue = "????????,??";

    QStringList journalLines() const { return m_journal; }
    bool testRunning() const;
    // The values of every accepted test answer, whatever tab is shown.
    ReadingStream &readings() const { return *m_readings; }
    // Those values over the window's whole life, for its chart.
    const charts::SeriesStore &readingSeries() const { return *m_series; }
    // The chart window while it is open.
    TFChart *chart() const;

    // Handlers, public so the window can be driven step by step.
    void BitBtnStartClick();
    void BitBtnStopClick();
    void TimerTestTimer();
    void TabSheet1Show();
    void TabSheet2Show();
    void BitBtnReportClick();
    // Opens the chart beside the window, or brings it up when it is open.
    void BitBtnChartClick();
    void FormClose();
    // Runs once the window is shown and its stored values restored.
    virtual void FormShow() = 0;

    void done(int result) override;

protected:
    // --- what a device defines: the CommTest::Device functions, and ---
    // The bus address of the test requests (the window's StaticTextAddr).
    virtual std::uint8_t testAddress() const = 0;
    // Summary configuration lines: caption + field text pairs.
    virtual QStringList configurationLines() const = 0;
    // Controls a running test disables and a stopped one enables again.
    virtual void setTestControlsEnabled(bool enabled) { Q_UNUSED(enabled); }
    // The monitoring tab's look between tests: value fields "????????,??", LEDs off.
    virtual void resetIdleLook();
    // Runs when Start is clicked, before anything of the test changes (a device that
    // must talk to itself first, or refuse); false leaves everything as it was.
    virtual bool beforeTestStart() { return true; }
    // Runs after the journal and counters are reset, before the ticks start; false
    // leaves the test unstarted (the window closed meanwhile).
    virtual bool beforeTicks() { return true; }

    // --- for the subclasses ---
    QWidget *firstTab() const { return m_tab1; }
    QWidget *monitoringPage() const { return m_tab2; }
    // The first tab's layout: the configuration panel goes in front of the test panel.
    QVBoxLayout *firstTabLayout() const { return m_tab1Layout; }
    void appendJournal(const QString &line);
    // Shows a quantity of the reading stream while the monitoring tab is shown:
    // a value field its number, an LED its state, a display its value.
    void showOn(const QString &quantity, std::function<void(double)> show);
    void showOn(const QString &quantity, QLabel *field);
    void showOn(const QString &quantity, TVrBlinkLed *led);
    void showOn(const QString &quantity, TVrDigitGroup *display);
    // Sends the current TxFrame and waits `ms` with the window's controls held, so
    // a click cannot start another exchange into the same buffers meanwhile. False
    // when there is nothing to judge: the window closed, or the port was lost (the
    // loss is said once by the window, not as a missing answer).
    [[nodiscard]] bool exchange(int ms);
    // True once the window has closed (it may close during a wait).
    bool isClosing() const { return m_closed; }
    CommTest &test() { return *m_test; }
    TestCounters &counters() { return m_counters; }

    DeviceHost &m_host;
    const TestProfile m_testProfile;
    TRxSpinEdit *RxSpinEditCount, *RxSpinEditTimeOut;
    QPushButton *BitBtnStart, *BitBtnStop, *BitBtnReport, *BitBtnChart;
    QPlainTextEdit *Memo1;
    QProgressBar *ProgressBar1;
    QTabWidget *PageControl1;
    QTimer *TimerTest;
    TFormStorage *FormStorage1;

    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // A tab became current: the monitoring flag follows the visible tab.
    virtual void tabShown(int index);

private:
    void buildTestPanel();
    // The row under the tabs with the chart button, and the store behind the chart.
    void buildChartRow(QVBoxLayout *layout);
    void closeChart();
    void wireTest();
    void clearJournal();
    // The end of a test: summary in the journal, the box, the idle controls.
    void finishTest(UserDialogs::Kind kind, const QString &text);
    void onTestFinished(CommTest::Stop why);
    void onPortLost();
    QString portLostText(bool testWasRunning) const;
    void showReadings(const Readings &batch);

    QWidget *m_tab1 = nullptr;
    QWidget *m_tab2 = nullptr;
    QVBoxLayout *m_tab1Layout = nullptr;
    TestCounters &m_counters;
    std::unique_ptr<QtTickTimer> m_ticks;
    std::unique_ptr<CommTest> m_test;
    ReadingStream *m_readings;
    charts::SeriesStore *m_series = nullptr;
    QPointer<TFChart> m_chart;
    QHash<QString, std::function<void(double)>> m_displays; // by quantity
    QStringList m_journal; // the lines Memo1 shows; a report is exactly these
    bool m_closed = false;
    bool m_portLostShown = false; // one message however many ways the loss shows
    bool m_starting = false;      // the start is talking to the device
};

// The counters and monitoring flag of a window type, kept for the whole run and
// shared by every window of that type.
template <typename Window>
TestCounters &CountersOf()
{
    static TestCounters counters;
    return counters;
}
