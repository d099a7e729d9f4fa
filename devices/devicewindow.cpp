#include "devices/devicewindow.h"

#include "bus/delayms.h"
#include "bus/requestlayer.h"
#include "bus/vacomm.h"
#include "settings/formstorage.h"
#include "widgets/dialogs.h"
#include "widgets/rxspinedit.h"
#include "widgets/vrblinkled.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

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

QStringList TDeviceWindow::journalLines() const
{
    return m_journal;
}

void TDeviceWindow::appendJournal(const QString &line)
{
    m_journal << line;
    Memo1->appendPlainText(line);
}

void TDeviceWindow::clearJournal()
{
    m_journal.clear();
    Memo1->clear();
}

std::uint8_t TDeviceWindow::currentAddress() const
{
    return static_cast<std::uint8_t>(StaticTextAddr->text().toInt());
}

void TDeviceWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    // A window not meant to open centred keeps its place near the owner's corner.
    if (!m_profile.centred && parentWidget())
        move(parentWidget()->window()->frameGeometry().topLeft() + QPoint(24, 24));
    // The settings store has restored the editors before this handler runs.
    guarded(this, [this] { FormShow(); });
}

void TDeviceWindow::keyPressEvent(QKeyEvent *event)
{
    // No cancel button: Escape must not close a window in the middle of a test.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TDeviceWindow::FormShow()
{
    RequestLayer &frames = m_host.frames();
    fillIdentification(frames.RxFrame, frames.RxCount);
    StaticTextAddr->setText(m_host.foundAddressText());
    StaticTextBaud->setText(m_profile.fixedBaudText.isEmpty() ? m_host.baudRateText() : m_profile.fixedBaudText);
    PageControl1->setCurrentIndex(0);
    TabSheet1Show();
    BitBtnStart->setFocus();
}

void TDeviceWindow::done(int result)
{
    if (!m_closed) {
        m_closed = true;
        FormClose();
    }
    QDialog::done(result);
}

void TDeviceWindow::FormClose()
{
    TimerTest->stop();
    // A settings file that cannot be written is reported; the window closes all the same.
    guarded(this, [this] { FormStorage1->save(); });
}

bool TDeviceWindow::ensurePortOpen()
{
    if (m_host.port().Active())
        return true;
    showError(this, PortClosedText);
    close();
    return false;
}

void TDeviceWindow::exchange(int ms)
{
    RequestLayer &frames = m_host.frames();
    TVaComm &port = m_host.port();
    port.PurgeWrite();
    port.WriteBuf(frames.TxFrame, frames.TxCount);
    // The event loop runs during the wait; the window's controls are held so a
    // click cannot start another exchange into the same buffers meanwhile.
    PageControl1->setEnabled(false);
    DelayMs(ms);
    PageControl1->setEnabled(true);
}

void TDeviceWindow::frameAddressWrite(RequestLayer &, std::uint8_t, int) {}
void TDeviceWindow::frameBaudWrite(RequestLayer &, std::uint8_t, int) {}

void TDeviceWindow::BitBtnAddrClick()
{
    if (!ensurePortOpen())
        return;
    const int current = StaticTextAddr->text().toInt();
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
    exchange(m_profile.configWaitMs);
    if (m_closed)
        return;
    if (frames.RxCount < 4) {
        showError(this, NoAnswerAddressText);
    } else if (frames.CheckResponseCrc()) {
        StaticTextAddr->setText(QString::number(wanted));
        showInformation(this, QStringLiteral("Новый сетевой адрес записан успешно!"));
    } else {
        showWarning(this, QStringLiteral("Произошла ошибка CRC!\rНовый сетевой адрес не записан!"));
    }
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
    exchange(m_profile.configWaitMs);
    if (m_closed)
        return;
    if (frames.RxCount < 4) {
        showError(this, NoAnswerBaudText);
    } else if (!frames.CheckResponseCrc()) {
        showWarning(this, QStringLiteral("Произошла ошибка CRC!\rНовое значение скорости обмена не записано!"));
    } else {
        showInformation(this, QStringLiteral("Новое значение скорости обмена записано успешно!\rИзменения вступят в "
                                             "силу только после выключения питания устройства!"));
        close();
    }
}

void TDeviceWindow::setTestControlsEnabled(bool enabled)
{
    if (m_profile.addressAndBaudActions) {
        for (QPushButton *button : {BitBtnAddr, BitBtnBaud})
            if (button)
                button->setEnabled(enabled);
    }
}

void TDeviceWindow::BitBtnStartClick()
{
    setTestControlsEnabled(false);
    BitBtnStop->setEnabled(true);
    BitBtnStop->setFocus();
    BitBtnStart->setEnabled(false);
    BitBtnReport->setEnabled(false);

    clearJournal();
    appendJournal(QStringLiteral("Тест запущен в ") + JournalTime(QTime::currentTime()));

    RequestLayer &frames = m_host.frames();
    frames.ResetRx();
    frames.ResetTx();
    TestCounters &c = counters();
    c.sent = c.accepted = c.errors = 0;

    ProgressBar1->setRange(0, RxSpinEditCount->IntValue());
    ProgressBar1->setValue(0);
    TimerTest->setInterval(RxSpinEditTimeOut->IntValue());
    TimerTest->start();
}

void TDeviceWindow::TimerTestTimer()
{
    TestCounters &c = counters();
    RequestLayer &frames = m_host.frames();
    TVaComm &port = m_host.port();

    if (c.sent > RxSpinEditCount->IntValue()) {
        BitBtnStopClick();
        return;
    }
    if (frames.RxCount <= 3) {
        port.PurgeWrite();
        ProgressBar1->setValue(c.sent);
        ++c.sent;
        frameTestRequest(frames, currentAddress());
        port.WriteBuf(frames.TxFrame, frames.TxCount);
        return;
    }
    if (frames.CheckResponseCrc()) {
        ++c.accepted;
        if (c.monitoring)
            decodeMonitoring(frames.RxFrame, frames.RxCount);
    } else {
        ++c.errors;
        appendJournal(QStringLiteral("->") + HexBytes(frames.TxFrame, frames.TxCount));
        appendJournal(QStringLiteral("<-") + HexBytes(frames.RxFrame, frames.RxCount));
    }
    port.PurgeRead();
    frames.ResetRx();
}

void TDeviceWindow::BitBtnStopClick()
{
    TimerTest->stop();
    appendJournal(QStringLiteral("Тест остановлен в ") + JournalTime(QTime::currentTime()));
    const QStringList summary = SummaryLines(m_profile.deviceName, configurationLines(), RxSpinEditCount->IntValue(),
                                             RxSpinEditTimeOut->IntValue(), counters());
    for (const QString &line : summary)
        appendJournal(line);

    showInformation(this, QStringLiteral("Тест завершен!\rРезультаты теста содержатся в журнале ошибок."));

    PageControl1->setCurrentIndex(0);
    TabSheet1Show();
    setTestControlsEnabled(true);
    BitBtnStart->setEnabled(true);
    BitBtnStart->setFocus();
    BitBtnStop->setEnabled(false);
    BitBtnReport->setEnabled(true);
    resetIdleLook();
}

void TDeviceWindow::resetIdleLook()
{
    for (QLabel *field : findChildren<QLabel *>()) {
        if (field->property("Tag").toInt() != 0)
            field->setText(QString::fromLatin1(IdleValue));
    }
    for (TVrBlinkLed *led : findChildren<TVrBlinkLed *>())
        led->setColorIndex(1);
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

void TDeviceWindow::TabSheet1Show()
{
    counters().monitoring = false;
}

void TDeviceWindow::TabSheet2Show()
{
    counters().monitoring = true;
}

void TDeviceWindow::BitBtnReportClick()
{
    const QString proposed = QDir(ReportFolder()).filePath(ReportFileName(m_profile.reportPrefix, QDate::currentDate()));
    const QString path = dialogs().saveFileName(this, QStringLiteral("Сохранение отчета..."),
                                                QStringLiteral("журнал событий (*.log)"), proposed,
                                                QStringLiteral("log"));
    if (path.isEmpty()) {
        showInformation(this, m_profile.reportCancelText);
        return;
    }
    // The file holds the line, but the journal gets it only once the file is complete.
    const QString created = QStringLiteral("Отчет создан в ") + JournalTime(QTime::currentTime());
    QStringList lines = journalLines();
    lines << created;
    QString error;
    if (!SaveReport(path, lines, &error)) {
        showError(this, error);
        return;
    }
    appendJournal(created);
}
