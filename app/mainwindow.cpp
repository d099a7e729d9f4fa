#include "app/mainwindow.h"

#include "app/picturebutton.h"
#include "bus/portmap.h"
#include "bus/vacomm.h"
#include "devices/b7720qmain.h"
#include "devices/c3940fmain.h"
#include "devices/krvmain.h"
#include "devices/m7051main.h"
#include "devices/mlxmain.h"
#include "devices/zdltmain.h"
#include "info/schemes.h"
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

// Shows a device window modally, its global pointer set while it exists.
template <typename Window>
TFOrvekConfigurator::WindowOpener modalOpener(Window *&global)
{
    return [&global](TFOrvekConfigurator &main, QWidget *owner) {
        Window window(main, owner);
        global = &window;
        window.exec();
        global = nullptr;
    };
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
      m_frames(std::make_unique<RequestLayer>())
{
    FOrvekConfigurator = this;
    setObjectName(QStringLiteral("FOrvekConfigurator"));
    setWindowTitle(QStringLiteral("Конфигуратор интеллектуальных устройств АСУ ТП"));
    setWindowIcon(applicationIcon());
    setFixedSize(840, 578);

    auto *layout = new QVBoxLayout(this);
    auto *connection = new QGroupBox(QStringLiteral("Параметры подключения:"), this);
    connection->setObjectName(QStringLiteral("GroupBoxConnection"));
    buildConnectionGroup(connection);
    layout->addWidget(connection);
    auto *devices = new QGroupBox(QStringLiteral("Выберите устройство (Ctrl+C - остановить поиск устройств):"), this);
    devices->setObjectName(QStringLiteral("GroupBoxDevices"));
    buildDeviceGroup(devices);
    layout->addWidget(devices, 1);

    VaComm1 = new TVaComm(this);
    VaComm1->setObjectName(QStringLiteral("VaComm1"));
    VaComm1->setPortResolver([this](int port) { return resolvePort(port); });
    connect(VaComm1, &TVaComm::OnOpen, this, [this] { guarded(this, [this] { VaComm1Open(); }); });
    connect(VaComm1, &TVaComm::OnClose, this, [this] { guarded(this, [this] { VaComm1Close(); }); });
    connect(VaComm1, &TVaComm::OnRxBuf, this, &TFOrvekConfigurator::VaComm1RxBuf);
    // Line errors are ignored: a damaged answer shows up as a CRC error anyway.

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(300);
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, [this] { guarded(this, [this] { Timer1Timer(); }); });

    Action1 = new QAction(this);
    Action1->setObjectName(QStringLiteral("Action1"));
    Action1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    Action1->setShortcutContext(Qt::WindowShortcut);
    addAction(Action1);
    connect(Action1, &QAction::triggered, this, [this] { guarded(this, [this] { Action1Execute(); }); });

    FormStorage1 = new TFormStorage(this, 2,
                                    {QStringLiteral("RadioGroup1.ItemIndex"), QStringLiteral("RadioGroup2.ItemIndex"),
                                     QStringLiteral("RxSpinEdit1.Value"), QStringLiteral("RxSpinEdit2.Value"),
                                     QStringLiteral("RxSpinEdit3.Value"), QStringLiteral("RxSpinEdit4.Value")},
                                    true);
    FormStorage1->setObjectName(QStringLiteral("FormStorage1"));
    qApp->installEventFilter(this);

    m_openers[DeviceWindowKind::KRV] = modalOpener<TFKRV>(FKRV);
    m_openers[DeviceWindowKind::ZDLT] = modalOpener<TFZDLT>(FZDLT);
    m_openers[DeviceWindowKind::B7720Q] = modalOpener<TFB7720Q>(FB7720Q);
    m_openers[DeviceWindowKind::M7051] = modalOpener<TFM7051>(FM7051);
    m_openers[DeviceWindowKind::MLX] = modalOpener<TFMLX>(FMLX);
    m_openers[DeviceWindowKind::C3940F] = modalOpener<TFC3940F>(FC3940F);
}

