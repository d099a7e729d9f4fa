#include "app/mainwindow.h"

#include "bus/buschannel.h"
#include "bus/linkfactory.h"
#include "bus/requestlayer.h"
#include "bus/vacomm.h"
#include "scan/devicesearch.h"
#include "widgets/dialogs.h"
#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"

#include <QLabel>

// The main window's side of the bus survey: it opens the survey window and opens
// the device the survey found as its own search would.

int TFOrvekConfigurator::portNumber() const
{
    return RxSpinEdit1->IntValue();
}

TFSurvey *TFOrvekConfigurator::surveyWindow() const
{
    return m_survey;
}

void TFOrvekConfigurator::BitBtnSurveyClick()
{
    if (!m_survey) {
        // No owner, as the bus monitor: a device window opened from it blocks its
        // owner, and the survey's results must stay at hand beside it.
        m_survey = new TFSurvey(*this, RxSpinEdit2->IntValue(), RxSpinEdit3->IntValue());
        m_survey->setAttribute(Qt::WA_DeleteOnClose);
        m_survey->setWindowIcon(windowIcon());
    }
    m_survey->show();
    m_survey->raise();
    m_survey->activateWindow();
}

void TFOrvekConfigurator::openSurveyed(const FoundDevice &found)
{
    if (m_channel->isOpen() || VaComm1->Opening()) {
        showWarning(m_survey, QStringLiteral("Порт занят: идет поиск устройства или открыто окно устройства.\r"
                                             "Завершите их и откройте устройство снова."));
        return;
    }
    // The connection parameters say where the device is, as after a search.
    const TVaBaudrate rate = TVaComm::baudrateOf(found.line.baudRate);
    if (rate >= br4800 && rate <= br128000)
        RadioGroup1->setItemIndex(rate - br4800);
    RadioGroup2->setItemIndex(qBound(0, static_cast<int>(found.line.parity), 2));
    // The meter, found through address 0, keeps the range: any range finds it.
    if (found.address >= 1) {
        // In an order the coupled editors allow: the first never above the last.
        if (found.address >= RxSpinEdit2->IntValue()) {
            RxSpinEdit3->setValue(found.address);
            RxSpinEdit2->setValue(found.address);
        } else {
            RxSpinEdit2->setValue(found.address);
            RxSpinEdit3->setValue(found.address);
        }
    }
    if (const DeviceKind *kind = FindDeviceKind(found.kind))
        m_channel->setProtocol(kind->protocol);
    try {
        m_channel->open(found.port, found.line);
    } catch (const EVaCommError &error) {
        if (error.failure() != EVaCommError::Failure::Cancelled)
            showError(m_survey ? static_cast<QWidget *>(m_survey) : this, OpenFailureMessage(error));
        return;
    }
    // What a search leaves for the device window: the answer in RxFrame, the address shown.
    RequestLayer &frames = m_channel->frames();
    frames.ResetRx();
    frames.VaComm1RxBuf(found.answer);
    StaticTextAddr->setText(QString::number(found.address));
    StaticTextMsg->setText(DeviceSearch::statusText(DeviceSearch::Status::Found));
    try {
        openFoundWindow(found);
    } catch (...) {
        m_channel->close();
        throw;
    }
    // Closing runs VaComm1Close, which returns the window to idle.
    m_channel->close();
}
