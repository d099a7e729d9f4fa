#include "devices/krvmain.h"

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
    p.caption = QStringLiteral("Блок релейной защиты KRV-A");
    p.deviceName = QStringLiteral("KRV-A");
    p.reportPrefix = QStringLiteral("KRV-");
    p.labelBaud = QStringLiteral("Скорость обмена (COM2): ");
    p.intervalMin = 50;
    p.intervalMax = 1000;
    p.intervalDefault = 300;
    p.stored = {QStringLiteral("RxSpinEditAddr.Value"), QStringLiteral("RxSpinEditBaud.Value"),
                QStringLiteral("RxSpinEditCount.Value"), QStringLiteral("RxSpinEditTimeOut.Value")};
    p.size = QSize(480, 660);
    return p;
}

TFKRV::TFKRV(DeviceHost &host, QWidget *parent) : TDeviceWindow(host, makeProfile(), CountersOf<TFKRV>(), parent)
{
    buildMonitoringTab();
}

TFKRV::~TFKRV() = default;

void TFKRV::buildMonitoringTab()
{
    struct Field
    {
        const char *name;
        const char *label;
    };
    const Field now[] = {{"StaticTextIa", "Ia = "}, {"StaticTextIb", "Ib = "}, {"StaticTextIc", "Ic = "},
                         {"StaticText3Io", "3Io = "}};
    const Field trip[] = {{"StaticTextPreIa", "Ia = "}, {"StaticTextPreIb", "Ib = "}, {"StaticTextPreIc", "Ic = "},
                          {"StaticTextPre3Io", "3Io = "}};

    auto addCurrents = [this](const QString &heading, const Field (&fields)[4], int first) {
        QGroupBox *group = addMonitoringGroup(heading);
        auto *grid = new QGridLayout(group);
        for (int i = 0; i < 4; ++i)
            m_currents[first + i] = addValueField(grid, i, QString::fromLatin1(fields[i].name),
                                                  QString::fromLatin1(fields[i].label), QStringLiteral("A"));
    };
    addCurrents(QStringLiteral("Текущие значения фазных токов:"), now, 0);
    addCurrents(QStringLiteral("Фазные токи на момент отключения выключателя:"), trip, 4);

    struct Led
    {
        int bit;
        const char *caption;
    };
    struct Group
    {
        const char *heading;
        std::vector<Led> leds;
    };
    const Group groups[] = {
        {"Сигнализация отсутствия откл/вкл выключателя:", {{13, "Несоотв. доп. контакта выключателя"}}},
        {"Сигнализация МТЗ:",
         {{0, "Времязависимая МТЗ в фазах"}, {1, "Токовая отсечка в фазах"}, {2, "Тревога МТЗ в фазах"}}},
        {"Сигнализация ОЗЗ:",
         {{3, "Времязависимая МТЗ на землю"}, {4, "Токовая отсечка на землю"}, {5, "Тревога МТЗ на землю"}}},
        {"Сигнализация необходимости проведения ТО выключателя:",
         {{14, "Превышено число мех. срабатываний выключателя"},
          {15, "Превышена допустимая величина накопленного тока"}}},
    };
    for (const Group &g : groups) {
        QGroupBox *box = addMonitoringGroup(QString::fromUtf8(g.heading));
        auto *column = new QVBoxLayout(box);
        column->setSpacing(2);
        for (const Led &l : g.leds) {
            auto *led = new TVrBlinkLed(QString::fromUtf8(l.caption), box);
            led->setObjectName(QStringLiteral("VrBlinkLedBit%1").arg(l.bit));
            column->addWidget(led);
            m_leds[l.bit] = led;
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

void TFKRV::decodeMonitoring(const std::uint8_t *rx, int rxCount)
{
    const krv::Reading reading = krv::decodeReading(rx, rxCount);
    ShowBits(m_leds, reading.status);
    for (std::size_t i = 0; i < m_currents.size(); ++i)
        m_currents[i]->setText(FormatGeneral(reading.currents[i]));
}
