#include "devices/devicewindow.h"

#include "settings/formstorage.h"
#include "widgets/dialogs.h"
#include "widgets/rxspinedit.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

// How the common device window is put together; what it does lives in devicewindow.cpp.

namespace {
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

void DeviceProfile::useModuleLabels()
{
    labelCode = QStringLiteral("Код:");
    labelModel = QStringLiteral("Модель:");
    labelVer = QStringLiteral("Firmware Version:");
    labelAddr = QStringLiteral("Сетевой адрес:");
    labelBaud = QStringLiteral("Скорость обмена:");
    codeLabelName = QStringLiteral("Label1");
    modelLabelName = QStringLiteral("Label2");
    initialCode = initialModel = QStringLiteral("нет");
    summaryHasCodeAndModel = false;
}

void TDeviceWindow::makeBold(QLabel *label)
{
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
}

void TDeviceWindow::makeGrey(QLabel *field)
{
    field->setStyleSheet(QStringLiteral("color: grey;"));
}

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
        if (BitBtnBaud)
            connect(BitBtnBaud, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnBaudClick(); }); });
    }

    FormStorage1 = new TFormStorage(this, 0, profile.stored, false);
    FormStorage1->setObjectName(QStringLiteral("FormStorage1"));
}

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
    if (!m_profile.codeField) {
        LabelCode->hide();
        StaticTextCode->hide();
    }
    if (m_profile.boldLabelsGreyFields) {
        for (const auto &row : rows) {
            makeBold(row.first);
            makeGrey(row.second);
        }
    }
    if (m_profile.addressAndBaudEditors) {
        RxSpinEditAddr = makeEditor(QStringLiteral("RxSpinEditAddr"), 1, 247, 1, m_profile.addressDefault, false,
                                    panel1);
        BitBtnAddr = makeButton(QStringLiteral("BitBtnAddr"), QStringLiteral("Изменить"), panel1);
        m_configGrid->addWidget(RxSpinEditAddr, 3, 2);
        m_configGrid->addWidget(BitBtnAddr, 3, 3);
        if (m_profile.baudEditor) {
            RxSpinEditBaud = makeEditor(QStringLiteral("RxSpinEditBaud"), 9600, m_profile.baudMax, 9600, 9600, false,
                                        panel1);
            BitBtnBaud = makeButton(QStringLiteral("BitBtnBaud"), QStringLiteral("Изменить"), panel1);
            m_configGrid->addWidget(RxSpinEditBaud, 4, 2);
            m_configGrid->addWidget(BitBtnBaud, 4, 3);
        }
        if (!m_profile.addressAndBaudActions) {
            for (QWidget *w : {static_cast<QWidget *>(RxSpinEditAddr), static_cast<QWidget *>(BitBtnAddr),
                               static_cast<QWidget *>(RxSpinEditBaud), static_cast<QWidget *>(BitBtnBaud)})
                if (w)
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