TFOrvekConfigurator::~TFOrvekConfigurator()
{
    qApp->removeEventFilter(this);
    if (FOrvekConfigurator == this)
        FOrvekConfigurator = nullptr;
}

void TFOrvekConfigurator::buildConnectionGroup(QGroupBox *group)
{
    auto *row = new QHBoxLayout(group);

    auto *editors = new QGridLayout;
    RxSpinEdit1 = makeEditor("RxSpinEdit1", 1, 16, 1, group);
    RxSpinEdit1->setEditorEnabled(false);
    RxSpinEdit4 = makeEditor("RxSpinEdit4", 100, 1000, 300, group);
    RxSpinEdit4->setIncrement(1);
    RxSpinEdit2 = makeEditor("RxSpinEdit2", 1, 247, 1, group);
    RxSpinEdit3 = makeEditor("RxSpinEdit3", 1, 247, 1, group);
    for (TRxSpinEdit *e : {RxSpinEdit2, RxSpinEdit3}) {
        e->setCheckOnExit(true);
        QPalette red = e->palette();
        red.setColor(QPalette::Text, Qt::red);
        e->setPalette(red);
    }
    auto *portLabel = new QLabel(QStringLiteral("Номер порта\nRS-485:"), group);
    auto *timeoutLabel = new QLabel(QStringLiteral("Таймаут\nопроса (мс):"), group);
    auto *scanLabel = new QLabel(QStringLiteral("Сканировать\nустройства:"), group);
    scanLabel->setStyleSheet(QStringLiteral("color: red;"));
    auto *dots = new QLabel(QStringLiteral("..."), group);
    dots->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    editors->addWidget(portLabel, 0, 0);
    editors->addWidget(RxSpinEdit1, 0, 1);
    editors->addWidget(timeoutLabel, 0, 2);
    editors->addWidget(RxSpinEdit4, 0, 3, 1, 3);
    editors->addWidget(scanLabel, 1, 0);
    editors->addWidget(RxSpinEdit2, 1, 1);
    editors->addWidget(dots, 1, 2, Qt::AlignCenter);
    editors->addWidget(RxSpinEdit3, 1, 3);
    row->addLayout(editors);

    RadioGroup1 = new TRadioGroup(QStringLiteral("Скорость обмена (бит/сек):"), BaudItems, 3, group);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1->setItemIndex(3);
    row->addWidget(RadioGroup1, 1);
    RadioGroup2 = new TRadioGroup(QStringLiteral("Четность:"),
                                  {QStringLiteral("нет"), QStringLiteral("нечетн"), QStringLiteral("четн")}, 1, group);
    RadioGroup2->setObjectName(QStringLiteral("RadioGroup2"));
    RadioGroup2->setItemIndex(0);
    row->addWidget(RadioGroup2);

    BitBtn1 = new QPushButton(group);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setIcon(wiringIcon());
    BitBtn1->setIconSize(QSize(56, 56));
    BitBtn1->setFixedSize(76, 76);
    BitBtn1->setToolTip(QStringLiteral("Схемы подключений устройств АСУ к ПК"));
    BitBtn1->setAutoDefault(false);
    row->addWidget(BitBtn1, 0, Qt::AlignVCenter);

    connect(RxSpinEdit2, &TRxSpinEdit::OnChange, this, [this] { RxSpinEdit2Change(); });
    connect(RxSpinEdit3, &TRxSpinEdit::OnChange, this, [this] { RxSpinEdit3Change(); });
    connect(RxSpinEdit1, &TRxSpinEdit::OnChange, this,
            [this] { RxSpinEdit1->setToolTip(resolvePort(RxSpinEdit1->IntValue())); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtn1Click(); }); });
}

