#include "devices/mlxmain.h"

#include "devices/devicecatalogue.h"
#include "bus/requestlayer.h"
#include "devices/mlxprotocol.h"
#include "widgets/dialogs.h"
#include "widgets/rxspinedit.h"
#include "widgets/vrdigitgroup.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>


TFMLX *FMLX = nullptr;

namespace {
TVrDigitGroup *makeDisplay(const char *name, QWidget *parent)
{
    auto *display = new TVrDigitGroup(parent);
    display->setObjectName(QString::fromLatin1(name));
    display->setDigits(5);
    display->setDecimals(2);
    display->setLeadingZero(false);
    display->setPaletteHigh(Qt::blue);
    display->setMinimumHeight(56);
    display->setValue(0);
    return display;
}
} // namespace

DeviceProfile TFMLX::makeProfile()
{
    DeviceProfile p;
    p.caption = WindowCaption(DeviceWindowKind::MLX);
    p.deviceName = QStringLiteral("ОРТИКС-Т");
    p.reportPrefix = QStringLiteral("Ortiks_T-");
    p.useModuleLabels();
    p.codeField = false;
    // Label1 is the coefficient's caption here; the hidden code caption keeps the common name.
    p.codeLabelName = QStringLiteral("LabelCode");
    p.boldLabelsGreyFields = true;
    p.initialModel = QStringLiteral("x90614");
    p.initialVer = QStringLiteral("1,0");
    p.fixedBaudText = QStringLiteral("19200");
    p.baudEditor = false;
    p.confirmAddressChange = false;
    p.configWaitMs = 3000;
    p.addressDefault = 123;
    p.countMax = 1000000;
    p.intervalMin = 10;
    p.intervalMax = 60000;
    p.intervalDefault = 100;
    p.journalHint.clear();
    p.stored = {QStringLiteral("RxSpinEditAddr.Value"), QStringLiteral("RxSpinEditKt.Value"),
                QStringLiteral("RxSpinEditCount.Value"), QStringLiteral("RxSpinEditTimeOut.Value")};
    p.size = QSize(520, 640);
    return p;
}

TFMLX::TFMLX(DeviceHost &host, QWidget *parent) : TDeviceWindow(host, makeProfile(), CountersOf<TFMLX>(), parent)
{
    QGridLayout *grid = configurationGrid();
    QWidget *panel = grid->parentWidget();
    auto *ktLabel = new QLabel(QStringLiteral("Коэффициент теплоизлучения:"), panel);
    ktLabel->setObjectName(QStringLiteral("Label1"));
    makeBold(ktLabel);
    StaticTextKt = new QLabel(QStringLiteral("?,??"), panel);
    StaticTextKt->setObjectName(QStringLiteral("StaticTextKt"));
    StaticTextKt->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    makeGrey(StaticTextKt);
    RxSpinEditKt = new TRxSpinEdit(panel);
    RxSpinEditKt->setObjectName(QStringLiteral("RxSpinEditKt"));
    RxSpinEditKt->setValueType(TRxSpinEdit::vtFloat);
    RxSpinEditKt->setDecimal(2);
    RxSpinEditKt->setMinValue(0.1);
    RxSpinEditKt->setMaxValue(1.0);
    RxSpinEditKt->setIncrement(0.01);
    RxSpinEditKt->setValue(0.8);
    RxSpinEditKt->setCheckOnExit(true);
    BitBtnKt = new QPushButton(QStringLiteral("Изменить"), panel);
    BitBtnKt->setObjectName(QStringLiteral("BitBtnKt"));
    BitBtnKt->setAutoDefault(false);
    grid->addWidget(ktLabel, 5, 0);
    grid->addWidget(StaticTextKt, 5, 1);
    grid->addWidget(RxSpinEditKt, 5, 2);
    grid->addWidget(BitBtnKt, 5, 3);
    connect(BitBtnKt, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnKtClick(); }); });

    // Every editor of this window may be typed into and checks its range when left.
    RxSpinEditAddr->setEditorEnabled(true);
    RxSpinEditTimeOut->setEditorEnabled(true);
    for (TRxSpinEdit *editor : {RxSpinEditAddr, RxSpinEditCount, RxSpinEditTimeOut})
        editor->setCheckOnExit(true);

    QGroupBox *group = addMonitoringGroup(QStringLiteral("Текущие значения температур:"));
    group->setObjectName(QStringLiteral("StaticText9"));
    auto *column = new QVBoxLayout(group);
    auto *surface = new QLabel(QStringLiteral("Температура на измеряемой поверхности (°С):"), group);
    surface->setObjectName(QStringLiteral("StaticText1"));
    VrDigitGroupT1 = makeDisplay("VrDigitGroupT1", group);
    auto *air = new QLabel(QStringLiteral("Температура окружающего воздуха (°С):"), group);
    air->setObjectName(QStringLiteral("StaticText2"));
    VrDigitGroupT2 = makeDisplay("VrDigitGroupT2", group);
    column->addWidget(surface);
    column->addWidget(VrDigitGroupT1);
    column->addWidget(air);
    column->addWidget(VrDigitGroupT2);
    monitoringLayout()->addStretch(1);
    const Readings names = mlx::readings({});
    showOn(names[0].quantity, VrDigitGroupT1);
    showOn(names[1].quantity, VrDigitGroupT2);
}

