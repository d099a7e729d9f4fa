#include "meter/setmain.h"

#include "charts/profilechart.h"
#include "devices/devicecatalogue.h"
#include "devices/components.h"
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
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

// How the meter window is put together; what it does lives in setmain.cpp
// (configuration) and setmain_test.cpp (test, monitoring, power profile).

TFSET4TM *FSET4TM = nullptr;

namespace {
QLabel *makeText(const QString &text, QWidget *parent)
{
    return makeLabel(QString(), text, parent);
}

// A current value field of the configuration panel: read-only, grey, as narrow as a baud rate.
QLabel *makeValueField(const char *name, const QString &text, QWidget *parent)
{
    QLabel *field = makeField(QString::fromLatin1(name), text, parent);
    field->setAlignment(Qt::AlignCenter);
    field->setStyleSheet(QStringLiteral("color: grey;"));
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("19200")) + 8);
    return field;
}

void addHeading(QGridLayout *grid, int row, const char *text)
{
    QLabel *heading = makeText(QString::fromUtf8(text), grid->parentWidget());
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    grid->addWidget(heading, row, 0, 1, 7);
}

// A value of the monitoring tab: caption, field and unit from `column` on.
QLabel *addValueField(QGridLayout *grid, int row, int column, const char *name, const char *caption,
                      const QString &unit)
{
    QWidget *panel = grid->parentWidget();
    QLabel *field = makeField(QString::fromLatin1(name), QString::fromLatin1(TTestWindow::IdleValue), panel);
    field->setProperty("Tag", 1); // the idle look finds the value fields by it
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("-42949672,95")) + 12);
    grid->addWidget(makeText(QString::fromUtf8(caption), panel), row, column, Qt::AlignRight);
    grid->addWidget(field, row, column + 1);
    grid->addWidget(makeText(unit, panel), row, column + 2);
    return field;
}
} // namespace

