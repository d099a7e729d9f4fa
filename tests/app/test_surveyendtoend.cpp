#include "app/mainwindow.h"
#include "app/surveywindow.h"
#include "bus/vacomm.h"
#include "devices/krvmain.h"
#include "settings/formstorage.h"
#include "settings/inifile.h"
#include "support/testfixture.h"
#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"

#include <QCheckBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <csignal>

// The survey through a real pseudo-terminal: orvek-sim serves two devices at
// rates of their own and follows the rate the configurator sets on the terminal.
class TestSurveyEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void findsDevicesAtTheirRatesAndOpensOne()
    {
        TestFixture fixture;
        const QString link = fixture.path(QStringLiteral("ttySIM"));
        QProcess simulator;
        simulator.start(qEnvironmentVariable("ORVEK_SIM"),
                        {QStringLiteral("--device"), QStringLiteral("krv:3@9600,live=0,version=120"),
                         QStringLiteral("--device"), QStringLiteral("m7051:5@38400,version=3.1.4"),
                         QStringLiteral("--link"), link, QStringLiteral("--quiet")});
        QVERIFY2(simulator.waitForStarted(10000), qPrintable(simulator.errorString()));
        QVERIFY(QTest::qWaitFor([&] { return simulator.canReadLine(); }, 10000));
        IniFile(TFormStorage::filePath()).WriteString(QStringLiteral("Ports"), QStringLiteral("COM2"), link);

        {
            TFOrvekConfigurator main;
            main.show();
            main.RxSpinEdit1->setValue(2);
            main.ActionSurvey->trigger();
            TFSurvey &survey = *main.surveyWindow();
            survey.RxSpinEditLast->setValue(6);
            survey.RxSpinEditFirst->setValue(1);
            for (auto &[rate, box] : survey.CheckBoxRates)
                box->setChecked(rate == 9600 || rate == 19200 || rate == 38400);
            // A pseudo-terminal takes no parity: those lines are noted and skipped.
            survey.CheckBoxParities.at(paEven)->setChecked(false);
            QTest::mouseClick(survey.BitBtnStart, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!survey.survey().isRunning(), 60000);
            QVERIFY2(survey.StaticTextProgress->text().startsWith(QStringLiteral("Обзор завершен")),
                     qPrintable(survey.StaticTextProgress->text()));
            QVERIFY(survey.StaticTextNotes->isVisible());
            QCOMPARE(survey.StaticTextNotes->text().count(QStringLiteral("четность нечетн")), 3);

            const auto cell = [&survey](int row, int column) { return survey.GridHits->item(row, column)->text(); };
            QCOMPARE(survey.GridHits->rowCount(), 2);
            QCOMPARE(cell(0, 0), QStringLiteral("Блок релейной защиты KRV-A"));
            QCOMPARE(cell(0, 1), QStringLiteral("3"));
            QCOMPARE(cell(0, 2), QStringLiteral("9600"));
            QCOMPARE(cell(0, 3), QStringLiteral("нет"));
            QCOMPARE(cell(1, 0), QStringLiteral("Модуль дискретного ввода M-7051D"));
            QCOMPARE(cell(1, 1), QStringLiteral("5"));
            QCOMPARE(cell(1, 2), QStringLiteral("38400"));
            QCOMPARE(cell(1, 4), QStringLiteral("Firmware Version: 3.1.4"));

            // "Открыть" on the KRV-A: its window, as after a search at 9600 bit/s.
            QString code, version, address, baud;
            QTimer driver;
            connect(&driver, &QTimer::timeout, this, [&] {
                if (!FKRV || !FKRV->isVisible() || !code.isEmpty())
                    return;
                code = FKRV->findChild<QLabel *>(QStringLiteral("StaticTextCode"))->text();
                version = FKRV->findChild<QLabel *>(QStringLiteral("StaticTextVer"))->text();
                address = FKRV->findChild<QLabel *>(QStringLiteral("StaticTextAddr"))->text();
                baud = FKRV->findChild<QLabel *>(QStringLiteral("StaticTextBaud"))->text();
                FKRV->close();
            });
            driver.start(50);
            survey.GridHits->selectRow(0);
            QTest::mouseClick(survey.BitBtnOpen, Qt::LeftButton);
            QCOMPARE(code, QStringLiteral("12"));
            QCOMPARE(version, QStringLiteral("1.2").replace('.', QLocale().decimalPoint()));
            QCOMPARE(address, QStringLiteral("3"));
            QCOMPARE(baud, QStringLiteral("9600"));
            QCOMPARE(main.RadioGroup1->ItemIndex(), 1); // 9600
            QCOMPARE(main.RxSpinEdit2->IntValue(), 3);
            QCOMPARE(main.RxSpinEdit3->IntValue(), 3);
            QVERIFY(!main.VaComm1->Active());
            QVERIFY(survey.isVisible());
            QCOMPARE(survey.GridHits->rowCount(), 2);
        }
        QVERIFY2(fixture.clean(), fixture.report());

        ::kill(static_cast<pid_t>(simulator.processId()), SIGTERM);
        QVERIFY(simulator.waitForFinished(10000));
        QCOMPARE(simulator.exitCode(), 0);
    }
};

QTEST_MAIN(TestSurveyEndToEnd)
#include "test_surveyendtoend.moc"