void TFOrvekConfigurator::buildDeviceGroup(QGroupBox *group)
{
    auto *column = new QVBoxLayout(group);
    DeviceGroup = new QWidget(group);
    DeviceGroup->setObjectName(QStringLiteral("DeviceGroup"));
    auto *grid = new QGridLayout(DeviceGroup);
    grid->setContentsMargins(0, 0, 0, 0);

    struct ButtonSpec
    {
        TPictureButton **slot;
        const char *name;
        int tag;
        const char *caption;
        const char *hint;
    };
    const ButtonSpec specs[] = {
        {&BitBtnKRV, "BitBtnKRV", TagKRV, "Блок релейной защиты KRV-A", "автоопределение подключенных устройств KRV-A"},
        {&BitBtnZDLT, "BitBtnZDLT", TagZDLT, "Блок релейной защиты ZDLT-1",
         "автоопределение подключенных устройств ZDLT-1"},
        {&BitBtn7051, "BitBtn7051", TagM7051, "Модуль дискретного ввода M-7051D",
         "автоопределение подключенных устройств M-7051D"},
        {&BitBtnCET, "BitBtnCET", TagSET4TM, "Счетчик эл.энергии СЭТ-4ТМ (10/0,4кВ)",
         "автоопределение подключенных устройств СЭТ-4ТМ"},
        {&BitBtnZyXEL_Remote, "BitBtnZyXEL_Remote", TagSensor, "Цифровой датчик температуры Ортикс-Т",
         "автоопределение подключенных датчиков температуры Ортикс-Т"},
        {&BitBtnZyXEL_Local, "BitBtnZyXEL_Local", TagController, "Система ТРАВ/ЖНК (3...6...9 Ортикс-Т)",
         "автоопределение контроллера ТРАВ/ЖНКТ"},
        {&BitBtn2, "BitBtn2", TagB7720Q, "Модуль дискретного ввода B-7720Q",
         "автоопределение подключенных устройств B-7720Q"},
    };
    for (const ButtonSpec &s : specs) {
        auto *button = new TPictureButton(QString::fromUtf8(s.caption), deviceIcon(s.tag), DeviceGroup);
        button->setObjectName(QString::fromLatin1(s.name));
        button->setToolTip(QString::fromUtf8(s.hint));
        button->setProperty("Tag", s.tag);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        const int tag = s.tag;
        connect(button, &QPushButton::clicked, this, [this, tag] { guarded(this, [this, tag] { BitBtnKRVClick(tag); }); });
        *s.slot = button;
    }
    BitBtnZyXEL_Local->setIconSize(QSize(96, 150));
    // Upper row: M-7051D, B-7720Q, sensor; lower row: KRV-A, ZDLT-1, meter; the controller spans both.
    grid->addWidget(BitBtn7051, 0, 0);
    grid->addWidget(BitBtn2, 0, 1);
    grid->addWidget(BitBtnZyXEL_Remote, 0, 2);
    grid->addWidget(BitBtnKRV, 1, 0);
    grid->addWidget(BitBtnZDLT, 1, 1);
    grid->addWidget(BitBtnCET, 1, 2);
    grid->addWidget(BitBtnZyXEL_Local, 0, 3, 2, 1);
    setTabOrder(BitBtnKRV, BitBtnZDLT);
    setTabOrder(BitBtnZDLT, BitBtn7051);
    setTabOrder(BitBtn7051, BitBtnCET);
    setTabOrder(BitBtnCET, BitBtnZyXEL_Remote);
    setTabOrder(BitBtnZyXEL_Remote, BitBtnZyXEL_Local);
    setTabOrder(BitBtnZyXEL_Local, BitBtn2);
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
    const IniFile ini(TFormStorage::filePath());
    return PortDeviceName(port, ini.ReadString(QStringLiteral("Ports"), QStringLiteral("COM%1").arg(port)));
}

QString TFOrvekConfigurator::foundAddressText() const
{
    return StaticTextAddr->text();
}

QString TFOrvekConfigurator::baudRateText() const
{
    return RadioGroup1->selectedText();
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
        RxSpinEdit1->setToolTip(resolvePort(RxSpinEdit1->IntValue()));
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
    if (VaComm1->Active())
        VaComm1->Close();
}

