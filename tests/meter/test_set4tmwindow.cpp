#include "meterwindow_rig.h"

#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"

#include <QApplication>
#include <QComboBox>
#include <QLocale>
#include <QPushButton>
#include <QTabWidget>

using namespace set4tmtest;

namespace {
enum { Addr, Rate, Ku, Ki, Trend, Power, Clean, Clock, Start };

const char *const Buttons[] = {"BitBtnAddr",  "BitBtnRate",  "BitBtnKu",    "BitBtnKi",   "BitBtnTrend", "BitBtnPower",
                               "BitBtnClean", "BitBtnClock", "BitBtnStart", "BitBtnStop", "BitBtnReport"};
} // namespace

// Opening, the settings read and the configuration actions of the meter window.
class TestSet4tmWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFixture> m_fixture;
    std::unique_ptr<MeterRig> m_rig;

    ScriptedDialogs &dialogs() { return m_fixture->dialogs; }
    MeterRig &rig() { return *m_rig; }
    void click(int handler)
    {
        TFSET4TM &w = *rig().window;
        switch (handler) {
        case Addr: w.BitBtnAddrClick(); break;
        case Rate: w.BitBtnRateClick(); break;
        case Ku: w.BitBtnKuClick(); break;
        case Ki: w.BitBtnKiClick(); break;
        case Trend: w.BitBtnTrendClick(); break;
        case Power: w.BitBtnPowerClick(); break;
        case Clean: w.BitBtnCleanClick(); break;
        case Clock: w.BitBtnClockClick(); break;
        case Start: w.BitBtnStartClick(); break;
        }
    }

    QStringList enabledButtons()
    {
        QStringList names;
        for (const char *name : Buttons)
            if (rig().child<QPushButton>(name)->isEnabled())
                names << QString::fromLatin1(name);
        return names;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    void init()
    {
        m_fixture = std::make_unique<TestFixture>();
        m_rig = std::make_unique<MeterRig>(m_fixture->dialogs);
    }
    void cleanup()
    {
        m_rig.reset();
        QVERIFY2(m_fixture->clean(), m_fixture->report());
        m_fixture.reset();
    }

    void openingReadsTheSettingsThroughAddressZero()
    {
        rig().meter->voltageRatio = 10;
        rig().meter->currentRatio = 20;
        const QList<QByteArray> &sent = rig().host.requestsFromNow();
        rig().openAndRead();
        QCOMPARE(dialogs().texts("input"), QStringList{QStringLiteral("Введите пароль:")});
        QCOMPARE(dialogs().lastInputInitial, QStringLiteral("649283"));
        QCOMPARE(rig().child<QTimer>("TimerSetting")->interval(), 120); // the stored wait
        QCOMPARE(sent, onWire({"0001363439323833", "000805", "000802", "000806", "000809"}));
        QCOMPARE(rig().settingFields(), (QStringList{"5", "19200", "10", "20", "30", "ДА"}));
        QCOMPARE(rig().child<QComboBox>("ComboBox1")->currentText(), QStringLiteral("РУ НН (120...230В / 5А)"));
        QCOMPARE(rig().child<QTabWidget>("PageControl1")->currentIndex(), 0);

        // Every later request goes to the address read.
        dialogs().answerQuestion(QStringLiteral("Вы действительно хотите запретить помечать не полные срезы мощности?"),
                                 true);
        dialogs().expectInformation(QStringLiteral("Требуемый режим установлен!"));
        rig().window->BitBtnTrendClick();
        QCOMPARE(sent.mid(5), onWire({OpenAt5, "05031803"}));
        QCOMPARE(rig().text("StaticTextTrend"), QStringLiteral("НЕТ"));
        QVERIFY(!rig().meter->markIncompleteSlices);
    }

    void openingWithoutAnAnswerKeepsThePlaceholders()
    {
        for (int i = 0; i < 5; ++i) {
            rig().meter->script.push_back(sim::Action::Drop);
            dialogs().expectError(NoAnswer);
        }
        const QList<QByteArray> &sent = rig().host.requestsFromNow();
        rig().openAndRead();
        QCOMPARE(sent.size(), 5);
        QCOMPARE(rig().settingFields(), (QStringList{"??", "19200", "????", "????", "??", "??"}));
        QCOMPARE(rig().child<QComboBox>("ComboBox1")->currentText(), QStringLiteral("РУ НН (120...230В / 5А)"));
        QVERIFY(rig().window->isVisible());
    }

    void wrongPasswordClosesTheWindowAfterTheReads()
    {
        dialogs().expectError(QStringLiteral("Неверно указан пароль.\rДоступ к устройству запрещен!"));
        for (int i = 0; i < 4; ++i)
            dialogs().expectWarning(codeMessage("05")); // the meter's channel stayed shut
        const QList<QByteArray> &sent = rig().host.requestsFromNow();
        rig().open(QStringLiteral("111111"));
        rig().window->TimerSettingTimer();
        QCOMPARE(sent, onWire({"0001313131313131", "000805", "000802", "000806", "000809"}));
        QVERIFY(!rig().window->isVisible());
    }

    void storedSettingsAreSavedOnClose()
    {
        rig().openAndRead();
        rig().child<TRxSpinEdit>("RxSpinEditAddr")->setValue(7);
        rig().child<TRxSpinEdit>("RxSpinEditCount")->setValue(150);
        rig().child<TRxSpinEdit>("RxSpinEditTimeOut")->setValue(60);
        rig().child<TRadioGroup>("RadioGroupZL")->setItemIndex(1);
        rig().window->close();
        const IniFile::Entries stored = IniFile(TFormStorage::filePath()).ReadSection(QStringLiteral("TFSET4TM"));
        QStringList keys;
        for (const auto &[key, value] : stored)
            keys << key + QLatin1Char('=') + value;
        QCOMPARE(keys, (QStringList{"TimerSetting_Interval=120", "FormVersion=0", "RxSpinEditAddr_Value=7",
                                    "RxSpinEditCount_Value=150", "RxSpinEditTimeOut_Value=60", "RadioGroupZL_ItemIndex=1"}));
    }

    // What is already so, or was never read, gives neither a box nor a request.
    void nothingToDo_data()
    {
        QTest::addColumn<bool>("read");
        QTest::addColumn<int>("handler");
        QTest::addColumn<QString>("editor");
        QTest::addColumn<int>("value");
        QTest::newRow("address unchanged") << true << int(Addr) << "RxSpinEditAddr" << 5;
        QTest::newRow("Ku unchanged") << true << int(Ku) << "RxSpinEditKu" << 1;
        QTest::newRow("integration time unchanged") << true << int(Power) << "RxSpinEditPower" << 30;
        QTest::newRow("slices never read") << false << int(Trend) << QString() << 0;
    }
    void nothingToDo()
    {
        QFETCH(bool, read);
        QFETCH(int, handler);
        QFETCH(QString, editor);
        QFETCH(int, value);
        read ? rig().openAndRead() : rig().open();
        if (!editor.isEmpty())
            rig().child<TRxSpinEdit>(qPrintable(editor))->setValue(value);
        const QList<QByteArray> &sent = rig().host.requestsFromNow();
        click(handler);
        QVERIFY(sent.isEmpty());
        QCOMPARE(dialogs().shown.size(), 1); // the password box only
    }

    // A value the meter never gave is no number to compare with or send to: a
    // clear warning, and nothing goes out.
    void fieldsNotReadStopTheActionWithAWarning_data()
    {
        QTest::addColumn<int>("handler");
        QTest::addColumn<QString>("warning");
        QTest::newRow("address") << int(Addr) << AddressNotRead;
        QTest::newRow("baud rate") << int(Rate) << AddressNotRead;
        QTest::newRow("Ku") << int(Ku) << ValueNotRead;
        QTest::newRow("Ki") << int(Ki) << ValueNotRead;
        QTest::newRow("integration time") << int(Power) << ValueNotRead;
        QTest::newRow("clearing") << int(Clean) << AddressNotRead;
        QTest::newRow("clock") << int(Clock) << AddressNotRead;
        QTest::newRow("test") << int(Start) << AddressNotRead;
    }
    void fieldsNotReadStopTheActionWithAWarning()
    {
        QFETCH(int, handler);
        QFETCH(QString, warning);
        rig().open();
        const QList<QByteArray> &sent = rig().host.requestsFromNow();
        dialogs().expectWarning(warning);
        click(handler);
        QVERIFY(sent.isEmpty());
        QVERIFY(!rig().window->testRunning());
        QCOMPARE(enabledButtons(), (QStringList{"BitBtnAddr", "BitBtnRate", "BitBtnKu", "BitBtnKi", "BitBtnTrend",
                                                "BitBtnPower", "BitBtnClean", "BitBtnClock", "BitBtnStart"}));
    }

    void addressChange_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("address");
        QTest::newRow("written: the window closes") << QByteArray() << "Новый сетевой адрес записан успешно!" << "9";
        QTest::newRow("refused") << QByteArray("01") << codeMessage("01") << "5";
    }
    void addressChange()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, box);
        QFETCH(QString, address);
        if (!reply.isEmpty())
            rig().meter->reply("0305", reply.constData());
        rig().openAndRead();
        rig().child<TRxSpinEdit>("RxSpinEditAddr")->setValue(9);
        dialogs().answerQuestion(QStringLiteral("Вы действительно хотите изменить сетевой адрес?"), true);
        reply.isEmpty() ? dialogs().expectInformation(box) : dialogs().expectWarning(box);
        const QList<QByteArray> &sent = rig().host.requestsFromNow();
        rig().window->BitBtnAddrClick();
        QCOMPARE(sent, onWire({OpenAt5, "05030509"}));
        QCOMPARE(rig().text("StaticTextAddr"), address);
        QCOMPARE(int(rig().meter->address()), address.toInt());
        QCOMPARE(rig().window->isVisible(), !reply.isEmpty());
    }

    // No comparison with the rate shown: the request goes out whatever it is.
    void baudRate_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("written");
        QTest::newRow("19200 written: the window closes") << 19200 << QByteArray() << QByteArray("05031516") << true;
        QTest::newRow("9600 answered 00") << 9600 << QByteArray("00") << QByteArray("05031510") << false;
    }
    void baudRate()
    {
        QFETCH(int, baud);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, request);
        QFETCH(bool, written);
        if (!reply.isEmpty())
            rig().meter->reply("0315", reply.constData());
        rig().openAndRead();
        rig().child<TRxSpinEdit>("RxSpinEditBaud")->setValue(baud);
        dialogs().answerQuestion(QStringLiteral("Вы действительно хотите установить параметры: %1,8,N,1?").arg(baud), true);
        dialogs().expectInformation(QStringLiteral("Выставлен запрет на автоматическое закрытие канала связи!"));
        written ? dialogs().expectInformation(QStringLiteral("Новые параметры обмена записаны успешно!"))
                : dialogs().expectWarning(codeMessage("00"));
        const QList<QByteArray> &sent = rig().host.requestsFromNow();
        rig().window->BitBtnRateClick();
        QCOMPARE(sent, onWire({OpenAt5, "05031807", request.constData()}));
        QCOMPARE(rig().text("StaticTextBaud"), QStringLiteral("19200"));
        QCOMPARE(rig().window->isVisible(), !written);
    }

    void transformerRatio_data()
    {
        QTest::addColumn<int>("handler");
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("box");
        QTest::newRow("Ku written") << int(Ku) << "RxSpinEditKu" << "StaticTextKu"
                                    << "Вы действительно хотите изменить коэффициент трансформации по напряжению?"
                                    << QByteArray("05031B012C") << false << "Коэффициент: Кн записан успешно!";
        QTest::newRow("Ki refused") << int(Ki) << "RxSpinEditKi" << "StaticTextKi"
                                    << "Вы действительно хотите изменить коэффициент трансформации по току?"
                                    << QByteArray("05031C012C") << true << codeMessage("01");
    }
    void transformerRatio()
    {
        QFETCH(int, handler);
        QFETCH(QString, editor);
        QFETCH(QString, field);
        QFETCH(QString, question);
        QFETCH(QByteArray, request);
        QFETCH(bool, refused);
        QFETCH(QString, box);
        if (refused)
            rig().meter->reply("031C", "01");
        rig().openAndRead();
        rig().child<TRxSpinEdit>(qPrintable(editor))->setValue(300);
        dialogs().answerQuestion(question, true);
        refused ? dialogs().expectWarning(box) : dialogs().expectInformation(box);
        const QList<QByteArray> &sent = rig().host.requestsFromNow();
        click(handler);
        QCOMPARE(sent, onWire({OpenAt5, request.constData()}));
        QCOMPARE(rig().text(qPrintable(field)), refused ? QStringLiteral("1") : QStringLiteral("300"));
        QVERIFY(rig().window->isVisible());
    }

    void integrationTime_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("shown");
        QTest::newRow("15 minutes") << 15 << QByteArray("0503000F") << true << "15";
        QTest::newRow("7 minutes: status 01") << 7 << QByteArray("05030007") << false << "30";
    }
    void integrationTime()
    {
        QFETCH(int, minutes);
        QFETCH(QByteArray, request);
        QFETCH(bool, accepted);
        QFETCH(QString, shown);
        rig().openAndRead();
        rig().child<TRxSpinEdit>("RxSpinEditPower")->setValue(minutes);
        dialogs().answerQuestion(QStringLiteral("Вы действительно хотите изменить время интегрирования мощности?"), true);
        if (accepted)
            dialogs().expectInformation(QStringLiteral("Профиль мощности проинициализирован успешно!"));
        else
            dialogs().expectError(QStringLiteral("Задано недопустимое значение времени интегрирования мощности!"));
        const QList<QByteArray> &sent = rig().host.requestsFromNow();
        rig().window->BitBtnPowerClick();
        QCOMPARE(sent, onWire({OpenAt5, request.constData()}));
        QCOMPARE(rig().text("StaticTextPower"), shown);
    }

    void clearingIsTriedThreeTimes()
    {
        rig().meter->reply("0320", "01");
        rig().openAndRead();
        dialogs().answerQuestion(QStringLiteral("Вы действительно хотите сбросить регистры накопленной энергии?"), true);
        for (int i = 0; i < 3; ++i)
            dialogs().expectWarning(codeMessage("01"));
        const QList<QByteArray> &sent = rig().host.requestsFromNow();
        rig().window->BitBtnCleanClick();
        QCOMPARE(sent, onWire({OpenAt5, "050320", "050320", "050320"}));
    }

    // Set, the clock is followed by the clearing and the profile initialisation;
    // refused, nothing more is sent.
    void clock_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<int>("season");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QList<QByteArray>>("requests");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("Sunday, winter")
            << QDateTime(QDate(2026, 12, 13), QTime(14, 45, 30, 700)) << 1 << false
            << onWire({OpenAt5, "05030C3045140713122601", OpenAt5, "050320", OpenAt5, "0503001E"})
            << QStringList{"information: Дата и время установлены успешно!",
                           "information: Регистры накопленной энергии очищены!",
                           "information: Профиль мощности проинициализирован успешно!"};
        QTest::newRow("Monday, summer, refused")
            << QDateTime(QDate(2026, 12, 14), QTime(14, 45, 30)) << 0 << true
            << onWire({OpenAt5, "05030C3045140114122600"})
            << QStringList{"error: Установить дату и время не возможно!\rКод ошибки: 01"};
    }
    void clock()
    {
        QFETCH(QDateTime, now);
        QFETCH(int, season);
        QFETCH(bool, refused);
        QFETCH(QList<QByteArray>, requests);
        QFETCH(QStringList, boxes);
        if (refused)
            rig().meter->reply("030C", "01");
        rig().openAndRead();
        rig().window->currentTime = [now] { return now; };
        rig().child<TRadioGroup>("RadioGroupZL")->setItemIndex(season);
        dialogs().answerQuestion(QStringLiteral("Установка даты и времени должна производиться только перед началом "
                                                "эксплуатации счетчика!\rПродолжить установку?"),
                                 true);
        dialogs().answerQuestion(QStringLiteral("ВНИМАНИЕ:\rПосле установки даты и времени будет произведена:\r- "
                                                "очистка регистров накопленной энергии;\r- инициализация 30мин. "
                                                "профиля мощности.\rУстановить дату и время?"),
                                 true);
        for (const QString &box : boxes) {
            const QString text = box.section(QStringLiteral(": "), 1);
            box.startsWith(QLatin1String("error")) ? dialogs().expectError(text) : dialogs().expectInformation(text);
        }
        const QList<QByteArray> &sent = rig().host.requestsFromNow();
        rig().window->BitBtnClockClick();
        QCOMPARE(sent, requests);
        QCOMPARE(rig().meter->winterTime, season == 1 && !refused);
    }

    // While an action waits the buttons are held, so a second click starts no
    // second exchange; afterwards each has its state back, and those a test left
    // disabled stay disabled.
    void buttonsAreHeldWhileAnActionRuns()
    {
        rig().openAndRead();
        rig().startManual();
        dialogs().expectInformation(Finished);
        rig().window->BitBtnStopClick();
        const QStringList afterTest{"BitBtnTrend", "BitBtnPower", "BitBtnClean", "BitBtnClock", "BitBtnStart",
                                    "BitBtnReport"};
        QCOMPARE(enabledButtons(), afterTest);

        rig().child<TRxSpinEdit>("RxSpinEditPower")->setValue(15);
        dialogs().answerQuestion(QStringLiteral("Вы действительно хотите изменить время интегрирования мощности?"), true);
        dialogs().expectInformation(QStringLiteral("Профиль мощности проинициализирован успешно!"));
        QStringList duringTheBox;
        bool hourglass = false;
        dialogs().onShown = [&](const ScriptedDialogs::Shown &) {
            duringTheBox = enabledButtons();
            hourglass = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        };
        // A click in the middle of the first wait.
        QTimer::singleShot(40, rig().window.get(), [this] { rig().child<QPushButton>("BitBtnClean")->click(); });
        const QList<QByteArray> &sent = rig().host.requestsFromNow();
        rig().window->BitBtnPowerClick();
        QCOMPARE(sent, onWire({OpenAt5, "0503000F"}));
        QCOMPARE(duringTheBox, QStringList());
        QVERIFY(hourglass);
        QCOMPARE(enabledButtons(), afterTest);
        QVERIFY(!QApplication::overrideCursor());
    }
};

QTEST_MAIN(TestSet4tmWindow)
#include "test_set4tmwindow.moc"
