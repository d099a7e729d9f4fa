#include "meter/setmain.h"

#include "widgets/dialogs.h"
#include "widgets/radiogroup.h"
#include "widgets/rxclock.h"
#include "widgets/rxspinedit.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

// How the meter window is put together; what it does lives in setmain.cpp
// (configuration) and setmain_test.cpp (test, monitoring, power profile).

TFSET4TM *FSET4TM = nullptr;

namespace {
QLabel *makeLabel(const char *name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    if (name)
        label->setObjectName(QString::fromLatin1(name));
    return label;
}

// A current value field of the configuration panel: read-only, grey.
QLabel *makeValueField(const char *name, const QString &text, QWidget *parent)
{
    QLabel *field = makeLabel(name, text, parent);
    field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    field->setAlignment(Qt::AlignCenter);
    field->setTextInteractionFlags(Qt::TextSelectableByMouse);
    field->setStyleSheet(QStringLiteral("color: grey;"));
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("19200")) + 8);
    return field;
}

QPushButton *makeButton(const char *name, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

TRxSpinEdit *makeEditor(const char *name, int min, int max, int step, int value, bool typing, QWidget *parent)
{
    auto *editor = new TRxSpinEdit(parent);
    editor->setObjectName(QString::fromLatin1(name));
    editor->setMinValue(min);
    editor->setMaxValue(max);
    editor->setIncrement(step);
    editor->setValue(value);
    editor->setEditorEnabled(typing);
    return editor;
}
} // namespace

TestProfile TFSET4TM::makeProfile()
{
    TestProfile p;
    p.caption = QStringLiteral("Счетчик электрической энергии СЭТ-4ТМ");
    p.deviceName = QStringLiteral("СЭТ-4ТМ");
    p.reportPrefix = QStringLiteral("СЭТ4ТМ02-");
    p.reportCancelText = QStringLiteral("Журнал не сохранен!");
    p.stored = {QStringLiteral("RxSpinEditAddr.Value"), QStringLiteral("RxSpinEditCount.Value"),
                QStringLiteral("RxSpinEditTimeOut.Value"), QStringLiteral("RadioGroupZL.ItemIndex"),
                QStringLiteral("TimerSetting.Interval")};
    p.size = QSize(460, 630);
    return p;
}

TFSET4TM::TFSET4TM(DeviceHost &host, QWidget *parent)
    : TTestWindow(host, makeProfile(), CountersOf<TFSET4TM>(), parent)
{
    setObjectName(QStringLiteral("FSET4TM"));
    // Nine rows of settings and three tab captions in a fixed 460 x 630 window:
    // a point below the desktop's font keeps every caption whole.
    QFont smaller = font();
    if (smaller.pointSizeF() > 8)
        smaller.setPointSizeF(smaller.pointSizeF() - 1);
    setFont(smaller);
    TimerSetting = new QTimer(this);
    TimerSetting->setObjectName(QStringLiteral("TimerSetting"));
    TimerSetting->setInterval(350);
    buildConfigurationPanel();
    buildMonitoringTab();
    buildProfileTab();
    wireActions();
}

TFSET4TM::~TFSET4TM() = default;

void TFSET4TM::buildConfigurationPanel()
{
    auto *panel1 = new QGroupBox(QStringLiteral(" Конфигурация "), firstTab());
    panel1->setObjectName(QStringLiteral("Panel1"));
    auto *grid = new QGridLayout(panel1);
    grid->setContentsMargins(3, 4, 3, 6);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(3);
    grid->setColumnStretch(0, 1);
    addConfigurationRows(grid, panel1);
    addSettingRows(grid, panel1);
    firstTabLayout()->setContentsMargins(6, 6, 6, 6);
    firstTabLayout()->insertWidget(0, panel1);
}