TestProfile TFSET4TM::makeProfile()
{
    TestProfile p;
    p.caption = WindowCaption(DeviceWindowKind::SET4TM);
    p.deviceName = QStringLiteral("СЭТ-4ТМ");
    p.reportPrefix = QStringLiteral("СЭТ4ТМ02-");
    p.reportCancelText = QStringLiteral("Журнал не сохранен!");
    p.stored = {QStringLiteral("RxSpinEditAddr.Value"), QStringLiteral("RxSpinEditCount.Value"),
                QStringLiteral("RxSpinEditTimeOut.Value"), QStringLiteral("RadioGroupZL.ItemIndex"),
                QStringLiteral("TimerSetting.Interval")};
    p.size = QSize(460, 630);
    // The energy totals only grow: their panes wait until asked for.
    for (bool previousDay : {false, true})
        for (int i = 0; i < 4; ++i)
            p.chartOff << set4tm::energyQuantity(i, previousDay).name;
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
    // The values are scaled with the variant chosen, held as a number like the ratios.
    connect(ComboBox1, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int index) { m_scaling.variant = set4tm::variantOfIndex(index); });
    // Its own row: the caption is longer than the others.
    auto *variant = new QHBoxLayout;
    variant->setSpacing(6);
    variant->addWidget(makeText(QStringLiteral("Выберите вариант исполнения:"), panel));
    variant->addWidget(ComboBox1, 1);
    grid->addLayout(variant, 0, 0, 1, 4);

    LabelAddr = makeLabel(QStringLiteral("LabelAddr"), QStringLiteral("Сетевой адрес: "), panel);
    StaticTextAddr = makeValueField("StaticTextAddr", QStringLiteral("??"), panel);
    RxSpinEditAddr = makeSpinEditor(QStringLiteral("RxSpinEditAddr"), 1, 247, 1, 1, false, panel);
    BitBtnAddr = makeButton(QStringLiteral("BitBtnAddr"), QStringLiteral("Изменить"), panel);
    LabelBaud = makeLabel(QStringLiteral("LabelBaud"), QStringLiteral("Скорость обмена: "), panel);
    StaticTextBaud = makeValueField("StaticTextBaud", QStringLiteral("?????"), panel);
    RxSpinEditBaud = makeSpinEditor(QStringLiteral("RxSpinEditBaud"), 9600, 19200, 9600, 9600, false, panel);
    BitBtnRate = makeButton(QStringLiteral("BitBtnRate"), QStringLiteral("Установить: 8, N, 1"), panel);
    StaticTextKu = makeValueField("StaticTextKu", QStringLiteral("????"), panel);
    RxSpinEditKu = makeSpinEditor(QStringLiteral("RxSpinEditKu"), 1, 65535, 1, 1, true, panel);
    BitBtnKu = makeButton(QStringLiteral("BitBtnKu"), QStringLiteral("Изменить"), panel);
    StaticTextKi = makeValueField("StaticTextKi", QStringLiteral("????"), panel);
    RxSpinEditKi = makeSpinEditor(QStringLiteral("RxSpinEditKi"), 1, 65535, 1, 1, true, panel);
    BitBtnKi = makeButton(QStringLiteral("BitBtnKi"), QStringLiteral("Изменить"), panel);

    const struct
    {
        QLabel *label;
        QLabel *field;
        QWidget *editor;
        QPushButton *button;
    } rows[] = {
        {LabelAddr, StaticTextAddr, RxSpinEditAddr, BitBtnAddr},
        {LabelBaud, StaticTextBaud, RxSpinEditBaud, BitBtnRate},
        {makeText(QStringLiteral("Коэфф.трансф.по напр.(Кн):"), panel), StaticTextKu, RxSpinEditKu, BitBtnKu},
        {makeText(QStringLiteral("Коэфф.трансф.по току (Кт):"), panel), StaticTextKi, RxSpinEditKi, BitBtnKi},
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
    LabelTrend = makeLabel(QStringLiteral("LabelTrend"), QStringLiteral("Разрешить помечать\nнеполные срезы мощности: "),
                           panel);
    StaticTextTrend = makeValueField("StaticTextTrend", QStringLiteral("??"), panel);
    BitBtnTrend = makeButton(QStringLiteral("BitBtnTrend"), QStringLiteral("Изменить"), panel);
    grid->addWidget(LabelTrend, 5, 0);
    grid->addWidget(StaticTextTrend, 5, 1);
    grid->addWidget(BitBtnTrend, 5, 3);

    LabelPower = makeLabel(QStringLiteral("LabelPower"), QStringLiteral("Время интегр.мощности: "), panel);
    StaticTextPower = makeValueField("StaticTextPower", QStringLiteral("??"), panel);
    RxSpinEditPower = makeSpinEditor(QStringLiteral("RxSpinEditPower"), 1, 30, 1, 30, false, panel);
    BitBtnPower = makeButton(QStringLiteral("BitBtnPower"), QStringLiteral("Изменить"), panel);
    auto *minutes = new QHBoxLayout;
    minutes->setSpacing(3);
    minutes->addWidget(RxSpinEditPower, 1);
    minutes->addWidget(makeText(QStringLiteral("мин"), panel));
    grid->addWidget(LabelPower, 6, 0);
    grid->addWidget(StaticTextPower, 6, 1);
    grid->addLayout(minutes, 6, 2);
    grid->addWidget(BitBtnPower, 6, 3);

    BitBtnClean = makeButton(QStringLiteral("BitBtnClean"), QStringLiteral("Очистить"), panel);
    grid->addWidget(makeText(QStringLiteral("Регистры накопленной энергии "), panel), 7, 0, 1, 3);
    grid->addWidget(BitBtnClean, 7, 3);

    RxClock1 = new TRxClock(panel);
    RxClock1->setObjectName(QStringLiteral("RxClock1"));
    RadioGroupZL = new TRadioGroup(QString(), {QStringLiteral("лето"), QStringLiteral("зима")}, 2, panel);
    RadioGroupZL->setObjectName(QStringLiteral("RadioGroupZL"));
    RadioGroupZL->setItemIndex(0);
    // Narrow enough to stand over the value and editor columns.
    RadioGroupZL->layout()->setContentsMargins(2, 2, 2, 2);
    static_cast<QGridLayout *>(RadioGroupZL->layout())->setHorizontalSpacing(2);
    BitBtnClock = makeButton(QStringLiteral("BitBtnClock"), QStringLiteral("Установить время ..."), panel);
    auto *clock = new QHBoxLayout;
    clock->setSpacing(4);
    clock->addWidget(makeText(QStringLiteral("Текущее время: "), panel));
    clock->addWidget(RxClock1, 1);
    grid->addLayout(clock, 8, 0);
    grid->addWidget(RadioGroupZL, 8, 1, 1, 2);
    grid->addWidget(BitBtnClock, 8, 3);
}

