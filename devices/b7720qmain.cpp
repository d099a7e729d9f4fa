#include "devices/b7720qmain.h"

#include "devices/devicecatalogue.h"
#include "devices/b7720qprotocol.h"
#include "widgets/vrblinkled.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

TFB7720Q *FB7720Q = nullptr;

DeviceProfile TFB7720Q::makeProfile()
{
    DeviceProfile p;
    p.caption = WindowCaption(DeviceWindowKind::B7720Q);
    p.deviceName = QStringLiteral("B-7720Q");
    p.reportPrefix = QStringLiteral("B7720Q-");
    p.useModuleLabels();
    p.addressAndBaudEditors = false;
    p.addressAndBaudActions = false;
    p.intervalMin = 30;
    p.intervalMax = 1000;
    p.intervalDefault = 1000;
    p.journalHint.clear();
    p.stored = {QStringLiteral("RxSpinEditCount.Value"), QStringLiteral("RxSpinEditTimeOut.Value")};
    p.size = QSize(420, 620);
    return p;
}

TFB7720Q::TFB7720Q(DeviceHost &host, QWidget *parent)
    : TDeviceWindow(host, makeProfile(), CountersOf<TFB7720Q>(), parent)
{
    QGroupBox *group = addMonitoringGroup(QStringLiteral("Состояния дискретных входов:"));
    auto *row = new QHBoxLayout(group);
    for (int k = 0; k < 8; ++k) {
        auto *led = new TVrBlinkLed(QStringLiteral("Di%1").arg(k), group);
        led->setObjectName(QStringLiteral("VrBlinkLedBit%1").arg(k));
        led->setBlinkLedType(TVrBlinkLed::ltRectangle);
        led->setLayout(TVrBlinkLed::ImageTop);
        row->addWidget(led);
        showOn(led->Caption(), led);
    }
    monitoringLayout()->addStretch(1);
}

TFB7720Q::~TFB7720Q() = default;

void TFB7720Q::fillIdentification(const std::uint8_t *, int)
{
    StaticTextVer->setText(QString::fromLatin1(b7720q::FirmwareVersion));
}

void TFB7720Q::frameTestRequest(RequestLayer &frames, std::uint8_t address)
{
    b7720q::frameTestRequest(frames, address);
}

Readings TFB7720Q::decodeReadings(const std::uint8_t *rx, int rxCount)
{
    return InputStates(b7720q::inputs(rx, rxCount), 8);
}
