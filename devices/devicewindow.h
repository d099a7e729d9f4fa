#pragma once

#include "devices/testjournal.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <cstdint>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QGridLayout;
class QGroupBox;
class QTimer;
class QVBoxLayout;
class RequestLayer;
class TFormStorage;
class TRxSpinEdit;
class TVaComm;

// What a device window takes from the main window: the open port, the shared
// frame buffers, the address the search found and the baud rate chosen.
class DeviceHost
{
public:
    virtual ~DeviceHost() = default;
    virtual TVaComm &port() = 0;
    virtual RequestLayer &frames() = 0;
    virtual QString foundAddressText() const = 0; // text of the main window's StaticTextAddr
    virtual QString baudRateText() const = 0;     // the selected baud rate item ("19200")
};

// What differs between the device windows that follow the common pattern.
struct DeviceProfile
{
    // The identification captions of the I/O modules and the sensor: no trailing
    // blanks, labels Label1/Label2, no code or model to show and none in the summary.
    void useModuleLabels();

    QString caption;            // window caption
    QString deviceName;         // "KRV-A" in the summary headers
    QString reportPrefix;       // "KRV-"
    QString reportCancelText = QStringLiteral("Отчет не создан!");
    // Identification label captions; they also start the summary lines.
    QString labelCode = QStringLiteral("Код: ");
    QString labelModel = QStringLiteral("Модель: ");
    QString labelVer = QStringLiteral("Firmware Version: ");
    QString labelAddr = QStringLiteral("Сетевой адрес: ");
    QString labelBaud = QStringLiteral("Скорость обмена: ");
    QString codeLabelName = QStringLiteral("LabelCode");
    QString modelLabelName = QStringLiteral("LabelModel");
    QString initialCode = QStringLiteral("??");
    QString initialModel = QStringLiteral("??");
    QString initialVer = QStringLiteral("??,??");
    bool codeField = true;                // the device has a code to show
    bool boldLabelsGreyFields = false;    // identification captions bold, their texts grey
    bool summaryHasCodeAndModel = true;   // the summary lists code and model before the version
    bool addressAndBaudEditors = true; // the editors and buttons exist
    bool addressAndBaudActions = true; // ... and do something
    bool baudEditor = true;            // the baud rate editor and button exist
    bool confirmAddressChange = true;  // ask before writing a new address
    int configWaitMs = 1000;           // wait for the answer to a configuration write
    QString fixedBaudText;             // shown instead of the main window's rate when set
    int addressDefault = 1;
    int baudMax = 19200;
    int intervalMin = 50, intervalMax = 1000, intervalDefault = 300;
    int countMin = 50, countMax = 100000, countDefault = 1000;
    QString journalHint = QStringLiteral("журнал ошибок обмена");
    QStringList stored; // "Component.Property" entries kept in the settings file
    bool centred = true;
    QSize size = QSize(400, 640);
};

// The common device window: identification, address and baud changes, the
// communication test with its journal, summary and report, and the monitoring tab
// that a device subclass fills. Counters live per window type (see counters()).
class TDeviceWindow : public QDialog
{
    Q_OBJECT
public:
    TDeviceWindow(DeviceHost &host, const DeviceProfile &profile, QWidget *parent);

    // What a monitoring value field shows while no test runs (room for 42949672,95).
    static constexpr const char *IdleValue = "????????,??";
    ~TDeviceWindow() override;

    const DeviceProfile &profile() const { return m_profile; }
    QStringList journalLines() const;

    // Handlers, public so the window can be driven step by step.
    void FormShow();
    void FormClose();
    void BitBtnAddrClick();
    void BitBtnBaudClick();
    void BitBtnStartClick();
    void BitBtnStopClick();
    void TimerTestTimer();
    void TabSheet1Show();
    void TabSheet2Show();
    void BitBtnReportClick();

    void done(int result) override;

protected:
    // --- what a device defines ---
    virtual TestCounters &counters() = 0;
    virtual void fillIdentification(const std::uint8_t *rx, int rxCount) { Q_UNUSED(rx); Q_UNUSED(rxCount); }
    virtual void frameTestRequest(RequestLayer &frames, std::uint8_t address) = 0;
    virtual void decodeMonitoring(const std::uint8_t *rx, int rxCount) = 0;
    virtual void frameAddressWrite(RequestLayer &frames, std::uint8_t current, int newAddress);
    virtual void frameBaudWrite(RequestLayer &frames, std::uint8_t current, int newBaud);
    // Summary configuration lines; by default caption + text of code, model,
    // version, address and baud rate.
    virtual QStringList configurationLines() const;

    // --- for the subclasses ---
    QWidget *monitoringPage() const { return m_tab2; }
    QVBoxLayout *monitoringLayout() const { return m_monitoringLayout; }
    // A framed read-only value field of the monitoring tab (Tag 1, idle "????????,??").
    // Bold caption / grey text, as the identification of some windows shows them.
    static void makeBold(QLabel *label);
    static void makeGrey(QLabel *field);
    QLabel *addValueField(QGridLayout *grid, int row, const QString &name, const QString &label, const QString &unit);
    QGroupBox *addMonitoringGroup(const QString &heading);
    // A row of extra identification/configuration controls under the baud row.
    QGridLayout *configurationGrid() const { return m_configGrid; }
    std::uint8_t currentAddress() const;
    // The port must be open for a configuration action; otherwise the error box, and the window closes.
    bool ensurePortOpen();
    // Sends the current TxFrame and waits `ms` with the window's controls held.
    void exchange(int ms);
    // True once the window has closed (it may close during a wait).
    bool isClosing() const { return m_closed; }
    // Controls that a running test disables; by default the address and baud buttons.
    virtual void setTestControlsEnabled(bool enabled);
    // The monitoring tab's look between tests: value fields "????????,??", LEDs off.
    virtual void resetIdleLook();

    DeviceHost &m_host;
    QLabel *LabelCode, *LabelModel, *LabelVer, *LabelAddr, *LabelBaud;
    QLabel *StaticTextCode, *StaticTextModel, *StaticTextVer, *StaticTextAddr, *StaticTextBaud;
    TRxSpinEdit *RxSpinEditAddr = nullptr, *RxSpinEditBaud = nullptr;
    QPushButton *BitBtnAddr = nullptr, *BitBtnBaud = nullptr;
    TRxSpinEdit *RxSpinEditCount, *RxSpinEditTimeOut;
    QPushButton *BitBtnStart, *BitBtnStop, *BitBtnReport;
    QPlainTextEdit *Memo1;
    QProgressBar *ProgressBar1;
    QTabWidget *PageControl1;
    QTimer *TimerTest;
    TFormStorage *FormStorage1;

    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildFirstTab();
    void appendJournal(const QString &line);
    void clearJournal();

    DeviceProfile m_profile;
    QWidget *m_tab1 = nullptr;
    QWidget *m_tab2 = nullptr;
    QVBoxLayout *m_monitoringLayout = nullptr;
    QGridLayout *m_configGrid = nullptr;
    QStringList m_journal; // the lines Memo1 shows; a report is exactly these
    bool m_closed = false;
};

// Base of a concrete device window: gives each window type its own counters and
// monitoring flag, kept for the whole run and shared by every window of that type.
template <typename Window>
class TDeviceWindowOf : public TDeviceWindow
{
public:
    using TDeviceWindow::TDeviceWindow;

    static TestCounters &sharedCounters()
    {
        static TestCounters counters;
        return counters;
    }

protected:
    TestCounters &counters() override { return sharedCounters(); }
};
