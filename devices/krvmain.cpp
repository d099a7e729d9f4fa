#include "devices/krvmain.h"

#include "devices/devicecatalogue.h"
#include "devices/krvprotocol.h"
#include "widgets/vrblinkled.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

TFKRV *FKRV = nullptr;

DeviceProfile TFKRV::makeProfile()
{
    DeviceProfile p;
    p.caption = WindowCaption(DeviceWindowKind::KRV);
    p.deviceName = QStringLiteral("KRV-A");
    p.reportPrefix = QStringLiteral("KRV-");
    p.labelBaud = QStringLiteral("Скорость обмена (COM2): ");
    p.intervalMin = 50;
    p.intervalMax = 1000;
    p.intervalDefault = 300;
    p.stored = {QStringLiteral("RxSpinEditAddr.Value"), QStringLiteral("RxSpinEditBaud.Value"),
                QStringLiteral("RxSpinEditCount.Value"), QStringLiteral("RxSpinEditTimeOut.Value")};
    p.size = QSize(480, 660);
    // The currents at the last trip stand still and would squash the present ones.
    for (int i = 4; i < 8; ++i)
        p.chartOff << krv::currentName(i);
    return p;
}

TFKRV::TFKRV(DeviceHost &host, QWidget *parent) : TDeviceWindow(host, makeProfile(), CountersOf<TFKRV>(), parent)
{
    buildMonitoringTab();
}

TFKRV::~TFKRV() = default;

void TFKRV::buildMonitoringTab()
{
    const char *const now[] = {"StaticTextIa", "StaticTextIb", "StaticTextIc", "StaticText3Io"};
    const char *const trip[] = {"StaticTextPreIa", "StaticTextPreIb", "StaticTextPreIc", "StaticTextPre3Io"};
    const char *const labels[] = {"Ia = ", "Ib = ", "Ic = ", "3Io = "};

    auto addCurrents = [this, &labels](const QString &heading, const char *const (&names)[4], int first) {
        QGroupBox *group = addMonitoringGroup(heading);
        auto *grid = new QGridLayout(group);
        for (int i = 0; i < 4; ++i) {
            QLabel *field = addValueField(grid, i, QString::fromLatin1(names[i]), QString::fromLatin1(labels[i]),
                                          QString::fromLatin1(krv::CurrentUnit));
            showOn(krv::currentName(first + i), field);
        }
    };
    addCurrents(QStringLiteral("Текущие значения фазных токов:"), now, 0);
    addCurrents(QStringLiteral("Фазные токи на момент отключения выключателя:"), trip, 4);

    struct Group
    {
        const char *heading;
        std::vector<int> bits;
    };
    const Group groups[] = {
        {"Сигнализация отсутствия откл/вкл выключателя:", {13}},
        {"Сигнализация МТЗ:", {0, 1, 2}},
        {"Сигнализация ОЗЗ:", {3, 4, 5}},
        {"Сигнализация необходимости проведения ТО выключателя:", {14, 15}},
    };
    for (const Group &g : groups) {
        QGroupBox *box = addMonitoringGroup(QString::fromUtf8(g.heading));
        auto *column = new QVBoxLayout(box);
        column->setSpacing(2);
        for (int bit : g.bits) {
            const QString caption = QString::fromUtf8(krv::alarmCaption(bit));
            auto *led = new TVrBlinkLed(caption, box);
            led->setObjectName(QStringLiteral("VrBlinkLedBit%1").arg(bit));
            column->addWidget(led);
            showOn(caption, led);
        }
    }
    monitoringLayout()->addStretch(1);
}

void TFKRV::fillIdentification(const std::uint8_t *rx, int rxCount)
{
    const krv::Identification id = krv::decodeIdentification(rx, rxCount);
    StaticTextCode->setText(QString::number(id.code));
    StaticTextModel->setText(QString::number(id.model));
    StaticTextVer->setText(FormatGeneral(id.version));
}

void TFKRV::frameTestRequest(RequestLayer &frames, std::uint8_t address)
{
    krv::frameTestRequest(frames, address);
}

void TFKRV::frameAddressWrite(RequestLayer &frames, std::uint8_t current, int newAddress)
{
    krv::frameAddressWrite(frames, current, newAddress);
}

void TFKRV::frameBaudWrite(RequestLayer &frames, std::uint8_t current, int newBaud)
{
    krv::frameBaudWrite(frames, current, newBaud);
}

Readings TFKRV::decodeReadings(const std::uint8_t *rx, int rxCount)
{
    return krv::readings(krv::decodeReading(rx, rxCount));
}
