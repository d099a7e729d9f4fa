#include "info/schemes.h"

#include "resources/images.h"
#include "widgets/placement.h"
#include "widgets/vrweblabel.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

TFSchemes *FSchemes = nullptr;

namespace {

// Shown by the link label; a documentation-only address, nothing is served for it.
const char *const LinkAddress = "http://www.example.com/";
const char *const LinkCaption = "www.example.com";

constexpr int PanelWidth = 267;
constexpr int UpperHeight = 140;
constexpr int LowerHeight = 171;
constexpr int Gap = 4;
constexpr int Edge = 3;
constexpr int Inset = 6;       // from the panel edge to its contents
constexpr int HeadingHeight = 19;
constexpr int LineGap = 2;     // between the two wiring lines
constexpr QSize ConverterSize(45, 73);

struct PanelPlan
{
    const char *panel;
    int column; // 0..2
    int row;    // 0 upper, 1 lower
    const char *headingName;
    const char *heading;
    const char *deviceImage;
    const QString &picture;
    const char *converterImage;
    const char *minusName; // blue wire, converter terminal 4 (Data-)
    const char *minusText;
    const char *plusName;  // white-blue wire, converter terminal 3 (Data+)
    const char *plusText;
};

const PanelPlan Panels[] = {
    {"Panel1", 0, 0, "StaticText1", "Блоки релейной защиты: KRV-A (ZDLT-1)", "ProgramIcon", Pictures::Krva, "Image1",
     "Label1", "клеммы: 13 (-)  <----------- синий ----------> 4 (Data-)",
     "Label2", "клеммы: 14 (+) <------ бело-синий ------> 3 (Data+)"},
    {"Panel2", 1, 0, "StaticText2", "Модули серии: M-7000", "Image2", Pictures::M7051d, "Image3",
     "Label4", "клеммы: 9 (Data-)  <----------- синий ----------> 4 (Data-)",
     "Label5", "клеммы: 8 (Data+) <------ бело-синий ------> 3 (Data+)"},
    {"Panel5", 2, 0, "StaticText5", "Датчики температуры: Ортикс-Т", "Image9", Pictures::Sensor, "Image8",
     "Label23", "клеммы: 1 (Data-)  <----------- синий ----------> 4 (Data-)",
     "Label24", "клеммы: 2 (Data+) <------ бело-синий ------> 3 (Data+)"},
    {"Panel3", 0, 1, "StaticText3", "Счетчики эл.энергии СЭТ-4ТМ-02.02", "Image5", Pictures::Set4tm, "Image4",
     "Label3", "клеммы: 16 (линия В) <----------- синий ----------> 4 (Data-)",
     "Label6", "клеммы: 12 (линия А) <------ бело-синий ------> 3 (Data+)"},
    {"Panel4", 1, 1, "StaticText4", "Модули серии: B-7720", "Image6", Pictures::B7720q, "Image7",
     "Label7", "клемма 11 (Data-) <----------- синий ----------> 4 (Data-)",
     "Label8", "клемма 10 (Data+) <------ бело-синий ------> 3 (Data+)"},
    {"Panel6", 2, 1, "StaticText6", "Система многоканального температур.контроля:", "Image10", Pictures::Controller,
     "Image11",
     "Label9", "клемма 11 (Data-) <----------- синий ----------> 4 (Data-)",
     "Label10", "клемма 10 (Data+) <------ бело-синий ------> 3 (Data+)"},
};

QRect panelGeometry(const PanelPlan &plan)
{
    const int x = Edge + plan.column * (PanelWidth + Gap);
    const int y = plan.row == 0 ? Edge : Edge + UpperHeight + Gap;
    return QRect(x, y, PanelWidth, plan.row == 0 ? UpperHeight : LowerHeight);
}

QLabel *addLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    return label;
}

QLabel *addPicture(QWidget *parent, const char *name, const QString &picture, const QRect &box)
{
    // The picture is centred in its box; a transparent label shows the panel behind it.
    const QPixmap pixmap = devicePicture(picture, box.size());
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setAlignment(Qt::AlignCenter);
    label->setPixmap(pixmap);
    label->setGeometry(box);
    return label;
}

QFont baseFont(int pixelSize, bool bold)
{
    // A condensed face keeps the long arrow lines readable at a normal size; where
    // it is missing, the normal face of the family stands in.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStretch(QFont::Condensed);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

} // namespace

