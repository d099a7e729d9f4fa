#include "app/mainwindow.h"

#include "app/picturebutton.h"
#include "app/portsdialog.h"
#include "bus/buschannel.h"
#include "bus/linkfactory.h"
#include "bus/portmap.h"
#include "bus/tcp/tcpaddress.h"
#include "bus/ticktimer.h"
#include "bus/vacomm.h"
#include "info/schemes.h"
#include "monitor/monitorwindow.h"
#include "resources/images.h"
#include "settings/formstorage.h"
#include "settings/inifile.h"
#include "widgets/dialogs.h"
#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

TFOrvekConfigurator *FOrvekConfigurator = nullptr;

namespace {
const QStringList BaudItems = {QStringLiteral("4800"),  QStringLiteral("9600"),   QStringLiteral("14400"),
                               QStringLiteral("19200"), QStringLiteral("38400"),  QStringLiteral("56000"),
                               QStringLiteral("57600"), QStringLiteral("115200"), QStringLiteral("128000")};

TRxSpinEdit *makeEditor(const char *name, int min, int max, int value, QWidget *parent)
{
    auto *editor = new TRxSpinEdit(parent);
    editor->setObjectName(QString::fromLatin1(name));
    editor->setMinValue(min);
    editor->setMaxValue(max);
    editor->setValue(value);
    return editor;
}

// A square button of the connection row, beside the line settings. The row is
// as wide as the fixed window: the editors' captions need what is left.
QPushButton *makeToolButton(const char *name, const QString &toolTip, QWidget *parent)
{
    auto *button = new QPushButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setFixedSize(66, 66);
    button->setToolTip(toolTip);
    button->setAutoDefault(false);
    return button;
}

// Position of a progress bar kept inside its range, as the search expects of it.
void setPosition(QProgressBar *bar, int position)
{
    bar->setValue(qBound(bar->minimum(), position, bar->maximum()));
}
} // namespace

