#include "bus/serial/porthints.h"
#include "bus/serial/serialdevices.h"
#include "bus/vacomm.h"
#include "support/fakeserialtree.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(EVaCommError::Failure)

namespace {

const char *const ByIdFtdi = FakeSerialTree::FtdiById;
const char *const ByIdAcm = "usb-Orvek_RS-485_Bridge_0042-if00";
const QString PortsHint = QStringLiteral("в окне \"Порты\" (кнопка рядом с номером порта)");

// The failure TVaComm raises, caught.
template <typename Action>
EVaCommError caught(Action action)
{
    try {
        action();
    } catch (const EVaCommError &e) {
        return e;
    }
    return EVaCommError("no error");
}

// A pseudo-terminal slave path, its master kept open.
struct Pty
{
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QString path = master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0
                       ? QString::fromLocal8Bit(::ptsname(master))
                       : QString();
    ~Pty()
    {
        if (master >= 0)
            ::close(master);
    }
};

} // namespace

// The device list and the open-failure hints, read from a fake system tree.
class TestSerialDevices : public QObject
{
    Q_OBJECT

    FakeSerialTree tree;

private slots:
    void initTestCase()
    {
        QVERIFY(tree.isValid());
        QVERIFY(tree.addFtdiAdapter());
        QVERIFY(tree.addUsbTty(QStringLiteral("ttyUSB10"),
                               {QStringLiteral("1-4"), QStringLiteral("1A86"), QStringLiteral("7523"), QString(),
                                QStringLiteral("USB Serial"), QString()},
                               2, QString()));
        // A CDC ACM adapter: no latency timer.
        QVERIFY(tree.addUsbTty(QStringLiteral("ttyACM0"),
                               {QStringLiteral("1-3"), QStringLiteral("2e8a"), QStringLiteral("000a"),
                                QStringLiteral("Orvek"), QStringLiteral("RS-485 Bridge"), QStringLiteral("0042")},
                               -1, QString::fromLatin1(ByIdAcm)));
        QVERIFY(tree.addPlainTty(QStringLiteral("ttyS0")));
        QVERIFY(tree.addConsole(QStringLiteral("tty1")));
        QVERIFY(tree.addHolder(4242, QStringLiteral("minicom"), QStringLiteral("/dev/ttyUSB0")));
        QVERIFY(tree.addHolder(4243, QStringLiteral("bash"), QStringLiteral("/dev/pts/0")));
        QVERIFY(tree.mkdir(QStringLiteral("/proc/self"))); // not a process number
        // Permission cases beside the listed devices.
        QVERIFY(tree.addDeviceFile(QStringLiteral("ttyPRIVATE"), 0600));
        QVERIFY(tree.addDeviceFile(QStringLiteral("ttyOPEN"), 0666));
        QVERIFY(tree.addDeviceFile(QStringLiteral("ttyROOT"), 0660, 0));
    }

