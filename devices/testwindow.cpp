#include "devices/testwindow.h"

#include "bus/delayms.h"
#include "bus/linkfactory.h"
#include "bus/requestlayer.h"
#include "bus/ticktimer.h"
#include "bus/vacomm.h"
#include "charts/chartwindow.h"
#include "settings/formstorage.h"
#include "widgets/rxspinedit.h"
#include "widgets/placement.h"
#include "widgets/vrblinkled.h"
#include "widgets/vrdigitgroup.h"

#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTimer>

// How the test side works; how it is put together lives in testwindow_ui.cpp.

namespace {
const QString FinishedText = QStringLiteral("Тест завершен!\rРезультаты теста содержатся в журнале ошибок.");
}

TTestWindow::~TTestWindow()
{
    // The chart shows the store, which goes before the window's other children.
    delete m_chart.data();
}

bool TTestWindow::testRunning() const
{
    return m_test->isRunning();
}

void TTestWindow::appendJournal(const QString &line)
{
    m_journal << line;
    Memo1->appendPlainText(line);
}

void TTestWindow::showOn(const QString &quantity, std::function<void(double)> show)
{
    m_displays.insert(quantity, std::move(show));
}

void TTestWindow::showOn(const QString &quantity, QLabel *field)
{
    showOn(quantity, [field](double value) { field->setText(FormatGeneral(value)); });
}

void TTestWindow::showOn(const QString &quantity, TVrBlinkLed *led)
{
    showOn(quantity, [led](double value) { led->setColorIndex(value != 0 ? 2 : 1); });
}

void TTestWindow::showOn(const QString &quantity, TVrDigitGroup *display)
{
    showOn(quantity, [display](double value) { display->setValue(value); });
}

void TTestWindow::showReadings(const Readings &batch)
{
    // The fields follow the values only while they are watched.
    if (!counters().monitoring)
        return;
    for (const Reading &reading : batch) {
        const auto display = m_displays.constFind(reading.quantity);
        if (display != m_displays.constEnd())
            (*display)(reading.value);
    }
}

void TTestWindow::clearJournal()
{
    m_journal.clear();
    Memo1->clear();
}

void TTestWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    // A window not meant to open centred keeps its place near the owner's corner.
    const QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (!m_testProfile.centred && owner)
        move(owner->frameGeometry().topLeft() + QPoint(24, 24));
    else if (m_testProfile.centred)
        CentreOnScreen(*this, owner);
    // The settings store has restored the editors before this handler runs.
    guarded(this, [this] { FormShow(); });
}