bool TFOrvekConfigurator::eventFilter(QObject *watched, QEvent *event)
{
    // Ctrl+C stops the search even while an editor has the focus and would
    // otherwise take the keystroke as "copy".
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        auto *widget = qobject_cast<QWidget *>(watched);
        if (key->matches(QKeySequence::Copy) && widget && widget->window() == this && VaComm1->Active()) {
            guarded(this, [this] { Action1Execute(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFOrvekConfigurator::Action1Execute()
{
    if (VaComm1->Active())
        VaComm1->Close();
}

void TFOrvekConfigurator::BitBtn1Click()
{
    TFSchemes schemes(this);
    FSchemes = &schemes;
    schemes.exec();
    FSchemes = nullptr;
}

void TFOrvekConfigurator::BitBtnKRVClick(int tag)
{
    DeviceKind = 0;
    ProbeRepeat = 0;
    Timer1->setInterval(RxSpinEdit4->IntValue());
    ProgressBar1->setMaximum(RxSpinEdit3->IntValue() + 1);
    setPosition(ProgressBar1, ProgressBar1->minimum());
    DeviceKind = tag;
    VaComm1->setPortNum(RxSpinEdit1->IntValue());
    VaComm1->setBaudrate(static_cast<TVaBaudrate>(RadioGroup1->ItemIndex() + br4800));
    VaComm1->setParity(static_cast<TVaParity>(qBound(0, RadioGroup2->ItemIndex(), 2)));
    VaComm1->Open();
}

void TFOrvekConfigurator::VaComm1Open()
{
    DeviceGroup->setEnabled(false);
    setPosition(ProgressBar1, RxSpinEdit2->IntValue());
    Timer1->start();
}

void TFOrvekConfigurator::VaComm1Close()
{
    Timer1->stop();
    setPosition(ProgressBar1, ProgressBar1->minimum());
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
    const int current = ProgressBar1->value();
    RequestLayer &frames = *m_frames;

    if (current > RxSpinEdit3->IntValue()) {
        if (VaComm1->Active())
            VaComm1->Close();
        showWarning(this, QStringLiteral("Устройства в заданном даипазоне адресов (от %1 до %2) не обнаружены!\r"
                                         "Проверьте параметры подключения и повторите поиск.")
                              .arg(RxSpinEdit2->IntValue())
                              .arg(RxSpinEdit3->IntValue()));
        return;
    }

    if (frames.RxCount > 3) {
        if (frames.CheckResponseCrc()) {
            ProbeRepeat = 3;
            StaticTextMsg->setText(QStringLiteral("включено"));
            const DeviceWindowKind kind = AcceptedWindow(DeviceKind, frames.RxFrame, frames.RxCount);
            if (kind != DeviceWindowKind::None) {
                Timer1->stop();
                openFoundWindow(kind);
                if (VaComm1->Active())
                    VaComm1->Close();
                return;
            }
        } else {
            StaticTextMsg->setText(QStringLiteral("ошибка CRC"));
        }
        VaComm1->PurgeRead();
        frames.ResetRx();
        return;
    }

    StaticTextAddr->setText(QString::number(current));
    StaticTextMsg->setText(QStringLiteral("не отвечает"));
    FrameProbe(frames, DeviceKind, static_cast<std::uint8_t>(current));
    VaComm1->WriteBuf(frames.TxFrame, frames.TxCount);
    if (ProbeRepeat < 3) {
        ++ProbeRepeat;
    } else {
        ProbeRepeat = 0;
        setPosition(ProgressBar1, current + 1);
    }
}

void TFOrvekConfigurator::openFoundWindow(DeviceWindowKind kind)
{
    const auto opener = m_openers.find(kind);
    if (opener == m_openers.end() || !opener->second) {
        showNotBuiltYet(kind);
        return;
    }
    opener->second(*this, this);
}

void TFOrvekConfigurator::showNotBuiltYet(DeviceWindowKind kind)
{
    showInformation(this, QStringLiteral("По адресу %1 найдено устройство \"%2\".\rОкно этого устройства в данной "
                                         "версии программы не предусмотрено.")
                              .arg(StaticTextAddr->text(), DeviceWindowTitle(kind)));
}
