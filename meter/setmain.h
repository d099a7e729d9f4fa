#pragma once

#include "devices/testwindow.h"
#include "meter/set4tmjudgement.h"
#include "meter/set4tmpoll.h"
#include "meter/set4tmvalues.h"

#include <QDateTime>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QComboBox;
class QGridLayout;
class QLabel;
class QTableWidget;
class QWidget;
class TProfileChart;
class TRadioGroup;
class TRxClock;

// The SET-4TM electricity meter window. It asks for the meter's password when it
// opens, reads the meter's settings through bus address 0 a moment later, opens
// the meter's channel before every action, and runs the meter's poll cycle as its
// communication test, which also feeds the monitoring and power profile tabs.
class TFSET4TM : public TTestWindow
{
    Q_OBJECT
public:
    TFSET4TM(DeviceHost &host, QWidget *parent);
    ~TFSET4TM() override;

    static TestProfile makeProfile();

    // Handlers, public so the window can be driven step by step.
    void FormShow() override;
    void TimerSettingTimer();
    void BitBtnAddrClick();
    void BitBtnRateClick();
    void BitBtnKuClick();
    void BitBtnKiClick();
    void BitBtnTrendClick();
    void BitBtnPowerClick();
    void BitBtnCleanClick();
    void BitBtnClockClick();
    void TabSheet3Show();

    void done(int result) override;

    // The PC's local time that the clock setting sends; tests fix it.
    std::function<QDateTime()> currentTime = [] { return QDateTime::currentDateTime(); };

protected:
    // CommTest::Device: the request of the current poll step, its exact answer
    // length, its decoder, and the step after it.
    void frameRequest(RequestLayer &frames, std::uint8_t address) override;
    bool accepts(const RequestLayer &frames) const override;
    void decode(const RequestLayer &frames) override;
    void judged(bool accepted) override;

    std::uint8_t testAddress() const override;
    QStringList configurationLines() const override;
    void setTestControlsEnabled(bool enabled) override;
    bool beforeTestStart() override;
    bool beforeTicks() override;
    void tabShown(int index) override;

private:
    // While an action talks to the meter: the hourglass, and the action and test
    // buttons held so that a second click cannot start another exchange on the
    // same buffers. Each button gets back the state it had, so those a test left
    // disabled stay so. A close an answer asked for happens when the scope ends,
    // or is left to a later scope of the same handler.
    class ActionScope
    {
    public:
        enum class Closing { AtEnd, Deferred };
        explicit ActionScope(TFSET4TM &window, Closing closing = Closing::AtEnd);
        ~ActionScope();
        ActionScope(const ActionScope &) = delete;
        ActionScope &operator=(const ActionScope &) = delete;

    private:
        TFSET4TM &m_window;
        Closing m_closing;
        std::vector<std::pair<QPushButton *, bool>> m_held;
    };
    enum class PortCheck { No, Yes };
    enum class Ratio { Voltage, Current };

    // --- layout (setmain_ui.cpp) ---
    void buildConfigurationPanel();
    void addConfigurationRows(QGridLayout *grid, QWidget *panel);
    void addSettingRows(QGridLayout *grid, QWidget *panel);
    void buildMonitoringTab();
    void buildProfileTab();
    void wireActions();

    // --- configuration (setmain.cpp) ---
    // Runs `action` with the hourglass and the action and test buttons held, then
    // closes the window if an answer asked for it. Nothing while another runs.
    void runAction(const std::function<void()> &action);
    // The same after opening the meter's channel at `address`.
    void runWithChannel(std::uint8_t address, const std::function<void()> &action);
    // One configuration exchange with its box; nothing when the window closed
    // during the wait. A status that closes the window does so once the action ends.
    // `onAccepted` shows what an accepted answer changed, before its box.
    std::optional<set4tm::Judgement> configure(const set4tm::Request &request, PortCheck check = PortCheck::No,
                                               const std::function<void()> &onAccepted = {});
    std::optional<set4tm::Judgement> openChannel(std::uint8_t address, PortCheck check = PortCheck::Yes);
    // The meter's address as read or written; a warning and nothing when it was not read.
    std::optional<std::uint8_t> meterAddress();
    // A setting as read or written; a warning and nothing when it was not read.
    std::optional<int> readValue(std::optional<int> value);
    void showAddress(int address);
    void showRatio(bool voltage, int value);
    void showIntegrationTime(int minutes);
    void showSlicesAllowed(bool allowed);
    void readSettings();
    void changeRatio(Ratio ratio);
    void writeIntegrationTime(std::uint8_t address);
    void clearEnergy(std::uint8_t address);
    void setClock(std::uint8_t address);

    // --- test side (setmain_test.cpp) ---
    set4tm::Scaling scaling() const;
    void publishEnergy(const RequestLayer &frames, bool previousDay);
    void publishAuxiliary(const RequestLayer &frames);
    void checkProfilePointer(const RequestLayer &frames);
    void addProfileRow(const RequestLayer &frames);
    void readInitialPointer(std::uint8_t address);

    QString m_password;             // as typed when the window opened
    // What was read from the meter or written to it, as the fields show it; the
    // values are scaled with these, never with texts read back from the fields.
    std::optional<int> m_address;
    set4tm::Scaling m_scaling;      // Ku, Ki, T, and the variant chosen in ComboBox1
    std::optional<bool> m_slicesAllowed;
    bool m_actionRunning = false;   // a configuration action or the test start is waiting
    bool m_closeRequested = false;  // an answer asked for the window to close
    int m_pollStep = set4tm::FirstPollStep;
    bool m_readRecord = false;      // the last pointer check asked for step 14
    set4tm::ProfileFollower m_profile;

    QTimer *TimerSetting;
    QWidget *TabSheet3;
    QComboBox *ComboBox1;
    QLabel *LabelAddr, *LabelBaud, *LabelTrend, *LabelPower;
    QLabel *StaticTextAddr, *StaticTextBaud, *StaticTextKu, *StaticTextKi, *StaticTextTrend, *StaticTextPower;
    TRxSpinEdit *RxSpinEditAddr, *RxSpinEditBaud, *RxSpinEditKu, *RxSpinEditKi, *RxSpinEditPower;
    QPushButton *BitBtnAddr, *BitBtnRate, *BitBtnKu, *BitBtnKi, *BitBtnTrend, *BitBtnPower, *BitBtnClean,
        *BitBtnClock;
    TRxClock *RxClock1;
    TRadioGroup *RadioGroupZL;
    QLabel *StaticTextP, *StaticTextQ, *StaticTextCos, *StaticTextF;
    QLabel *StaticTextUa, *StaticTextUb, *StaticTextUc, *StaticTextIa, *StaticTextIb, *StaticTextIc;
    QLabel *StaticTextA1, *StaticTextA2, *StaticTextR1, *StaticTextR2;
    QLabel *StaticTextA01, *StaticTextA02, *StaticTextR01, *StaticTextR02;
    QTableWidget *StringGrid1;
    TProfileChart *ProfileChart; // the table's records as bars
};

extern TFSET4TM *FSET4TM;