void TTestWindow::keyPressEvent(QKeyEvent *event)
{
    // No cancel button: Escape must not close a window in the middle of a test.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TTestWindow::done(int result)
{
    if (!m_closed) {
        m_closed = true;
        FormClose();
    }
    closeChart();
    QDialog::done(result);
}

void TTestWindow::FormClose()
{
    // A running test ends without summary or message.
    if (m_test->isRunning())
        m_readings->endTest();
    m_test->stop();
    // A settings file that cannot be written is reported; the window closes all the same.
    guarded(this, [this] { FormStorage1->save(); });
}

bool TTestWindow::exchange(int ms)
{
    RequestLayer &frames = m_host.frames();
    TVaComm &port = m_host.port();
    port.PurgeWrite();
    port.WriteBuf(frames.TxFrame, frames.TxCount);
    PageControl1->setEnabled(false);
    DelayMs(ms);
    PageControl1->setEnabled(true);
    return !m_closed && port.Active();
}

void TTestWindow::BitBtnStartClick()
{
    // A loss while the start talks to the device is judged here, once it is over.
    m_starting = true;
    const auto started = qScopeGuard([this] { m_starting = false; });
    if (!beforeTestStart() || m_closed)
        return;
    // Lost before the start, or while it talked to the device: said at once, and
    // nothing starts; the last test's journal stays for its report.
    if (!m_host.port().Active()) {
        m_portLostShown = true;
        showError(this, portLostText(false));
        return;
    }
    setTestControlsEnabled(false);
    BitBtnStop->setEnabled(true);
    BitBtnStop->setFocus();
    BitBtnStart->setEnabled(false);
    BitBtnReport->setEnabled(false);

    clearJournal();
    appendJournal(QStringLiteral("Тест запущен в ") + JournalTime(QTime::currentTime()));
    m_test->reset();
    if (!beforeTicks() || m_closed)
        return;
    if (!m_host.port().Active()) {
        m_portLostShown = true;
        finishTest(UserDialogs::Kind::Error, portLostText(true));
        return;
    }
    ProgressBar1->setRange(0, RxSpinEditCount->IntValue());
    ProgressBar1->setValue(0);
    m_readings->beginTest();
    m_test->run(RxSpinEditTimeOut->IntValue());
}

void TTestWindow::TimerTestTimer()
{
    m_test->tick();
}

void TTestWindow::onTestFinished(CommTest::Stop why)
{
    switch (why) {
    case CommTest::Stop::CountReached: BitBtnStopClick(); break;
    case CommTest::Stop::PortLost: onPortLost(); break;
    // Shown once, instead of a box at every tick.
    case CommTest::Stop::Failed: finishTest(UserDialogs::Kind::Error, m_test->lastError()); break;
    }
}

void TTestWindow::BitBtnStopClick()
{
    finishTest(UserDialogs::Kind::Information, FinishedText);
}

void TTestWindow::finishTest(UserDialogs::Kind kind, const QString &text)
{
    m_test->stop();
    m_readings->endTest();
    appendJournal(QStringLiteral("Тест остановлен в ") + JournalTime(QTime::currentTime()));
    const QStringList summary = SummaryLines(m_testProfile.deviceName, configurationLines(),
                                             RxSpinEditCount->IntValue(), RxSpinEditTimeOut->IntValue(), counters());
    for (const QString &line : summary)
        appendJournal(line);

    dialogs().message(this, kind, text);

    PageControl1->setCurrentIndex(0);
    TabSheet1Show();
    setTestControlsEnabled(true);
    BitBtnStart->setEnabled(true);
    BitBtnStart->setFocus();
    BitBtnStop->setEnabled(false);
    BitBtnReport->setEnabled(true);
    resetIdleLook();
}

QString TTestWindow::portLostText(bool testWasRunning) const
{
    QString text = LostPortText(m_host.port().DeviceName());
    if (testWasRunning)
        text += QStringLiteral("\rТест остановлен. Результаты теста содержатся в журнале ошибок.");
    return text + QStringLiteral("\rПроверьте подключение и повторите поиск устройства.");
}

void TTestWindow::onPortLost()
{
    // A start in progress says it itself when its exchanges are over.
    if (m_closed || m_starting)
        return;
    // A running test always ends, even when the loss was reported before (a start
    // on a lost port); an idle window says it once.
    if (m_test->isRunning() || BitBtnStop->isEnabled()) {
        m_portLostShown = true;
        finishTest(UserDialogs::Kind::Error, portLostText(true));
    } else if (!m_portLostShown) {
        m_portLostShown = true;
        showError(this, portLostText(false));
    }
}

void TTestWindow::resetIdleLook()
{
    for (QLabel *field : findChildren<QLabel *>()) {
        if (field->property("Tag").toInt() != 0)
            field->setText(QString::fromLatin1(IdleValue));
    }
    for (TVrBlinkLed *led : findChildren<TVrBlinkLed *>())
        led->setColorIndex(1);
}

void TTestWindow::tabShown(int index)
{
    if (index == 1)
        TabSheet2Show();
    else
        TabSheet1Show();
}

void TTestWindow::TabSheet1Show()
{
    counters().monitoring = false;
}

void TTestWindow::TabSheet2Show()
{
    counters().monitoring = true;
}

void TTestWindow::BitBtnReportClick()
{
    const QString proposed
        = QDir(ReportFolder()).filePath(ReportFileName(m_testProfile.reportPrefix, QDate::currentDate()));
    const QString path = dialogs().saveFileName(this, QStringLiteral("Сохранение отчета..."),
                                                QStringLiteral("журнал событий (*.log)"), proposed,
                                                QStringLiteral("log"));
    if (path.isEmpty()) {
        showInformation(this, m_testProfile.reportCancelText);
        return;
    }
    // The file holds the line, but the journal gets it only once the file is complete.
    const QString created = QStringLiteral("Отчет создан в ") + JournalTime(QTime::currentTime());
    QString error;
    if (!SaveReport(path, journalLines() << created, &error)) {
        showError(this, error);
        return;
    }
    appendJournal(created);
}