void TFSET4TM::addConfigurationRows(QGridLayout *grid, QWidget *panel)
{
    ComboBox1 = new QComboBox(panel);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false); // a drop-down list: choosing only
    ComboBox1->addItems({QStringLiteral("РУ ВН (57,7 В / 5 А)"), QStringLiteral("РУ НН (120...230В / 5А)")});
    ComboBox1->setCurrentIndex(-1);
    QPalette yellow = ComboBox1->palette();
    yellow.setColor(QPalette::Base, Qt::yellow);
    yellow.setColor(QPalette::Button, Qt::yellow);
    ComboBox1->setPalette(yellow);
    // Its own row: the caption is longer than the others.
    auto *variant = new QHBoxLayout;
    variant->setSpacing(6);
    variant->addWidget(makeLabel(nullptr, QStringLiteral("Выберите вариант исполнения:"), panel));
    variant->addWidget(ComboBox1, 1);
    grid->addLayout(variant, 0, 0, 1, 4);

    LabelAddr = makeLabel("LabelAddr", QStringLiteral("Сетевой адрес: "), panel);
    StaticTextAddr = makeValueField("StaticTextAddr", QStringLiteral("??"), panel);
    RxSpinEditAddr = makeEditor("RxSpinEditAddr", 1, 247, 1, 1, false, panel);
    BitBtnAddr = makeButton("BitBtnAddr", QStringLiteral("Изменить"), panel);
    LabelBaud = makeLabel("LabelBaud", QStringLiteral("Скорость обмена: "), panel);
    StaticTextBaud = makeValueField("StaticTextBaud", QStringLiteral("?????"), panel);
    RxSpinEditBaud = makeEditor("RxSpinEditBaud", 9600, 19200, 9600, 9600, false, panel);
    BitBtnRate = makeButton("BitBtnRate", QStringLiteral("Установить: 8, N, 1"), panel);
    StaticTextKu = makeValueField("StaticTextKu", QStringLiteral("????"), panel);
    RxSpinEditKu = makeEditor("RxSpinEditKu", 1, 65535, 1, 1, true, panel);
    BitBtnKu = makeButton("BitBtnKu", QStringLiteral("Изменить"), panel);
    StaticTextKi = makeValueField("StaticTextKi", QStringLiteral("????"), panel);
    RxSpinEditKi = makeEditor("RxSpinEditKi", 1, 65535, 1, 1, true, panel);
    BitBtnKi = makeButton("BitBtnKi", QStringLiteral("Изменить"), panel);

    const struct
    {
        QLabel *label;
        QLabel *field;
        QWidget *editor;
        QPushButton *button;
    } rows[] = {
        {LabelAddr, StaticTextAddr, RxSpinEditAddr, BitBtnAddr},
        {LabelBaud, StaticTextBaud, RxSpinEditBaud, BitBtnRate},
        {makeLabel(nullptr, QStringLiteral("Коэфф.трансф.по напр.(Кн):"), panel), StaticTextKu, RxSpinEditKu, BitBtnKu},
        {makeLabel(nullptr, QStringLiteral("Коэфф.трансф.по току (Кт):"), panel), StaticTextKi, RxSpinEditKi, BitBtnKi},
    };
    int row = 1;
    for (const auto &r : rows) {
        grid->addWidget(r.label, row, 0);
        grid->addWidget(r.field, row, 1);
        grid->addWidget(r.editor, row, 2);
        grid->addWidget(r.button, row, 3);
        ++row;
    }
}

