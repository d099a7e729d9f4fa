// The whole product over a real loopback TCP connection: orvek-sim serves its
// bus as a serial device server does (or socat carries a pseudo-terminal's bytes),
// and the configurator's port 1 points at it.
#include "app/mainwindow.h"
#include "app/picturebutton.h"
#include "bus/buschannel.h"
#include "bus/portmap.h"
#include "bus/vacomm.h"
#include "devices/krvmain.h"
#include "meter/setmain.h"
#include "settings/formstorage.h"
#include "support/tcppeer.h"
#include "support/tcpsim.h"
#include "support/testfixture.h"
#include "widgets/rxspinedit.h"

#include <QLabel>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(DeviceWindowKind)

namespace {

const QString Finished = QStringLiteral("Тест завершен!\rРезультаты теста содержатся в журнале ошибок.");

QString lostText(const QString &address, const QString &after)
{
    return QStringLiteral("Связь с портом %1 потеряна: соединение закрыто сервером или прервано сетью.\r").arg(address)
        + after;
}

// The KRV-A window's test as the user runs it: `count` requests at `intervalMs`;
// the journal once the test has ended, then the window closes.
struct KrvRun
{
    QString code, version, address;
    QStringList journal;
    int sentWhenCut = 0;
};

} // namespace

class TestTcpEndToEnd : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFixture> fixture;
    std::unique_ptr<TFOrvekConfigurator> main;
    std::unique_ptr<TcpSim> sharedSim; // the default bus, for the searches of every type

    ScriptedDialogs &dialogs() { return fixture->dialogs; }

    // Port 1 leads to `address`; the search covers first..last at 19200 bit/s, 100 ms a step.
    void showMain(const QString &address, int first, int last)
    {
        AssignPort(TFormStorage::filePath(), 1, address);
        main = std::make_unique<TFOrvekConfigurator>();
        main->show();
        main->RxSpinEdit1->setValue(1);
        main->RxSpinEdit3->setValue(last);
        main->RxSpinEdit2->setValue(first);
        main->RxSpinEdit4->setValue(100);
    }

    // Searches for a KRV-A and runs its window's test; `cut` (if set) runs once
    // `cutAfter` requests went out.
    KrvRun runKrvTest(int count, int intervalMs, const std::function<void()> &cut = {}, int cutAfter = 0)
    {
        KrvRun run;
        bool started = false;
        bool cutDone = false;
        QTimer driver;
        connect(&driver, &QTimer::timeout, this, [&] {
            if (!FKRV || !FKRV->isVisible())
                return;
            if (!started) {
                started = true;
                run.code = FKRV->findChild<QLabel *>(QStringLiteral("StaticTextCode"))->text();
                run.version = FKRV->findChild<QLabel *>(QStringLiteral("StaticTextVer"))->text();
                run.address = FKRV->findChild<QLabel *>(QStringLiteral("StaticTextAddr"))->text();
                FKRV->findChild<TRxSpinEdit *>(QStringLiteral("RxSpinEditCount"))->setValue(count);
                FKRV->findChild<TRxSpinEdit *>(QStringLiteral("RxSpinEditTimeOut"))->setValue(intervalMs);
                FKRV->BitBtnStartClick();
            } else if (cut && !cutDone && FKRV->testRunning()) {
                if (CountersOf<TFKRV>().sent >= cutAfter) {
                    cutDone = true;
                    run.sentWhenCut = CountersOf<TFKRV>().sent;
                    cut();
                }
            } else if (!FKRV->testRunning() && !dialogs().shown.isEmpty()) {
                run.journal = FKRV->journalLines();
                FKRV->close();
            }
        });
        driver.start(20);
        main->BitBtnKRVClick(TagKRV);
        // Checked by the caller through the journal.
        (void)QTest::qWaitFor([&] { return !run.journal.isEmpty() && !main->VaComm1->Active(); },
                              count * intervalMs * 3 + 60000);
        return run;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(qEnvironmentVariable("ORVEK_SIM")).isExecutable(), "ORVEK_SIM must name the built orvek-sim");
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    }
    void cleanupTestCase() { sharedSim.reset(); }
    void init() { fixture = std::make_unique<TestFixture>(); }
    void cleanup()
    {
        main.reset();
        QVERIFY2(fixture->clean(), fixture->report());
        fixture.reset();
    }

    // One search per device type on the simulator's default bus, each on a
    // connection of its own, one after the other.
    void searchFindsEachType_data()
    {
        QTest::addColumn<int>("tag");
        QTest::addColumn<DeviceWindowKind>("kind");
        QTest::addColumn<int>("address");
        QTest::newRow("KRV-A") << int(TagKRV) << DeviceWindowKind::KRV << 1;
        QTest::newRow("ZDLT-1") << int(TagZDLT) << DeviceWindowKind::ZDLT << 2;
        QTest::newRow("B-7720Q") << int(TagB7720Q) << DeviceWindowKind::B7720Q << 3;
        QTest::newRow("M-7051D") << int(TagM7051) << DeviceWindowKind::M7051 << 4;
        QTest::newRow("sensor") << int(TagSensor) << DeviceWindowKind::MLX << 5;
        QTest::newRow("controller") << int(TagController) << DeviceWindowKind::C3940F << 6;
        // The meter's probe goes to address 0 whatever address the cursor is at.
        QTest::newRow("meter") << int(TagSET4TM) << DeviceWindowKind::SET4TM << 1;
    }
    void searchFindsEachType()
    {
        QFETCH(int, tag);
        QFETCH(DeviceWindowKind, kind);
        QFETCH(int, address);
        if (!sharedSim) { // one server for all rows: every search connects anew
            sharedSim = std::make_unique<TcpSim>();
            QVERIFY(sharedSim->start({QStringLiteral("--quiet")}));
        }
        showMain(sharedSim->address, 1, 7);
        QList<FoundDevice> found;
        for (const DeviceKind &each : DeviceKinds())
            main->setWindowOpener(each.window, [&](DeviceHost &host, QWidget *) {
                QVERIFY(host.port().Active());
                found << host.found();
            });
        main->BitBtnKRVClick(tag);
        QVERIFY(main->VaComm1->Active());
        QTRY_VERIFY_WITH_TIMEOUT(!main->VaComm1->Active(), 20000);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().kind, kind);
        QCOMPARE(found.first().address, address);
        QVERIFY(main->DeviceGroup->isEnabled());
    }

    void krvTestOf1000RequestsAt50ms()
    {
        TcpSim sim;
        // A fast line delivering whole answers: on a busy machine a tick must not find half
        // an answer, which would be the line's timing, not the network's.
        QVERIFY(sim.start({QStringLiteral("--quiet"), QStringLiteral("--device"), QStringLiteral("krv:30"),
                           QStringLiteral("--baud"), QStringLiteral("115200"), QStringLiteral("--any-baud"),
                           QStringLiteral("--fifo"), QStringLiteral("4096")}));
        showMain(sim.address, 30, 30);
        dialogs().expectInformation(Finished);
        const KrvRun run = runKrvTest(1000, 50);
        QVERIFY2(!run.journal.isEmpty(), "the test did not end");
        for (const char *line : {"Сетевой адрес: 30", "Отправлено посылок: 1000", "Принято без ошибок: 1000",
                                 "Принято с ошибками: 0", "Утеряно посылок: 0"})
            QVERIFY2(run.journal.contains(QString::fromUtf8(line)), line);
    }

    // The meter's settings are read and a transformer ratio is written over the network.
    void meterConfigurationAction()
    {
        TcpSim sim;
        QVERIFY(sim.start({QStringLiteral("--quiet"), QStringLiteral("--device"),
                           QStringLiteral("set4tm:7,live=0,baud=19200,password=649283")}));
        showMain(sim.address, 1, 7);
        dialogs().answerInput(std::nullopt); // Cancel: the proposed password
        dialogs().answerQuestion(QStringLiteral("Вы действительно хотите изменить коэффициент трансформации по "
                                                "напряжению?"),
                                 true);
        dialogs().expectInformation(QStringLiteral("Коэффициент: Кн записан успешно!"));
        QString before, after;
        QTimer driver;
        connect(&driver, &QTimer::timeout, this, [&] {
            if (!FSET4TM || !FSET4TM->isVisible() || !after.isEmpty())
                return;
            auto *ku = FSET4TM->findChild<QLabel *>(QStringLiteral("StaticTextKu"));
            if (FSET4TM->findChild<QLabel *>(QStringLiteral("StaticTextTrend"))->text() == QLatin1String("??"))
                return; // the settings are not read yet
            before = ku->text();
            FSET4TM->findChild<TRxSpinEdit *>(QStringLiteral("RxSpinEditKu"))->setValue(300);
            FSET4TM->BitBtnKuClick();
            after = ku->text();
            FSET4TM->close();
        });
        driver.start(50);
        main->BitBtnCET->click();
        QTRY_VERIFY_WITH_TIMEOUT(!after.isEmpty() && !main->VaComm1->Active(), 60000);
        QCOMPARE(before, QStringLiteral("1"));
        QCOMPARE(after, QStringLiteral("300"));
    }

    // A server that is not orvek-sim: socat listening on TCP and carrying the
    // bytes to the simulator's pseudo-terminal at 19200 bit/s.
    void independentServer()
    {
        const QString socat = QStandardPaths::findExecutable(QStringLiteral("socat"));
        if (socat.isEmpty())
            QSKIP("socat is not installed (scripts/install-deps.sh installs it)");
        const QString link = fixture->path(QStringLiteral("ttySIM"));
        QProcess simulator;
        simulator.start(qEnvironmentVariable("ORVEK_SIM"),
                        {QStringLiteral("--device"), QStringLiteral("krv:3,live=0,code=12,version=120"),
                         QStringLiteral("--link"), link, QStringLiteral("--quiet")});
        QVERIFY(simulator.waitForStarted(10000));
        QVERIFY(QTest::qWaitFor([&] { return simulator.canReadLine(); }, 10000));

        const quint16 port = closedLoopbackPort();
        QProcess bridge;
        bridge.start(socat, {QStringLiteral("-d"), QStringLiteral("-d"),
                             QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(port),
                             QStringLiteral("FILE:%1,raw,echo=0,b19200").arg(link)});
        QVERIFY(bridge.waitForStarted(10000));
        QByteArray said;
        QVERIFY(QTest::qWaitFor([&] {
            said += bridge.readAllStandardError();
            return said.contains("listening on");
        }, 10000));

        showMain(QStringLiteral("tcp://127.0.0.1:%1").arg(port), 1, 5);
        dialogs().expectInformation(Finished);
        const KrvRun run = runKrvTest(50, 100);
        QCOMPARE(run.code, QStringLiteral("12"));
        QCOMPARE(run.version, QStringLiteral("1,2"));
        QCOMPARE(run.address, QStringLiteral("3"));
        for (const char *line : {"Отправлено посылок: 50", "Принято без ошибок: 50", "Принято с ошибками: 0"})
            QVERIFY2(run.journal.contains(QString::fromUtf8(line)), qPrintable(run.journal.join('\n')));
        bridge.kill();
        bridge.waitForFinished(5000);
        simulator.terminate();
        simulator.waitForFinished(5000);
    }

    // The server goes away mid-test: one box, the summary in the journal, the
    // window stays; closing it leaves the main window idle.
    void serverClosingMidTest()
    {
        TcpSim sim;
        QVERIFY(sim.start({QStringLiteral("--quiet"), QStringLiteral("--device"), QStringLiteral("krv:1")}));
        showMain(sim.address, 1, 1);
        dialogs().expectError(lostText(sim.address, QStringLiteral("Тест остановлен. Результаты теста содержатся в "
                                                                   "журнале ошибок.\rПроверьте подключение и "
                                                                   "повторите поиск устройства.")));
        const KrvRun run = runKrvTest(1000, 50, [&] { sim.kill(); }, 20);
        QVERIFY2(!run.journal.isEmpty(), "the test did not end");
        QVERIFY(run.sentWhenCut >= 20);
        QVERIFY(run.journal.contains(QStringLiteral("Количество тестовых посылок: 1000")));
        const QString sent = run.journal.filter(QStringLiteral("Отправлено посылок: ")).value(0);
        const int sentCount = sent.section(QLatin1Char(' '), -1).toInt();
        QVERIFY2(sentCount > 0 && sentCount < 1000, qPrintable(sent)); // cut short, nothing lost of what ran
        QVERIFY(!run.journal.filter(QStringLiteral("Тест остановлен в")).isEmpty());
        QVERIFY(main->DeviceGroup->isEnabled());
    }

    // Lost mid-search: one box; the next search connects again.
    void serverClosingMidSearch()
    {
        auto sim = std::make_unique<TcpSim>();
        QVERIFY(sim->start({QStringLiteral("--quiet"), QStringLiteral("--device"), QStringLiteral("krv:200")}));
        const QString address = sim->address;
        const int port = sim->port;
        showMain(address, 1, 50);
        main->BitBtnKRVClick(TagKRV);
        QVERIFY(main->VaComm1->Active());
        QTRY_VERIFY_WITH_TIMEOUT(main->StaticTextAddr->text().toInt() >= 2, 5000);
        dialogs().expectError(lostText(address, QStringLiteral("Поиск устройств остановлен. Проверьте подключение "
                                                               "и повторите поиск.")));
        sim->kill();
        QTRY_COMPARE_WITH_TIMEOUT(dialogs().texts(QStringLiteral("error")).size(), 1, 10000);
        QVERIFY(!main->VaComm1->Active());
        QVERIFY(main->DeviceGroup->isEnabled());

        sim = std::make_unique<TcpSim>();
        QVERIFY(sim->start({QStringLiteral("--quiet"), QStringLiteral("--device"), QStringLiteral("krv:1")}, port));
        QList<FoundDevice> found;
        main->setWindowOpener(DeviceWindowKind::KRV, [&](DeviceHost &host, QWidget *) { found << host.found(); });
        main->BitBtnKRVClick(TagKRV);
        QTRY_VERIFY_WITH_TIMEOUT(!found.isEmpty(), 10000);
        QCOMPARE(found.first().address, 1);
        QTest::qWait(200);
        QCOMPARE(dialogs().texts(QStringLiteral("error")).size(), 1);
    }
};

QTEST_MAIN(TestTcpEndToEnd)
#include "test_tcpendtoend.moc"
