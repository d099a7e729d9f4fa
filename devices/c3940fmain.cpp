#include "devices/c3940fmain.h"

#include "bus/delayms.h"
#include "bus/modbusexception.h"
#include "bus/requestlayer.h"
#include "bus/vacomm.h"
#include "devices/c3940fprotocol.h"
#include "devices/devicecatalogue.h"
#include "devices/devicewindow.h"
#include "resources/images.h"
#include "widgets/dialogs.h"
#include "widgets/placement.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include <vector>

TFC3940F *FC3940F = nullptr;

namespace {
constexpr int WriteWaitMs = 500;

// The controller photograph at its own size, without the blank strip the drawing
// leaves down each side, so the identification texts fit beside it.
QPixmap controllerPhoto()
{
    constexpr int Strip = 16;
    const QPixmap photo = devicePicture(Pictures::ControllerPhoto, pictureSize(Pictures::ControllerPhoto));
    const qreal ratio = photo.devicePixelRatio();
    QPixmap cropped = photo.copy(qRound(Strip * ratio), 0, qRound(photo.width() - 2 * Strip * ratio), photo.height());
    cropped.setDevicePixelRatio(ratio);
    return cropped;
}

QLabel *makeLabel(const char *name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

void makeBold(QWidget *w)
{
    QFont font = w->font();
    font.setBold(true);
    w->setFont(font);
}

void makeGreyBold(QLabel *label)
{
    makeBold(label);
    label->setStyleSheet(QStringLiteral("color: grey;"));
}

QComboBox *makeList(const char *name, const QStringList &items, QWidget *parent)
{
    auto *list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setEditable(false); // a drop-down list: choosing only, no typing
    list->addItems(items);
    return list;
}

// The hourglass while the controller is being written to, and the controls that
// could start or change an exchange held for that time. Both come back on every
// way out, an error thrown by the port included.
class BusyWhileWriting
{
public:
    explicit BusyWhileWriting(std::initializer_list<QWidget *> held)
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        for (QWidget *w : held) {
            m_held.push_back({w, w->isEnabled()});
            w->setEnabled(false);
        }
    }
    ~BusyWhileWriting()
    {
        for (const auto &[widget, enabled] : m_held)
            widget->setEnabled(enabled);
        QApplication::restoreOverrideCursor();
    }
    BusyWhileWriting(const BusyWhileWriting &) = delete;
    BusyWhileWriting &operator=(const BusyWhileWriting &) = delete;

private:
    std::vector<std::pair<QWidget *, bool>> m_held;
};
} // namespace

TFC3940F::TFC3940F(DeviceHost &host, QWidget *parent) : QDialog(parent), m_host(host)
{
    setObjectName(QStringLiteral("FC3940F"));
    setWindowTitle(WindowCaption(DeviceWindowKind::C3940F));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(460, 608);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    outer->addWidget(Panel1);
    auto *column = new QVBoxLayout(Panel1);
    column->setContentsMargins(6, 6, 6, 6);
    column->setSpacing(8);

    StaticText6 = makeLabel("StaticText6", QStringLiteral("Текущая конфигурация контроллера: "), Panel1);
    StaticText6->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StaticText6->setAlignment(Qt::AlignCenter);
    StaticText6->setMinimumHeight(24);
    makeBold(StaticText6);
    column->addWidget(StaticText6);

    auto *selectors = new QGridLayout;
    selectors->setHorizontalSpacing(8);
    selectors->setColumnStretch(1, 1);
    Label45 = makeLabel("Label45", QStringLiteral("Выберите вариант исполнения:"), Panel1);
    makeBold(Label45);
    ComboBox2 = makeList("ComboBox2", {QStringLiteral("ЖНКТ"), QStringLiteral("ТРАВ")}, Panel1);
    Label1 = makeLabel("Label1", QStringLiteral("Выберите количество датчиков Ортикс-Т:"), Panel1);
    makeBold(Label1);
    ComboBox1 = makeList("ComboBox1",
                         {QStringLiteral("UT1 - UT3"), QStringLiteral("UT4 - UT6"), QStringLiteral("UT7 - UT9"),
                          QStringLiteral("UT1 - UT9"), QStringLiteral("UT1 - UT6"), QStringLiteral("UT4 - UT9")},
                         Panel1);
    ComboBox1->setCurrentIndex(-1);
    m_normalPalette = ComboBox1->palette();
    Label45->setBuddy(ComboBox2);
    Label1->setBuddy(ComboBox1);
    selectors->addWidget(Label45, 0, 0);
    selectors->addWidget(ComboBox2, 0, 1);
    selectors->addWidget(Label1, 1, 0);
    selectors->addWidget(ComboBox1, 1, 1);
    column->addLayout(selectors);

    BitBtnWriteToPLC = new QPushButton(QStringLiteral("ЗАПИСАТЬ НОВУЮ КОНФИГУРАЦИЮ В КОНТРОЛЛЕР..."), Panel1);
    BitBtnWriteToPLC->setObjectName(QStringLiteral("BitBtnWriteToPLC"));
    BitBtnWriteToPLC->setAutoDefault(false);
    BitBtnWriteToPLC->setMinimumHeight(30);
    BitBtnWriteToPLC->setEnabled(false);
    column->addWidget(BitBtnWriteToPLC);

    auto *lower = new QHBoxLayout;
    lower->setSpacing(6);
    Image1 = makeLabel("Image1", QString(), Panel1);
    Image1->setPixmap(controllerPhoto());
    Image1->setFixedSize(Image1->pixmap().deviceIndependentSize().toSize());
    lower->addWidget(Image1, 0, Qt::AlignLeft | Qt::AlignBottom);

    auto *identification = new QVBoxLayout;
    identification->setSpacing(2);
    LabelVer = makeLabel("LabelVer", QStringLiteral("Версия Firmware:"), Panel1);
    StaticTextVer = makeLabel("StaticTextVer", QStringLiteral("??,??"), Panel1);
    LabelAddr = makeLabel("LabelAddr", QStringLiteral("Сетевой адрес: "), Panel1);
    StaticTextAddr = makeLabel("StaticTextAddr", QStringLiteral("??"), Panel1);
    LabelBaud = makeLabel("LabelBaud", QStringLiteral("Скорость обмена: "), Panel1);
    StaticTextBaud = makeLabel("StaticTextBaud", QStringLiteral("?????"), Panel1);
    identification->addStretch(1);
    const std::pair<QLabel *, QLabel *> rows[] = {
        {LabelVer, StaticTextVer}, {LabelAddr, StaticTextAddr}, {LabelBaud, StaticTextBaud}};
    for (const auto &[label, text] : rows) {
        makeGreyBold(label);
        makeGreyBold(text);
        label->setWordWrap(true); // rather than cut off where the font is wider
        text->setWordWrap(true);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        identification->addWidget(label);
        identification->addWidget(text);
        identification->addSpacing(10);
    }
    lower->addLayout(identification, 1);
    column->addLayout(lower, 1);

    connect(ComboBox1, qOverload<int>(&QComboBox::activated), this,
            [this] { guarded(this, [this] { ComboBox1Change(); }); });
    connect(ComboBox2, qOverload<int>(&QComboBox::activated), this,
            [this] { guarded(this, [this] { ComboBox2Change(); }); });
    connect(BitBtnWriteToPLC, &QPushButton::clicked, this,
            [this] { guarded(this, [this] { BitBtnWriteToPLCClick(); }); });
}