TFMLX::~TFMLX() = default;

void TFMLX::fillIdentification(const std::uint8_t *rx, int rxCount)
{
    StaticTextKt->setText(FormatGeneral(mlx::emissivity(rx, rxCount)));
}

void TFMLX::frameTestRequest(RequestLayer &frames, std::uint8_t address)
{
    mlx::frameTestRequest(frames, address);
}

void TFMLX::frameAddressWrite(RequestLayer &frames, std::uint8_t, int newAddress)
{
    mlx::frameAddressWrite(frames, newAddress);
}

Readings TFMLX::decodeReadings(const std::uint8_t *rx, int rxCount)
{
    return mlx::readings(mlx::decodeTemperatures(rx, rxCount));
}

void TFMLX::setTestControlsEnabled(bool enabled)
{
    for (QWidget *w : std::initializer_list<QWidget *>{BitBtnAddr, BitBtnKt, RxSpinEditAddr, RxSpinEditKt,
                                                       RxSpinEditCount, RxSpinEditTimeOut})
        w->setEnabled(enabled);
}

void TFMLX::resetIdleLook()
{
    VrDigitGroupT1->setValue(0);
    VrDigitGroupT2->setValue(0);
}

void TFMLX::BitBtnKtClick()
{
    if (!ensurePortOpen())
        return;
    const int current = hundredths(StaticTextKt->text().replace(QLocale().decimalPoint(), QStringLiteral(".")).toDouble());
    const int wanted = hundredths(RxSpinEditKt->Value());
    if (current == wanted)
        return;
    if (!askYesNo(this, QStringLiteral("Вы действительно хотите изменить коэффициент теплоизлучения (для черненной "
                                       "медной шины: Kt=0,80)?")))
        return;
    RequestLayer &frames = m_host.frames();
    frames.ResetRx();
    frames.ResetTx();
    mlx::frameEmissivityWrite(frames, currentAddress(), wanted);
    if (!exchange(profile().configWaitMs))
        return;
    const QString notWritten = QStringLiteral("Новое значение коэффициента теплоизлучения не записано!");
    if (judgeWrite({QStringLiteral("Устройство не отвечает на запросы:\r1. Проверьте питание и схему подключения "
                                   "устройства;\r2. Перезапустите программу."),
                    QStringLiteral("Произошла ошибка CRC!\r") + notWritten, notWritten,
                    QStringLiteral("Новое значение коэффициента теплоизлучения записано успешно!\rНеобходимо "
                                   "перезагрузить датчик температуры по питанию!")}))
        close();
}