TFOrvekConfigurator::TFOrvekConfigurator(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_channel(new BusChannel(this))
{
    FOrvekConfigurator = this;
    setObjectName(QStringLiteral("FOrvekConfigurator"));
    setWindowTitle(QStringLiteral("Конфигуратор интеллектуальных устройств АСУ ТП"));
    setWindowIcon(applicationIcon());
    setFixedSize(840, 578);
    // The store comes first, so it outlives nothing it saves at destruction.
    FormStorage1 = new TFormStorage(this, 2,
                                    {QStringLiteral("RadioGroup1.ItemIndex"), QStringLiteral("RadioGroup2.ItemIndex"),
                                     QStringLiteral("RxSpinEdit1.Value"), QStringLiteral("RxSpinEdit2.Value"),
                                     QStringLiteral("RxSpinEdit3.Value"), QStringLiteral("RxSpinEdit4.Value")},
                                    true);
    FormStorage1->setObjectName(QStringLiteral("FormStorage1"));
    connect(FormStorage1, &TFormStorage::saveFailed, this, [this](const QString &text) { showError(this, text); });

    auto *layout = new QVBoxLayout(this);
    auto *connection = new QGroupBox(QStringLiteral("Параметры подключения:"), this);
    connection->setObjectName(QStringLiteral("GroupBoxConnection"));
    buildConnectionGroup(connection);
    layout->addWidget(connection);
    auto *devices = new QGroupBox(QStringLiteral("Выберите устройство (Ctrl+C - остановить поиск устройств):"), this);
    devices->setObjectName(QStringLiteral("GroupBoxDevices"));
    buildDeviceGroup(devices);
    layout->addWidget(devices, 1);

    wirePort();
    wireSearch();

    Action1 = new QAction(this);
    Action1->setObjectName(QStringLiteral("Action1"));
    Action1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    Action1->setShortcutContext(Qt::WindowShortcut);
    addAction(Action1);
    connect(Action1, &QAction::triggered, this, [this] { guarded(this, [this] { Action1Execute(); }); });
    ActionSurvey = new QAction(this);
    ActionSurvey->setObjectName(QStringLiteral("ActionSurvey"));
    ActionSurvey->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    ActionSurvey->setShortcutContext(Qt::WindowShortcut);
    addAction(ActionSurvey);
    connect(ActionSurvey, &QAction::triggered, this, [this] { guarded(this, [this] { BitBtnSurveyClick(); }); });
    qApp->installEventFilter(this);

    for (const DeviceKind &kind : DeviceKinds())
        m_openers[kind.window] = StandardWindowOpener(kind.window);
}

TFOrvekConfigurator::~TFOrvekConfigurator()
{
    qApp->removeEventFilter(this);
    delete m_survey; // it surveys on the channel, which goes with this window
    delete m_monitor; // it listens to the port, which goes with this window
    if (FOrvekConfigurator == this)
        FOrvekConfigurator = nullptr;
}

void TFOrvekConfigurator::wirePort()
{
    m_channel->setObjectName(QStringLiteral("BusChannel"));
    m_channel->setPortResolver([this](int port) { return resolvePort(port); });
    m_channel->setLinkFactory(SettingsLinkFactory([] { return TFormStorage::filePath(); }));
    VaComm1 = &m_channel->port();
    connect(VaComm1, &TVaComm::OnOpen, this, [this] { guarded(this, [this] { VaComm1Open(); }); });
    connect(VaComm1, &TVaComm::OnClose, this, [this] { guarded(this, [this] { VaComm1Close(); }); });
    // Line errors are ignored: a damaged answer shows up as a CRC error anyway. A
    // lost device is reported once the port has closed, out of the port's own signal.
    connect(VaComm1, &TVaComm::OnLost, this, [this] { guarded(this, [this] { onPortLost(); }); },
            Qt::QueuedConnection);
}

void TFOrvekConfigurator::wireSearch()
{
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(300);
    m_ticks = std::make_unique<QtTickTimer>(*Timer1);
    m_search = std::make_unique<DeviceSearch>(*m_channel, *m_ticks);
    m_search->lastAddress = [this] { return RxSpinEdit3->IntValue(); };
    connect(m_search.get(), &DeviceSearch::finished, this, [this](const DeviceSearch::Result &result) {
        guarded(this, [this, result] { onSearchFinished(result); });
    });
    connect(m_search.get(), &DeviceSearch::cursorMoved, this, [this](int address) {
        setPosition(ProgressBar1, address);
    });
    connect(m_search.get(), &DeviceSearch::probed, this, [this](int address) {
        StaticTextAddr->setText(QString::number(address));
        StaticTextMsg->setText(DeviceSearch::statusText(DeviceSearch::Status::NoAnswer));
    });
    connect(m_search.get(), &DeviceSearch::judged, this,
            [this](DeviceSearch::Status status) { StaticTextMsg->setText(DeviceSearch::statusText(status)); });
}

void TFOrvekConfigurator::buildConnectionGroup(QGroupBox *group)
{
    auto *row = new QHBoxLayout(group);
    row->setSpacing(4);
    row->addLayout(buildEditors(group));

    RadioGroup1 = new TRadioGroup(QStringLiteral("Скорость обмена (бит/сек):"), BaudItems, 3, group);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1->setItemIndex(3);
    row->addWidget(RadioGroup1, 1);
    RadioGroup2 = new TRadioGroup(QStringLiteral("Четность:"),
                                  {QStringLiteral("нет"), QStringLiteral("нечетн"), QStringLiteral("четн")}, 1, group);
    RadioGroup2->setObjectName(QStringLiteral("RadioGroup2"));
    RadioGroup2->setItemIndex(0);
    row->addWidget(RadioGroup2);

    BitBtn1 = makeToolButton("BitBtn1", QStringLiteral("Схемы подключений устройств АСУ к ПК"), group);
    BitBtn1->setIcon(wiringIcon());
    BitBtn1->setIconSize(QSize(50, 50));
    row->addWidget(BitBtn1, 0, Qt::AlignVCenter);
    BitBtnMonitor = makeToolButton("BitBtnMonitor", QStringLiteral("Монитор обмена"), group);
    BitBtnMonitor->setText(QStringLiteral("Монитор\nобмена"));
    BitBtnSurvey = makeToolButton("BitBtnSurvey", QStringLiteral("Обзор шины: все устройства на всех скоростях"), group);
    BitBtnSurvey->setIcon(pictureIcon(Pictures::Survey));
    BitBtnSurvey->setIconSize(QSize(36, 36));
    // The two share a column: the row has no width to spare for another button.
    BitBtnMonitor->setFixedHeight(46);
    BitBtnSurvey->setFixedHeight(46);
    auto *tools = new QVBoxLayout;
    tools->setSpacing(4);
    tools->addWidget(BitBtnMonitor);
    tools->addWidget(BitBtnSurvey);
    row->addLayout(tools);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtn1Click(); }); });
    connect(BitBtnMonitor, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnMonitorClick(); }); });
    connect(BitBtnSurvey, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnSurveyClick(); }); });
}

