#include "devices/krvmain.h"
#include "settings/formstorage.h"
#include "sim/relays.h"
#include "support/simrig.h"
#include "support/testdisk.h"
#include "support/testfixture.h"
#include "widgets/rxspinedit.h"
#include "widgets/vrblinkled.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {
const QString Finished = QStringLiteral("Тест завершен!\rРезультаты теста содержатся в журнале ошибок.");
const QString AddressQuestion = QStringLiteral("Вы действительно хотите изменить сетевой адрес?");

QString line(const QStringList &lines, const QString &prefix)
{
    for (const QString &l : lines)
        if (l.startsWith(prefix))
            return l;
    return QStringLiteral("<none>");
}
} // namespace

class TestKrvWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFixture> m_fixture;
    ScriptedDialogs *m_dialogs = nullptr;
    std::unique_ptr<SimHost> m_host;
    sim::KrvDevice *m_krv = nullptr;
    std::unique_ptr<TFKRV> m_window;

    template <typename T>
    T *child(const char *name)
    {
        return component<T>(m_window.get(), QString::fromLatin1(name));
    }
    QString text(const char *name) { return child<QLabel>(name)->text(); }

    // The window as the search leaves it: port open, the probe answer in RxFrame.
    void openWindow()
    {
        m_host->comm.Open();
        RequestLayer &frames = m_host->frames();
        frames.SendReadInputRegisters(1, 0, 3);
        QVERIFY(m_host->probe(11));
        m_window = std::make_unique<TFKRV>(*m_host, nullptr);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    // Starts a test and takes its timer over, so each tick runs when the test says.
    void startManual(int count = 50)
    {
        child<TRxSpinEdit>("RxSpinEditCount")->setValue(count);
        m_window->BitBtnStartClick();
        child<QTimer>("TimerTest")->stop();
    }
    [[nodiscard]] bool exchange() { return m_host->exchange(*m_window, 45); }
    void stopExpectingTheSummaryBox()
    {
        m_dialogs->expectInformation(Finished);
        m_window->BitBtnStopClick();
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }

    void init()
    {
        m_fixture = std::make_unique<TestFixture>();
        m_dialogs = &m_fixture->dialogs;
        m_host = std::make_unique<SimHost>();
        m_krv = static_cast<sim::KrvDevice *>(m_host->bus.addDevice(std::make_unique<sim::KrvDevice>(1)));
        m_krv->live = false;
        openWindow();
    }

    void cleanup()
    {
        m_window.reset();
        m_host.reset();
        QVERIFY2(m_fixture->clean(), m_fixture->report());
        m_fixture.reset();
    }

    void identificationFromTheSearchAnswer()
    {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Блок релейной защиты KRV-A"));
        QCOMPARE(text("StaticTextCode"), QStringLiteral("12"));
        QCOMPARE(text("StaticTextModel"), QStringLiteral("2"));
        QCOMPARE(text("StaticTextVer"), QStringLiteral("1,05"));
        QCOMPARE(text("StaticTextAddr"), QStringLiteral("1"));
        QCOMPARE(text("StaticTextBaud"), QStringLiteral("19200"));
        QCOMPARE(child<QTabWidget>("PageControl1")->currentIndex(), 0);
        QVERIFY(!child<QPushButton>("BitBtnStop")->isEnabled());
        QVERIFY(!child<QPushButton>("BitBtnReport")->isEnabled());
        QVERIFY(child<QPushButton>("BitBtnStart")->isEnabled());
        QCOMPARE(child<QPlainTextEdit>("Memo1")->toolTip(), QStringLiteral("журнал ошибок обмена"));
    }

    void stopBeforeTheFirstTickReportsZeros()
    {
        startManual();
        stopExpectingTheSummaryBox();
        const QStringList j = m_window->journalLines();
        QVERIFY(j.first().startsWith(QStringLiteral("Тест запущен в ")));
        QVERIFY(j.contains(QStringLiteral("Отправлено посылок: 0")));
        QVERIFY(j.contains(QStringLiteral("Принято без ошибок: 0")));
        QVERIFY(j.contains(QStringLiteral("Принято с ошибками: 0")));
        QVERIFY(j.contains(QStringLiteral("Утеряно посылок: 0")));
        QCOMPARE(m_dialogs->texts("information"), QStringList{Finished});
        QVERIFY(child<QPushButton>("BitBtnReport")->isEnabled());
        QVERIFY(child<QPushButton>("BitBtnAddr")->isEnabled());
    }

    void fullTestWithEveryAnswerCorrect()
    {
        child<TRxSpinEdit>("RxSpinEditTimeOut")->setValue(50);
        startManual(50);
        QVERIFY(!child<QPushButton>("BitBtnAddr")->isEnabled());
        QVERIFY(!child<QPushButton>("BitBtnStart")->isEnabled());
        for (int i = 0; i < 50; ++i)
            QVERIFY(exchange());
        m_window->TimerTestTimer(); // the 51st request goes out
        m_dialogs->expectInformation(Finished);
        m_window->TimerTestTimer(); // its answer is never judged: sent has passed the count
        const QStringList j = m_window->journalLines();
        const QStringList summary = j.mid(j.indexOf(QStringLiteral("[КОНФИГУРАЦИЯ KRV-A]")));
        const QStringList expected = {QStringLiteral("[КОНФИГУРАЦИЯ KRV-A]"),
                                      QStringLiteral("Код: 12"),
                                      QStringLiteral("Модель: 2"),
                                      QStringLiteral("Firmware Version: 1,05"),
                                      QStringLiteral("Сетевой адрес: 1"),
                                      QStringLiteral("Скорость обмена (COM2): 19200"),
                                      QString(),
                                      QStringLiteral("[ДИАГНОСТИКА KRV-A]"),
                                      QStringLiteral("Количество тестовых посылок: 50"),
                                      QStringLiteral("Интервал опроса: 50мсек."),
                                      QStringLiteral("Отправлено посылок: 50"),
                                      QStringLiteral("Принято без ошибок: 50"),
                                      QStringLiteral("Принято с ошибками: 0"),
                                      QStringLiteral("Утеряно посылок: 0")};
        QCOMPARE(summary, expected);
        QVERIFY(j.at(j.size() - expected.size() - 2).startsWith(QStringLiteral("Тест остановлен в ")));
        // One more request than the count went out; its answer was never evaluated.
        QTRY_COMPARE(m_krv->requestsSeen, 1 + 51);
        QCOMPARE(m_dialogs->texts("information"), QStringList{Finished});
    }

    // Bytes nobody asked for are not an answer: neither before the first request
    // nor after the answer to the last one was judged.
    void bytesNoRequestWaitsForAreDroppedUnjudged()
    {
        startManual();
        m_host->bus.inject(QByteArray::fromHex("0A0B0C0D0E"));
        QVERIFY(m_host->waitForAnswer(5));
        QVERIFY(exchange()); // the stray bytes are dropped, the request goes out
        m_host->bus.inject(QByteArray::fromHex("55AA55AA55"));
        QVERIFY(m_host->waitForAnswer(5));
        m_window->TimerTestTimer(); // dropped again, the next request goes out
        stopExpectingTheSummaryBox();
        const QStringList j = m_window->journalLines();
        QCOMPARE(line(j, QStringLiteral("Отправлено")), QStringLiteral("Отправлено посылок: 1"));
        QCOMPARE(line(j, QStringLiteral("Принято без")), QStringLiteral("Принято без ошибок: 1"));
        QCOMPARE(line(j, QStringLiteral("Принято с")), QStringLiteral("Принято с ошибками: 0"));
        QCOMPARE(line(j, QStringLiteral("Утеряно")), QStringLiteral("Утеряно посылок: 0"));
        QCOMPARE(line(j, QStringLiteral("<-")), QStringLiteral("<none>"));
    }

    void corruptedAnswerIsJournalledInHex()
    {
        m_krv->script.push_back(sim::Action::Corrupt);
        startManual();
        QVERIFY(exchange());
        const QStringList j = m_window->journalLines();
        RequestLayer expected;
        expected.SendReadInputRegisters(1, 0x0208, 20);
        QCOMPARE(j.value(1), QStringLiteral("->") + HexBytes(expected.TxFrame, expected.TxCount));
        QVERIFY(j.value(1).startsWith(QStringLiteral("->010402080014")));
        QVERIFY2(j.value(2).startsWith(QStringLiteral("<-010428")), qPrintable(j.value(2)));
        QCOMPARE(j.value(2).size(), 2 + 45 * 2);
        // The next exchange is fine again and is not journalled.
        QVERIFY(exchange());
        QCOMPARE(m_window->journalLines().size(), 3);
    }

    void fragmentJoinsTheNextAnswerAsAnError()
    {
        startManual();
        m_host->bus.inject(QByteArray::fromHex("0102"));
        QVERIFY(m_host->waitForAnswer(2));
        QVERIFY(exchange()); // the fragment is kept in front of the answer
        stopExpectingTheSummaryBox();
        QCOMPARE(line(m_window->journalLines(), QStringLiteral("Принято с")), QStringLiteral("Принято с ошибками: 1"));
    }

    void monitoringShowsAlarmsAndCurrents()
    {
        m_krv->statusWord = 0x8021; // bits 15, 5 and 0
        m_krv->currents = {12345, 0, 1, 0, 0, 0, 0, 0xFFFFFFFFu};
        child<QTabWidget>("PageControl1")->setCurrentIndex(1);
        startManual();
        QVERIFY(exchange());
        for (int bit : {0, 1, 2, 3, 4, 5, 13, 14, 15}) {
            const auto *led = child<TVrBlinkLed>(qPrintable(QStringLiteral("VrBlinkLedBit%1").arg(bit)));
            QCOMPARE(led->ColorIndex(), (bit == 0 || bit == 5 || bit == 15) ? 2 : 1);
        }
        QCOMPARE(child<TVrBlinkLed>("VrBlinkLedBit15")->Caption(),
                 QStringLiteral("Превышена допустимая величина накопленного тока"));
        QCOMPARE(text("StaticTextIa"), QStringLiteral("123,45"));
        QCOMPARE(text("StaticTextIb"), QStringLiteral("0"));
        QCOMPARE(text("StaticTextIc"), QStringLiteral("0,01"));
        QCOMPARE(text("StaticTextPre3Io"), QStringLiteral("42949672,95"));

        stopExpectingTheSummaryBox(); // back to the idle look and the first tab
        QCOMPARE(child<QTabWidget>("PageControl1")->currentIndex(), 0);
        QCOMPARE(text("StaticTextIa"), QStringLiteral("????????,??"));
        QCOMPARE(text("StaticTextPre3Io"), QStringLiteral("????????,??"));
        QCOMPARE(child<TVrBlinkLed>("VrBlinkLedBit15")->ColorIndex(), 1);
    }

    void monitoringIsIdleWhileTheFirstTabIsShown()
    {
        m_krv->statusWord = 0xFFFF;
        startManual();
        QVERIFY(exchange());
        QCOMPARE(child<TVrBlinkLed>("VrBlinkLedBit0")->ColorIndex(), 1);
        QCOMPARE(text("StaticTextIa"), QStringLiteral("????????,??"));
    }

    // The values come out of every accepted answer; the tab's fields follow only while it is shown.
    void readingsFlowWhateverTabIsShown()
    {
        m_krv->statusWord = 0x0021; // bits 5 and 0
        m_krv->currents = {12345, 0, 1, 0, 0, 0, 0, 0};
        QSignalSpy readings(&m_window->readings(), &ReadingStream::readings);
        QSignalSpy started(&m_window->readings(), &ReadingStream::testStarted);
        startManual();
        QCOMPARE(started.size(), 1);
        QVERIFY(exchange());
        QCOMPARE(readings.size(), 1);
        const Readings hidden = readings.at(0).at(0).value<Readings>();
        QCOMPARE(text("StaticTextIa"), QStringLiteral("????????,??"));

        child<QTabWidget>("PageControl1")->setCurrentIndex(1);
        QVERIFY(exchange());
        QCOMPARE(readings.size(), 2);
        const Readings shown = readings.at(1).at(0).value<Readings>();
        QCOMPARE(text("StaticTextIa"), QStringLiteral("123,45"));
        QCOMPARE(shown.size(), hidden.size());
        for (int i = 0; i < shown.size(); ++i) {
            QCOMPARE(shown[i].quantity, hidden[i].quantity);
            QCOMPARE(shown[i].value, hidden[i].value);
        }
        const auto find = [&](const QString &quantity) {
            for (const Reading &r : shown)
                if (r.quantity == quantity)
                    return r;
            return Reading{};
        };
        QCOMPARE(find(QStringLiteral("Ia")).value, 123.45);
        QCOMPARE(find(QStringLiteral("Ia")).unit, QStringLiteral("A"));
        QCOMPARE(find(QStringLiteral("Ic")).value, 0.01);
        QCOMPARE(find(QStringLiteral("Времязависимая МТЗ в фазах")).value, 1.0);
        QVERIFY(find(QStringLiteral("Тревога МТЗ на землю")).state);
        QCOMPARE(find(QStringLiteral("Токовая отсечка в фазах")).value, 0.0);

        QSignalSpy stopped(&m_window->readings(), &ReadingStream::testStopped);
        stopExpectingTheSummaryBox();
        QCOMPARE(stopped.size(), 1);
    }

    void addressChangeMovesLaterRequests()
    {
        child<TRxSpinEdit>("RxSpinEditAddr")->setValue(7);
        m_dialogs->answerQuestion(AddressQuestion, true);
        m_dialogs->expectInformation(QStringLiteral("Новый сетевой адрес записан успешно!"));
        m_window->BitBtnAddrClick();
        QCOMPARE(m_dialogs->texts("question"),
                 QStringList{QStringLiteral("Вы действительно хотите изменить сетевой адрес?")});
        QCOMPARE(m_dialogs->texts("information"), QStringList{QStringLiteral("Новый сетевой адрес записан успешно!")});
        QCOMPARE(text("StaticTextAddr"), QStringLiteral("7"));
        QCOMPARE(int(m_krv->address()), 7);

        startManual();
        QVERIFY(exchange());
        QCOMPARE(int(m_host->frames().TxFrame[0]), 7);
        stopExpectingTheSummaryBox();
        QCOMPARE(line(m_window->journalLines(), QStringLiteral("Принято без")), QStringLiteral("Принято без ошибок: 1"));
        QVERIFY(m_window->journalLines().contains(QStringLiteral("Сетевой адрес: 7")));
    }

    void addressChangeToTheSameAddressDoesNothing()
    {
        child<TRxSpinEdit>("RxSpinEditAddr")->setValue(1);
        m_window->BitBtnAddrClick();
        QVERIFY(m_dialogs->shown.isEmpty());
        QCOMPARE(m_krv->requestsSeen, 1);
    }

    void addressChangeDeclinedSendsNothing()
    {
        child<TRxSpinEdit>("RxSpinEditAddr")->setValue(9);
        m_dialogs->answerQuestion(AddressQuestion, false);
        m_window->BitBtnAddrClick();
        QCOMPARE(m_krv->requestsSeen, 1);
        QCOMPARE(text("StaticTextAddr"), QStringLiteral("1"));
    }

    void addressChangeWithoutAnswer()
    {
        m_krv->script.push_back(sim::Action::Drop);
        child<TRxSpinEdit>("RxSpinEditAddr")->setValue(9);
        m_dialogs->answerQuestion(AddressQuestion, true);
        m_dialogs->expectError(QStringLiteral("Устройство не отвечает на запросы:\r1. Проверьте питание и схему "
                                              "подключения устройства;\r2. Повторите поиск устройства."));
        m_window->BitBtnAddrClick();
        QCOMPARE(m_dialogs->texts("error"),
                 QStringList{QStringLiteral("Устройство не отвечает на запросы:\r1. Проверьте питание и схему "
                                            "подключения устройства;\r2. Повторите поиск устройства.")});
        QCOMPARE(text("StaticTextAddr"), QStringLiteral("1"));
        QVERIFY(m_window->isVisible());
    }

    void addressChangeWithCorruptedAnswer()
    {
        m_krv->script.push_back(sim::Action::Corrupt);
        child<TRxSpinEdit>("RxSpinEditAddr")->setValue(9);
        m_dialogs->answerQuestion(AddressQuestion, true);
        m_dialogs->expectWarning(QStringLiteral("Произошла ошибка CRC!\rНовый сетевой адрес не записан!"));
        m_window->BitBtnAddrClick();
        QCOMPARE(m_dialogs->texts("warning"),
                 QStringList{QStringLiteral("Произошла ошибка CRC!\rНовый сетевой адрес не записан!")});
        QCOMPARE(text("StaticTextAddr"), QStringLiteral("1"));
    }

    void addressChangeOnAClosedPortClosesTheWindow()
    {
        m_host->comm.Close();
        child<TRxSpinEdit>("RxSpinEditAddr")->setValue(9);
        m_dialogs->expectError(QStringLiteral("Порт закрыт!\rПроверьте параметры подключения и повторите поиск устройства."));
        m_window->BitBtnAddrClick();
        QCOMPARE(m_dialogs->texts("error"),
                 QStringList{QStringLiteral(
                     "Порт закрыт!\rПроверьте параметры подключения и повторите поиск устройства.")});
        QVERIFY(!m_window->isVisible());
    }

    // An exception answer passes the CRC check; it must not read as "written".
    void addressWriteRefusedByTheDevice()
    {
        m_krv->faults.exceptionCode = 3;
        m_krv->script.push_back(sim::Action::Refuse);
        child<TRxSpinEdit>("RxSpinEditAddr")->setValue(9);
        m_dialogs->answerQuestion(AddressQuestion, true);
        m_dialogs->expectWarning(QStringLiteral("Устройство отклонило запрос!\rКод исключения: 03 (недопустимое значение "
                                                "данных)\rНовый сетевой адрес не записан!"));
        m_window->BitBtnAddrClick();
        QCOMPARE(text("StaticTextAddr"), QStringLiteral("1"));
        QVERIFY(m_window->isVisible());
    }

    void refusalsDuringATestCountButShowNoValues()
    {
        m_krv->currents = {12345, 0, 0, 0, 0, 0, 0, 0};
        m_krv->statusWord = 0x0001;
        child<QTabWidget>("PageControl1")->setCurrentIndex(1);
        startManual();
        QVERIFY(exchange());
        m_krv->script.push_back(sim::Action::Refuse);
        QVERIFY(m_host->exchange(*m_window, 5));
        QCOMPARE(text("StaticTextIa"), QStringLiteral("123,45"));
        QCOMPARE(child<TVrBlinkLed>("VrBlinkLedBit0")->ColorIndex(), 2);
        stopExpectingTheSummaryBox();
        QCOMPARE(line(m_window->journalLines(), QStringLiteral("Принято без")), QStringLiteral("Принято без ошибок: 2"));
    }

    // The adapter pulled out mid-test: one message naming the device, the test
    // stopped with its summary, and the journal can still be saved.
    void lostPortStopsTheTestWithOneMessage()
    {
        startManual();
        QVERIFY(exchange());
        m_window->TimerTestTimer(); // a request is out when the port goes
        m_dialogs->expectError(QStringLiteral("Связь с портом /dev/ttyUSB0 потеряна: адаптер отключен или порт закрыт.\r"
                                              "Тест остановлен. Результаты теста содержатся в журнале ошибок.\r"
                                              "Проверьте подключение и повторите поиск устройства."));
        m_host->bus.unplug();
        QTRY_COMPARE(m_dialogs->texts("error").size(), 1);
        QVERIFY(!m_host->comm.Active());
        m_window->TimerTestTimer(); // a late tick finds the port closed: nothing more
        const QStringList j = m_window->journalLines();
        QCOMPARE(line(j, QStringLiteral("Отправлено")), QStringLiteral("Отправлено посылок: 1"));
        QCOMPARE(line(j, QStringLiteral("Принято без")), QStringLiteral("Принято без ошибок: 1"));
        QCOMPARE(line(j, QStringLiteral("Утеряно")), QStringLiteral("Утеряно посылок: 0"));
        QVERIFY(child<QPushButton>("BitBtnReport")->isEnabled());
        QVERIFY(child<QPushButton>("BitBtnStart")->isEnabled());
        const QString report = m_fixture->path(QStringLiteral("lost.log"));
        m_dialogs->answerSave(report);
        m_window->BitBtnReportClick();
        QVERIFY(QFileInfo(report).size() > 0);
        QVERIFY(m_window->isVisible());
    }

    // After a loss the window reported, Start says so again at once and starts
    // nothing: the window stays idle and the last test's journal stays for its report.
    void startOnALostPortEndsAtOnce()
    {
        startManual();
        QVERIFY(exchange());
        stopExpectingTheSummaryBox();
        const QStringList journal = m_window->journalLines();
        const QString lost = QStringLiteral("Связь с портом /dev/ttyUSB0 потеряна: адаптер отключен или порт закрыт.\r"
                                            "Проверьте подключение и повторите поиск устройства.");
        m_dialogs->expectError(lost);
        m_host->bus.unplug();
        QTRY_COMPARE(m_dialogs->texts("error").size(), 1);
        for (int attempt = 2; attempt <= 3; ++attempt) {
            m_dialogs->expectError(lost);
            m_window->BitBtnStartClick();
            QCOMPARE(m_dialogs->texts("error").size(), attempt);
            QVERIFY(!m_window->testRunning());
            QVERIFY(child<QPushButton>("BitBtnStart")->isEnabled());
            QVERIFY(!child<QPushButton>("BitBtnStop")->isEnabled());
            QVERIFY(child<QPushButton>("BitBtnReport")->isEnabled());
            QVERIFY(child<QPushButton>("BitBtnAddr")->isEnabled());
            QCOMPARE(m_window->journalLines(), journal);
        }
    }

    void baudChangeSendsTheCodeAndClosesTheWindow_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("code");
        QTest::newRow("9600") << 9600 << 3;
        QTest::newRow("19200") << 19200 << 4;
    }
    void baudChangeSendsTheCodeAndClosesTheWindow()
    {
        QFETCH(int, baud);
        QFETCH(int, code);
        m_host->device.address = 1;
        m_window->findChild<QLabel *>(QStringLiteral("StaticTextBaud"))
            ->setText(baud == 9600 ? QStringLiteral("19200") : QStringLiteral("9600"));
        child<TRxSpinEdit>("RxSpinEditBaud")->setValue(baud);
        m_krv->baudCode = 0;
        m_dialogs->answerQuestion(QStringLiteral("Вы действительно хотите изменить скорость обмена?"), true);
        m_dialogs->expectInformation(QStringLiteral("Новое значение скорости обмена записано успешно!\rИзменения "
                                                    "вступят в силу только после выключения питания устройства!"));
        m_window->BitBtnBaudClick();
        QCOMPARE(int(m_krv->baudCode), code);
        QCOMPARE(m_dialogs->texts("information"),
                 QStringList{QStringLiteral("Новое значение скорости обмена записано успешно!\rИзменения вступят в "
                                            "силу только после выключения питания устройства!")});
        QVERIFY(!m_window->isVisible());
        QCOMPARE(text("StaticTextBaud"), baud == 9600 ? QStringLiteral("19200") : QStringLiteral("9600"));
    }

    void baudChangeToTheShownRateSendsNothing()
    {
        child<TRxSpinEdit>("RxSpinEditBaud")->setValue(19200);
        m_window->BitBtnBaudClick();
        QVERIFY(m_dialogs->shown.isEmpty());
        QCOMPARE(m_krv->requestsSeen, 1);
    }

    void reportIsTheJournalInWindows1251()
    {
        startManual();
        stopExpectingTheSummaryBox();
        const QString first = m_fixture->path(QStringLiteral("first.log"));
        const QString second = m_fixture->path(QStringLiteral("second.log"));
        m_dialogs->answerSave(first);
        m_window->BitBtnReportClick();
        QCOMPARE(QFileInfo(m_dialogs->lastSaveProposal).fileName(),
                 QStringLiteral("KRV-%1-%2-%3.log")
                     .arg(QDate::currentDate().day())
                     .arg(QDate::currentDate().month())
                     .arg(QDate::currentDate().year()));
        m_dialogs->answerSave(second);
        m_window->BitBtnReportClick();
        // The next report is proposed in the folder chosen before.
        QCOMPARE(QFileInfo(m_dialogs->lastSaveProposal).absolutePath(), QFileInfo(first).absolutePath());

        QFile file(second);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.endsWith("\r\n"));
        QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
        QStringDecoder decode("windows-1251");
        const QStringList lines = QString(decode(bytes)).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.mid(0, lines.size() - 1), m_window->journalLines());
        QCOMPARE(lines.filter(QStringLiteral("Отчет создан в ")).size(), 2);
        QVERIFY(bytes.contains(QByteArray::fromHex("CEF2F7E5F220F1EEE7E4E0ED20E220"))); // "Отчет создан в "

        QFile firstFile(first);
        QVERIFY(firstFile.open(QIODevice::ReadOnly));
        QCOMPARE(QString(QStringDecoder("windows-1251")(firstFile.readAll())).count(QStringLiteral("Отчет создан в ")),
                 1);
    }

    // A report that cannot be written shows why, keeps the old file and adds no
    // "created" line; the working folder never follows the dialog.
    void reportThatCannotBeWritten_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("full disk") << false;
        QTest::newRow("read-only folder") << true;
    }
    void reportThatCannotBeWritten()
    {
        QFETCH(bool, readOnly);
        const QString workingFolder = QDir::currentPath();
        startManual();
        stopExpectingTheSummaryBox();
        TestDisk disk;
        const QString path = disk.filePath(QStringLiteral("KRV.log"));
        m_dialogs->answerSave(path);
        m_window->BitBtnReportClick();
        QCOMPARE(QDir::currentPath(), workingFolder);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray old = file.readAll();
        file.close();
        const QStringList journal = m_window->journalLines();
        QCOMPARE(journal.filter(QStringLiteral("Отчет создан в ")).size(), 1);

        const QString failed = QStringLiteral("Не удалось записать отчет в файл ") + path + QStringLiteral(":\r");
        if (readOnly) {
            if (!disk.makeReadOnly())
                QSKIP("root without a tmpfs writes into any folder");
            m_dialogs->answerSave(path);
            m_dialogs->expectError(failed + QStringLiteral("Запись в эту папку запрещена."));
            m_window->BitBtnReportClick();
        } else {
            m_dialogs->answerSave(path);
            disk.whileFull([&] {
                m_dialogs->expectError(failed
                                       + (disk.fullError() == ENOSPC ? QStringLiteral("На диске нет свободного места.")
                                                                     : QStringLiteral("Файл слишком велик для этого диска.")));
                m_window->BitBtnReportClick();
            });
        }
        QCOMPARE(m_dialogs->texts("error").size(), 1);
        QCOMPARE(m_window->journalLines(), journal);
        QCOMPARE(child<QPlainTextEdit>("Memo1")->toPlainText(), journal.join(QLatin1Char('\n')));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), old);
        QCOMPARE(disk.files(), QStringList{QStringLiteral("KRV.log")});
    }

    void cancelledReport()
    {
        startManual();
        stopExpectingTheSummaryBox();
        const int lines = m_window->journalLines().size();
        m_dialogs->answerSave(QString());
        m_dialogs->expectInformation(QStringLiteral("Отчет не создан!"));
        m_window->BitBtnReportClick();
        QCOMPARE(m_dialogs->texts("information").last(), QStringLiteral("Отчет не создан!"));
        QCOMPARE(m_window->journalLines().size(), lines);
    }

    void closingDuringATestStopsWithoutSummary()
    {
        child<TRxSpinEdit>("RxSpinEditTimeOut")->setValue(50);
        m_window->BitBtnStartClick();
        QVERIFY(child<QTimer>("TimerTest")->isActive());
        QTRY_VERIFY(m_krv->requestsSeen >= 2); // the test is under way
        m_window->close();
        QVERIFY(!child<QTimer>("TimerTest")->isActive());
        QCOMPARE(line(m_window->journalLines(), QStringLiteral("Тест остановлен")), QStringLiteral("<none>"));
        QVERIFY(m_dialogs->shown.isEmpty());
    }

    // A window manager's close request reaches the window as a close event on its
    // platform window; one request must end the modal loop, mid-test too.
    void oneCloseRequestClosesTheWindowMidTest()
    {
        child<TRxSpinEdit>("RxSpinEditTimeOut")->setValue(50);
        m_window->hide();
        bool requested = false, accepted = false, stillOpen = false;
        QTimer::singleShot(0, m_window.get(), [&] { m_window->BitBtnStartClick(); });
        QTimer request;
        connect(&request, &QTimer::timeout, this, [&] {
            if (requested || m_krv->requestsSeen < 4)
                return; // the test is under way first
            requested = true;
            QCloseEvent close;
            QCoreApplication::sendEvent(m_window->windowHandle(), &close);
            accepted = close.isAccepted();
            if (m_window->isVisible()) {
                stillOpen = true;
                m_window->reject(); // end the loop all the same, so the failure is reported
            }
        });
        request.start(10);
        m_window->exec();
        QVERIFY(requested);
        QVERIFY(accepted);
        QVERIFY(!stillOpen);
        QVERIFY(!child<QTimer>("TimerTest")->isActive());
    }

    void countEditorChangeTakesEffectAtTheNextTick()
    {
        startManual(100);
        QVERIFY(exchange());
        QVERIFY(exchange());
        child<TRxSpinEdit>("RxSpinEditCount")->setValue(50);
        QCOMPARE(child<QProgressBar>("ProgressBar1")->maximum(), 100);
        // sent (2) is not above 50: the test goes on
        m_window->TimerTestTimer();
        QVERIFY(m_dialogs->texts("information").isEmpty());
    }

    void editorValuesAreKeptForTheNextWindow()
    {
        child<TRxSpinEdit>("RxSpinEditCount")->setValue(350);
        child<TRxSpinEdit>("RxSpinEditTimeOut")->setValue(120);
        m_window->close();
        m_window = std::make_unique<TFKRV>(*m_host, nullptr);
        m_window->show();
        QCOMPARE(child<TRxSpinEdit>("RxSpinEditCount")->IntValue(), 350);
        QCOMPARE(child<TRxSpinEdit>("RxSpinEditTimeOut")->IntValue(), 120);
        IniFile ini(TFormStorage::filePath());
        QCOMPARE(ini.ReadString(QStringLiteral("TFKRV"), QStringLiteral("RxSpinEditCount_Value")), QStringLiteral("350"));
        QCOMPARE(ini.ReadString(QStringLiteral("TFKRV"), QStringLiteral("FormVersion")), QStringLiteral("0"));
    }
};

QTEST_MAIN(TestKrvWindow)
#include "test_krvwindow.moc"
