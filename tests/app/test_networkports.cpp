// Ports that lead to a serial device server: set up in "Порты", shown in the
// main window, and the search's start when the address is wrong, the server is
// not there, or the user stops a connect that takes a while.
#include "app/mainwindow.h"
#include "app/picturebutton.h"
#include "app/portsdialog.h"
#include "bus/buschannel.h"
#include "bus/portmap.h"
#include "bus/vacomm.h"
#include "settings/formstorage.h"
#include "support/fakelink.h"
#include "support/tcppeer.h"
#include "support/testfixture.h"
#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <memory>

namespace {

QString cell(const QTableWidget *grid, int row, int column)
{
    const QTableWidgetItem *item = grid->item(row, column);
    return item ? item->text() : QString();
}

QString malformed(const QString &entry, const QString &reason)
{
    return QStringLiteral("Неверный адрес порта \"%1\": %2.\rОжидается tcp://узел:порт, например "
                          "tcp://192.168.1.10:4001.")
        .arg(entry, reason);
}

} // namespace

class TestNetworkPorts : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFixture> fixture;
    std::unique_ptr<TFOrvekConfigurator> main;

    ScriptedDialogs &dialogs() { return fixture->dialogs; }
    QString settings() const { return TFormStorage::filePath(); }

    // The dialog as the main window's "..." button shows it; `drive` runs while it is open.
    void withPortsDialog(const std::function<void(TFPorts &)> &drive)
    {
        bool driven = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!driven && FPorts && FPorts->isVisible()) {
                driven = true;
                drive(*FPorts);
                if (FPorts)
                    FPorts->accept();
            }
        });
        poll.start(5);
        QTest::mouseClick(main->BitBtnPorts, Qt::LeftButton);
        QVERIFY(driven);
    }

