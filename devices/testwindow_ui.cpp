#include "devices/testwindow.h"

#include "bus/ticktimer.h"
#include "devices/components.h"
#include "bus/vacomm.h"
#include "settings/formstorage.h"
#include "widgets/rxspinedit.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

// How the test side of a device window is put together; what it does lives in testwindow.cpp.


TTestWindow::TTestWindow(DeviceHost &host, const TestProfile &profile, TestCounters &counters, QWidget *parent)
    : QDialog(parent), m_host(host), m_testProfile(profile), m_counters(counters), m_readings(new ReadingStream(this))
{
    setWindowTitle(profile.caption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(profile.size);
    // The store comes first: children die in creation order, and its save at
    // destruction needs the stored components alive.
    FormStorage1 = new TFormStorage(this, 0, profile.stored, false);
    FormStorage1->setObjectName(QStringLiteral("FormStorage1"));
    connect(FormStorage1, &TFormStorage::saveFailed, this, [this](const QString &text) { showError(this, text); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    layout->addWidget(PageControl1);
    m_tab1 = new QWidget(PageControl1);
    m_tab1->setObjectName(QStringLiteral("TabSheet1"));
    m_tab2 = new QWidget(PageControl1);
    m_tab2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(m_tab1, QStringLiteral("Диагностика и Конфигурация"));
    PageControl1->addTab(m_tab2, QStringLiteral("Мониторинг"));
    m_tab1Layout = new QVBoxLayout(m_tab1);
    buildChartRow(layout);

    TimerTest = new QTimer(this);
    TimerTest->setObjectName(QStringLiteral("TimerTest"));
    buildTestPanel();
    wireTest();
}

void TTestWindow::buildTestPanel()
{
    auto *panel2 = new QGroupBox(QStringLiteral(" Диагностика "), m_tab1);
    panel2->setObjectName(QStringLiteral("Panel2"));
    auto *diag = new QGridLayout(panel2);
    const TestProfile &p = m_testProfile;
    RxSpinEditCount = makeSpinEditor(QStringLiteral("RxSpinEditCount"), p.countMin, p.countMax, 50, p.countDefault, true,
                                 panel2);
    RxSpinEditTimeOut = makeSpinEditor(QStringLiteral("RxSpinEditTimeOut"), p.intervalMin, p.intervalMax, 10,
                                   p.intervalDefault, false, panel2);
    diag->addWidget(new QLabel(QStringLiteral("Количество тестовых посылок:"), panel2), 0, 0);
    diag->addWidget(RxSpinEditCount, 0, 1);
    diag->addWidget(new QLabel(QStringLiteral("Интервал опроса (мсек):"), panel2), 1, 0);
    diag->addWidget(RxSpinEditTimeOut, 1, 1);
    BitBtnStart = makeButton(QStringLiteral("BitBtnStart"), QStringLiteral("Запустить тест"), panel2);
    BitBtnStop = makeButton(QStringLiteral("BitBtnStop"), QStringLiteral("Остановить тест"), panel2);
    BitBtnReport = makeButton(QStringLiteral("BitBtnReport"), QStringLiteral("Сохранить..."), panel2);
    BitBtnStop->setEnabled(false);
    BitBtnReport->setEnabled(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(BitBtnStart);
    buttons->addWidget(BitBtnStop);
    buttons->addWidget(BitBtnReport);
    diag->addLayout(buttons, 2, 0, 1, 2);
    Memo1 = new QPlainTextEdit(panel2);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setToolTip(p.journalHint);
    diag->addWidget(Memo1, 3, 0, 1, 2);
    diag->setRowStretch(3, 1);
    m_tab1Layout->addWidget(panel2, 1);

    ProgressBar1 = new QProgressBar(m_tab1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, p.countDefault);
    ProgressBar1->setValue(0);
    m_tab1Layout->addWidget(ProgressBar1);
}

void TTestWindow::wireTest()
{
    m_ticks = std::make_unique<QtTickTimer>(*TimerTest);
    // The window is the engine's device; its functions run from the first tick on,
    // when the subclass is complete.
    CommTest::Device &device = *this;
    m_test = std::make_unique<CommTest>(m_host.port(), m_host.frames(), *m_ticks, m_counters, device);
    m_test->count = [this] { return RxSpinEditCount->IntValue(); };
    m_test->address = [this] { return testAddress(); };
    connect(m_readings, &ReadingStream::readings, this, &TTestWindow::showReadings);
    connect(m_test.get(), &CommTest::progress, ProgressBar1, &QProgressBar::setValue);
    connect(m_test.get(), &CommTest::journal, this, &TTestWindow::appendJournal);
    connect(m_test.get(), &CommTest::finished, this, [this](CommTest::Stop why) {
        guarded(this, [this, why] { onTestFinished(why); });
    });
    // Queued: the port reports its loss from inside its own signal handling.
    connect(&m_host.port(), &TVaComm::OnLost, this, [this] { guarded(this, [this] { onPortLost(); }); },
            Qt::QueuedConnection);

    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) { tabShown(index); });
    connect(BitBtnStart, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnStartClick(); }); });
    connect(BitBtnStop, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnStopClick(); }); });
    connect(BitBtnReport, &QPushButton::clicked, this, [this] { guarded(this, [this] { BitBtnReportClick(); }); });
}