QGridLayout *TFOrvekConfigurator::buildEditors(QGroupBox *group)
{
    RxSpinEdit1 = makeEditor("RxSpinEdit1", 1, 16, 1, group);
    RxSpinEdit1->setEditorEnabled(false);
    RxSpinEdit4 = makeEditor("RxSpinEdit4", 100, 1000, 300, group);
    RxSpinEdit2 = makeEditor("RxSpinEdit2", 1, 247, 1, group);
    RxSpinEdit3 = makeEditor("RxSpinEdit3", 1, 247, 1, group);
    for (TRxSpinEdit *e : {RxSpinEdit2, RxSpinEdit3}) {
        e->setCheckOnExit(true);
        QPalette red = e->palette();
        red.setColor(QPalette::Text, Qt::red);
        e->setPalette(red);
    }
    auto *scanLabel = new QLabel(QStringLiteral("Сканировать\nустройства:"), group);
    scanLabel->setStyleSheet(QStringLiteral("color: red;"));
    auto *dots = new QLabel(QStringLiteral("..."), group);
    dots->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    BitBtnPorts = new QPushButton(QStringLiteral("..."), group);
    BitBtnPorts->setObjectName(QStringLiteral("BitBtnPorts"));
    BitBtnPorts->setToolTip(QStringLiteral("Выбор порта: последовательного устройства или сетевого адреса"));
    BitBtnPorts->setAutoDefault(false);
    BitBtnPorts->setFixedWidth(BitBtnPorts->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 16);
    auto *portRow = new QHBoxLayout;
    portRow->setSpacing(2);
    portRow->addWidget(RxSpinEdit1, 1);
    portRow->addWidget(BitBtnPorts);

    auto *editors = new QGridLayout;
    editors->addWidget(new QLabel(QStringLiteral("Номер порта\nRS-485:"), group), 0, 0);
    editors->addLayout(portRow, 0, 1);
    editors->addWidget(new QLabel(QStringLiteral("Таймаут\nопроса (мс):"), group), 0, 2);
    editors->addWidget(RxSpinEdit4, 0, 3, 1, 3);
    editors->addWidget(scanLabel, 1, 0);
    editors->addWidget(RxSpinEdit2, 1, 1);
    editors->addWidget(dots, 1, 2, Qt::AlignCenter);
    editors->addWidget(RxSpinEdit3, 1, 3);
    // Beside the rate group while a network port is chosen; its room is kept, so nothing moves.
    LabelServerLine = new QLabel(QStringLiteral("Скорость и четность задает преобразователь"), group);
    LabelServerLine->setObjectName(QStringLiteral("LabelServerLine"));
    LabelServerLine->setWordWrap(true);
    LabelServerLine->setStyleSheet(QStringLiteral("color: #1a4f8a;"));
    QSizePolicy keepRoom = LabelServerLine->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    LabelServerLine->setSizePolicy(keepRoom);
    LabelServerLine->setVisible(false);
    editors->addWidget(LabelServerLine, 2, 0, 1, 6);

    connect(RxSpinEdit2, &TRxSpinEdit::OnChange, this, [this] { RxSpinEdit2Change(); });
    connect(RxSpinEdit3, &TRxSpinEdit::OnChange, this, [this] { RxSpinEdit3Change(); });
    connect(RxSpinEdit1, &TRxSpinEdit::OnChange, this, [this] { showPortAddress(); });
    connect(BitBtnPorts, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnPortsClick(); }); });
    return editors;
}

