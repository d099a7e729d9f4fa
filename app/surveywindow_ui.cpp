#include "app/surveywindow.h"

#include "devices/devicecatalogue.h"
#include "scan/surveyexchange.h"
#include "scan/surveyreport.h"
#include "settings/formstorage.h"
#include "widgets/buttons.h"
#include "widgets/rxspinedit.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

// How the survey window is put together; what it does is in surveywindow.cpp.

namespace {

const QList<qint32> Rates = {4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000};

TRxSpinEdit *makeEditor(const char *name, int min, int max, int value, QWidget *parent)
{
    auto *editor = new TRxSpinEdit(parent);
    editor->setObjectName(QLatin1String(name));
    editor->setMinValue(min);
    editor->setMaxValue(max);
    editor->setValue(value);
    editor->setCheckOnExit(true);
    return editor;
}

QCheckBox *makeCheck(const QString &name, const QString &caption, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setChecked(true);
    return box;
}

QString parityName(TVaParity parity)
{
    switch (parity) {
    case paOdd: return QStringLiteral("Odd");
    case paEven: return QStringLiteral("Even");
    default: return QStringLiteral("None");
    }
}

} // namespace

void TFSurvey::buildUi(int first, int last)
{
    setObjectName(QStringLiteral("FSurvey"));
    setWindowTitle(QStringLiteral("Обзор шины"));
    resize(900, 640);

    RxSpinEditFirst = makeEditor("RxSpinEditFirst", 1, 247, first, this);
    RxSpinEditLast = makeEditor("RxSpinEditLast", 1, 247, last, this);
    RxSpinEditWait = makeEditor("RxSpinEditWait", 10, 1000, 50, this);
    RxSpinEditRepeats = makeEditor("RxSpinEditRepeats", 0, 3, 0, this);
    m_choices = buildChoices();

    BitBtnStart = makeButton("BitBtnStart", QStringLiteral("Начать"), this);
    BitBtnStop = makeButton("BitBtnStop", QStringLiteral("Стоп"), this);
    BitBtnStop->setToolTip(QStringLiteral("Остановить обзор (Ctrl+C)"));
    BitBtnOpen = makeButton("BitBtnOpen", QStringLiteral("Открыть"), this);
    BitBtnOpen->setToolTip(QStringLiteral("Открыть окно выбранного устройства (или двойной щелчок по строке)"));
    BitBtnSaveCsv = makeButton("BitBtnSaveCsv", QStringLiteral("Сохранить CSV..."), this);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *button : {BitBtnStart, BitBtnStop, BitBtnOpen})
        buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(BitBtnSaveCsv);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 1000);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    StaticTextProgress = new QLabel(this);
    StaticTextProgress->setObjectName(QStringLiteral("StaticTextProgress"));
    StaticTextNotes = new QLabel(this);
    StaticTextNotes->setObjectName(QStringLiteral("StaticTextNotes"));
    StaticTextNotes->setWordWrap(true);
    StaticTextNotes->setStyleSheet(QStringLiteral("color: #8a4b00;"));
    StaticTextNotes->hide();

    GridHits = new QTableWidget(0, survey::ColumnCount, this);
    GridHits->setObjectName(QStringLiteral("GridHits"));
    GridHits->setHorizontalHeaderLabels(survey::columnTitles());
    GridHits->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridHits->setSelectionMode(QAbstractItemView::SingleSelection);
    GridHits->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridHits->verticalHeader()->hide();
    GridHits->verticalHeader()->setDefaultSectionSize(GridHits->fontMetrics().height() + 8);
    GridHits->setAlternatingRowColors(true);
    // Widths set once for the longest texts: sizing the columns to their contents
    // would measure every row again at every row found.
    QHeaderView *header = GridHits->horizontalHeader();
    const QFontMetrics metrics = GridHits->fontMetrics();
    const auto widthOf = [&metrics](const QString &text) { return metrics.horizontalAdvance(text) + 16; };
    int device = widthOf(survey::columnTitles().at(survey::ColumnDevice));
    for (const DeviceKind &kind : DeviceKinds())
        device = std::max(device, widthOf(kind.caption));
    GridHits->setColumnWidth(survey::ColumnDevice, device);
    GridHits->setColumnWidth(survey::ColumnAddress, widthOf(survey::columnTitles().at(survey::ColumnAddress)));
    GridHits->setColumnWidth(survey::ColumnRate, widthOf(QStringLiteral("Скорость")));
    GridHits->setColumnWidth(survey::ColumnParity, widthOf(QStringLiteral("Четность")));
    GridHits->setColumnWidth(survey::ColumnResponse, widthOf(survey::columnTitles().at(survey::ColumnResponse)));
    header->setSectionResizeMode(survey::ColumnIdentification, QHeaderView::Stretch);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_choices);
    layout->addLayout(buttons);
    layout->addWidget(ProgressBar1);
    layout->addWidget(StaticTextProgress);
    layout->addWidget(StaticTextNotes);
    layout->addWidget(GridHits, 1);

    TimerSurvey = new QTimer(this);
    TimerSurvey->setObjectName(QStringLiteral("TimerSurvey"));
    TimerSurvey->setSingleShot(true);
    ActionStop = new QAction(this);
    ActionStop->setObjectName(QStringLiteral("ActionStop"));
    ActionStop->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    ActionStop->setShortcutContext(Qt::WindowShortcut);
    addAction(ActionStop);
}

