#include "devices/c3940fmain.h"
#include "sim/thermal.h"
#include "support/fakelink.h"
#include "support/testfixture.h"
#include "support/simrig.h"
#include "support/testfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(sim::Action)

namespace {
const QString Confirm = QStringLiteral(
    "Вы действительно хотите записать новую конфигурацию в энергонезависимую память контроллера?");
const QString NoAnswer = QStringLiteral("Контроллер не отвечает!");

bool isYellow(const QComboBox *list)
{
    return list->palette().color(QPalette::Button) == QColor(Qt::yellow);
}
} // namespace

class TestControllerWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFixture> m_fixture;
    ScriptedDialogs *m_dialogs = nullptr;
    std::unique_ptr<SimHost> m_host;
    sim::ControllerDevice *m_controller = nullptr;
    std::unique_ptr<TFC3940F> m_window;

    template <typename T>
    T *child(const char *name)
    {
        return component<T>(m_window.get(), QString::fromLatin1(name));
    }
    QComboBox *groups() { return child<QComboBox>("ComboBox1"); }
    QComboBox *variants() { return child<QComboBox>("ComboBox2"); }
    QPushButton *writeButton() { return child<QPushButton>("BitBtnWriteToPLC"); }

    // The window as the search leaves it: port open, the answer to the read of
    // the four configuration inputs in RxFrame.
    void openWindow(std::uint8_t config)
    {
        m_controller->config = config;
        m_host->comm.Open();
        RequestLayer &frames = m_host->frames();
        frames.SendReadDiscreteInputs(1, 0x0185, 4);
        QVERIFY(m_host->probe(6));
        m_window = std::make_unique<TFC3940F>(*m_host, nullptr);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    // What a user's choice in a drop-down list does.
    static void choose(QComboBox *list, const QString &item)
    {
        const int index = list->findText(item);
        QVERIFY(index >= 0);
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

    // Runs `during` once while the window waits for the answer to its write.
    void duringTheWait(std::function<void()> during)
    {
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection = connect(&m_host->bus, &sim::Bus::frameLogged, this,
                              [=](qint64, sim::Direction d, const QByteArray &, const QString &) {
                                  if (d != sim::Direction::Request)
                                      return;
                                  disconnect(*connection);
                                  during();
                              });
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<TestFixture>();
        m_dialogs = &m_fixture->dialogs;
        m_host = std::make_unique<SimHost>();
        m_controller = static_cast<sim::ControllerDevice *>(
            m_host->bus.addDevice(std::make_unique<sim::ControllerDevice>(1)));
    }

    void cleanup()
    {
        m_window.reset();
        m_host.reset();
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY2(m_fixture->clean(), m_fixture->report());
        m_fixture.reset();
    }

    void opensWithTheControllersSetUp_data()
    {
        QTest::addColumn<int>("config");
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QString>("group");
        QTest::addColumn<bool>("yellow");
        QTest::newRow("ТРАВ, all nine") << 0x0F << QStringLiteral("ТРАВ") << QStringLiteral("UT1 - UT9") << false;
        QTest::newRow("ТРАВ, no group") << 0x08 << QStringLiteral("ТРАВ") << QString() << true;
        QTest::newRow("first and last group") << 0x05 << QStringLiteral("ЖНКТ") << QStringLiteral("UT4 - UT9") << false;
    }
    void opensWithTheControllersSetUp()
    {
        QFETCH(int, config);
        QFETCH(QString, variant);
        QFETCH(QString, group);
        QFETCH(bool, yellow);
        m_host->device.address = 1;
        m_host->device.line.baudRate = 9600;
        openWindow(std::uint8_t(config));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Система ТРАВ/ЖНКТ Ортикс-Т"));
        QCOMPARE(m_window->size(), QSize(460, 608));
        QCOMPARE(variants()->currentText(), variant);
        QCOMPARE(groups()->currentText(), group);
        QCOMPARE(isYellow(groups()), yellow);
        QVERIFY(!isYellow(variants()));
        QVERIFY(!writeButton()->isEnabled());
        QCOMPARE(child<QLabel>("StaticTextVer")->text(), QStringLiteral("01 от 15.02.23"));
        QCOMPARE(child<QLabel>("StaticTextAddr")->text(), QStringLiteral("1"));
        QCOMPARE(child<QLabel>("StaticTextBaud")->text(), QStringLiteral("9600"));
        QVERIFY(!child<QLabel>("Image1")->pixmap().isNull());
    }

    void groupChosenAfterNoneIsWrittenAndBecomesTheStoredSetUp()
    {
        openWindow(0x08);
        choose(groups(), QStringLiteral("UT1 - UT3"));
        QVERIFY(writeButton()->isEnabled());
        QVERIFY(isYellow(groups())); // until the window closes
        m_dialogs->answerQuestion(Confirm, true);
        m_dialogs->expectInformation(QStringLiteral("Новая конфигурация записана успешно!"));
        const QList<QByteArray> &requests = m_host->requestsFromNow();
        QTest::mouseClick(writeButton(), Qt::LeftButton);
        QCOMPARE(m_dialogs->texts("question"), QStringList{Confirm});
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first(), QByteArray::fromHex("010F018100040109C35F")); // CRC by a bitwise reference
        QCOMPARE(m_dialogs->texts("information"), QStringList{QStringLiteral("Новая конфигурация записана успешно!")});
        QCOMPARE(int(m_controller->config), 0x09);
        QVERIFY(!writeButton()->isEnabled());
        QVERIFY(groups()->isEnabled());
        // The written set-up is now the stored one.
        choose(groups(), QStringLiteral("UT4 - UT6"));
        QVERIFY(writeButton()->isEnabled());
        choose(groups(), QStringLiteral("UT1 - UT3"));
        QVERIFY(!writeButton()->isEnabled());
    }

    void declinedConfirmationSendsNothing()
    {
        openWindow(0x0F);
        choose(groups(), QStringLiteral("UT1 - UT3"));
        m_dialogs->answerQuestion(Confirm, false);
        const QList<QByteArray> &requests = m_host->requestsFromNow();
        m_window->BitBtnWriteToPLCClick();
        QVERIFY(requests.isEmpty());
        QCOMPARE(m_dialogs->shown.size(), 1);
        QVERIFY(writeButton()->isEnabled());
    }

    void eachSelectorComparesOnlyItself()
    {
        openWindow(0x0F);
        choose(groups(), QStringLiteral("UT1 - UT3"));
        choose(variants(), QStringLiteral("ЖНКТ"));
        QVERIFY(writeButton()->isEnabled());
        choose(variants(), QStringLiteral("ТРАВ"));
        QVERIFY(!writeButton()->isEnabled()); // although the group differs from the stored one
    }

    // Nothing but an intact 8-byte echo counts as written.
    void failedWriteKeepsTheStoredSetUp_data()
    {
        QTest::addColumn<sim::Action>("action");
        QTest::addColumn<int>("exceptionCode");
        QTest::addColumn<QString>("warning");
        QTest::newRow("7 bytes") << sim::Action::Short << 0 << NoAnswer;
        QTest::newRow("9 bytes") << sim::Action::Long << 0 << NoAnswer;
        QTest::newRow("no answer") << sim::Action::Drop << 0 << NoAnswer;
        QTest::newRow("8 bytes, wrong CRC")
            << sim::Action::Corrupt << 0 << QStringLiteral("Произошла ошибка CRC!\rНовая конфигурация не записана!");
        QTest::newRow("refused") << sim::Action::Refuse << 3
                                 << QStringLiteral("Устройство отклонило запрос!\rКод исключения: 03 (недопустимое "
                                                   "значение данных)\rНовая конфигурация не записана!");
    }
    void failedWriteKeepsTheStoredSetUp()
    {
        QFETCH(sim::Action, action);
        QFETCH(int, exceptionCode);
        QFETCH(QString, warning);
        openWindow(0x0F);
        m_controller->script.push_back(action);
        m_controller->faults.exceptionCode = std::uint8_t(exceptionCode);
        choose(variants(), QStringLiteral("ЖНКТ"));
        m_dialogs->answerQuestion(Confirm, true);
        m_dialogs->expectWarning(warning);
        m_window->BitBtnWriteToPLCClick();
        QCOMPARE(m_dialogs->texts("warning"), QStringList{warning});
        QVERIFY(m_dialogs->texts("information").isEmpty());
        QVERIFY(writeButton()->isEnabled()); // the user can try again
        choose(variants(), QStringLiteral("ТРАВ"));
        QVERIFY(!writeButton()->isEnabled()); // ТРАВ is still the stored variant
    }

    void secondClickDuringTheWaitStartsNoSecondExchange()
    {
        openWindow(0x0F);
        choose(groups(), QStringLiteral("UT1 - UT6"));
        m_dialogs->answerQuestion(Confirm, true);
        m_dialogs->expectInformation(QStringLiteral("Новая конфигурация записана успешно!"));
        const QList<QByteArray> &requests = m_host->requestsFromNow();
        bool heldDuringTheWait = false;
        Qt::CursorShape cursor = Qt::ArrowCursor;
        duringTheWait([&] {
            heldDuringTheWait = !writeButton()->isEnabled() && !groups()->isEnabled() && !variants()->isEnabled();
            cursor = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
            QTest::mouseClick(writeButton(), Qt::LeftButton);
        });
        QTest::mouseClick(writeButton(), Qt::LeftButton);
        QVERIFY(heldDuringTheWait);
        QCOMPARE(cursor, Qt::WaitCursor);
        QCOMPARE(requests.size(), 1);
        QCOMPARE(m_dialogs->texts("question").size(), 1);
        QCOMPARE(m_dialogs->texts("information"), QStringList{QStringLiteral("Новая конфигурация записана успешно!")});
        QVERIFY(groups()->isEnabled() && variants()->isEnabled());
        QCOMPARE(int(m_controller->config), 0x0B);
    }

    void closingDuringTheWaitShowsNoBox()
    {
        openWindow(0x0F);
        choose(groups(), QStringLiteral("UT7 - UT9"));
        m_dialogs->answerQuestion(Confirm, true);
        duringTheWait([&] { m_window->close(); });
        m_window->BitBtnWriteToPLCClick();
        QVERIFY(!m_window->isVisible());
        QCOMPARE(m_dialogs->shown.size(), 1); // the confirmation only
    }

    // A port error thrown in the middle of the write ends in the error box; the
    // cursor and the controls come back as they were.
    void portErrorRestoresCursorAndControls()
    {
        openWindow(0x0F);
        choose(groups(), QStringLiteral("UT1 - UT3"));
        FakeLinkFactory links;
        links.prepare = [](FakeLink &link) {
            link.purgeError = {BusLink::ErrorKind::Purge, 5, QStringLiteral("Input/output error")};
        };
        m_host->comm.Close();
        m_host->channel().setLinkFactory(links.factory());
        m_host->comm.Open();
        m_dialogs->answerQuestion(Confirm, true);
        m_dialogs->expectError(vaCommErrorText({BusLink::ErrorKind::Purge, 5, QStringLiteral("Input/output error")},
                                               m_host->comm.DeviceName()));
        QTest::mouseClick(writeButton(), Qt::LeftButton);
        QCOMPARE(m_dialogs->texts("error").size(), 1);
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(writeButton()->isEnabled());
        QVERIFY(groups()->isEnabled() && variants()->isEnabled());
        QCOMPARE(links.last()->writeCalls, 0);
    }
};

QTEST_MAIN(TestControllerWindow)
#include "test_controllerwindow.moc"