void TFOrvekConfigurator::buildDeviceGroup(QGroupBox *group)
{
    auto *column = new QVBoxLayout(group);
    DeviceGroup = new QWidget(group);
    DeviceGroup->setObjectName(QStringLiteral("DeviceGroup"));
    auto *grid = new QGridLayout(DeviceGroup);
    grid->setContentsMargins(0, 0, 0, 0);
    std::map<int, TPictureButton *> byTag;
    for (const DeviceKind &kind : DeviceKinds()) {
        auto *button = new TPictureButton(kind.caption, pictureIcon(kind.picture), DeviceGroup);
        button->setObjectName(QString::fromLatin1(kind.buttonName));
        button->setToolTip(kind.hint);
        button->setProperty("Tag", kind.tag);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        const int tag = kind.tag;
        connect(button, &QPushButton::clicked, this, [this, tag] { guarded(this, [this, tag] { BitBtnKRVClick(tag); }); });
        byTag[tag] = button; // created in tag order: the keyboard order is tags 1 to 7
    }
    BitBtnKRV = byTag[TagKRV];
    BitBtnZDLT = byTag[TagZDLT];
    BitBtn7051 = byTag[TagM7051];
    BitBtnCET = byTag[TagSET4TM];
    BitBtnZyXEL_Remote = byTag[TagSensor];
    BitBtnZyXEL_Local = byTag[TagController];
    BitBtn2 = byTag[TagB7720Q];
    BitBtnZyXEL_Local->setIconSize(QSize(96, 150));
    // Upper row: M-7051D, B-7720Q, sensor; lower row: KRV-A, ZDLT-1, meter; the controller spans both.
    grid->addWidget(BitBtn7051, 0, 0);
    grid->addWidget(BitBtn2, 0, 1);
    grid->addWidget(BitBtnZyXEL_Remote, 0, 2);
    grid->addWidget(BitBtnKRV, 1, 0);
    grid->addWidget(BitBtnZDLT, 1, 1);
    grid->addWidget(BitBtnCET, 1, 2);
    grid->addWidget(BitBtnZyXEL_Local, 0, 3, 2, 1);
    column->addWidget(DeviceGroup, 1);

    auto *status = new QHBoxLayout;
    status->addWidget(new QLabel(QStringLiteral("Сетевой адрес:"), group));
    StaticTextAddr = new QLabel(group);
    StaticTextAddr->setObjectName(QStringLiteral("StaticTextAddr"));
    StaticTextAddr->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StaticTextAddr->setMinimumWidth(48);
    StaticTextMsg = new QLabel(group);
    StaticTextMsg->setObjectName(QStringLiteral("StaticTextMsg"));
    StaticTextMsg->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StaticTextMsg->setMinimumWidth(110);
    ProgressBar1 = new QProgressBar(group);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(1, 247);
    ProgressBar1->setValue(1);
    ProgressBar1->setTextVisible(false);
    status->addWidget(StaticTextAddr);
    status->addWidget(StaticTextMsg);
    status->addWidget(ProgressBar1, 1);
    column->addLayout(status);
}