QWidget *TFSurvey::buildChoices()
{
    auto *group = new QGroupBox(QStringLiteral("Что искать:"), this);
    group->setObjectName(QStringLiteral("GroupBoxChoices"));
    auto *grid = new QGridLayout(group);

    auto *range = new QHBoxLayout;
    range->addWidget(new QLabel(QStringLiteral("Адреса:"), group));
    range->addWidget(RxSpinEditFirst);
    range->addWidget(new QLabel(QStringLiteral("..."), group));
    range->addWidget(RxSpinEditLast);
    range->addSpacing(16);
    range->addWidget(new QLabel(QStringLiteral("Ожидание первого байта ответа (мс):"), group));
    range->addWidget(RxSpinEditWait);
    range->addSpacing(16);
    range->addWidget(new QLabel(QStringLiteral("Повторы при молчании:"), group));
    range->addWidget(RxSpinEditRepeats);
    range->addStretch(1);
    grid->addLayout(range, 0, 0, 1, 3);

    auto *rates = new QGroupBox(QStringLiteral("Скорость обмена (бит/сек):"), group);
    auto *rateGrid = new QGridLayout(rates);
    for (int i = 0; i < Rates.size(); ++i) {
        const qint32 rate = Rates.at(i);
        QCheckBox *box = makeCheck(QStringLiteral("CheckBoxRate%1").arg(rate), QString::number(rate), rates);
        CheckBoxRates[rate] = box;
        rateGrid->addWidget(box, i / 3, i % 3);
    }
    grid->addWidget(rates, 1, 0);

    auto *parities = new QGroupBox(QStringLiteral("Четность:"), group);
    auto *parityColumn = new QVBoxLayout(parities);
    for (TVaParity parity : {paNone, paOdd, paEven}) {
        QCheckBox *box = makeCheck(QStringLiteral("CheckBoxParity") + parityName(parity), survey::parityText(parity),
                                   parities);
        CheckBoxParities[parity] = box;
        parityColumn->addWidget(box);
    }
    grid->addWidget(parities, 1, 1);

    auto *kinds = new QGroupBox(QStringLiteral("Устройства:"), group);
    auto *kindGrid = new QGridLayout(kinds);
    int i = 0;
    for (const DeviceKind &kind : DeviceKinds()) {
        QCheckBox *box = makeCheck(QStringLiteral("CheckBoxKind%1").arg(kind.tag), kind.caption, kinds);
        CheckBoxKinds[kind.tag] = box;
        kindGrid->addWidget(box, i % 4, i / 4);
        ++i;
    }
    grid->addWidget(kinds, 1, 2);
    grid->setColumnStretch(2, 1);

    CheckBoxStopFirst = makeCheck(QStringLiteral("CheckBoxStopFirst"),
                                  QStringLiteral("остановить после первого найденного"), group);
    CheckBoxStopFirst->setChecked(false);
    grid->addWidget(CheckBoxStopFirst, 2, 0, 1, 3);
    return group;
}

QStringList TFSurvey::storedProperties()
{
    QStringList stored{QStringLiteral("RxSpinEditFirst.Value"), QStringLiteral("RxSpinEditLast.Value"),
                       QStringLiteral("RxSpinEditWait.Value"), QStringLiteral("RxSpinEditRepeats.Value"),
                       QStringLiteral("CheckBoxStopFirst.Checked")};
    for (qint32 rate : Rates)
        stored << QStringLiteral("CheckBoxRate%1.Checked").arg(rate);
    for (TVaParity parity : {paNone, paOdd, paEven})
        stored << QStringLiteral("CheckBoxParity%1.Checked").arg(parityName(parity));
    for (const DeviceKind &kind : DeviceKinds())
        stored << QStringLiteral("CheckBoxKind%1.Checked").arg(kind.tag);
    return stored;
}
