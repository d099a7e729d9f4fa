#pragma once

#include "app/devicewindows.h"
#include "app/surveywindow.h"
#include "devices/devicehost.h"
#include "scan/devicesearch.h"

#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>

class BusChannel;
class QAction;
class QGridLayout;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QtTickTimer;
class TFMonitor;
class TFormStorage;
class TPictureButton;
class TRadioGroup;
class TRxSpinEdit;
class TVaComm;

// The main window: connection parameters, the seven device buttons and the
// address search. It owns the bus channel (the one port and the one pair of
// frame buffers) that every device window uses.
class TFOrvekConfigurator : public QWidget, public DeviceHost, public SurveyHost
{
    Q_OBJECT
public:
    using WindowOpener = DeviceWindowOpener;

    explicit TFOrvekConfigurator(QWidget *parent = nullptr);
    ~TFOrvekConfigurator() override;

    // DeviceHost
    BusChannel &channel() override { return *m_channel; }
    const FoundDevice &found() const override { return m_found; }
    // SurveyHost
    int portNumber() const override;
    void openSurveyed(const FoundDevice &found) override;

    // Replaces how a device window kind is opened (tests).
    void setWindowOpener(DeviceWindowKind kind, WindowOpener opener);
    DeviceSearch &search() { return *m_search; }

    // Handlers, public so the window can be driven step by step.
    void FormShow();
    void FormClose();
    void BitBtnKRVClick(int tag);
    void Timer1Timer();
    void Action1Execute();
    void BitBtn1Click();
    void BitBtnPortsClick();
    void BitBtnMonitorClick();
    TFMonitor *monitor() const; // the open bus monitor, or nullptr
    void BitBtnSurveyClick();
    TFSurvey *surveyWindow() const; // the open survey window, or nullptr
    void VaComm1Open();
    void VaComm1Close();
    void RxSpinEdit2Change();
    void RxSpinEdit3Change();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildConnectionGroup(QGroupBox *group);
    QGridLayout *buildEditors(QGroupBox *group);
    void buildDeviceGroup(QGroupBox *group);
    void wirePort();
    void wireSearch();
    void onSearchFinished(const DeviceSearch::Result &result);
    void openFoundWindow(const FoundDevice &found);
    void showNotBuiltYet(const FoundDevice &found);
    void onPortLost();
    QString resolvePort(int port) const;
    // The port editor's tooltip and the line note follow what the number maps to.
    void showPortAddress();

    BusChannel *m_channel;
    FoundDevice m_found;
    std::unique_ptr<QtTickTimer> m_ticks;
    std::unique_ptr<DeviceSearch> m_search;
    std::map<DeviceWindowKind, WindowOpener> m_openers;
    bool m_restored = false;
    bool m_deviceWindowOpen = false;
    QPointer<TFMonitor> m_monitor;
    QPointer<TFSurvey> m_survey;

public:
    TVaComm *VaComm1;
    QTimer *Timer1;
    QAction *Action1;
    QAction *ActionSurvey; // Ctrl+F
    TFormStorage *FormStorage1;
    TRxSpinEdit *RxSpinEdit1, *RxSpinEdit2, *RxSpinEdit3, *RxSpinEdit4;
    TRadioGroup *RadioGroup1, *RadioGroup2;
    QPushButton *BitBtn1;
    QPushButton *BitBtnPorts;
    QPushButton *BitBtnMonitor;
    QPushButton *BitBtnSurvey;
    QWidget *DeviceGroup;
    TPictureButton *BitBtnKRV, *BitBtnZDLT, *BitBtn7051, *BitBtnCET, *BitBtnZyXEL_Remote, *BitBtnZyXEL_Local,
        *BitBtn2;
    QLabel *StaticTextAddr, *StaticTextMsg;
    QLabel *LabelServerLine; // shown while the port number leads to a network address
    QProgressBar *ProgressBar1;
};

extern TFOrvekConfigurator *FOrvekConfigurator;
