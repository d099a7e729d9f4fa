#include "devices/m7051main.h"

#include "bus/requestlayer.h"
#include "widgets/vrblinkled.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

TFM7051 *FM7051 = nullptr;

namespace {
constexpr std::uint8_t SubCodeAddress = 0x04;
constexpr std::uint8_t SubCodeBaud = 0x06;
} // namespace

DeviceProfile TFM7051::makeProfile()
{
    DeviceProfile p;
    p.caption = QStringLiteral("Модуль дискретного ввода M-7051D");
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

TFM7051::TFM7051(DeviceHost &host, QWidget *parent) : TDeviceWindowOf(host, makeProfile(), parent)
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
        m_inputs[n] = led;
    }
    monitoringLayout()->addStretch(1);
}

TFM7051::~TFM7051() = default;

void TFM7051::fillIdentification(const std::uint8_t *rx, int rxCount)
{
    // The three bytes after the address, function and sub-code echo of the search answer.
    QStringList parts;
    for (int i = 3; i <= 5; ++i)
        parts << QString::number(i < rxCount ? rx[i] : 0);
    StaticTextVer->setText(parts.join(QLatin1Char('.')));
}

void TFM7051::frameTestRequest(RequestLayer &frames, std::uint8_t address)
{
    frames.SendReadDiscreteInputs(address, 0x0000, 16);
}

void TFM7051::frameAddressWrite(RequestLayer &frames, std::uint8_t current, int newAddress)
{
    frames.SendModuleCommandEx(current, SubCodeAddress, static_cast<std::uint8_t>(newAddress));
}

void TFM7051::frameBaudWrite(RequestLayer &frames, std::uint8_t current, int newBaud)
{
    frames.SendModuleBaudRate(current, SubCodeBaud, newBaud);
}

void TFM7051::decodeMonitoring(const std::uint8_t *rx, int rxCount)
{
    const int low = rxCount > 3 ? rx[3] : 0;
    const int high = rxCount > 4 ? rx[4] : 0;
    const int inputs = high << 8 | low;
    for (int n = 0; n < 16; ++n)
        m_inputs[n]->setColorIndex(((inputs >> n) & 1) + 1);
}