TFC3940F::~TFC3940F() = default;

void TFC3940F::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    m_closed = false;
    CentreOnScreen(*this, parentWidget() ? parentWidget()->window() : nullptr);
    guarded(this, [this] { FormShow(); });
}

void TFC3940F::done(int result)
{
    m_closed = true;
    QDialog::done(result);
}

void TFC3940F::setGroupSelectorYellow(bool yellow)
{
    QPalette palette = m_normalPalette;
    if (yellow) {
        palette.setColor(QPalette::Button, Qt::yellow);
        palette.setColor(QPalette::Base, Qt::yellow);
    }
    ComboBox1->setPalette(palette);
}

void TFC3940F::FormShow()
{
    StaticTextVer->setText(QString::fromUtf8(c3940f::FirmwareVersion));
    StaticTextAddr->setText(m_host.foundAddressText());
    StaticTextBaud->setText(m_host.baudRateText());

    const QByteArray &answer = m_host.found().answer;
    const std::uint8_t config = c3940f::configurationOfAnswer(reinterpret_cast<const std::uint8_t *>(answer.constData()),
                                                              int(answer.size()));
    const int group = c3940f::groupIndex(config);
    setGroupSelectorYellow(group == c3940f::NoGroup);
    ComboBox1->setCurrentIndex(group);
    ComboBox2->setCurrentIndex(c3940f::variantIndex(config));

    StoredVariantIndex = ComboBox2->currentIndex();
    StoredGroupIndex = ComboBox1->currentIndex();
}

void TFC3940F::ComboBox1Change()
{
    BitBtnWriteToPLC->setEnabled(ComboBox1->currentIndex() != StoredGroupIndex);
}

void TFC3940F::ComboBox2Change()
{
    BitBtnWriteToPLC->setEnabled(ComboBox2->currentIndex() != StoredVariantIndex);
}

void TFC3940F::BitBtnWriteToPLCClick()
{
    if (m_writing)
        return;
    if (!askYesNo(this, QStringLiteral("Вы действительно хотите записать новую конфигурацию в энергонезависимую "
                                       "память контроллера?")))
        return;

    RequestLayer &frames = m_host.frames();
    const int group = ComboBox1->currentIndex();
    const int variant = ComboBox2->currentIndex();
    {
        BusyWhileWriting busy{ComboBox1, ComboBox2, BitBtnWriteToPLC};
        m_writing = true;
        const auto writingEnds = qScopeGuard([this] { m_writing = false; });

        frames.ResetRx();
        frames.ResetTx();
        c3940f::frameWrite(frames, static_cast<std::uint8_t>(m_host.found().address),
                           c3940f::configurationByte(group, variant));
        TVaComm &port = m_host.port();
        port.PurgeWrite();
        port.WriteBuf(frames.TxFrame, frames.TxCount);
        DelayMs(WriteWaitMs);
    }
    // Closed during the wait: nobody is left to read a box.
    if (m_closed)
        return;

    const c3940f::WriteResult result = c3940f::judgeWriteAnswer(frames.RxFrame, frames.RxCount);
    switch (result.outcome) {
    case c3940f::WriteOutcome::Written:
        showInformation(this, QStringLiteral("Новая конфигурация записана успешно!"));
        StoredVariantIndex = variant;
        StoredGroupIndex = group;
        BitBtnWriteToPLC->setEnabled(false);
        break;
    case c3940f::WriteOutcome::CrcError:
        showWarning(this, QStringLiteral("Произошла ошибка CRC!\rНовая конфигурация не записана!"));
        break;
    case c3940f::WriteOutcome::Refused:
        showWarning(this, RefusalMessage(result.exceptionCode, QStringLiteral("Новая конфигурация не записана!")));
        break;
    case c3940f::WriteOutcome::NoAnswer:
        showWarning(this, QStringLiteral("Контроллер не отвечает!"));
        break;
    }
}