void TFSET4TM::addSettingRows(QGridLayout *grid, QWidget *panel)
{
    LabelTrend = makeLabel("LabelTrend", QStringLiteral("Разрешить помечать\nнеполные срезы мощности: "), panel);
    StaticTextTrend = makeValueField("StaticTextTrend", QStringLiteral("??"), panel);
    BitBtnTrend = makeButton("BitBtnTrend", QStringLiteral("Изменить"), panel);
    grid->addWidget(LabelTrend, 5, 0);
    grid->addWidget(StaticTextTrend, 5, 1);
    grid->addWidget(BitBtnTrend, 5, 3);

    LabelPower = makeLabel("LabelPower", QStringLiteral("Время интегр.мощности: "), panel);
    StaticTextPower = makeValueField("StaticTextPower", QStringLiteral("??"), panel);
    RxSpinEditPower = makeEditor("RxSpinEditPower", 1, 30, 1, 30, false, panel);
    BitBtnPower = makeButton("BitBtnPower", QStringLiteral("Изменить"), panel);
    auto *minutes = new QHBoxLayout;
    minutes->setSpacing(3);
    minutes->addWidget(RxSpinEditPower, 1);
    minutes->addWidget(makeLabel(nullptr, QStringLiteral("мин"), panel));
    grid->addWidget(LabelPower, 6, 0);
    grid->addWidget(StaticTextPower, 6, 1);
    grid->addLayout(minutes, 6, 2);
    grid->addWidget(BitBtnPower, 6, 3);

    BitBtnClean = makeButton("BitBtnClean", QStringLiteral("Очистить"), panel);
    grid->addWidget(makeLabel(nullptr, QStringLiteral("Регистры накопленной энергии "), panel), 7, 0, 1, 3);
    grid->addWidget(BitBtnClean, 7, 3);

    RxClock1 = new TRxClock(panel);
    RxClock1->setObjectName(QStringLiteral("RxClock1"));
    RadioGroupZL = new TRadioGroup(QString(), {QStringLiteral("лето"), QStringLiteral("зима")}, 2, panel);
    RadioGroupZL->setObjectName(QStringLiteral("RadioGroupZL"));
    RadioGroupZL->setItemIndex(0);
    // Narrow enough to stand over the value and editor columns.
    RadioGroupZL->layout()->setContentsMargins(2, 2, 2, 2);
    static_cast<QGridLayout *>(RadioGroupZL->layout())->setHorizontalSpacing(2);
    BitBtnClock = makeButton("BitBtnClock", QStringLiteral("Установить время ..."), panel);
    auto *clock = new QHBoxLayout;
    clock->setSpacing(4);
    clock->addWidget(makeLabel(nullptr, QStringLiteral("Текущее время: "), panel));
    clock->addWidget(RxClock1, 1);
    grid->addLayout(clock, 8, 0);
    grid->addWidget(RadioGroupZL, 8, 1, 1, 2);
    grid->addWidget(BitBtnClock, 8, 3);
}

void TFSET4TM::buildMonitoringTab()
{
    auto *outer = new QVBoxLayout(monitoringPage());
    auto *panel = new QFrame(monitoringPage());
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    outer->addWidget(panel);
    auto *grid = new QGridLayout(panel);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(8);
    grid->setColumnMinimumWidth(3, 16);
    int row = 0;
    auto heading = [&](const QString &text) {
        QLabel *label = makeLabel(nullptr, text, panel);
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
        if (row > 0)
            grid->setRowMinimumHeight(row++, 8);
        grid->addWidget(label, row++, 0, 1, 7);
    };
    // Two values a row: caption, field, unit on the left and again on the right.
    auto field = [&](int column, const char *name, const QString &caption, const QString &unit) {
        QLabel *value = makeLabel(name, QString::fromLatin1(IdleValue), panel);
        value->setProperty("Tag", 1);
        value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setFixedWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("-42949672,95")) + 12);
        const int c = column * 4;
        grid->addWidget(makeLabel(nullptr, caption, panel), row, c, Qt::AlignRight);
        grid->addWidget(value, row, c + 1);
        grid->addWidget(makeLabel(nullptr, unit, panel), row, c + 2);
        return value;
    };
    heading(QStringLiteral("Текущие показатели качества электрической сети:"));
    StaticTextP = field(0, "StaticTextP", QStringLiteral("P ="), QStringLiteral("Вт"));
    StaticTextQ = field(1, "StaticTextQ", QStringLiteral("Q ="), QStringLiteral("ВAр"));
    ++row;
    StaticTextCos = field(0, "StaticTextCos", QStringLiteral("cos φ ="), QString());
    StaticTextF = field(1, "StaticTextF", QStringLiteral("F ="), QStringLiteral("Гц"));
    ++row;
    const char *voltages[] = {"StaticTextUa", "StaticTextUb", "StaticTextUc"};
    const char *currents[] = {"StaticTextIa", "StaticTextIb", "StaticTextIc"};
    QLabel **u[] = {&StaticTextUa, &StaticTextUb, &StaticTextUc};
    QLabel **i[] = {&StaticTextIa, &StaticTextIb, &StaticTextIc};
    const QString phases[] = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    for (int k = 0; k < 3; ++k, ++row) {
        *u[k] = field(0, voltages[k], QStringLiteral("U") + phases[k] + QStringLiteral(" ="), QStringLiteral("В"));
        *i[k] = field(1, currents[k], QStringLiteral("I") + phases[k] + QStringLiteral(" ="), QStringLiteral("A"));
    }
    heading(QStringLiteral("Энергия всего от сброса (нарастающий итог):"));
    StaticTextA1 = field(0, "StaticTextA1", QStringLiteral("A+ ="), QStringLiteral("кВт*ч"));
    StaticTextA2 = field(1, "StaticTextA2", QStringLiteral("A- ="), QStringLiteral("кВт*ч"));
    ++row;
    StaticTextR1 = field(0, "StaticTextR1", QStringLiteral("R+ ="), QStringLiteral("кВАр*ч"));
    StaticTextR2 = field(1, "StaticTextR2", QStringLiteral("R- ="), QStringLiteral("кВАр*ч"));
    ++row;
    heading(QStringLiteral("Данные по энергопотреблению за предыдущие сутки:"));
    StaticTextA01 = field(0, "StaticTextA01", QStringLiteral("A+ ="), QStringLiteral("кВт*ч"));
    StaticTextA02 = field(1, "StaticTextA02", QStringLiteral("A- ="), QStringLiteral("кВт*ч"));
    ++row;
    StaticTextR01 = field(0, "StaticTextR01", QStringLiteral("R+ ="), QStringLiteral("кВАр*ч"));
    StaticTextR02 = field(1, "StaticTextR02", QStringLiteral("R- ="), QStringLiteral("кВАр*ч"));
    grid->setRowStretch(row + 1, 1);
}

