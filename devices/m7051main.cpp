#include "devices/m7051main.h"

#include "devices/devicecatalogue.h"
#include "devices/m7051protocol.h"
#include "widgets/vrblinkled.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

TFM7051 *FM7051 = nullptr;


DeviceProfile TFM7051::makeProfile()
{
    DeviceProfile p;
    p.caption = WindowCaption(DeviceWindowKind::M7051);
    p.deviceName = QStringLiteral("M-7051D");
    p.reportPrefix = QStringLiteral("M7051D-");
    p.useModuleLabels();
    p.boldLabelsGreyFields = true;
    p.baudMax = 115200;
    p.intervalMin = 30;
    p.intervalMax = 1000;
    p.intervalDefault = 1000;
    p.journalHint.clear();
    p.stored = {QStringLiteral("RxSpinEditAddr.Value"), QStringLiteral("RxSpinEditBaud.Value"),
                QStringLiteral("RxSpinEditCount.Value"), QStringLiteral("RxSpinEditTimeOut.Value")};
    p.size = QSize(440, 640);
    return p;
}

TFM7051::TFM7051(DeviceHost &host, QWidget *parent)
    : TDeviceWindow(host, makeProfile(), CountersOf<TFM7051>(), parent)
{
    QGroupBox *group = addMonitoringGroup(QStringLiteral("Состояния дискретных входов:"));
    group->setObjectName(QStringLiteral("StaticText9"));
    auto *grid = new QGridLayout(group);
    for (int n = 0; n < 16; ++n) {
        auto *led = new TVrBlinkLed(QStringLiteral("Di%1").arg(n), group);
        led->setObjectName(QStringLiteral("VrBlinkLedBit%1").arg(n));
        led->setPalette(2, {palette().color(QPalette::Button), QColor(Qt::green)});
        led->setLayout(TVrBlinkLed::ImageTop);
        grid->addWidget(led, n / 8, n % 8);
        showOn(led->Caption(), led);
    }
    monitoringLayout()->addStretch(1);
}

TFM7051::~TFM7051() = default;

void TFM7051::fillIdentification(const std::uint8_t *rx, int rxCount)
{
    StaticTextVer->setText(m7051::versionText(rx, rxCount));
}

void TFM7051::frameTestRequest(RequestLayer &frames, std::uint8_t address)
{
    m7051::frameTestRequest(frames, address);
}

void TFM7051::frameAddressWrite(RequestLayer &frames, std::uint8_t current, int newAddress)
{
    m7051::frameAddressWrite(frames, current, newAddress);
}

void TFM7051::frameBaudWrite(RequestLayer &frames, std::uint8_t current, int newBaud)
{
    m7051::frameBaudWrite(frames, current, newBaud);
}

Readings TFM7051::decodeReadings(const std::uint8_t *rx, int rxCount)
{
    return InputStates(m7051::inputs(rx, rxCount), 16);
}