void TFSET4TM::buildMonitoringTab()
{
    // Two values a row, each as caption, field and unit, under three headings.
    struct Value
    {
        QLabel *TFSET4TM::*field;
        const char *name, *caption;
        set4tm::Quantity quantity;
    };
    struct Row
    {
        const char *heading;
        Value left, right;
    };
    using set4tm::auxiliaryQuantity;
    using set4tm::energyQuantity;
    const Row rows[] = {
        {"Текущие показатели качества электрической сети:", {}, {}},
        {nullptr, {&TFSET4TM::StaticTextP, "StaticTextP", "P =", auxiliaryQuantity(set4tm::ActivePower)},
                  {&TFSET4TM::StaticTextQ, "StaticTextQ", "Q =", auxiliaryQuantity(set4tm::ReactivePower)}},
        {nullptr, {&TFSET4TM::StaticTextCos, "StaticTextCos", "cos φ =", auxiliaryQuantity(set4tm::PowerFactor)},
                  {&TFSET4TM::StaticTextF, "StaticTextF", "F =", auxiliaryQuantity(set4tm::Frequency)}},
        {nullptr, {&TFSET4TM::StaticTextUa, "StaticTextUa", "Ua =", auxiliaryQuantity(set4tm::VoltageA)},
                  {&TFSET4TM::StaticTextIa, "StaticTextIa", "Ia =", auxiliaryQuantity(set4tm::CurrentA)}},
        {nullptr, {&TFSET4TM::StaticTextUb, "StaticTextUb", "Ub =", auxiliaryQuantity(set4tm::VoltageB)},
                  {&TFSET4TM::StaticTextIb, "StaticTextIb", "Ib =", auxiliaryQuantity(set4tm::CurrentB)}},
        {nullptr, {&TFSET4TM::StaticTextUc, "StaticTextUc", "Uc =", auxiliaryQuantity(set4tm::VoltageC)},
                  {&TFSET4TM::StaticTextIc, "StaticTextIc", "Ic =", auxiliaryQuantity(set4tm::CurrentC)}},
        {"Энергия всего от сброса (нарастающий итог):", {}, {}},
        {nullptr, {&TFSET4TM::StaticTextA1, "StaticTextA1", "A+ =", energyQuantity(0, false)},
                  {&TFSET4TM::StaticTextA2, "StaticTextA2", "A- =", energyQuantity(1, false)}},
        {nullptr, {&TFSET4TM::StaticTextR1, "StaticTextR1", "R+ =", energyQuantity(2, false)},
                  {&TFSET4TM::StaticTextR2, "StaticTextR2", "R- =", energyQuantity(3, false)}},
        {"Данные по энергопотреблению за предыдущие сутки:", {}, {}},
        {nullptr, {&TFSET4TM::StaticTextA01, "StaticTextA01", "A+ =", energyQuantity(0, true)},
                  {&TFSET4TM::StaticTextA02, "StaticTextA02", "A- =", energyQuantity(1, true)}},
        {nullptr, {&TFSET4TM::StaticTextR01, "StaticTextR01", "R+ =", energyQuantity(2, true)},
                  {&TFSET4TM::StaticTextR02, "StaticTextR02", "R- =", energyQuantity(3, true)}},
    };
    auto *outer = new QVBoxLayout(monitoringPage());
    auto *panel = new QFrame(monitoringPage());
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    outer->addWidget(panel);
    auto *grid = new QGridLayout(panel);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(8);
    grid->setColumnMinimumWidth(3, 16);
    int row = 0;
    for (const Row &r : rows) {
        if (r.heading) {
            if (row > 0)
                grid->setRowMinimumHeight(row++, 8);
            addHeading(grid, row++, r.heading);
            continue;
        }
        int column = 0;
        for (const Value &v : {r.left, r.right}) {
            this->*(v.field) = addValueField(grid, row, column, v.name, v.caption, v.quantity.unit);
            showOn(v.quantity.name, this->*(v.field));
            column += 4;
        }
        ++row;
    }
    grid->setRowStretch(row, 1);
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
    const QString samples[] = {set4tm::dateText(QDateTime(QDate(2026, 12, 28), QTime(0, 0))),
                               QStringLiteral("00:00:00")};
    for (int c = 0; c < StringGrid1->columnCount(); ++c) {
        const QString widest = c < 2 ? samples[c] : StringGrid1->horizontalHeaderItem(c)->text();
        StringGrid1->setColumnWidth(c, std::max(widths[c], metrics.horizontalAdvance(widest) + 14));
    }
    // The records as bars under the table, which keeps the upper part of the tab.
    ProfileChart = new TProfileChart(TabSheet3);
    ProfileChart->setVisibleRecords(6); // three hours of half-hour periods, their times upright
    auto *split = new QSplitter(Qt::Vertical, TabSheet3);
    split->setObjectName(QStringLiteral("SplitterProfile"));
    split->setChildrenCollapsible(false);
    split->addWidget(StringGrid1);
    split->addWidget(ProfileChart);
    split->setSizes({9, 11}); // in proportion: about half each
    layout->addWidget(split);
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
        connect(button, &QPushButton::clicked, this,
                [this, handler = handler] { guarded(this, [&] { (this->*handler)(); }); });
    connect(TimerSetting, &QTimer::timeout, this, [this] { guarded(this, [this] { TimerSettingTimer(); }); });
}
