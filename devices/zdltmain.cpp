#include "devices/zdltmain.h"

#include "devices/devicecatalogue.h"
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
    p.caption = WindowCaption(DeviceWindowKind::ZDLT);
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
    const char *const phases[] = {"Ua", "Ub", "Uc"};
    for (int i = 0; i < 3; ++i) {
        const QString phase = QString::fromLatin1(phases[i]);
        showOn(phase, addValueField(grid, i, QStringLiteral("StaticText") + phase, phase + QStringLiteral(" = "),
                                    QStringLiteral("B")));
    }
    QGroupBox *frequency = addMonitoringGroup(QStringLiteral("Текущее значение частоты:"));
    auto *fgrid = new QGridLayout(frequency);
    showOn(QStringLiteral("F"),
           addValueField(fgrid, 0, QStringLiteral("StaticTextF"), QStringLiteral("F = "), QStringLiteral("Гц")));
    monitoringLayout()->addStretch(1);
}

TFZDLT::~TFZDLT() = default;

void TFZDLT::frameTestRequest(RequestLayer &frames, std::uint8_t address)
{
    zdlt::frameTestRequest(frames, address);
}

Readings TFZDLT::decodeReadings(const std::uint8_t *rx, int rxCount)
{
    // The class is read at every answer, so a change shows with the next one.
    return zdlt::readings(zdlt::decodeReading(rx, rxCount, RxSpinEditkV->IntValue()));
}

QStringList TFZDLT::configurationLines() const
{
    return {QStringLiteral("Класс напряжения: ") + QString::number(RxSpinEditkV->IntValue()),
            LabelAddr->text() + StaticTextAddr->text(), LabelBaud->text() + StaticTextBaud->text()};
}
