#include "devices/devicewindow.h"

#include "devices/components.h"
#include "widgets/dialogs.h"
#include "widgets/rxspinedit.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

// How the common device window is put together; what it does lives in devicewindow.cpp.


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

TDeviceWindow::TDeviceWindow(DeviceHost &host, const DeviceProfile &profile, TestCounters &counters, QWidget *parent)
    : TTestWindow(host, profile, counters, parent), m_profile(profile)
{
    buildConfigurationPanel();
    m_monitoringLayout = new QVBoxLayout(monitoringPage());
    if (BitBtnAddr && profile.addressAndBaudActions) {
        connect(BitBtnAddr, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnAddrClick(); }); });
        if (BitBtnBaud)
            connect(BitBtnBaud, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnBaudClick(); }); });
    }
}

void TDeviceWindow::buildConfigurationPanel()
{
    auto *panel1 = new QGroupBox(QStringLiteral(" Конфигурация "), firstTab());
    panel1->setObjectName(QStringLiteral("Panel1"));
    m_configGrid = new QGridLayout(panel1);
    m_configGrid->setColumnStretch(1, 1);
    buildIdentificationRows(panel1);
    if (m_profile.addressAndBaudEditors)
        buildAddressAndBaudEditors(panel1);
    firstTabLayout()->insertWidget(0, panel1);
}

void TDeviceWindow::buildIdentificationRows(QWidget *panel)
{
    const DeviceProfile &p = m_profile;
    LabelCode = makeLabel(p.codeLabelName, p.labelCode, panel);
    LabelModel = makeLabel(p.modelLabelName, p.labelModel, panel);
    LabelVer = makeLabel(QStringLiteral("LabelVer"), p.labelVer, panel);
    LabelAddr = makeLabel(QStringLiteral("LabelAddr"), p.labelAddr, panel);
    LabelBaud = makeLabel(QStringLiteral("LabelBaud"), p.labelBaud, panel);
    StaticTextCode = makeField(QStringLiteral("StaticTextCode"), p.initialCode, panel);
    StaticTextModel = makeField(QStringLiteral("StaticTextModel"), p.initialModel, panel);
    StaticTextVer = makeField(QStringLiteral("StaticTextVer"), p.initialVer, panel);
    StaticTextAddr = makeField(QStringLiteral("StaticTextAddr"), QStringLiteral("??"), panel);
    StaticTextBaud = makeField(QStringLiteral("StaticTextBaud"), QStringLiteral("?????"), panel);

    const QList<QPair<QLabel *, QLabel *>> rows = {{LabelCode, StaticTextCode},
                                                   {LabelModel, StaticTextModel},
                                                   {LabelVer, StaticTextVer},
                                                   {LabelAddr, StaticTextAddr},
                                                   {LabelBaud, StaticTextBaud}};
    for (int i = 0; i < rows.size(); ++i) {
        m_configGrid->addWidget(rows[i].first, i, 0);
        m_configGrid->addWidget(rows[i].second, i, 1);
        if (p.boldLabelsGreyFields) {
            makeBold(rows[i].first);
            makeGrey(rows[i].second);
        }
    }
    if (!p.codeField) {
        LabelCode->hide();
        StaticTextCode->hide();
    }
}

void TDeviceWindow::buildAddressAndBaudEditors(QWidget *panel)
{
    RxSpinEditAddr = makeSpinEditor(QStringLiteral("RxSpinEditAddr"), 1, 247, 1, m_profile.addressDefault, false, panel);
    BitBtnAddr = makeButton(QStringLiteral("BitBtnAddr"), QStringLiteral("Изменить"), panel);
    m_configGrid->addWidget(RxSpinEditAddr, 3, 2);
    m_configGrid->addWidget(BitBtnAddr, 3, 3);
    if (m_profile.baudEditor) {
        RxSpinEditBaud = makeSpinEditor(QStringLiteral("RxSpinEditBaud"), 9600, m_profile.baudMax, 9600, 9600, false, panel);
        BitBtnBaud = makeButton(QStringLiteral("BitBtnBaud"), QStringLiteral("Изменить"), panel);
        m_configGrid->addWidget(RxSpinEditBaud, 4, 2);
        m_configGrid->addWidget(BitBtnBaud, 4, 3);
    }
    if (!m_profile.addressAndBaudActions) {
        for (QWidget *w : std::initializer_list<QWidget *>{RxSpinEditAddr, BitBtnAddr, RxSpinEditBaud, BitBtnBaud})
            if (w)
                w->setEnabled(false);
    }
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
    auto *group = new QGroupBox(heading, monitoringPage());
    m_monitoringLayout->addWidget(group);
    return group;
}
