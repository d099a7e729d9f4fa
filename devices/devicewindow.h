#pragma once

#include "devices/testwindow.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

class QLabel;
class QGridLayout;
class QGroupBox;
class QVBoxLayout;
class RequestLayer;

// What differs between the Modbus device windows beyond their test: the
// identification panel and the address and baud rate changes.
struct DeviceProfile : TestProfile
{
    // The identification captions of the I/O modules and the sensor: no trailing
    // blanks, labels Label1/Label2, no code or model to show and none in the summary.
    void useModuleLabels();

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
    bool codeField = true;              // the device has a code to show
    bool boldLabelsGreyFields = false;  // identification captions bold, their texts grey
    bool summaryHasCodeAndModel = true; // the summary lists code and model before the version
    bool addressAndBaudEditors = true;  // the editors and buttons exist
    bool addressAndBaudActions = true;  // ... and do something
    bool baudEditor = true;             // the baud rate editor and button exist
    bool confirmAddressChange = true;   // ask before writing a new address
    int configWaitMs = 1000;            // wait for the answer to a configuration write
    QString fixedBaudText;              // shown instead of the main window's rate when set
    int addressDefault = 1;
    int baudMax = 19200;
};

// The common Modbus device window: identification from the search answer,
// address and baud rate changes, the communication test (TTestWindow) and the
// monitoring tab that a device subclass fills.
class TDeviceWindow : public TTestWindow
{
    Q_OBJECT
public:
    TDeviceWindow(DeviceHost &host, const DeviceProfile &profile, TestCounters &counters, QWidget *parent);
    ~TDeviceWindow() override;

    const DeviceProfile &profile() const { return m_profile; }

    // Handlers, public so the window can be driven step by step.
    void FormShow() override;
    void BitBtnAddrClick();
    void BitBtnBaudClick();

protected:
    // --- what a device defines ---
    virtual void fillIdentification(const std::uint8_t *rx, int rxCount) { Q_UNUSED(rx); Q_UNUSED(rxCount); }
    virtual void frameTestRequest(RequestLayer &frames, std::uint8_t address) = 0;
    // The values of an accepted test answer (never a refusal), as the monitoring
    // tab names them; the tab shows those it has bound with showOn.
    virtual Readings decodeReadings(const std::uint8_t *rx, int rxCount) = 0;
    virtual void frameAddressWrite(RequestLayer &frames, std::uint8_t current, int newAddress);
    virtual void frameBaudWrite(RequestLayer &frames, std::uint8_t current, int newBaud);
    // Summary configuration lines; by default caption + text of code, model,
    // version, address and baud rate.
    QStringList configurationLines() const override;
    // By default the address and baud buttons.
    void setTestControlsEnabled(bool enabled) override;

    // --- for the subclasses ---
    QVBoxLayout *monitoringLayout() const { return m_monitoringLayout; }
    QGroupBox *addMonitoringGroup(const QString &heading);
    // A framed read-only value field of the monitoring tab (Tag 1, idle "????????,??").
    QLabel *addValueField(QGridLayout *grid, int row, const QString &name, const QString &label, const QString &unit);
    // Bold caption / grey text, as the identification of some windows shows them.
    static void makeBold(QLabel *label);
    static void makeGrey(QLabel *field);
    // Rows of extra identification/configuration controls under the baud row (from row 5).
    QGridLayout *configurationGrid() const { return m_configGrid; }
    // The address every request of the window goes to, as StaticTextAddr shows it.
    std::uint8_t currentAddress() const;
    void setAddress(int address);
    std::uint8_t testAddress() const override { return currentAddress(); }
    // The port must be open for a configuration action; otherwise the error box, and the window closes.
    bool ensurePortOpen();
    // What a configuration write's answer means, shown in its box; `onWritten`
    // runs before the success box. True when written.
    struct WriteTexts
    {
        QString noAnswer, crcError, notWritten, written;
    };
    bool judgeWrite(const WriteTexts &texts, const std::function<void()> &onWritten = {});

    QLabel *LabelCode, *LabelModel, *LabelVer, *LabelAddr, *LabelBaud;
    QLabel *StaticTextCode, *StaticTextModel, *StaticTextVer, *StaticTextAddr, *StaticTextBaud;
    TRxSpinEdit *RxSpinEditAddr = nullptr, *RxSpinEditBaud = nullptr;
    QPushButton *BitBtnAddr = nullptr, *BitBtnBaud = nullptr;

private:
    // CommTest::Device: the profile's request; a refusal is counted but never shown as values.
    void frameRequest(RequestLayer &frames, std::uint8_t address) override;
    void decode(const RequestLayer &frames) override;

    void buildConfigurationPanel();
    void buildIdentificationRows(QWidget *panel);
    void buildAddressAndBaudEditors(QWidget *panel);

    DeviceProfile m_profile;
    int m_address = 0;
    QVBoxLayout *m_monitoringLayout = nullptr;
    QGridLayout *m_configGrid = nullptr;
};