QString TFOrvekConfigurator::resolvePort(int port) const
{
    return ResolvePort(TFormStorage::filePath(), port);
}

void TFOrvekConfigurator::showPortAddress()
{
    const QString address = resolvePort(RxSpinEdit1->IntValue());
    RxSpinEdit1->setToolTip(address);
    // A serial device server runs the line at its own rate and parity; the choice
    // here is kept and still names the rate in the device windows.
    const bool network = isNetworkAddress(address);
    LabelServerLine->setVisible(network);
    LabelServerLine->setToolTip(network ? QStringLiteral("Порт %1 ведет к преобразователю RS-485/Ethernet: скорость "
                                                         "и четность линии RS-485 задаются в его настройках. Выбор "
                                                         "здесь сохраняется и показывается в окнах устройств.")
                                              .arg(address)
                                        : QString());
}

void TFOrvekConfigurator::setWindowOpener(DeviceWindowKind kind, WindowOpener opener)
{
    m_openers[kind] = std::move(opener);
}

void TFOrvekConfigurator::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_restored) {
        m_restored = true; // the store has restored the settings as the window was shown
        showPortAddress();
        // The editors' change events do not run for values that equal the defaults,
        // so the coupling is set up here, whatever the stored values.
        RxSpinEdit2Change();
        RxSpinEdit3Change();
        FormShow();
    }
}

void TFOrvekConfigurator::FormShow()
{
    BitBtnKRV->setFocus();
}

void TFOrvekConfigurator::closeEvent(QCloseEvent *event)
{
    FormClose();
    // The settings are saved even when the port could not be closed cleanly;
    // a failed write is reported and the window closes all the same.
    guarded(this, [this] { FormStorage1->save(); });
    event->accept();
}

void TFOrvekConfigurator::FormClose()
{
    if (m_survey)
        m_survey->close();
    if (m_monitor)
        m_monitor->close();
    m_channel->close();
}

bool TFOrvekConfigurator::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        // Ctrl+M opens the bus monitor from every window, also from a device window
        // in front, which blocks the main window and so its own shortcuts.
        if (key->key() == Qt::Key_M && (key->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
            key->accept();
            guarded(this, [this] { BitBtnMonitorClick(); });
            return true;
        }
        // Ctrl+C stops the search even while an editor has the focus and would
        // otherwise take the keystroke as "copy".
        auto *widget = qobject_cast<QWidget *>(watched);
        if (key->matches(QKeySequence::Copy) && widget && widget->window() == this
            && (VaComm1->Active() || VaComm1->Opening())) {
            guarded(this, [this] { Action1Execute(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFOrvekConfigurator::Action1Execute()
{
    // The search ends as the port closes.
    m_channel->close();
}

void TFOrvekConfigurator::BitBtn1Click()
{
    TFSchemes schemes(this);
    FSchemes = &schemes;
    schemes.exec();
    FSchemes = nullptr;
}

void TFOrvekConfigurator::BitBtnPortsClick()
{
    TFPorts ports(this, RxSpinEdit1->IntValue());
    FPorts = &ports;
    ports.exec();
    FPorts = nullptr;
    showPortAddress();
}

TFMonitor *TFOrvekConfigurator::monitor() const
{
    return m_monitor;
}

void TFOrvekConfigurator::BitBtnMonitorClick()
{
    if (!m_monitor) {
        // No owner: a device window's modality blocks its owner, and the monitor
        // must stay usable while one is open.
        m_monitor = new TFMonitor(*VaComm1);
        m_monitor->setAttribute(Qt::WA_DeleteOnClose);
        m_monitor->setWindowIcon(windowIcon());
        m_monitor->setProtocol([this] { return m_channel->protocol(); });
    }
    m_monitor->show();
    m_monitor->raise();
    m_monitor->activateWindow();
}
