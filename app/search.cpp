#include "app/mainwindow.h"

#include "bus/buschannel.h"
#include "bus/linkfactory.h"
#include "bus/requestlayer.h"
#include "bus/tcp/tcpaddress.h"
#include "bus/vacomm.h"
#include "widgets/dialogs.h"
#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

// The main window's side of the address search: it starts the engine with the
// editors' values and shows what the engine reports.

void TFOrvekConfigurator::BitBtnKRVClick(int tag)
{
    // A network port connects while the window stays live: a second click meanwhile is no second search.
    if (VaComm1->Active() || VaComm1->Opening())
        return;
    DeviceSearch::Plan plan;
    plan.tag = tag;
    plan.intervalMs = RxSpinEdit4->IntValue();
    plan.port = RxSpinEdit1->IntValue();
    plan.line.baudRate = TVaComm::baudRateValue(static_cast<TVaBaudrate>(RadioGroup1->ItemIndex() + br4800));
    plan.line.parity = static_cast<TVaParity>(qBound(0, RadioGroup2->ItemIndex(), 2));
    plan.first = RxSpinEdit2->IntValue();
    plan.last = RxSpinEdit3->IntValue();
    ProgressBar1->setMaximum(plan.last + 1);
    ProgressBar1->setValue(ProgressBar1->minimum());
    // Held while a network port connects; once open, the port's events take over.
    DeviceGroup->setEnabled(false);
    if (isNetworkAddress(resolvePort(plan.port)))
        StaticTextMsg->setText(QStringLiteral("подключение..."));
    try {
        m_search->start(plan);
    } catch (const EVaCommError &error) {
        DeviceGroup->setEnabled(true);
        StaticTextMsg->clear();
        // The component's text, then what the user can do about it. A connect the
        // user cancelled (Ctrl+C, closing the window) needs no box.
        if (error.failure() != EVaCommError::Failure::Cancelled)
            showError(this, OpenFailureMessage(error));
        return;
    } catch (...) {
        DeviceGroup->setEnabled(true);
        StaticTextMsg->clear();
        throw;
    }
    StaticTextMsg->clear();
}

void TFOrvekConfigurator::VaComm1Open()
{
    DeviceGroup->setEnabled(false);
}

void TFOrvekConfigurator::VaComm1Close()
{
    ProgressBar1->setValue(ProgressBar1->minimum());
    DeviceGroup->setEnabled(true);
    RequestLayer &frames = m_channel->frames();
    frames.ResetRx();
    frames.ResetTx();
    StaticTextAddr->clear();
    StaticTextMsg->clear();
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
    m_search->tick();
}

void TFOrvekConfigurator::onSearchFinished(const DeviceSearch::Result &result)
{
    switch (result.end) {
    case DeviceSearch::Result::End::Found:
        openFoundWindow(result.found);
        // Closing runs VaComm1Close, which returns the window to idle.
        m_channel->close();
        break;
    case DeviceSearch::Result::End::Exhausted:
        showWarning(this, QStringLiteral("Устройства в заданном даипазоне адресов (от %1 до %2) не обнаружены!\r"
                                         "Проверьте параметры подключения и повторите поиск.")
                              .arg(RxSpinEdit2->IntValue())
                              .arg(RxSpinEdit3->IntValue()));
        break;
    case DeviceSearch::Result::End::Failed:
        showError(this, result.error);
        break;
    case DeviceSearch::Result::End::Stopped:
        break;
    }
}

void TFOrvekConfigurator::openFoundWindow(const FoundDevice &found)
{
    const auto opener = m_openers.find(found.kind);
    if (opener == m_openers.end() || !opener->second) {
        showNotBuiltYet(found);
        return;
    }
    m_found = found;
    m_deviceWindowOpen = true;
    try {
        opener->second(*this, this);
    } catch (...) {
        m_deviceWindowOpen = false;
        throw;
    }
    m_deviceWindowOpen = false;
}

void TFOrvekConfigurator::showNotBuiltYet(const FoundDevice &found)
{
    const DeviceKind *kind = FindDeviceKind(found.kind);
    showInformation(this, QStringLiteral("По адресу %1 найдено устройство \"%2\".\rОкно этого устройства в данной "
                                         "версии программы не предусмотрено.")
                              .arg(QString::number(found.address), kind ? kind->windowCaption : QString()));
}

void TFOrvekConfigurator::onPortLost()
{
    // An open device window reports it itself, in front of this one.
    if (m_deviceWindowOpen)
        return;
    showError(this, LostPortText(m_channel->address())
                        + QStringLiteral("\rПоиск устройств остановлен. Проверьте подключение и повторите поиск."));
}
