#include "meter/setmain.h"

#include "bus/delayms.h"
#include "bus/requestlayer.h"
#include "bus/vacomm.h"
#include "meter/set4tmanswers.h"
#include "meter/set4tmvalues.h"
#include "widgets/dialogs.h"
#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

// The meter window's opening and configuration actions. Every action opens the
// meter's channel first, since the meter may have closed it by itself.

namespace {
const QString AddressNotRead = QStringLiteral("Сетевой адрес счетчика не прочитан.\rПовторите поиск устройства.");
const QString ValueNotRead = QStringLiteral("Текущее значение не прочитано из счетчика.\rПовторите поиск устройства.");
constexpr int SettleAfterClearingMs = 2000;
} // namespace

TFSET4TM::ActionScope::ActionScope(TFSET4TM &window, Closing closing) : m_window(window), m_closing(closing)
{
    window.m_actionRunning = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    for (QPushButton *b : {window.BitBtnAddr, window.BitBtnRate, window.BitBtnKu, window.BitBtnKi, window.BitBtnTrend,
                           window.BitBtnPower, window.BitBtnClean, window.BitBtnClock, window.BitBtnStart,
                           window.BitBtnStop, window.BitBtnReport}) {
        m_held.emplace_back(b, b->isEnabled());
        b->setEnabled(false);
    }
}

TFSET4TM::ActionScope::~ActionScope()
{
    for (const auto &[button, enabled] : m_held)
        button->setEnabled(enabled);
    QApplication::restoreOverrideCursor();
    m_window.m_actionRunning = false;
    if (m_closing == Closing::AtEnd && m_window.m_closeRequested && !m_window.isClosing())
        m_window.close();
}

void TFSET4TM::done(int result)
{
    TimerSetting->stop();
    TTestWindow::done(result);
}

void TFSET4TM::runAction(const std::function<void()> &action)
{
    if (m_actionRunning)
        return;
    ActionScope scope(*this);
    action();
}

void TFSET4TM::runWithChannel(std::uint8_t address, const std::function<void()> &action)
{
    // A refusal of the channel does not stop the action: the meter judges the request itself.
    runAction([&] {
        if (openChannel(address))
            action();
    });
}

std::optional<set4tm::Judgement> TFSET4TM::configure(const set4tm::Request &request, PortCheck check,
                                                     const std::function<void()> &onAccepted)
{
    if (isClosing())
        return std::nullopt;
    set4tm::Judgement judgement;
    if (check == PortCheck::Yes && !m_host.port().Active()) {
        judgement = set4tm::portClosed();
    } else {
        RequestLayer &frames = m_host.frames();
        frames.ResetRx();
        frames.ResetTx();
        request.frameInto(frames);
        // Closed during the wait, nobody is left to read a box; lost, the window says it once.
        if (!exchange(TimerSetting->interval()))
            return std::nullopt;
        judgement = set4tm::judgeExchange(request, frames);
    }
    if (judgement.accepted() && onAccepted)
        onAccepted(); // what the success box speaks of is already shown
    switch (judgement.box) {
    case set4tm::BoxKind::Information: showInformation(this, judgement.message); break;
    case set4tm::BoxKind::Warning: showWarning(this, judgement.message); break;
    case set4tm::BoxKind::Error: showError(this, judgement.message); break;
    case set4tm::BoxKind::None: break;
    }
    if (judgement.closesWindow)
        m_closeRequested = true;
    return judgement;
}

std::optional<set4tm::Judgement> TFSET4TM::openChannel(std::uint8_t address, PortCheck check)
{
    return configure(set4tm::openChannel(address, set4tm::passwordBytes(m_password)), check);
}

