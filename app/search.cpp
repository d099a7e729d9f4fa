#include "app/mainwindow.h"

#include "bus/porthints.h"
#include "bus/serialdevices.h"
#include "bus/vacomm.h"
#include "widgets/dialogs.h"
#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

// The main window's side of the address search; the steps themselves are DeviceSearch's.

void TFOrvekConfigurator::BitBtnKRVClick(int tag)
{
    m_search->prepare(tag, RxSpinEdit4->IntValue(), RxSpinEdit3->IntValue());
    ProgressBar1->setMaximum(m_search->endAddress());
    ProgressBar1->setValue(ProgressBar1->minimum());
    VaComm1->setPortNum(RxSpinEdit1->IntValue());
    VaComm1->setBaudrate(static_cast<TVaBaudrate>(RadioGroup1->ItemIndex() + br4800));
    VaComm1->setParity(static_cast<TVaParity>(qBound(0, RadioGroup2->ItemIndex(), 2)));
    try {
        VaComm1->Open();
    } catch (const EVaCommError &error) {
        // The component's text, then what the user can do about it.
        showError(this, openFailureMessage(error, serialSystem()));
    }
}

void TFOrvekConfigurator::VaComm1Open()
{
    DeviceGroup->setEnabled(false);
    m_search->arm(RxSpinEdit2->IntValue());
}

void TFOrvekConfigurator::VaComm1Close()
{
    m_search->stop();
    ProgressBar1->setValue(ProgressBar1->minimum());
    DeviceGroup->setEnabled(true);
    m_frames->ResetRx();
    m_frames->ResetTx();
    StaticTextAddr->clear();
    StaticTextMsg->clear();
}

void TFOrvekConfigurator::VaComm1RxBuf(const QByteArray &bytes)
{
    m_frames->VaComm1RxBuf(bytes);
}

void TFOrvekConfigurator::RxSpinEdit2Change()
{
    RxSpinEdit3->setMinValue(RxSpinEdit2->Value());
}

void TFOrvekConfigurator::RxSpinEdit3Change()
{
    RxSpinEdit2->setMaxValue(RxSpinEdit3->Value());
}

void TFOrvekConfigurator::Timer1Timer()
{
    DeviceSearch::Outcome outcome = DeviceSearch::Outcome::Continue;
    try {
        outcome = m_search->tick();
    } catch (const std::exception &e) {
        // A lasting fault (a full output buffer, a failing purge) ends the search
        // with one box instead of one per tick.
        endSearch();
        showError(this, QString::fromUtf8(e.what()));
        return;
    }
    switch (outcome) {
    case DeviceSearch::Outcome::Continue: break;
    case DeviceSearch::Outcome::Found:
        openFoundWindow(m_search->foundWindow());
        endSearch();
        break;
    case DeviceSearch::Outcome::Exhausted:
        endSearch();
        showWarning(this, QStringLiteral("Устройства в заданном даипазоне адресов (от %1 до %2) не обнаружены!\r"
                                         "Проверьте параметры подключения и повторите поиск.")
                              .arg(RxSpinEdit2->IntValue())
                              .arg(RxSpinEdit3->IntValue()));
        break;
    }
}

void TFOrvekConfigurator::endSearch()
{
    m_search->stop();
    // Closing runs VaComm1Close, which returns the window to idle.
    if (VaComm1->Active())
        VaComm1->Close();
}

void TFOrvekConfigurator::openFoundWindow(DeviceWindowKind kind)
{
    const auto opener = m_openers.find(kind);
    if (opener == m_openers.end() || !opener->second) {
        showNotBuiltYet(kind);
        return;
    }
    m_deviceWindowOpen = true;
    try {
        opener->second(*this, this);
    } catch (...) {
        m_deviceWindowOpen = false;
        throw;
    }
    m_deviceWindowOpen = false;
}

void TFOrvekConfigurator::showNotBuiltYet(DeviceWindowKind kind)
{
    showInformation(this, QStringLiteral("По адресу %1 найдено устройство \"%2\".\rОкно этого устройства в данной "
                                         "версии программы не предусмотрено.")
                              .arg(StaticTextAddr->text(), DeviceWindowTitle(kind)));
}

void TFOrvekConfigurator::onPortLost()
{
    // An open device window reports it itself, in front of this one.
    if (m_deviceWindowOpen)
        return;
    showError(this, QStringLiteral("Связь с портом %1 потеряна: адаптер отключен или порт закрыт.\rПоиск устройств "
                                   "остановлен. Проверьте подключение и повторите поиск.")
                        .arg(VaComm1->DeviceName()));
}