    void deviceList_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("byId");
        QTest::addColumn<QStringList>("usb"); // description, manufacturer, serial, vendor:product
        QTest::addColumn<int>("latency");
        QTest::addColumn<QString>("holders");
        const QString byId = QStringLiteral("/dev/serial/by-id/");
        QTest::newRow("ACM adapter") << 0 << "/dev/ttyACM0" << byId + ByIdAcm
                                     << QStringList{"RS-485 Bridge", "Orvek", "0042", "2e8a:000a"} << -1 << "";
        QTest::newRow("machine port") << 1 << "/dev/ttyS0" << "" << QStringList{"", "", "", ""} << -1 << "";
        QTest::newRow("FTDI adapter, held") << 2 << "/dev/ttyUSB0" << byId + ByIdFtdi
                                            << QStringList{"FT232R USB UART", "FTDI", "A50285BI", "0403:6001"} << 16
                                            << "4242 minicom";
        QTest::newRow("numbered after 0") << 3 << "/dev/ttyUSB10" << ""
                                          << QStringList{"USB Serial", "", "", "1a86:7523"} << 2 << "";
    }
    void deviceList()
    {
        QFETCH(int, index);
        QFETCH(QString, device);
        QFETCH(QString, byId);
        QFETCH(QStringList, usb);
        QFETCH(int, latency);
        QFETCH(QString, holders);

        bool complete = false;
        const QList<SerialDeviceInfo> devices = listSerialDevices(tree.system(), &complete);
        QCOMPARE(devices.size(), 4); // the console and the bare device files are no serial devices
        QVERIFY(complete);
        const SerialDeviceInfo &info = devices.at(index);
        QCOMPARE(info.deviceFile, device);
        QCOMPARE(info.byIdPath, byId);
        QCOMPARE(info.stablePath(), byId.isEmpty() ? device : byId);
        QCOMPARE((QStringList{info.description, info.manufacturer, info.serialNumber, info.usbId}), usb);
        QCOMPARE(info.latencyMs, latency);
        QStringList held;
        for (const DeviceHolder &h : info.holders)
            held << QStringLiteral("%1 %2").arg(h.pid).arg(h.name);
        QCOMPARE(held.join(','), holders);
        QVERIFY(!info.accessible); // 0660 in a group the user is not in
    }

    void accessByModeAndGroup_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("inGroup");
        QTest::addColumn<bool>("mayOpen");
        QTest::newRow("group rw, not a member") << "/dev/ttyUSB0" << false << false;
        QTest::newRow("group rw, member") << "/dev/ttyUSB0" << true << true;
        QTest::newRow("owner only, member") << "/dev/ttyPRIVATE" << true << false;
        QTest::newRow("everyone rw") << "/dev/ttyOPEN" << false << true;
        QTest::newRow("missing") << "/dev/ttyUSB7" << true << false;
    }
    void accessByModeAndGroup()
    {
        QFETCH(QString, device);
        QFETCH(bool, inGroup);
        QFETCH(bool, mayOpen);
        SystemUser user = tree.system().user();
        if (inGroup)
            user.groups << tree.deviceGroup;
        const SerialSystem system(tree.root(), user, {});
        QCOMPARE(::mayOpen(system, device, statDevice(system, device)), mayOpen);
    }

    void openHints_data()
    {
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("memberNextLogin");
        QTest::addColumn<QString>("hint");
        using F = EVaCommError::Failure;
        QTest::newRow("permission: join the group")
            << int(F::PermissionDenied) << "/dev/ttyUSB0" << false
            << "Устройство /dev/ttyUSB0 принадлежит группе dialout, а пользователь ivan в нее не входит.\r"
               "Добавьте его в группу командой:\rsudo usermod -a -G dialout ivan\rи войдите в систему заново.";
        QTest::newRow("permission: joined, log in again")
            << int(F::PermissionDenied) << "/dev/ttyUSB0" << true
            << "Пользователь ivan уже включен в группу dialout, которой принадлежит /dev/ttyUSB0, но этот сеанс "
               "начат раньше.\rВыйдите из системы и войдите снова.";
        QTest::newRow("permission: group has no rights")
            << int(F::PermissionDenied) << "/dev/ttyPRIVATE" << false
            << "Права на /dev/ttyPRIVATE (rw-------, группа dialout) не позволяют пользователю ivan открыть его: "
               "обратитесь к администратору компьютера.";
        // Joining root's group is no advice to give.
        if (::geteuid() == 0)
            QTest::newRow("permission: root's group")
                << int(F::PermissionDenied) << "/dev/ttyROOT" << false
                << "Права на /dev/ttyROOT (rw-rw----, группа root) не позволяют пользователю ivan открыть его: "
                   "обратитесь к администратору компьютера.";
        QTest::newRow("permission: through the by-id link")
            << int(F::PermissionDenied) << QStringLiteral("/dev/serial/by-id/") + ByIdFtdi << false
            << QStringLiteral("Устройство /dev/serial/by-id/%1 принадлежит группе dialout, а пользователь ivan в нее "
                              "не входит.\rДобавьте его в группу командой:\rsudo usermod -a -G dialout ivan\r"
                              "и войдите в систему заново.")
                   .arg(ByIdFtdi);
        QTest::newRow("busy: holder found through the by-id link")
            << int(F::Busy) << QStringLiteral("/dev/serial/by-id/") + ByIdFtdi << false
            << "Порт занят: его держит открытым процесс 4242 (minicom).\rЗакройте эту программу и повторите поиск.";
        QTest::newRow("busy: holder not visible")
            << int(F::Busy) << "/dev/ttyS0" << false
            << "Порт открыт другой программой, найти ее не удалось.\r"
               "Закройте программу, работающую с портом, и повторите поиск.";
        QTest::newRow("missing: what is present")
            << int(F::NotFound) << "/dev/ttyUSB3" << false
            << "Подключенные последовательные порты: /dev/ttyACM0 (RS-485 Bridge), /dev/ttyS0, "
               "/dev/ttyUSB0 (FT232R USB UART), /dev/ttyUSB10 (USB Serial).\r"
               "Номер порта можно назначить одному из них " + PortsHint + ".";
    }
    void openHints()
    {
        QFETCH(int, failure);
        QFETCH(QString, device);
        QFETCH(bool, memberNextLogin);
        QFETCH(QString, hint);
        const SerialSystem system = tree.system(memberNextLogin ? QList<gid_t>{tree.deviceGroup} : QList<gid_t>{});
        const EVaCommError error(QStringLiteral("first line"), EVaCommError::Failure(failure), device, 0);
        QCOMPARE(openFailureMessage(error, system), QStringLiteral("first line\r\r") + hint);
    }

    void missingWithNothingPresent()
    {
        FakeSerialTree empty;
        QVERIFY(empty.addConsole(QStringLiteral("tty1")));
        const EVaCommError error(QStringLiteral("Specified device not found (/dev/ttyUSB0)."),
                                 EVaCommError::Failure::NotFound, QStringLiteral("/dev/ttyUSB0"), ENOENT);
        QCOMPARE(openFailureMessage(error, empty.system()),
                 QStringLiteral("Specified device not found (/dev/ttyUSB0).\r\rПоследовательные порты не найдены: "
                                "проверьте, подключен ли преобразователь RS-485."));
    }

    void otherErrorsKeepTheirText()
    {
        const EVaCommError plain("Output buffer is full. Please check comm status.");
        QCOMPARE(openFailureMessage(plain, tree.system()),
                 QStringLiteral("Output buffer is full. Please check comm status."));
    }

    // Through the real port: files that open but take no line settings.
    void notASerialDevice_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("what");
        QTest::newRow("fifo") << "fifo" << "именованный канал (FIFO)";
        QTest::newRow("regular file") << "file" << "обычный файл";
        QTest::newRow("/dev/null") << "null" << "устройство другого типа";
    }
    void notASerialDevice()
    {
        QFETCH(QString, kind);
        QFETCH(QString, what);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString path = dir.filePath(QStringLiteral("port"));
        if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == QLatin1String("file")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else {
            path = QStringLiteral("/dev/null");
        }

        TVaComm port;
        port.setPortResolver([path](int) { return path; });
        const EVaCommError error = caught([&] { port.Open(); });
        QVERIFY(!port.Active());
        QCOMPARE(error.failure(), EVaCommError::Failure::NotSerial);
        QCOMPARE(error.device(), path);
        QCOMPARE(openFailureMessage(error, SerialSystem()),
                 QStringLiteral("Error writing dcb (%1), %2\rУстройство: %3\r\rЭто %4, а не последовательный порт: "
                                "назначьте номеру порта другое устройство %5.")
                     .arg(QString::number(ENOTTY), qt_error_string(ENOTTY), path, what, PortsHint));
    }

    // The holder of a pty this process has open, found in the real /proc.
    void busyPortNamesThisProcess()
    {
        Pty pty;
        QVERIFY(!pty.path.isEmpty());
        TVaComm first;
        first.setPortResolver([&](int) { return pty.path; });
        // Another test may hold the lock of a pty number it has just given back.
        const auto opened = [&] {
            if (!first.Active())
                caught([&] { first.Open(); });
            return first.Active();
        };
        QTRY_VERIFY_WITH_TIMEOUT(opened(), 10000);

        TVaComm second;
        second.setPortResolver([&](int) { return pty.path; });
        const EVaCommError error = caught([&] { second.Open(); });
        QCOMPARE(error.failure(), EVaCommError::Failure::Busy);
        QCOMPARE(error.code(), EBUSY);
        QFile comm(QStringLiteral("/proc/self/comm"));
        QVERIFY(comm.open(QIODevice::ReadOnly));
        const QString name = QString::fromUtf8(comm.readAll()).trimmed();
        QCOMPARE(openFailureMessage(error, SerialSystem()),
                 QString::fromStdString(error.what())
                     + QStringLiteral("\r\rПорт занят: его держит открытым процесс %1 (%2).\rЗакройте эту программу "
                                      "и повторите поиск.")
                           .arg(QString::number(::getpid()), name));
    }
};

QTEST_GUILESS_MAIN(TestSerialDevices)
#include "test_serialdevices.moc"
