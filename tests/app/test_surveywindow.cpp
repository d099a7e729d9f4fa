#include "app/mainwindow.h"
#include "app/picturebutton.h"
#include "app/surveywindow.h"
#include "bus/buschannel.h"
#include "bus/requestlayer.h"
#include "bus/vacomm.h"
#include "settings/formstorage.h"
#include "settings/inifile.h"
#include "support/fakelink.h"
#include "support/fakeserialtree.h"
#include "support/mainwindowrig.h"
#include "support/testfixture.h"
#include "support/wire.h"
#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {
// What the main window handed to a device window opened from the survey.
struct Opened
{
    FoundDevice found;
    bool channelOpen = false;
    LineSettings line;
    QByteArray rxFrame;
    int rateIndex = -1, parityIndex = -1, first = 0, last = 0;
    QString shownAddress;
};
} // namespace

class TestSurveyWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFixture> m_fixture;
    ScriptedDialogs *m_dialogs = nullptr;
    std::unique_ptr<sim::Bus> m_bus;
    std::unique_ptr<TFOrvekConfigurator> m_main;
    QList<Opened> m_opened;

    TFOrvekConfigurator &main() { return *m_main; }

    sim::Device *addDevice(const char *kind, int address, LineSettings line)
    {
        sim::Device *d = m_bus->addDevice(sim::Bus::makeDevice(QString::fromLatin1(kind), std::uint8_t(address)));
        d->live = false;
        d->fixedBaud = line.baudRate;
        d->parity = line.parity;
        return d;
    }

    TFSurvey &openSurvey()
    {
        main().ActionSurvey->trigger();
        TFSurvey *survey = main().surveyWindow();
        if (!survey)
            qFatal("no survey window");
        return *survey;
    }

    // A short survey: 8..10 at two rates and two parities.
    void chooseSmallSurvey(TFSurvey &survey)
    {
        survey.RxSpinEditLast->setValue(10);
        survey.RxSpinEditFirst->setValue(8);
        for (auto &[rate, box] : survey.CheckBoxRates)
            box->setChecked(rate == 57600 || rate == 115200);
        survey.CheckBoxParities.at(paOdd)->setChecked(false);
    }

    void recordOpenedWindows()
    {
        for (const DeviceKind &kind : DeviceKinds()) {
            main().setWindowOpener(kind.window, [this](DeviceHost &host, QWidget *) {
                Opened o;
                o.found = host.found();
                o.channelOpen = host.channel().isOpen();
                o.line = host.port().lineSettings();
                o.rxFrame = host.frames().rxBytes();
                o.rateIndex = main().RadioGroup1->ItemIndex();
                o.parityIndex = main().RadioGroup2->ItemIndex();
                o.first = main().RxSpinEdit2->IntValue();
                o.last = main().RxSpinEdit3->IntValue();
                o.shownAddress = main().StaticTextAddr->text();
                m_opened << o;
            });
        }
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<TestFixture>();
        m_dialogs = &m_fixture->dialogs;
        m_bus = std::make_unique<sim::Bus>();
        m_bus->setThinkTimeMs(1);
        m_main = mainWindowOn(*m_bus);
        QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
        m_opened.clear();
    }

    void cleanup()
    {
        m_main.reset();
        m_bus.reset();
        QVERIFY2(m_fixture->clean(), m_fixture->report());
        m_fixture.reset();
    }

    void theButtonAndCtrlFOpenOneWindowBesideTheMainWindow()
    {
        QCOMPARE(main().BitBtnSurvey->toolTip(), QStringLiteral("Обзор шины: все устройства на всех скоростях"));
        QVERIFY(!main().BitBtnSurvey->icon().isNull());
        QCOMPARE(main().ActionSurvey->shortcut(), QKeySequence(QStringLiteral("Ctrl+F")));
        main().RxSpinEdit3->setValue(30);
        main().RxSpinEdit2->setValue(12);
        QTest::mouseClick(main().BitBtnSurvey, Qt::LeftButton);
        TFSurvey *survey = main().surveyWindow();
        QVERIFY(survey);
        QVERIFY(survey->isVisible());
        QCOMPARE(survey->windowTitle(), QStringLiteral("Обзор шины"));
        QVERIFY(!survey->parentWidget()); // a device window's modality must not block it
        // The range is proposed from the main window; all rates, parities and kinds are on.
        QCOMPARE(survey->RxSpinEditFirst->IntValue(), 12);
        QCOMPARE(survey->RxSpinEditLast->IntValue(), 30);
        const Survey::Plan plan = survey->plan();
        QCOMPARE(plan.rates.size(), 9);
        QCOMPARE(plan.parities.size(), 3);
        QCOMPARE(plan.tags.size(), 7);
        QCOMPARE(plan.waitMs, 50);
        QCOMPARE(plan.repeats, 0);
        QVERIFY(!plan.stopAtFirst);
        main().ActionSurvey->trigger();
        QCOMPARE(main().surveyWindow(), survey);
    }

    void choicesAreKeptInTheWindowsOwnSection()
    {
        TFSurvey *survey = &openSurvey();
        survey->RxSpinEditLast->setValue(40);
        survey->RxSpinEditFirst->setValue(20);
        survey->CheckBoxRates.at(128000)->setChecked(false);
        survey->CheckBoxParities.at(paEven)->setChecked(false);
        survey->CheckBoxKinds.at(TagSET4TM)->setChecked(false);
        survey->RxSpinEditWait->setValue(120);
        survey->RxSpinEditRepeats->setValue(1);
        survey->CheckBoxStopFirst->setChecked(true);
        survey->close();
        QTRY_VERIFY(!main().surveyWindow());

        const IniFile::Entries stored = IniFile(TFormStorage::filePath()).ReadSection(QStringLiteral("TFSurvey"));
        const auto value = [&stored](const char *key) {
            for (const auto &entry : stored)
                if (entry.first == QLatin1String(key))
                    return entry.second;
            return QString();
        };
        QCOMPARE(value("RxSpinEditFirst_Value"), QStringLiteral("20"));
        QCOMPARE(value("CheckBoxRate128000_Checked"), QStringLiteral("0"));
        QCOMPARE(value("CheckBoxRate9600_Checked"), QStringLiteral("1"));
        QCOMPARE(value("CheckBoxParityEven_Checked"), QStringLiteral("0"));
        QCOMPARE(value("CheckBoxKind4_Checked"), QStringLiteral("0"));
        QCOMPARE(value("RxSpinEditWait_Value"), QStringLiteral("120"));

        // The stored range wins over the main window's from now on.
        main().RxSpinEdit2->setValue(1);
        survey = &openSurvey();
        const Survey::Plan plan = survey->plan();
        QCOMPARE(plan.first, 20);
        QCOMPARE(plan.last, 40);
        QCOMPARE(plan.rates.size(), 8);
        QCOMPARE(plan.parities, (QList<TVaParity>{paNone, paOdd}));
        QVERIFY(!plan.tags.contains(TagSET4TM));
        QCOMPARE(plan.waitMs, 120);
        QCOMPARE(plan.repeats, 1);
        QVERIFY(plan.stopAtFirst);
    }

    void startSaysWhyItDoesNotStart_data()
    {
        QTest::addColumn<QString>("unchecked"); // object name prefix of the boxes to clear
        QTest::addColumn<int>("first");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no rate") << "CheckBoxRate" << 1 << "Не выбрана ни одна скорость обмена.";
        QTest::newRow("no parity") << "CheckBoxParity" << 1 << "Не выбрана ни одна четность.";
        QTest::newRow("no kind") << "CheckBoxKind" << 1 << "Не выбран ни один тип устройств.";
        QTest::newRow("first above last") << "" << 9 << "Первый адрес (9) больше последнего (5).";
    }
    void startSaysWhyItDoesNotStart()
    {
        QFETCH(QString, unchecked);
        QFETCH(int, first);
        QFETCH(QString, reason);
        TFSurvey &survey = openSurvey();
        survey.RxSpinEditLast->setValue(5);
        survey.RxSpinEditFirst->setValue(first);
        if (!unchecked.isEmpty())
            for (QCheckBox *box : survey.findChildren<QCheckBox *>())
                if (box->objectName().startsWith(unchecked))
                    box->setChecked(false);
        m_dialogs->expectWarning(reason + QStringLiteral("\rОбзор не начат."));
        QTest::mouseClick(survey.BitBtnStart, Qt::LeftButton);
        QVERIFY(!survey.survey().isRunning());
        QVERIFY(!main().VaComm1->Active());
        QCOMPARE(m_bus->counters().frames, 0);
    }

    void aPortThatCannotBeOpenedGivesTheSearchsBox()
    {
        FakeSerialTree empty;
        const SerialSystem system = empty.system();
        setSerialSystem(&system);
        main().channel().setLinkFactory(LinkFactory());
        main().channel().setPortResolver([](int) { return QStringLiteral("/nonexistent/ttyORVEK"); });
        const QString text = QStringLiteral("Specified device not found (/nonexistent/ttyORVEK).\r\r"
                                            "Последовательные порты не найдены: проверьте, подключен ли "
                                            "преобразователь RS-485.");
        m_dialogs->expectError(text);
        QTest::mouseClick(main().BitBtnKRV, Qt::LeftButton);
        TFSurvey &survey = openSurvey();
        m_dialogs->expectError(text);
        QTest::mouseClick(survey.BitBtnStart, Qt::LeftButton);
        setSerialSystem(nullptr);
        QVERIFY(!survey.survey().isRunning());
        QVERIFY(survey.BitBtnStart->isEnabled());
        QVERIFY(!main().VaComm1->Active());
    }

    void findsRowsAndOpensTheDeviceAsTheSearchWould()
    {
        addDevice("krv", 9, {57600, paEven});
        addDevice("b7720q", 8, {115200, paNone});
        recordOpenedWindows();
        TFSurvey &survey = openSurvey();
        chooseSmallSurvey(survey);
        QTest::mouseClick(survey.BitBtnStart, Qt::LeftButton);
        QVERIFY(survey.survey().isRunning());
        QVERIFY(!survey.BitBtnStart->isEnabled());
        QVERIFY(!main().DeviceGroup->isEnabled()); // no search while the channel is the survey's
        QTRY_VERIFY_WITH_TIMEOUT(!survey.survey().isRunning(), 20000);
        QVERIFY(!main().VaComm1->Active());
        QVERIFY(main().DeviceGroup->isEnabled());
        QCOMPARE(survey.ProgressBar1->value(), survey.ProgressBar1->maximum());

        QCOMPARE(survey.GridHits->rowCount(), 2);
        const auto cell = [&survey](int row, int column) { return survey.GridHits->item(row, column)->text(); };
        // 57600 is tried before 115200.
        QCOMPARE(cell(0, 0), QStringLiteral("Блок релейной защиты KRV-A"));
        QCOMPARE(cell(0, 1), QStringLiteral("9"));
        QCOMPARE(cell(0, 2), QStringLiteral("57600"));
        QCOMPARE(cell(0, 3), QStringLiteral("четн"));
        QVERIFY2(cell(0, 4).startsWith(QStringLiteral("Код: 12; Модель: 2; Firmware Version: 1")), qPrintable(cell(0, 4)));
        QCOMPARE(cell(1, 0), QStringLiteral("Модуль дискретного ввода B-7720Q"));
        QCOMPARE(cell(1, 3), QStringLiteral("нет"));

        // Double-click: the main window goes to the device's line and address and opens it.
        survey.GridHitsDoubleClick(0);
        QCOMPARE(m_opened.size(), 1);
        const Opened &o = m_opened.at(0);
        QCOMPARE(o.found.kind, DeviceWindowKind::KRV);
        QCOMPARE(o.found.address, 9);
        QVERIFY(o.channelOpen);
        QCOMPARE(o.line, (LineSettings{57600, paEven}));
        QCOMPARE(o.rxFrame, wireHex("090406000C00020069"));
        QCOMPARE(o.found.answer, o.rxFrame);
        QCOMPARE(o.rateIndex, 6);
        QCOMPARE(o.parityIndex, 2);
        QCOMPARE(o.first, 9);
        QCOMPARE(o.last, 9);
        QCOMPARE(o.shownAddress, QStringLiteral("9"));
        // Back: the channel closed, the survey window in front with its rows.
        QVERIFY(!main().VaComm1->Active());
        QVERIFY(survey.isVisible());
        QCOMPARE(survey.GridHits->rowCount(), 2);

        survey.GridHits->selectRow(1);
        QTest::mouseClick(survey.BitBtnOpen, Qt::LeftButton);
        QCOMPARE(m_opened.size(), 2);
        QCOMPARE(m_opened.at(1).found.kind, DeviceWindowKind::B7720Q);
        QCOMPARE(m_opened.at(1).rateIndex, 7);
        QCOMPARE(m_opened.at(1).parityIndex, 0);
        QCOMPARE(m_opened.at(1).first, 8);
    }

    void stopAndCtrlCEndAtOnceAndKeepTheRows()
    {
        addDevice("krv", 1, {115200, paNone});
        TFSurvey &survey = openSurvey();
        survey.RxSpinEditLast->setValue(247);
        survey.RxSpinEditFirst->setValue(1);
        for (auto &[rate, box] : survey.CheckBoxRates)
            box->setChecked(rate == 115200);
        QTest::mouseClick(survey.BitBtnStart, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(survey.GridHits->rowCount(), 1, 20000);
        QVERIFY(survey.survey().isRunning());
        QVERIFY(survey.StaticTextProgress->text().contains(QStringLiteral("найдено: ")));
        survey.ActionStop->trigger();
        QVERIFY(!survey.survey().isRunning());
        QVERIFY(!main().VaComm1->Active());
        QCOMPARE(survey.GridHits->rowCount(), 1);
        QVERIFY(survey.BitBtnStart->isEnabled());
        QVERIFY(survey.BitBtnOpen->isEnabled());
        QVERIFY(survey.StaticTextProgress->text().startsWith(QStringLiteral("Обзор остановлен")));
    }

    void aRefusedLineIsNotedAndTheSurveyGoesOn()
    {
        FakeLinkFactory links;
        int opened = 0;
        links.prepare = [&opened](FakeLink &link) {
            if (++opened == 2)
                link.settingsError = {BusLink::ErrorKind::Settings, 22, QStringLiteral("Invalid argument")};
        };
        main().channel().setLinkFactory(links.factory());
        TFSurvey &survey = openSurvey();
        chooseSmallSurvey(survey);
        survey.RxSpinEditFirst->setValue(10);
        QTest::mouseClick(survey.BitBtnStart, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!survey.survey().isRunning(), 10000);
        QVERIFY(survey.StaticTextNotes->isVisible());
        QCOMPARE(survey.StaticTextNotes->text(),
                 QStringLiteral("Порт не принял 57600 бит/с, четность четн (Error writing dcb (22), Invalid argument): "
                                "пропущено."));
        QCOMPARE(opened, 4);
        QVERIFY(survey.StaticTextProgress->text().startsWith(QStringLiteral("Обзор завершен")));
    }

    void theSurveyDoesNotStartWhileASearchHasTheChannel()
    {
        main().RxSpinEdit3->setValue(50);
        main().BitBtnKRVClick(TagKRV);
        QVERIFY(main().search().isRunning());
        TFSurvey &survey = openSurvey();
        m_dialogs->expectError(QStringLiteral("Порт уже открыт: идет поиск устройства или открыто окно "
                                              "устройства.\rЗавершите их и начните обзор снова."));
        QTest::mouseClick(survey.BitBtnStart, Qt::LeftButton);
        QVERIFY(!survey.survey().isRunning());
        QVERIFY(main().search().isRunning());
        main().Action1Execute();
    }

    void savesTheTableAsUtf8Csv()
    {
        addDevice("krv", 9, {57600, paEven});
        TFSurvey &survey = openSurvey();
        chooseSmallSurvey(survey);
        QVERIFY(!survey.BitBtnSaveCsv->isEnabled());
        QTest::mouseClick(survey.BitBtnStart, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!survey.survey().isRunning(), 20000);
        QVERIFY(survey.BitBtnSaveCsv->isEnabled());
        const QString path = m_fixture->path(QStringLiteral("survey.csv"));
        m_dialogs->answerSave(path);
        QTest::mouseClick(survey.BitBtnSaveCsv, Qt::LeftButton);
        QVERIFY(m_dialogs->lastSaveProposal.endsWith(QStringLiteral(".csv")));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 3); // header, the KRV-A, and the empty end after the last line break
        QCOMPARE(lines.at(0), QStringLiteral("Устройство,Адрес,Скорость,Четность,Идентификация,\"Ответ, мс\""));
        QVERIFY2(lines.at(1).startsWith(QStringLiteral("Блок релейной защиты KRV-A,9,57600,четн,")),
                 qPrintable(lines.at(1)));
    }

    void closingTheWindowEndsItsSurvey()
    {
        TFSurvey &survey = openSurvey();
        survey.RxSpinEditLast->setValue(247);
        QTest::mouseClick(survey.BitBtnStart, Qt::LeftButton);
        QVERIFY(main().VaComm1->Active());
        survey.close();
        QVERIFY(!main().VaComm1->Active());
        QTRY_VERIFY(!main().surveyWindow());
    }

    // Closed while its port connects: the window waits for the connection to be
    // cancelled before it goes, and shows no box for it.
    void closingTheWindowWhileThePortConnects()
    {
        FakeLinkFactory links;
        QPointer<TFSurvey> survey = &openSurvey();
        links.prepare = [&survey](FakeLink &link) {
            link.duringOpen = [&survey] {
                survey->close();
                QVERIFY(survey); // still there under the wait
            };
        };
        main().channel().setLinkFactory(links.factory());
        QTest::mouseClick(survey->BitBtnStart, Qt::LeftButton);
        QTRY_VERIFY(!survey);
        QVERIFY(!main().VaComm1->Active());
        QVERIFY(!main().VaComm1->Opening());
    }

    void closingTheMainWindowClosesTheSurvey()
    {
        QPointer<TFSurvey> survey = &openSurvey();
        main().close();
        QTRY_VERIFY(!survey);
    }
};

QTEST_MAIN(TestSurveyWindow)
#include "test_surveywindow.moc"