void TFSET4TM::buildProfileTab()
{
    TabSheet3 = new QWidget(PageControl1);
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Профиль мощности"));
    auto *layout = new QVBoxLayout(TabSheet3);
    StringGrid1 = new QTableWidget(1, 6, TabSheet3);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setDefaultSectionSize(20);
    StringGrid1->horizontalHeader()->setDefaultSectionSize(95);
    StringGrid1->horizontalHeader()->setStretchLastSection(true);
    StringGrid1->setHorizontalHeaderLabels({QStringLiteral("Дата"), QStringLiteral("Время"), QStringLiteral("P+ (кВт)"),
                                            QStringLiteral("P- (кВт)"), QStringLiteral("Q+ (кВАр)"),
                                            QStringLiteral("Q- (кВАр)")});
    // The design widths, or what a date, a time and the captions need where the font is wider.
    const int widths[] = {55, 56, 71, 68, 67, 65};
    const QFontMetrics metrics(StringGrid1->font());
    const QString samples[] = {set4tm::dateText(QDateTime(QDate(2026, 12, 28), QTime(0, 0))), QStringLiteral("00:00:00")};
    for (int c = 0; c < StringGrid1->columnCount(); ++c) {
        const QString widest = c < 2 ? samples[c] : StringGrid1->horizontalHeaderItem(c)->text();
        StringGrid1->setColumnWidth(c, std::max(widths[c], metrics.horizontalAdvance(widest) + 14));
    }
    layout->addWidget(StringGrid1);
}

void TFSET4TM::wireActions()
{
    const std::pair<QPushButton *, void (TFSET4TM::*)()> actions[] = {
        {BitBtnAddr, &TFSET4TM::BitBtnAddrClick},   {BitBtnRate, &TFSET4TM::BitBtnRateClick},
        {BitBtnKu, &TFSET4TM::BitBtnKuClick},       {BitBtnKi, &TFSET4TM::BitBtnKiClick},
        {BitBtnTrend, &TFSET4TM::BitBtnTrendClick}, {BitBtnPower, &TFSET4TM::BitBtnPowerClick},
        {BitBtnClean, &TFSET4TM::BitBtnCleanClick}, {BitBtnClock, &TFSET4TM::BitBtnClockClick},
    };
    for (const auto &[button, handler] : actions)
        connect(button, &QPushButton::clicked, this, [this, handler = handler] { guarded(this, [&] { (this->*handler)(); }); });
    connect(TimerSetting, &QTimer::timeout, this, [this] { guarded(this, [this] { TimerSettingTimer(); }); });
}
