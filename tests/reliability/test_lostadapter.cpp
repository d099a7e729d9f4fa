#include "app/mainwindow.h"
#include "app/picturebutton.h"
#include "bus/requestlayer.h"
#include "bus/vacomm.h"
#include "devices/krvmain.h"
#include "devices/testjournal.h"
#include "settings/inifile.h"
#include "support/testfixture.h"
#include "widgets/rxspinedit.h"

#include <QLabel>
#include <QProcess>
#include <QStringDecoder>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>

// The adapter goes away in the middle of a KRV-A test on a real pseudo-terminal,
// through QSerialPort: orvek-sim killed outright, or ending and closing its
// terminal. One message names the device file, the journal is kept and can be
// saved, the main window is idle again, and once the simulator is back on the
// same link path the next search finds the device.
namespace {

// orvek-sim serving one KRV-A at address 3 on a pseudo-terminal linked at `link`.
class Simulator
{
public:
    bool start(const QString &link)
    {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(qEnvironmentVariable("ORVEK_SIM"),
                        {QStringLiteral("--device"), QStringLiteral("krv:3,live=0"), QStringLiteral("--seed"),
                         QStringLiteral("5"), QStringLiteral("--link"), link, QStringLiteral("--quiet")});
        if (!m_process.waitForStarted(10000) || !QTest::qWaitFor([&] { return m_process.canReadLine(); }, 10000))
            return false;
        return QString::fromLocal8Bit(m_process.readLine()).startsWith(QStringLiteral("/dev/"));
    }
    bool signal(int number)
    {
        ::kill(static_cast<pid_t>(m_process.processId()), number);
        return m_process.waitForFinished(10000);
    }
    ~Simulator()
    {
        if (m_process.state() != QProcess::NotRunning)
            signal(SIGKILL);
    }

private:
    QProcess m_process;
};

// Runs `scenario` inside the KRV-A window the search opens, as a user would act
// there; true once it has run and the window has closed.
bool inFoundKrvWindow(TFOrvekConfigurator &main, const std::function<void(TFKRV &)> &scenario)
{
    bool ran = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (!FKRV || !FKRV->isVisible() || ran)
            return;
        ran = true;
        driver.stop();
        scenario(*FKRV);
        if (FKRV && FKRV->isVisible())
            FKRV->close();
    });
    driver.start(20);
    main.BitBtnKRV->click();
    return QTest::qWaitFor([&] { return ran && !FKRV && !main.VaComm1->Active(); }, 30000);
}

QStringList reportLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringDecoder decoder("windows-1251");
    QStringList lines = QString(decoder.decode(file.readAll())).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}
} // namespace

class TestLostAdapter : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFixture> m_fixture;

private slots:
    void init() { m_fixture = std::make_unique<TestFixture>(); }
    void cleanup()
    {
        QVERIFY2(m_fixture->clean(), m_fixture->report());
        m_fixture.reset();
    }

    void adapterLostMidTest_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("simulator killed") << int(SIGKILL);
        QTest::newRow("simulator ends, its terminal closed") << int(SIGTERM);
    }
    void adapterLostMidTest()
    {
        QFETCH(int, signalNumber);
        const QString link = m_fixture->path(QStringLiteral("ttySIM"));
        IniFile(m_fixture->settingsPath()).WriteString(QStringLiteral("Ports"), QStringLiteral("COM2"), link);
        auto simulator = std::make_unique<Simulator>();
        QVERIFY(simulator->start(link));

        TFOrvekConfigurator main;
        main.show();
        main.RxSpinEdit1->setValue(2);
        main.RxSpinEdit3->setValue(3);
        main.RxSpinEdit2->setValue(3);
        main.RxSpinEdit4->setValue(100);
        ScriptedDialogs &dialogs = m_fixture->dialogs;
        dialogs.expectError(QStringLiteral("Связь с портом %1 потеряна: адаптер отключен или порт закрыт.\r"
                                           "Тест остановлен. Результаты теста содержатся в журнале ошибок.\r"
                                           "Проверьте подключение и повторите поиск устройства.")
                                .arg(link));
        const QString report = m_fixture->path(QStringLiteral("lost.log"));
        dialogs.answerSave(report);
        QStringList journal;
        const bool closed = inFoundKrvWindow(main, [&](TFKRV &window) {
            window.findChild<TRxSpinEdit *>(QStringLiteral("RxSpinEditCount"))->setValue(1000);
            window.BitBtnStartClick();
            window.findChild<QTimer *>(QStringLiteral("TimerTest"))->stop();
            for (int i = 0; i < 3; ++i) {
                window.TimerTestTimer();
                QVERIFY(QTest::qWaitFor([&] { return main.frames().RxCount >= 45; }, 5000));
                window.TimerTestTimer();
            }
            window.TimerTestTimer(); // a request is out when the adapter goes
            QVERIFY(simulator->signal(signalNumber));
            QTRY_COMPARE_WITH_TIMEOUT(dialogs.texts(QStringLiteral("error")).size(), 1, 10000);
            window.TimerTestTimer(); // a late tick finds the port closed: nothing more
            journal = window.journalLines();
            window.BitBtnReportClick();
            QCOMPARE(reportLines(report), window.journalLines());
        });
        QVERIFY(closed);

        QVERIFY(journal.contains(QStringLiteral("Отправлено посылок: 3")));
        QVERIFY(journal.contains(QStringLiteral("Принято без ошибок: 3")));
        QVERIFY(journal.contains(QStringLiteral("Принято с ошибками: 0")));
        QVERIFY(journal.contains(QStringLiteral("Утеряно посылок: 0")));
        const QStringList saved = reportLines(report);
        QCOMPARE(saved.mid(0, journal.size()), journal);
        QCOMPARE(saved.size(), journal.size() + 1);
        QVERIFY(saved.constLast().startsWith(QStringLiteral("Отчет создан в ")));
        QVERIFY(main.DeviceGroup->isEnabled());
        QCOMPARE(main.StaticTextMsg->text(), QString());

        // The simulator is back on the same link path: the next search finds the device.
        simulator = std::make_unique<Simulator>();
        QVERIFY(simulator->start(link));
        QString code;
        QVERIFY(inFoundKrvWindow(main, [&](TFKRV &window) {
            code = window.findChild<QLabel *>(QStringLiteral("StaticTextCode"))->text();
        }));
        QCOMPARE(code, QStringLiteral("12"));
        QVERIFY(main.DeviceGroup->isEnabled());
    }
};

QTEST_MAIN(TestLostAdapter)
#include "test_lostadapter.moc"