private slots:
    void init()
    {
        fixture = std::make_unique<TestFixture>();
        main = std::make_unique<TFOrvekConfigurator>();
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main.get()));
    }
    void cleanup()
    {
        main.reset();
        QVERIFY2(fixture->clean(), fixture->report());
        fixture.reset();
    }

    // --- "Порты" ---

    // What is typed is kept in its plain form.
    void addressIsAssigned_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("IPv4") << "tcp://192.168.1.10:4001" << "tcp://192.168.1.10:4001";
        QTest::newRow("blanks and capitals") << "  TCP://10.0.0.7:502 " << "tcp://10.0.0.7:502";
        QTest::newRow("leading zeros") << "tcp://010.000.000.007:502" << "tcp://10.0.0.7:502";
        QTest::newRow("IPv6") << "tcp://[fe80::1]:4001" << "tcp://[fe80::1]:4001";
        QTest::newRow("host name") << "tcp://gw-12.plant.local:950" << "tcp://gw-12.plant.local:950";
    }
    void addressIsAssigned()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        main->RxSpinEdit1->setValue(2);
        withPortsDialog([&](TFPorts &ports) {
            QCOMPARE(ports.selectedPort(), 2);
            QCOMPARE(ports.EditAddress->text(), QString()); // a serial port: nothing to edit
            QVERIFY(!ports.BitBtnAssignAddress->isEnabled());
            QTest::keyClicks(ports.EditAddress, typed);
            QVERIFY(ports.BitBtnAssignAddress->isEnabled());
            QTest::mouseClick(ports.BitBtnAssignAddress, Qt::LeftButton);
            QCOMPARE(cell(ports.StringGridPorts, 1, TFPorts::ColPortDevice), stored);
            QCOMPARE(cell(ports.StringGridPorts, 1, TFPorts::ColAssignment), QStringLiteral("назначено"));
            QCOMPARE(cell(ports.StringGridPorts, 1, TFPorts::ColNow), QStringLiteral("сетевой порт"));
            QCOMPARE(ports.EditAddress->text(), stored);
            QVERIFY(!ports.BitBtnAssignAddress->isEnabled()); // nothing new to assign
        });
        QCOMPARE(ConfiguredPort(settings(), 2), stored);
        QCOMPARE(main->RxSpinEdit1->toolTip(), stored);
        QVERIFY(main->LabelServerLine->isVisible());
    }

    void malformedAddressIsRefused_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no port") << "tcp://192.168.1.10" << "не указан номер порта TCP";
        QTest::newRow("port 0") << "tcp://192.168.1.10:0" << "номер порта TCP должен быть от 1 до 65535";
        QTest::newRow("port over 65535") << "tcp://192.168.1.10:65536" << "номер порта TCP должен быть от 1 до 65535";
        QTest::newRow("unknown scheme") << "udp://192.168.1.10:4001"
                                        << "вид подключения \"udp://\" не поддерживается, только tcp://";
        QTest::newRow("no scheme") << "192.168.1.10:4001" << "не указано начало tcp://";
    }
    void malformedAddressIsRefused()
    {
        QFETCH(QString, typed);
        QFETCH(QString, reason);
        AssignPort(settings(), 1, QStringLiteral("/dev/ttyS0"));
        dialogs().expectError(malformed(typed, reason));
        TFPorts ports(main.get(), 1);
        ports.show();
        ports.EditAddress->setText(typed);
        // Enter in the field assigns, and the window stays.
        QTest::keyClick(ports.EditAddress, Qt::Key_Return);
        QCOMPARE(dialogs().texts(QStringLiteral("error")).size(), 1);
        QVERIFY(ports.isVisible());
        QCOMPARE(ConfiguredPort(settings(), 1), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(ports.EditAddress->text(), typed); // left to be corrected
    }

    void networkPortIsEditedAndRemoved()
    {
        AssignPort(settings(), 3, QStringLiteral("tcp://192.168.1.10:4001"));
        TFPorts ports(main.get(), 1);
        ports.show();
        QCOMPARE(ports.EditAddress->text(), QString());
        ports.selectPort(3);
        QCOMPARE(ports.EditAddress->text(), QStringLiteral("tcp://192.168.1.10:4001"));
        ports.EditAddress->setText(QStringLiteral("tcp://192.168.1.10:4002"));
        ports.BitBtnAssignAddressClick();
        QCOMPARE(ConfiguredPort(settings(), 3), QStringLiteral("tcp://192.168.1.10:4002"));

        QVERIFY(ports.BitBtnDefault->isEnabled());
        ports.BitBtnDefaultClick();
        QCOMPARE(ConfiguredPort(settings(), 3), QString());
        QCOMPARE(cell(ports.StringGridPorts, 2, TFPorts::ColPortDevice), QStringLiteral("/dev/ttyUSB2"));
        QCOMPARE(ports.EditAddress->text(), QString());
    }

    // An entry typed into the settings file by hand shows what is wrong with it.
    void malformedEntryInTheFileIsMarked()
    {
        IniFile(settings()).WriteString(QStringLiteral("Ports"), QStringLiteral("COM4"), QStringLiteral("tcp://plc:99999"));
        TFPorts ports(main.get(), 4);
        QCOMPARE(cell(ports.StringGridPorts, 3, TFPorts::ColNow), QStringLiteral("ошибка в адресе"));
        QCOMPARE(ports.StringGridPorts->item(3, TFPorts::ColNow)->toolTip(),
                 displayText(malformed(QStringLiteral("tcp://plc:99999"),
                                       QStringLiteral("номер порта TCP должен быть от 1 до 65535"))));
        QCOMPARE(ports.EditAddress->text(), QStringLiteral("tcp://plc:99999")); // there to be corrected
    }

    void checkSaysHowItWent_data()
    {
        QTest::addColumn<bool>("serverThere");
        QTest::addColumn<QString>("starts");
        QTest::newRow("connected") << true << "Подключение к 127.0.0.1:%1 установлено за ";
        QTest::newRow("refused") << false << "Не удалось подключиться к 127.0.0.1:%1: подключение отклонено.\n";
    }
    void checkSaysHowItWent()
    {
        QFETCH(bool, serverThere);
        QFETCH(QString, starts);
        ScriptedPeer peer;
        const quint16 port = serverThere ? peer.port() : closedLoopbackPort();
        TFPorts ports(main.get(), 1);
        ports.show();
        QVERIFY(!ports.BitBtnCheck->isEnabled());
        ports.EditAddress->setText(QStringLiteral("tcp://127.0.0.1:%1").arg(port));
        QVERIFY(ports.BitBtnCheck->isEnabled());
        QTest::mouseClick(ports.BitBtnCheck, Qt::LeftButton);
        const QString text = ports.LabelCheck->text();
        QVERIFY2(text.startsWith(starts.arg(port)), qPrintable(text));
        QVERIFY(ports.BitBtnCheck->isEnabled());
        QCOMPARE(ConfiguredPort(settings(), 1), QString()); // a check assigns nothing
        if (serverThere)
            QVERIFY(peer.connection(0));
    }

    // Closing the window while a check waits ends the wait and says nothing.
    void closingEndsACheck()
    {
        SilentListener silent;
        QVERIFY(silent.isReady());
        TFPorts ports(main.get(), 1);
        ports.show();
        ports.RxSpinEditConnectTimeout->setValue(30000);
        ports.EditAddress->setText(silent.address());
        bool heldMeanwhile = false;
        QTimer::singleShot(100, &ports, [&] {
            heldMeanwhile = !ports.BitBtnCheck->isEnabled() && !ports.BitBtnAssignAddress->isEnabled();
            ports.reject();
        });
        QElapsedTimer clock;
        clock.start();
        ports.BitBtnCheckClick();
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(heldMeanwhile);
        QVERIFY(!ports.isVisible());
        QCOMPARE(ports.LabelCheck->text(), QString());
    }

    void connectTimeoutIsKept()
    {
        withPortsDialog([&](TFPorts &ports) {
            QCOMPARE(ports.RxSpinEditConnectTimeout->IntValue(), 3000);
            ports.RxSpinEditConnectTimeout->setValue(1500);
        });
        QCOMPARE(IniFile(settings()).ReadString(QStringLiteral("Ports"), QStringLiteral("ConnectTimeout")),
                 QStringLiteral("1500"));
        withPortsDialog([&](TFPorts &ports) { QCOMPARE(ports.RxSpinEditConnectTimeout->IntValue(), 1500); });
    }

    // --- the main window ---

    // The rate and parity of a network port are the server's: the note says so,
    // and the choice stays as it was.
    void lineNoteFollowsThePort()
    {
        AssignPort(settings(), 2, QStringLiteral("tcp://192.168.1.10:4001"));
        main->RadioGroup1->setItemIndex(1);
        QVERIFY(!main->LabelServerLine->isVisible());
        const int height = main->LabelServerLine->parentWidget()->height();
        main->RxSpinEdit1->setValue(2);
        QVERIFY(main->LabelServerLine->isVisible());
        QCOMPARE(main->RxSpinEdit1->toolTip(), QStringLiteral("tcp://192.168.1.10:4001"));
        QVERIFY(main->RadioGroup1->isEnabled());
        QCOMPARE(main->RadioGroup1->ItemIndex(), 1);
        QCOMPARE(main->LabelServerLine->parentWidget()->height(), height); // nothing moved
        main->RxSpinEdit1->setValue(3);
        QVERIFY(!main->LabelServerLine->isVisible());
    }

    // A wrong entry in the settings file: one box quoting it, nothing opened.
    void malformedEntryStopsTheSearch_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no port") << "tcp://192.168.1.10" << "не указан номер порта TCP";
        QTest::newRow("port 0") << "tcp://192.168.1.10:0" << "номер порта TCP должен быть от 1 до 65535";
        QTest::newRow("port 70000") << "tcp://192.168.1.10:70000" << "номер порта TCP должен быть от 1 до 65535";
        QTest::newRow("unknown scheme") << "rfc2217://192.168.1.10:4001"
                                        << "вид подключения \"rfc2217://\" не поддерживается, только tcp://";
        QTest::newRow("one slash") << "tcp:/192.168.1.10:4001" << "после \"tcp:\" нужны две косые черты";
        QTest::newRow("bare address") << "192.168.1.10" << "не указано начало tcp://";
        QTest::newRow("bad IPv4") << "tcp://192.168.1.300:4001"
                                  << "\"192.168.1.300\" не является адресом IPv4 (четыре числа от 0 до 255 через точку)";
    }
    void malformedEntryStopsTheSearch()
    {
        QFETCH(QString, entry);
        QFETCH(QString, reason);
        IniFile(settings()).WriteString(QStringLiteral("Ports"), QStringLiteral("COM1"), entry);
        QSignalSpy opened(main->VaComm1, &TVaComm::OnOpen);
        dialogs().expectError(QStringLiteral("Specified device not found (%1).\r\r").arg(entry) + malformed(entry, reason));
        QTest::mouseClick(main->BitBtnKRV, Qt::LeftButton);
        QCOMPARE(dialogs().texts(QStringLiteral("error")).size(), 1);
        QVERIFY(opened.isEmpty());
        QVERIFY(!main->VaComm1->Active());
        QVERIFY(main->DeviceGroup->isEnabled());
    }

    // Why a connection failed, with the component's own English text first.
    void failedConnectIsExplained_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("russian");
        QTest::newRow("refused")
            << "closed port"
            << QStringLiteral("Can't open specified device %1 (Error 111, %2)").arg("%1", qt_error_string(ECONNREFUSED))
            << "Не удалось подключиться к %1: подключение отклонено.\rНа этом порту TCP никто не принимает "
               "подключений: проверьте номер порта и что преобразователь работает в режиме TCP-сервера. Если он "
               "принимает только одно подключение, закройте другую программу, которая с ним работает.";
        QTest::newRow("timed out")
            << "silent"
            << QStringLiteral("Can't open specified device %1 (Error 110, %2)").arg("%1", qt_error_string(ETIMEDOUT))
            << "Не удалось подключиться к %1: узел не ответил вовремя.\rПроверьте, что преобразователь включен и "
               "подключен к сети, что его адрес указан верно и что межсетевой экран не блокирует подключение.";
        QTest::newRow("unknown host")
            << "unknown" << "Specified device not found (%1)."
            << "Не удалось подключиться к %1: узел с именем \"nonexistent.invalid\" не найден.\rПроверьте, "
               "правильно ли записано имя, или укажите IP-адрес преобразователя.";
    }
    void failedConnectIsExplained()
    {
        QFETCH(QString, where);
        QFETCH(QString, english);
        QFETCH(QString, russian);
        SilentListener silent;
        QString hostPort = QStringLiteral("nonexistent.invalid:4001");
        if (where == QLatin1String("closed port"))
            hostPort = QStringLiteral("127.0.0.1:%1").arg(closedLoopbackPort());
        else if (where == QLatin1String("silent"))
            hostPort = silent.address().mid(6);
        const QString address = QStringLiteral("tcp://") + hostPort;
        AssignPort(settings(), 1, address);
        SetConnectTimeoutMs(settings(), 700);
        dialogs().expectError(english.arg(address) + QStringLiteral("\r\r") + russian.arg(hostPort));
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(main->BitBtnKRV, Qt::LeftButton);
        QCOMPARE(dialogs().shown.size(), 1);
        QVERIFY(clock.elapsed() < 5000); // the stored timeout, not the default
        QVERIFY(!main->VaComm1->Active());
        QVERIFY(main->DeviceGroup->isEnabled());
        QCOMPARE(main->StaticTextMsg->text(), QString());
    }

    // While a network port connects the window is alive: a second click starts
    // nothing, and Ctrl+C or closing the window ends the connect without a box.
    void duringTheConnect_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("second click") << "click";
        QTest::newRow("Ctrl+C") << "ctrl+c";
        QTest::newRow("window closed") << "close";
    }
    void duringTheConnect()
    {
        QFETCH(QString, action);
        AssignPort(settings(), 1, QStringLiteral("tcp://192.168.1.10:4001"));
        FakeLinkFactory links;
        bool heldMeanwhile = false;
        QString status;
        links.prepare = [&](FakeLink &link) {
            link.duringOpen = [&] {
                heldMeanwhile = !main->DeviceGroup->isEnabled() && main->VaComm1->Opening();
                status = main->StaticTextMsg->text();
                if (action == QLatin1String("click"))
                    main->BitBtnKRVClick(TagZDLT);
                else if (action == QLatin1String("ctrl+c"))
                    QTest::keyClick(main->RxSpinEdit4, Qt::Key_C, Qt::ControlModifier);
                else
                    main->close();
            };
        };
        main->channel().setLinkFactory(links.factory());
        QSignalSpy closed(main->VaComm1, &TVaComm::OnClose);
        QTest::mouseClick(main->BitBtnKRV, Qt::LeftButton);
        QVERIFY(heldMeanwhile);
        QCOMPARE(status, QStringLiteral("подключение..."));
        QCOMPARE(links.created.size(), 1);
        QVERIFY(!main->VaComm1->Opening());
        QCOMPARE(main->StaticTextMsg->text(), QString());
        if (action == QLatin1String("click")) {
            QVERIFY(main->VaComm1->Active()); // the first search runs, the second never started
            QCOMPARE(main->search().DeviceKind, int(TagKRV));
            main->Action1Execute();
        } else {
            QVERIFY(!main->VaComm1->Active());
            QVERIFY(closed.isEmpty()); // never opened
            QVERIFY(main->DeviceGroup->isEnabled());
        }
    }

    // The same with a real connect that would wait for the whole timeout.
    void ctrlCEndsARealConnect()
    {
        SilentListener silent;
        QVERIFY(silent.isReady());
        AssignPort(settings(), 1, silent.address());
        SetConnectTimeoutMs(settings(), 30000);
        QTimer::singleShot(150, main.get(), [&] { QTest::keyClick(main->RxSpinEdit2, Qt::Key_C, Qt::ControlModifier); });
        QElapsedTimer clock;
        clock.start();
        main->BitBtnKRVClick(TagKRV);
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!main->VaComm1->Active());
        QVERIFY(!main->VaComm1->Opening());
        QVERIFY(main->DeviceGroup->isEnabled());
    }
};

QTEST_MAIN(TestNetworkPorts)
#include "test_networkports.moc"