std::optional<std::uint8_t> TFSET4TM::meterAddress()
{
    if (!m_address || *m_address < 0 || *m_address > 255) {
        showWarning(this, AddressNotRead);
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(*m_address);
}

std::optional<int> TFSET4TM::readValue(std::optional<int> value)
{
    if (!value)
        showWarning(this, ValueNotRead);
    return value;
}

void TFSET4TM::showAddress(int address)
{
    m_address = address;
    StaticTextAddr->setText(QString::number(address));
}

void TFSET4TM::showRatio(bool voltage, int value)
{
    (voltage ? m_scaling.ku : m_scaling.ki) = value;
    (voltage ? StaticTextKu : StaticTextKi)->setText(QString::number(value));
}

void TFSET4TM::showIntegrationTime(int minutes)
{
    m_scaling.minutes = minutes;
    StaticTextPower->setText(QString::number(minutes));
}

void TFSET4TM::showSlicesAllowed(bool allowed)
{
    m_slicesAllowed = allowed;
    StaticTextTrend->setText(set4tm::yesNoText(allowed));
}

void TFSET4TM::FormShow()
{
    PageControl1->setCurrentIndex(0);
    TabSheet1Show();
    BitBtnStart->setFocus();
    StaticTextBaud->setText(m_host.baudRateText());
    const QString proposed = QStringLiteral("649283");
    m_password = dialogs().inputText(this, QStringLiteral("Доступ к устройству"), QStringLiteral("Введите пароль:"),
                                     proposed, true).value_or(proposed);
    TimerSetting->start();
}

void TFSET4TM::TimerSettingTimer()
{
    // Another exchange is waiting (a click came first): read once it is over.
    if (m_actionRunning)
        return;
    TimerSetting->stop();
    runAction([this] { readSettings(); });
}

void TFSET4TM::readSettings()
{
    // Through address 0, which the meter answers whatever its own address. Each
    // read runs and reports on its own; a field whose read failed keeps its placeholder.
    const RequestLayer &frames = m_host.frames();
    auto parameter = [&frames] { return set4tm::decodeParameter(frames.RxFrame, frames.RxCount); };
    auto showRatios = [&] {
        const set4tm::Ratios ratios = set4tm::decodeRatios(frames.RxFrame, frames.RxCount);
        showRatio(true, ratios.ku);
        showRatio(false, ratios.ki);
    };
    auto showSlices = [&] { showSlicesAllowed(set4tm::decodeIncompleteSlicesAllowed(frames.RxFrame, frames.RxCount)); };
    if (!openChannel(0)
        || !configure(set4tm::readNetworkAddress(0), PortCheck::Yes, [&] { showAddress(parameter()); })
        || !configure(set4tm::readRatios(0), PortCheck::Yes, showRatios)
        || !configure(set4tm::readIntegrationTime(0), PortCheck::Yes, [&] { showIntegrationTime(parameter()); })
        || !configure(set4tm::readModeFlags(0), PortCheck::Yes, showSlices))
        return; // the window closed during a wait
    ComboBox1->setCurrentIndex(1);
}

void TFSET4TM::BitBtnAddrClick()
{
    const std::optional<std::uint8_t> address = meterAddress();
    if (!address)
        return;
    const int wanted = RxSpinEditAddr->IntValue();
    if (*address == wanted || !askYesNo(this, QStringLiteral("Вы действительно хотите изменить сетевой адрес?")))
        return;
    runWithChannel(*address, [&] {
        configure(set4tm::writeNetworkAddress(*address, static_cast<std::uint8_t>(wanted)), PortCheck::No,
                  [&] { showAddress(wanted); });
    });
}

void TFSET4TM::BitBtnRateClick()
{
    const std::optional<std::uint8_t> address = meterAddress();
    const int baud = RxSpinEditBaud->IntValue();
    if (!address
        || !askYesNo(this, QStringLiteral("Вы действительно хотите установить параметры: %1,8,N,1?").arg(baud)))
        return;
    runWithChannel(*address, [&] {
        // The channel must stay open until the new rate is written.
        if (configure(set4tm::writeMode(*address, set4tm::ForbidAutoClose), PortCheck::Yes))
            configure(set4tm::writeBaudRate(*address, baud));
    });
}

void TFSET4TM::BitBtnKuClick()
{
    changeRatio(Ratio::Voltage);
}

void TFSET4TM::BitBtnKiClick()
{
    changeRatio(Ratio::Current);
}

void TFSET4TM::changeRatio(Ratio ratio)
{
    const bool voltage = ratio == Ratio::Voltage;
    const std::optional<int> current = readValue(voltage ? m_scaling.ku : m_scaling.ki);
    if (!current)
        return;
    const int wanted = (voltage ? RxSpinEditKu : RxSpinEditKi)->IntValue();
    if (*current == wanted)
        return;
    const std::optional<std::uint8_t> address = meterAddress();
    if (!address)
        return;
    const QString question = voltage
        ? QStringLiteral("Вы действительно хотите изменить коэффициент трансформации по напряжению?")
        : QStringLiteral("Вы действительно хотите изменить коэффициент трансформации по току?");
    if (!askYesNo(this, question))
        return;
    runWithChannel(*address, [&] {
        const auto value = static_cast<std::uint16_t>(wanted);
        configure(voltage ? set4tm::writeVoltageRatio(*address, value) : set4tm::writeCurrentRatio(*address, value),
                  PortCheck::No, [&] { showRatio(voltage, wanted); });
    });
}

void TFSET4TM::BitBtnTrendClick()
{
    if (!m_slicesAllowed)
        return; // never read: there is nothing to turn round
    const std::optional<std::uint8_t> address = meterAddress();
    if (!address)
        return;
    const bool allowed = *m_slicesAllowed;
    const QString question = allowed
        ? QStringLiteral("Вы действительно хотите запретить помечать не полные срезы мощности?")
        : QStringLiteral("Вы действительно хотите разрешить помечать не полные срезы мощности?");
    if (!askYesNo(this, question))
        return;
    runWithChannel(*address, [&] {
        const auto mode = allowed ? set4tm::ForbidIncompleteSlices : set4tm::AllowIncompleteSlices;
        configure(set4tm::writeMode(*address, mode), PortCheck::No,
                  [&] { showSlicesAllowed(!allowed); });
    });
}

void TFSET4TM::BitBtnPowerClick()
{
    const std::optional<int> current = readValue(m_scaling.minutes);
    if (!current || *current == RxSpinEditPower->IntValue())
        return;
    const std::optional<std::uint8_t> address = meterAddress();
    if (!address || !askYesNo(this, QStringLiteral("Вы действительно хотите изменить время интегрирования мощности?")))
        return;
    runWithChannel(*address, [&] { writeIntegrationTime(*address); });
}

void TFSET4TM::writeIntegrationTime(std::uint8_t address)
{
    const int minutes = RxSpinEditPower->IntValue();
    configure(set4tm::writeIntegrationTime(address, static_cast<std::uint8_t>(minutes)), PortCheck::No,
              [&] { showIntegrationTime(minutes); });
}

void TFSET4TM::BitBtnCleanClick()
{
    const std::optional<std::uint8_t> address = meterAddress();
    if (!address || !askYesNo(this, QStringLiteral("Вы действительно хотите сбросить регистры накопленной энергии?")))
        return;
    runWithChannel(*address, [&] { clearEnergy(*address); });
}

void TFSET4TM::clearEnergy(std::uint8_t address)
{
    // The one request the meter may refuse for a moment: up to three tries.
    for (int attempt = 1; attempt <= 3; ++attempt) {
        const std::optional<set4tm::Judgement> j = configure(set4tm::clearEnergy(address));
        if (!j)
            return;
        if (j->accepted()) {
            DelayMs(SettleAfterClearingMs); // the meter rewrites its registers meanwhile
            return;
        }
        if (j->outcome != set4tm::Outcome::Refused)
            return;
    }
}

void TFSET4TM::BitBtnClockClick()
{
    const std::optional<std::uint8_t> address = meterAddress();
    if (!address)
        return;
    if (!askYesNo(this, QStringLiteral("Установка даты и времени должна производиться только перед началом "
                                       "эксплуатации счетчика!\rПродолжить установку?")))
        return;
    if (!askYesNo(this, QStringLiteral("ВНИМАНИЕ:\rПосле установки даты и времени будет произведена:\r- очистка "
                                       "регистров накопленной энергии;\r- инициализация 30мин. профиля "
                                       "мощности.\rУстановить дату и время?")))
        return;
    runAction([&] { setClock(*address); });
}

void TFSET4TM::setClock(std::uint8_t address)
{
    if (!openChannel(address))
        return;
    const auto season = RadioGroupZL->ItemIndex() == 1 ? set4tm::Season::Winter : set4tm::Season::Summer;
    const std::optional<set4tm::Judgement> j = configure(set4tm::setDateTime(address, currentTime(), season));
    if (!j || !j->accepted())
        return;
    // A new clock starts the energy registers and the power profile afresh.
    if (!openChannel(address))
        return;
    clearEnergy(address);
    if (!openChannel(address))
        return;
    writeIntegrationTime(address);
}
