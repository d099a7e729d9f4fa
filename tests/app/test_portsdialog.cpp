#include "app/mainwindow.h"
#include "bus/buschannel.h"
#include "app/picturebutton.h"
#include "app/portsdialog.h"
#include "bus/portmap.h"
#include "bus/vacomm.h"
#include "settings/formstorage.h"
#include "support/fakelink.h"
#include "support/fakeserialtree.h"
#include "support/testfixture.h"
#include "widgets/rxspinedit.h"

#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <functional>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace {

const QString ByIdFtdi = QStringLiteral("/dev/serial/by-id/") + QLatin1String(FakeSerialTree::FtdiById);

QStringList rowTexts(const QTableWidget *grid, int row)
{
    QStringList texts;
    for (int column = 0; column < grid->columnCount(); ++column)
        texts << (grid->item(row, column) ? grid->item(row, column)->text() : QString());
    return texts;
}

} // namespace

// The "Порты" window and the error box of a port that cannot be opened, on a fake system tree.
class TestPortsDialog : public QObject
{
    Q_OBJECT

    FakeSerialTree tree;
    std::unique_ptr<SerialSystem> system;
    std::unique_ptr<TestFixture> fixture;
    std::unique_ptr<TFOrvekConfigurator> main;

    // Clicks the main window's port button and runs `drive` on the dialog while it is shown.
    void withPortsDialog(const std::function<void(TFPorts &)> &drive)
    {
        bool driven = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!driven && FPorts && FPorts->isVisible()) {
                driven = true;
                drive(*FPorts);
                FPorts->accept();
            }
        });
        poll.start(5);
        QTest::mouseClick(main->BitBtnPorts, Qt::LeftButton);
        QVERIFY(driven);
        QVERIFY(!FPorts);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tree.isValid());
        QVERIFY(tree.addFtdiAdapter());
        QVERIFY(tree.addPlainTty(QStringLiteral("ttyS0")));
        QVERIFY(tree.addHolder(4242, QStringLiteral("minicom"), QStringLiteral("/dev/ttyUSB0")));
        system = std::make_unique<SerialSystem>(tree.system());
    }

    void init()
    {
        fixture = std::make_unique<TestFixture>();
        setSerialSystem(system.get());
        main = std::make_unique<TFOrvekConfigurator>();
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main.get()));
    }

    void cleanup()
    {
        main.reset();
        setSerialSystem(nullptr);
        QVERIFY2(fixture->clean(), fixture->report());
        fixture.reset();
    }

    void deviceTable()
    {
        TFPorts ports(main.get(), 1);
        QCOMPARE(ports.StringGridDevices->rowCount(), 2);
        QCOMPARE(rowTexts(ports.StringGridDevices, 0),
                 (QStringList{"/dev/ttyS0", "", "", "", "", "", "свободен", "нет (группа dialout)", ""}));
        QCOMPARE(rowTexts(ports.StringGridDevices, 1),
                 (QStringList{"/dev/ttyUSB0", QFileInfo(ByIdFtdi).fileName(), "FT232R USB UART", "FTDI", "A50285BI",
                              "0403:6001", "занят: 4242 (minicom)", "нет (группа dialout)", "16"}));
        QCOMPARE(rowTexts(ports.StringGridPorts, 0),
                 (QStringList{"1", "/dev/ttyUSB0", "по умолчанию", "есть"}));
        QCOMPARE(rowTexts(ports.StringGridPorts, 1),
                 (QStringList{"2", "/dev/ttyUSB1", "по умолчанию", "нет устройства"}));
        QCOMPARE(ports.selectedPort(), 1);
        QVERIFY(!ports.BitBtnAssign->isEnabled()); // no device chosen yet
        QVERIFY(!ports.BitBtnDefault->isEnabled());
    }

    void assignmentIsStoredAndShownInTheTooltip()
    {
        const QString settings = TFormStorage::filePath();
        main->RxSpinEdit1->setValue(3);
        withPortsDialog([&](TFPorts &ports) {
            QCOMPARE(ports.selectedPort(), 3);
            ports.StringGridDevices->selectRow(1); // the adapter with a by-id name
            QVERIFY(ports.BitBtnAssign->isEnabled());
            ports.BitBtnAssignClick();
            ports.selectPort(4);
            ports.StringGridDevices->selectRow(0); // a port without one
            ports.BitBtnAssignClick();
            QCOMPARE(rowTexts(ports.StringGridPorts, 2), (QStringList{"3", ByIdFtdi, "назначено", "/dev/ttyUSB0"}));
            QCOMPARE(rowTexts(ports.StringGridPorts, 3), (QStringList{"4", "/dev/ttyS0", "назначено", "есть"}));
        });
        QCOMPARE(ConfiguredPort(settings, 3), ByIdFtdi);
        QCOMPARE(ConfiguredPort(settings, 4), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(main->RxSpinEdit1->toolTip(), ByIdFtdi);
        QCOMPARE(main->RxSpinEdit1->IntValue(), 3);

        withPortsDialog([&](TFPorts &ports) {
            QVERIFY(ports.BitBtnDefault->isEnabled());
            ports.BitBtnDefaultClick();
            QVERIFY(!ports.BitBtnDefault->isEnabled());
        });
        QCOMPARE(ConfiguredPort(settings, 3), QString());
        QCOMPARE(ResolvePort(settings, 4), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(main->RxSpinEdit1->toolTip(), QStringLiteral("/dev/ttyUSB2"));
    }

    void failedOpenShowsWhatToDo()
    {
        FakeLinkFactory links;
        links.prepare = [](FakeLink &link) {
            link.openError = {BusLink::ErrorKind::OpenFailed, EACCES, QStringLiteral("Permission denied")};
        };
        main->channel().setLinkFactory(links.factory());
        fixture->dialogs.expectError(QStringLiteral(
            "Can't open specified device /dev/ttyUSB0 (Error 13, Permission denied)\r\r"
            "Устройство /dev/ttyUSB0 принадлежит группе dialout, а пользователь ivan в нее не входит.\r"
            "Добавьте его в группу командой:\rsudo usermod -a -G dialout ivan\rи войдите в систему заново."));
        QTest::mouseClick(main->BitBtnKRV, Qt::LeftButton);
        QCOMPARE(fixture->dialogs.texts("error").size(), 1);
        QVERIFY(!main->VaComm1->Active());
        QVERIFY(main->DeviceGroup->isEnabled());
    }

    // Run by nonroot_ports.sh as a user created for it, on a device file of a group
    // the user is not in.
    void permissionDeniedAsAnotherUser()
    {
        const QString device = qEnvironmentVariable("ORVEK_NONROOT_DEVICE");
        const QString group = qEnvironmentVariable("ORVEK_NONROOT_GROUP");
        if (device.isEmpty() || ::geteuid() == 0)
            QSKIP("runs only as a non-root user, started by nonroot_ports.sh");
        setSerialSystem(nullptr);
        const passwd *pw = ::getpwuid(::geteuid());
        QVERIFY(pw);
        const QString user = QString::fromLocal8Bit(pw->pw_name);
        AssignPort(TFormStorage::filePath(), 1, device);

        fixture->dialogs.expectError(QStringLiteral("Can't open specified device %1 (Error 13, %2)\r\r"
                                                    "Устройство %1 принадлежит группе %3, а пользователь %4 в нее "
                                                    "не входит.\rДобавьте его в группу командой:\r"
                                                    "sudo usermod -a -G %3 %4\rи войдите в систему заново.")
                                         .arg(device, qt_error_string(EACCES), group, user));
        QTest::mouseClick(main->BitBtnKRV, Qt::LeftButton);
        QCOMPARE(fixture->dialogs.texts("error").size(), 1);
        QVERIFY(!main->VaComm1->Active());
    }
};

QTEST_MAIN(TestPortsDialog)
#include "test_portsdialog.moc"
