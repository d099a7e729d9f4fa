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
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const char *const IdleValue = "????????,??";

const QString PortClosedText = QStringLiteral(
    "Порт закрыт!\rПроверьте параметры подключения и повторите поиск устройства.");
const QString NoAnswerAddressText = QStringLiteral(
    "Устройство не отвечает на запросы:\r1. Проверьте питание и схему подключения устройства;\r2. Повторите поиск "
    "устройства.");
const QString NoAnswerBaudText = QStringLiteral(
    "Устройство не отвечает на запросы:\r1. Проверьте питание и схему подключения устройства;\r2. Перезапустите "
    "программу.");

QLabel *makeField(const QString &name, const QString &text, QWidget *parent)
{
    auto *field = new QLabel(text, parent);
    field->setObjectName(name);
    field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    field->setTextInteractionFlags(Qt::TextSelectableByMouse);
    field->setMinimumWidth(70);
    return field;
}

QLabel *makeLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QPushButton *makeButton(const QString &name, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

TRxSpinEdit *makeEditor(const QString &name, double min, double max, double step, double value, bool typing,
                        QWidget *parent)
{
    auto *editor = new TRxSpinEdit(parent);
    editor->setObjectName(name);
    editor->setMinValue(min);
    editor->setMaxValue(max);
    editor->setIncrement(step);
    editor->setValue(value);
    editor->setEditorEnabled(typing);
    return editor;
}
} // namespace

TDeviceWindow::TDeviceWindow(DeviceHost &host, const DeviceProfile &profile, QWidget *parent)
    : QDialog(parent), m_host(host), m_profile(profile)
{
    setWindowTitle(profile.caption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(profile.size);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    layout->addWidget(PageControl1);

    m_tab1 = new QWidget(PageControl1);
    m_tab1->setObjectName(QStringLiteral("TabSheet1"));
    m_tab2 = new QWidget(PageControl1);
    m_tab2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(m_tab1, QStringLiteral("Диагностика и Конфигурация"));
    PageControl1->addTab(m_tab2, QStringLiteral("Мониторинг"));
    m_monitoringLayout = new QVBoxLayout(m_tab2);

    TimerTest = new QTimer(this);
    TimerTest->setObjectName(QStringLiteral("TimerTest"));
    TimerTest->setTimerType(Qt::PreciseTimer);

    buildFirstTab();

    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 0)
            TabSheet1Show();
        else
            TabSheet2Show();
    });
    connect(TimerTest, &QTimer::timeout, this, [this] { guarded(this, [this] { TimerTestTimer(); }); });
    connect(BitBtnStart, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnStartClick(); }); });
    connect(BitBtnStop, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnStopClick(); }); });
    connect(BitBtnReport, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnReportClick(); }); });
    if (BitBtnAddr && profile.addressAndBaudActions) {
        connect(BitBtnAddr, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnAddrClick(); }); });
        connect(BitBtnBaud, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnBaudClick(); }); });
    }

    FormStorage1 = new TFormStorage(this, 0, profile.stored, false);
    FormStorage1->setObjectName(QStringLiteral("FormStorage1"));
}

TDeviceWindow::~TDeviceWindow() = default;

