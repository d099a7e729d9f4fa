#include "app/mainwindow.h"
#include "app/picturebutton.h"
#include "bus/vacomm.h"
#include "meter/setmain.h"
#include "settings/formstorage.h"
#include "sim/meter/set4tm_device.h"
#include "support/testfixture.h"
#include "widgets/rxspinedit.h"

#include <QLabel>
#include <QLocale>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>

// The meter through a real pseudo-terminal: orvek-sim serves it, the search finds
// it, the password box is answered, the settings are read, a short test fills
// the monitoring tab.
class TestSet4tmEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void searchFindsTheMeterAndAShortTestIsClean()
    {
        TestFixture fixture;
        const QString link = fixture.path(QStringLiteral("ttySIM"));
        QProcess simulator;
        simulator.start(qEnvironmentVariable("ORVEK_SIM"),
                        {QStringLiteral("--device"), QStringLiteral("set4tm:7,live=0,baud=19200,password=649283,ku=2"),
                         QStringLiteral("--link"), link, QStringLiteral("--quiet")});
        QVERIFY2(simulator.waitForStarted(10000), qPrintable(simulator.errorString()));
        QVERIFY(QTest::qWaitFor([&] { return simulator.canReadLine(); }, 10000));
        QVERIFY(simulator.readLine().startsWith("/dev/"));

        IniFile(TFormStorage::filePath()).WriteString(QStringLiteral("Ports"), QStringLiteral("COM2"), link);
        ScriptedDialogs &dialogs = fixture.dialogs;
        dialogs.answerInput(std::nullopt); // Cancel: the proposed password
        dialogs.expectInformation(QStringLiteral("Тест завершен!\rРезультаты теста содержатся в журнале ошибок."));
        QStringList settings, monitoring, summary;
        // What the monitoring tab showed when the test ended, before the idle look returned.
        dialogs.onShown = [&](const ScriptedDialogs::Shown &shown) {
            if (shown.kind == QLatin1String("information") && FSET4TM)
                for (const char *name : {"StaticTextUa", "StaticTextIa", "StaticTextF", "StaticTextP", "StaticTextA1"})
                    monitoring << FSET4TM->findChild<QLabel *>(QString::fromLatin1(name))->text();
        };
        {
            TFOrvekConfigurator main;
            main.show();
            main.RxSpinEdit1->setValue(2);
            main.RxSpinEdit3->setValue(7);
            main.RxSpinEdit2->setValue(1);
            main.RxSpinEdit4->setValue(100);
            QTimer driver;
            connect(&driver, &QTimer::timeout, this, [&] {
                if (!FSET4TM || !FSET4TM->isVisible())
                    return;
                auto field = [](const char *name) { return FSET4TM->findChild<QLabel *>(QString::fromLatin1(name))->text(); };
                if (settings.isEmpty() && field("StaticTextTrend") != QLatin1String("??")) {
                    settings = QStringList{field("StaticTextAddr"), field("StaticTextKu"), field("StaticTextKi"),
                                           field("StaticTextPower"), field("StaticTextTrend")};
                    FSET4TM->findChild<TRxSpinEdit *>(QStringLiteral("RxSpinEditCount"))->setValue(50);
                    FSET4TM->findChild<TRxSpinEdit *>(QStringLiteral("RxSpinEditTimeOut"))->setValue(50);
                    FSET4TM->findChild<QTabWidget *>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
                    FSET4TM->BitBtnStartClick();
                } else if (!monitoring.isEmpty()) {
                    summary = FSET4TM->journalLines();
                    FSET4TM->close();
                }
            });
            driver.start(50);
            main.BitBtnCET->click();
            QTRY_VERIFY_WITH_TIMEOUT(!summary.isEmpty(), 60000);
            QTRY_VERIFY(!main.VaComm1->Active());
        }
        QCOMPARE(settings, (QStringList{"7", "2", "1", "30", "ДА"}));
        // 230 V and 2.5 A per phase at cos 0.92: P = 3 x 575 x 0.92 = 1587 W, times Ku = 2.
        // The energy since reset is the simulated meter's own start value, x 0.0004 x Ku.
        const sim::Set4tmDevice twin(7);
        const QString energy = QString::number(twin.energy[0] * 0.0001 * 4 * 2, 'g', 15).replace('.', ',');
        QCOMPARE(monitoring, (QStringList{"230", "2,5", "50", "3174", energy}));
        const QStringList tail = summary.mid(summary.indexOf(QStringLiteral("[КОНФИГУРАЦИЯ СЭТ-4ТМ]")));
        QCOMPARE(tail, (QStringList{"[КОНФИГУРАЦИЯ СЭТ-4ТМ]", "Сетевой адрес: 7", "Скорость обмена: 19200",
                                    "Разрешить помечать", "неполные срезы мощности: ДА", "Время интегр.мощности: 30", "",
                                    "[ДИАГНОСТИКА СЭТ-4ТМ]", "Количество тестовых посылок: 50",
                                    "Интервал опроса: 50мсек.", "Отправлено посылок: 50", "Принято без ошибок: 50",
                                    "Принято с ошибками: 0", "Утеряно посылок: 0"}));
        QVERIFY2(fixture.clean(), fixture.report());

        ::kill(static_cast<pid_t>(simulator.processId()), SIGTERM);
        QVERIFY(simulator.waitForFinished(10000));
        QCOMPARE(simulator.exitCode(), 0);
    }
};

QTEST_MAIN(TestSet4tmEndToEnd)
#include "test_set4tmendtoend.moc"