QFont fitFont(const QFont &base, const QStringList &texts, int width, int minPixelSize)
{
    const int start = base.pixelSize() > 0 ? base.pixelSize() : QFontInfo(base).pixelSize();
    QFont font = base;
    for (int size = start; size >= minPixelSize; --size) {
        for (qreal spacing : {0.0, -0.2, -0.4}) {
            font.setPixelSize(size);
            font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
            const QFontMetrics metrics(font);
            bool fits = true;
            for (const QString &text : texts)
                fits = fits && metrics.horizontalAdvance(text) <= width;
            if (fits)
                return font;
        }
    }
    return font;
}

TFSchemes::TFSchemes(QWidget *owner)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("FSchemes"));
    setWindowTitle(QStringLiteral("Схемы подключения устройств АСУ по интерфейсу RS-485"));
    setFixedSize(ClientWidth, ClientHeight);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setSizeGripEnabled(false);

    const int textWidth = PanelWidth - 2 * Inset;
    QStringList headings;
    QStringList lines;
    for (const PanelPlan &plan : Panels) {
        headings << QString::fromUtf8(plan.heading);
        lines << QString::fromUtf8(plan.minusText) << QString::fromUtf8(plan.plusText);
    }
    const QFont headingFont = fitFont(baseFont(11, true), headings, textWidth - 8);
    const QFont lineFont = fitFont(baseFont(11, false), lines, textWidth);
    const int lineHeight = QFontMetrics(lineFont).height();

    for (const PanelPlan &plan : Panels) {
        // Raised inner and lowered outer bevel: an etched frame.
        auto *panel = new QFrame(this);
        panel->setObjectName(QString::fromLatin1(plan.panel));
        panel->setFrameStyle(QFrame::Box | QFrame::Sunken);
        panel->setLineWidth(1);
        panel->setGeometry(panelGeometry(plan));
        const int height = panel->height();

        QLabel *heading = addLabel(panel, plan.headingName, QString::fromUtf8(plan.heading),
                                   QRect(Inset, Inset - 1, textWidth, HeadingHeight));
        heading->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        heading->setAlignment(Qt::AlignCenter);
        heading->setFont(headingFont);

        // Wiring lines at the bottom, pictures in the band between them and the heading.
        const int plusTop = height - Inset - lineHeight;
        const int minusTop = plusTop - LineGap - lineHeight;
        const int bandTop = Inset + HeadingHeight + 2;
        const int bandHeight = minusTop - 2 - bandTop;
        const int deviceEdge = qMin(80, bandHeight);
        addPicture(panel, plan.deviceImage, plan.picture,
                   QRect(Inset + 6, bandTop + (bandHeight - deviceEdge) / 2, deviceEdge, deviceEdge));
        addPicture(panel, plan.converterImage, Pictures::Converter,
                   QRect(PanelWidth - Inset - 6 - ConverterSize.width(),
                         bandTop + (bandHeight - ConverterSize.height()) / 2, ConverterSize.width(),
                         ConverterSize.height()));

        addLabel(panel, plan.minusName, QString::fromUtf8(plan.minusText),
                 QRect(Inset, minusTop, textWidth, lineHeight))->setFont(lineFont);
        addLabel(panel, plan.plusName, QString::fromUtf8(plan.plusText),
                 QRect(Inset, plusTop, textWidth, lineHeight))->setFont(lineFont);
    }

    // Bottom strip: version, OK, link.
    const int stripTop = Edge + UpperHeight + Gap + LowerHeight;
    const int stripHeight = ClientHeight - stripTop;

    QLabel *version = addLabel(this, "Label27", QStringLiteral("Версия программы: 1.2.0.4"),
                               QRect(Edge + 4, stripTop, 260, stripHeight));
    version->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette grey = version->palette();
    grey.setColor(QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    version->setPalette(grey);

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    const QSize okSize(75, 23);
    ok->setGeometry(QRect(QPoint((ClientWidth - okSize.width()) / 2, stripTop + (stripHeight - okSize.height()) / 2),
                          okSize));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *link = new TVrWebLabel(this);
    link->setObjectName(QStringLiteral("VrWebLabel1"));
    link->setText(QString::fromLatin1(LinkCaption));
    link->setURL(QString::fromLatin1(LinkAddress));
    link->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Only the text itself is the link; sized for the bold hover look so that
    // hovering does not clip it.
    QFont hovered = link->font();
    hovered.setBold(true);
    const int linkWidth = QFontMetrics(hovered).horizontalAdvance(link->text()) + 6;
    link->setGeometry(QRect(ClientWidth - Edge - 4 - linkWidth, stripTop, linkWidth, stripHeight));

    ok->setFocus();
}

void TFSchemes::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        CentreOnScreen(*this, parentWidget() ? parentWidget()->window() : nullptr);
}