void TDeviceWindow::buildFirstTab()
{
    auto *tabLayout = new QVBoxLayout(m_tab1);

    auto *panel1 = new QGroupBox(QStringLiteral(" Конфигурация "), m_tab1);
    panel1->setObjectName(QStringLiteral("Panel1"));
    m_configGrid = new QGridLayout(panel1);
    m_configGrid->setColumnStretch(1, 1);
    LabelCode = makeLabel(m_profile.codeLabelName, m_profile.labelCode, panel1);
    LabelModel = makeLabel(m_profile.modelLabelName, m_profile.labelModel, panel1);
    LabelVer = makeLabel(QStringLiteral("LabelVer"), m_profile.labelVer, panel1);
    LabelAddr = makeLabel(QStringLiteral("LabelAddr"), m_profile.labelAddr, panel1);
    LabelBaud = makeLabel(QStringLiteral("LabelBaud"), m_profile.labelBaud, panel1);
    StaticTextCode = makeField(QStringLiteral("StaticTextCode"), m_profile.initialCode, panel1);
    StaticTextModel = makeField(QStringLiteral("StaticTextModel"), m_profile.initialModel, panel1);
    StaticTextVer = makeField(QStringLiteral("StaticTextVer"), m_profile.initialVer, panel1);
    StaticTextAddr = makeField(QStringLiteral("StaticTextAddr"), QStringLiteral("??"), panel1);
    StaticTextBaud = makeField(QStringLiteral("StaticTextBaud"), QStringLiteral("?????"), panel1);

    const QList<QPair<QLabel *, QLabel *>> rows = {{LabelCode, StaticTextCode},
                                                   {LabelModel, StaticTextModel},
                                                   {LabelVer, StaticTextVer},
                                                   {LabelAddr, StaticTextAddr},
                                                   {LabelBaud, StaticTextBaud}};
    for (int i = 0; i < rows.size(); ++i) {
        m_configGrid->addWidget(rows[i].first, i, 0);
        m_configGrid->addWidget(rows[i].second, i, 1);
    }
    if (m_profile.addressAndBaudEditors) {
        RxSpinEditAddr = makeEditor(QStringLiteral("RxSpinEditAddr"), 1, 247, 1, m_profile.addressDefault, false,
                                    panel1);
        BitBtnAddr = makeButton(QStringLiteral("BitBtnAddr"), QStringLiteral("Изменить"), panel1);
        RxSpinEditBaud = makeEditor(QStringLiteral("RxSpinEditBaud"), 9600, m_profile.baudMax, 9600, 9600, false,
                                    panel1);
        BitBtnBaud = makeButton(QStringLiteral("BitBtnBaud"), QStringLiteral("Изменить"), panel1);
        m_configGrid->addWidget(RxSpinEditAddr, 3, 2);
        m_configGrid->addWidget(BitBtnAddr, 3, 3);
        m_configGrid->addWidget(RxSpinEditBaud, 4, 2);
        m_configGrid->addWidget(BitBtnBaud, 4, 3);
        if (!m_profile.addressAndBaudActions) {
            for (QWidget *w : {static_cast<QWidget *>(RxSpinEditAddr), static_cast<QWidget *>(BitBtnAddr),
                               static_cast<QWidget *>(RxSpinEditBaud), static_cast<QWidget *>(BitBtnBaud)})
                w->setEnabled(false);
        }
    }
    tabLayout->addWidget(panel1);

    auto *panel2 = new QGroupBox(QStringLiteral(" Диагностика "), m_tab1);
    panel2->setObjectName(QStringLiteral("Panel2"));
    auto *diag = new QGridLayout(panel2);
    RxSpinEditCount = makeEditor(QStringLiteral("RxSpinEditCount"), m_profile.countMin, m_profile.countMax, 50,
                                 m_profile.countDefault, true, panel2);
    RxSpinEditTimeOut = makeEditor(QStringLiteral("RxSpinEditTimeOut"), m_profile.intervalMin, m_profile.intervalMax,
                                   10, m_profile.intervalDefault, false, panel2);
    diag->addWidget(new QLabel(QStringLiteral("Количество тестовых посылок:"), panel2), 0, 0);
    diag->addWidget(RxSpinEditCount, 0, 1);
    diag->addWidget(new QLabel(QStringLiteral("Интервал опроса (мсек):"), panel2), 1, 0);
    diag->addWidget(RxSpinEditTimeOut, 1, 1);
    BitBtnStart = makeButton(QStringLiteral("BitBtnStart"), QStringLiteral("Запустить тест"), panel2);
    BitBtnStop = makeButton(QStringLiteral("BitBtnStop"), QStringLiteral("Остановить тест"), panel2);
    BitBtnReport = makeButton(QStringLiteral("BitBtnReport"), QStringLiteral("Сохранить..."), panel2);
    BitBtnStop->setEnabled(false);
    BitBtnReport->setEnabled(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(BitBtnStart);
    buttons->addWidget(BitBtnStop);
    buttons->addWidget(BitBtnReport);
    diag->addLayout(buttons, 2, 0, 1, 2);
    Memo1 = new QPlainTextEdit(panel2);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setToolTip(m_profile.journalHint);
    diag->addWidget(Memo1, 3, 0, 1, 2);
    diag->setRowStretch(3, 1);
    tabLayout->addWidget(panel2, 1);

    ProgressBar1 = new QProgressBar(m_tab1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, m_profile.countDefault);
    ProgressBar1->setValue(0);
    tabLayout->addWidget(ProgressBar1);
}

QLabel *TDeviceWindow::addValueField(QGridLayout *grid, int row, const QString &name, const QString &label,
                                     const QString &unit)
{
    QWidget *owner = grid->parentWidget();
    auto *caption = new QLabel(label, owner);
    caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *field = makeField(name, QString::fromLatin1(IdleValue), owner);
    field->setProperty("Tag", 1);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("42949672,95")) + 16);
    grid->addWidget(caption, row, 0);
    grid->addWidget(field, row, 1);
    grid->addWidget(new QLabel(unit, owner), row, 2);
    grid->setColumnStretch(3, 1);
    return field;
}

QGroupBox *TDeviceWindow::addMonitoringGroup(const QString &heading)
{
    auto *group = new QGroupBox(heading, m_tab2);
    m_monitoringLayout->addWidget(group);
    return group;
}

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
    StaticTextBaud->setText(m_host.baudRateText());
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
    if (!askYesNo(this, QStringLiteral("Вы действительно хотите изменить сетевой адрес?")))
        return;
    RequestLayer &frames = m_host.frames();
    frames.ResetRx();
    frames.ResetTx();
    frameAddressWrite(frames, static_cast<std::uint8_t>(current), wanted);
    exchange(1000);
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
    exchange(1000);
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

void TDeviceWindow::setConfigActionsEnabled(bool enabled)
{
    if (BitBtnAddr && m_profile.addressAndBaudActions) {
        BitBtnAddr->setEnabled(enabled);
        BitBtnBaud->setEnabled(enabled);
    }
}

void TDeviceWindow::BitBtnStartClick()
{
    setConfigActionsEnabled(false);
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
    setConfigActionsEnabled(true);
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
    return {LabelCode->text() + StaticTextCode->text(), LabelModel->text() + StaticTextModel->text(),
            LabelVer->text() + StaticTextVer->text(), LabelAddr->text() + StaticTextAddr->text(),
            LabelBaud->text() + StaticTextBaud->text()};
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
    const QString proposed = QDir::current().filePath(ReportFileName(m_profile.reportPrefix, QDate::currentDate()));
    const QString path = dialogs().saveFileName(this, QStringLiteral("Сохранение отчета..."),
                                                QStringLiteral("журнал событий (*.log)"), proposed,
                                                QStringLiteral("log"));
    if (path.isEmpty()) {
        showInformation(this, m_profile.reportCancelText);
        return;
    }
    appendJournal(QStringLiteral("Отчет создан в ") + JournalTime(QTime::currentTime()));
    // The next report of the run is proposed in the folder chosen now.
    QDir::setCurrent(QFileInfo(path).absolutePath());
    QString error;
    if (!WriteReport(path, journalLines(), &error))
        showError(this, QStringLiteral("Не удалось записать отчет в файл ") + path + QStringLiteral(":\r") + error);
}
