#include "devices/devicewindow.h"

#include "bus/modbusexception.h"
#include "bus/requestlayer.h"
#include "bus/vacomm.h"
#include "widgets/dialogs.h"
#include "widgets/rxspinedit.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

namespace {
const QString PortClosedText = QStringLiteral(
    "Порт закрыт!\rПроверьте параметры подключения и повторите поиск устройства.");
const QString NoAnswerAddressText = QStringLiteral(
    "Устройство не отвечает на запросы:\r1. Проверьте питание и схему подключения устройства;\r2. Повторите поиск "
    "устройства.");
const QString NoAnswerBaudText = QStringLiteral(
    "Устройство не отвечает на запросы:\r1. Проверьте питание и схему подключения устройства;\r2. Перезапустите "
    "программу.");
} // namespace

TDeviceWindow::~TDeviceWindow() = default;

std::uint8_t TDeviceWindow::currentAddress() const
{
    return static_cast<std::uint8_t>(m_address);
}

void TDeviceWindow::setAddress(int address)
{
    m_address = address;
    StaticTextAddr->setText(QString::number(address));
}

void TDeviceWindow::FormShow()
{
    const QByteArray &answer = m_host.found().answer;
    fillIdentification(reinterpret_cast<const std::uint8_t *>(answer.constData()), int(answer.size()));
    setAddress(m_host.found().address);
    StaticTextBaud->setText(m_profile.fixedBaudText.isEmpty() ? m_host.baudRateText() : m_profile.fixedBaudText);
    PageControl1->setCurrentIndex(0);
    TabSheet1Show();
    BitBtnStart->setFocus();
}

void TDeviceWindow::frameRequest(RequestLayer &frames, std::uint8_t address)
{
    frameTestRequest(frames, address);
}

void TDeviceWindow::decode(const RequestLayer &frames)
{
    // A refusal passes the CRC check and counts as accepted, but it carries no values.
    if (!ModbusExceptionCode(frames.RxFrame, frames.RxCount))
        readings().publish(decodeReadings(frames.RxFrame, frames.RxCount));
}

bool TDeviceWindow::ensurePortOpen()
{
    if (m_host.port().Active())
        return true;
    showError(this, PortClosedText);
    close();
    return false;
}

bool TDeviceWindow::judgeWrite(const WriteTexts &texts, const std::function<void()> &onWritten)
{
    const RequestLayer &frames = m_host.frames();
    const WriteAnswer answer = JudgeWriteAnswer(frames.RxFrame, frames.RxCount);
    switch (answer.kind) {
    case WriteAnswer::NoAnswer:
        showError(this, texts.noAnswer);
        return false;
    case WriteAnswer::CrcError:
        showWarning(this, texts.crcError);
        return false;
    case WriteAnswer::Refused:
        // An exception answer passes the CRC check; it is a refusal, not a confirmation.
        showWarning(this, RefusalMessage(answer.exceptionCode, texts.notWritten));
        return false;
    case WriteAnswer::Written:
        if (onWritten)
            onWritten();
        showInformation(this, texts.written);
        return true;
    }
    return false;
}

void TDeviceWindow::frameAddressWrite(RequestLayer &, std::uint8_t, int) {}
void TDeviceWindow::frameBaudWrite(RequestLayer &, std::uint8_t, int) {}

void TDeviceWindow::BitBtnAddrClick()
{
    if (!ensurePortOpen())
        return;
    const int current = m_address;
    const int wanted = RxSpinEditAddr->IntValue();
    if (current == wanted)
        return;
    if (m_profile.confirmAddressChange
        && !askYesNo(this, QStringLiteral("Вы действительно хотите изменить сетевой адрес?")))
        return;
    RequestLayer &frames = m_host.frames();
    frames.ResetRx();
    frames.ResetTx();
    frameAddressWrite(frames, static_cast<std::uint8_t>(current), wanted);
    if (!exchange(m_profile.configWaitMs))
        return;
    const QString notWritten = QStringLiteral("Новый сетевой адрес не записан!");
    judgeWrite({NoAnswerAddressText, QStringLiteral("Произошла ошибка CRC!\r") + notWritten, notWritten,
                QStringLiteral("Новый сетевой адрес записан успешно!")},
               [&] { setAddress(wanted); });
}

void TDeviceWindow::BitBtnBaudClick()
{
    if (!ensurePortOpen())
        return;
    const int current = StaticTextBaud->text().toInt();
    const int wanted = RxSpinEditBaud->IntValue();
    if (current == wanted)
        return;
    if (!askYesNo(this, QStringLiteral("Вы действительно хотите изменить скорость обмена?")))
        return;
    RequestLayer &frames = m_host.frames();
    frames.ResetRx();
    frames.ResetTx();
    frameBaudWrite(frames, currentAddress(), wanted);
    if (!exchange(m_profile.configWaitMs))
        return;
    const QString notWritten = QStringLiteral("Новое значение скорости обмена не записано!");
    if (judgeWrite({NoAnswerBaudText, QStringLiteral("Произошла ошибка CRC!\r") + notWritten, notWritten,
                    QStringLiteral("Новое значение скорости обмена записано успешно!\rИзменения вступят в силу "
                                   "только после выключения питания устройства!")}))
        close();
}

void TDeviceWindow::setTestControlsEnabled(bool enabled)
{
    if (!m_profile.addressAndBaudActions)
        return;
    for (QPushButton *button : {BitBtnAddr, BitBtnBaud})
        if (button)
            button->setEnabled(enabled);
}

QStringList TDeviceWindow::configurationLines() const
{
    QStringList lines;
    if (m_profile.summaryHasCodeAndModel)
        lines << LabelCode->text() + StaticTextCode->text() << LabelModel->text() + StaticTextModel->text();
    lines << LabelVer->text() + StaticTextVer->text() << LabelAddr->text() + StaticTextAddr->text()
          << LabelBaud->text() + StaticTextBaud->text();
    return lines;
}
