#include "devices/zdltmain.h"

#include "devices/zdltprotocol.h"
#include "widgets/rxspinedit.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

TFZDLT *FZDLT = nullptr;


DeviceProfile TFZDLT::makeProfile()
{
    DeviceProfile p;
    p.caption = QStringLiteral("Блок релейной защиты ZDLT-1");
    p.deviceName = QStringLiteral("ZDLT-1");
    p.reportPrefix = QStringLiteral("ZDLT-");
    p.reportCancelText = QStringLiteral("Журнал не сохранен!");
    p.initialCode = p.initialModel = p.initialVer = QStringLiteral("нет");
    p.addressAndBaudActions = false;
    p.stored = {QStringLiteral("RxSpinEditkV.Value"), QStringLiteral("RxSpinEditCount.Value"),
                QStringLiteral("RxSpinEditTimeOut.Value")};
    p.centred = false;
    p.size = QSize(460, 640);
    return p;
}

TFZDLT::TFZDLT(DeviceHost &host, QWidget *parent) : TDeviceWindow(host, makeProfile(), CountersOf<TFZDLT>(), parent)
{
    auto *group = new QGroupBox(QStringLiteral("    Класс напряжения:      "));
    auto *row = new QHBoxLayout(group);
    RxSpinEditkV = new TRxSpinEdit(group);
    RxSpinEditkV->setObjectName(QStringLiteral("RxSpinEditkV"));
    RxSpinEditkV->setMinValue(6);
    RxSpinEditkV->setMaxValue(10);
    RxSpinEditkV->setIncrement(4);
    RxSpinEditkV->setValue(10);
    RxSpinEditkV->setEditorEnabled(false);
    RxSpinEditkV->setStyleSheet(QStringLiteral("background-color: yellow;"));
    row->addWidget(RxSpinEditkV);
    row->addWidget(new QLabel(QStringLiteral("кВ"), group));
    row->addStretch(1);
    configurationGrid()->addWidget(group, 5, 0, 1, 4);

    QGroupBox *voltages = addMonitoringGroup(QStringLiteral("Текущие значения фазных напряжений:"));
    auto *grid = new QGridLayout(voltages);
    m_ua = addValueField(grid, 0, QStringLiteral("StaticTextUa"), QStringLiteral("Ua = "), QStringLiteral("B"));
    m_ub = addValueField(grid, 1, QStringLiteral("StaticTextUb"), QStringLiteral("Ub = "), QStringLiteral("B"));
    m_uc = addValueField(grid, 2, QStringLiteral("StaticTextUc"), QStringLiteral("Uc = "), QStringLiteral("B"));
    QGroupBox *frequency = addMonitoringGroup(QStringLiteral("Текущее значение частоты:"));
    auto *fgrid = new QGridLayout(frequency);
    m_f = addValueField(fgrid, 0, QStringLiteral("StaticTextF"), QStringLiteral("F = "), QStringLiteral("Гц"));
    monitoringLayout()->addStretch(1);
}

TFZDLT::~TFZDLT() = default;

void TFZDLT::frameTestRequest(RequestLayer &frames, std::uint8_t address)
{
    zdlt::frameTestRequest(frames, address);
}

void TFZDLT::decodeMonitoring(const std::uint8_t *rx, int rxCount)
{
    // The class is read at every answer, so a change shows with the next one.
    const zdlt::Reading r = zdlt::decodeReading(rx, rxCount, RxSpinEditkV->IntValue());
    m_ua->setText(FormatGeneral(r.ua));
    m_ub->setText(FormatGeneral(r.ub));
    m_uc->setText(FormatGeneral(r.uc));
    m_f->setText(FormatGeneral(r.frequency));
}

QStringList TFZDLT::configurationLines() const
{
    return {QStringLiteral("Класс напряжения: ") + QString::number(RxSpinEditkV->IntValue()),
            LabelAddr->text() + StaticTextAddr->text(), LabelBaud->text() + StaticTextBaud->text()};
}
