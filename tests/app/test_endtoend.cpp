#include "app/mainwindow.h"
#include "app/picturebutton.h"
#include "bus/vacomm.h"
#include "devices/krvmain.h"
#include "settings/formstorage.h"
#include "support/testfixture.h"
#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"

#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>

// The whole path through a real pseudo-terminal: orvek-sim serves a KRV-A, the
// configurator's search finds it over QSerialPort, its window runs a short test.
class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void searchFindsKrvAndAShortTestIsClean()
    {
        TestFixture fixture;
        const QString link = fixture.path(QStringLiteral("ttySIM"));

        QProcess simulator;
        simulator.setProcessChannelMode(QProcess::SeparateChannels);
        simulator.start(qEnvironmentVariable("ORVEK_SIM"),
                        {QStringLiteral("--device"), QStringLiteral("krv:3,live=0,version=120"), QStringLiteral("--seed"),
                         QStringLiteral("5"), QStringLiteral("--link"), link, QStringLiteral("--quiet")});
        QVERIFY2(simulator.waitForStarted(10000), qPrintable(simulator.errorString()));
        QVERIFY(QTest::qWaitFor([&] { return simulator.canReadLine(); }, 10000));
        const QString slave = QString::fromLocal8Bit(simulator.readLine()).trimmed();
        QVERIFY2(slave.startsWith(QStringLiteral("/dev/")), qPrintable(slave));

        IniFile(TFormStorage::filePath()).WriteString(QStringLiteral("Ports"), QStringLiteral("COM2"), link);
        ScriptedDialogs &dialogs = fixture.dialogs;
        dialogs.expectInformation(QStringLiteral("Тест завершен!\rРезультаты теста содержатся в журнале ошибок."));
        {
            TFOrvekConfigurator main;
            main.show();
            main.RxSpinEdit1->setValue(2);
            main.RxSpinEdit3->setValue(5);
            main.RxSpinEdit2->setValue(1);
            main.RxSpinEdit4->setValue(100);
            QCOMPARE(main.RxSpinEdit1->toolTip(), link);

            QStringList summary;
            QString code, version, address;
            QTimer driver;
            connect(&driver, &QTimer::timeout, this, [&] {
                if (!FKRV || !FKRV->isVisible())
                    return;
                if (code.isEmpty()) {
                    code = FKRV->findChild<QLabel *>(QStringLiteral("StaticTextCode"))->text();
                    version = FKRV->findChild<QLabel *>(QStringLiteral("StaticTextVer"))->text();
                    address = FKRV->findChild<QLabel *>(QStringLiteral("StaticTextAddr"))->text();
                    FKRV->findChild<TRxSpinEdit *>(QStringLiteral("RxSpinEditCount"))->setValue(50);
                    FKRV->findChild<TRxSpinEdit *>(QStringLiteral("RxSpinEditTimeOut"))->setValue(150);
                    FKRV->BitBtnStartClick();
                } else if (!dialogs.texts(QStringLiteral("information")).isEmpty()) {
                    summary = FKRV->journalLines();
                    FKRV->close();
                }
            });
            driver.start(50);
            main.BitBtnKRV->click();
            QTRY_VERIFY_WITH_TIMEOUT(!summary.isEmpty(), 60000);
            QTRY_VERIFY(!main.VaComm1->Active());

            QCOMPARE(code, QStringLiteral("12"));
            QCOMPARE(version, QStringLiteral("1.2").replace('.', QLocale().decimalPoint()));
            QCOMPARE(address, QStringLiteral("3"));
            QVERIFY(summary.contains(QStringLiteral("Сетевой адрес: 3")));
            QVERIFY(summary.contains(QStringLiteral("Скорость обмена (COM2): 19200")));
            QVERIFY(summary.contains(QStringLiteral("Отправлено посылок: 50")));
            QVERIFY2(summary.contains(QStringLiteral("Принято без ошибок: 50")), qPrintable(summary.join('\n')));
            QVERIFY(summary.contains(QStringLiteral("Принято с ошибками: 0")));
            QVERIFY(summary.contains(QStringLiteral("Утеряно посылок: 0")));
            QVERIFY(main.DeviceGroup->isEnabled());
        }
        QVERIFY2(fixture.clean(), fixture.report());

        ::kill(static_cast<pid_t>(simulator.processId()), SIGTERM);
        QVERIFY(simulator.waitForFinished(10000));
        QCOMPARE(simulator.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(link));
    }

    // The simulator killed mid-search: the pty's other end is gone. One box names
    // the device file, the window is idle again.
    void simulatorKilledMidSearchEndsTheSearchWithOneMessage()
    {
        TestFixture fixture;
        const QString link = fixture.path(QStringLiteral("ttySIM"));
        QProcess simulator;
        simulator.start(qEnvironmentVariable("ORVEK_SIM"), {QStringLiteral("--device"), QStringLiteral("krv:200"),
                                                            QStringLiteral("--link"), link, QStringLiteral("--quiet")});
        QVERIFY2(simulator.waitForStarted(10000), qPrintable(simulator.errorString()));
        QVERIFY(QTest::qWaitFor([&] { return simulator.canReadLine(); }, 10000));
        IniFile(TFormStorage::filePath()).WriteString(QStringLiteral("Ports"), QStringLiteral("COM1"), link);

        ScriptedDialogs &dialogs = fixture.dialogs;
        TFOrvekConfigurator main;
        main.show();
        main.RxSpinEdit3->setValue(50);
        main.RxSpinEdit4->setValue(100);
        main.BitBtnKRV->click();
        QVERIFY(main.VaComm1->Active());
        QTRY_VERIFY_WITH_TIMEOUT(main.StaticTextAddr->text().toInt() >= 2, 5000); // the search is under way
        dialogs.expectError(QStringLiteral("Связь с портом %1 потеряна: адаптер отключен или порт закрыт.\rПоиск "
                                           "устройств остановлен. Проверьте подключение и повторите поиск.")
                                .arg(link));
        simulator.kill();
        QVERIFY(simulator.waitForFinished(10000));
        QTRY_COMPARE_WITH_TIMEOUT(dialogs.texts(QStringLiteral("error")).size(), 1, 10000);
        QVERIFY(!main.VaComm1->Active());
        QVERIFY(!main.Timer1->isActive());
        QVERIFY(main.DeviceGroup->isEnabled());
        QCOMPARE(main.StaticTextAddr->text(), QString());
        QVERIFY2(fixture.clean(), fixture.report());
    }
};

QTEST_MAIN(TestEndToEnd)
#include "test_endtoend.moc"
