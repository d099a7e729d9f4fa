// End-to-end checks of orvek-sim on a pseudo-terminal, against mbpoll (an
// independent Modbus master) and against the configurator's own probes.
#include "bus/requestlayer.h"
#include "devices/devicecatalogue.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString simPath()
{
    return qEnvironmentVariable("ORVEK_SIM");
}

// A running orvek-sim; stopped with SIGTERM when it goes out of scope.
class Sim
{
public:
    bool start(const QStringList &args)
    {
        m_process.start(simPath(), args);
        if (!m_process.waitForStarted(10000))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (!m_process.canReadLine() && clock.elapsed() < 10000)
            m_process.waitForReadyRead(100);
        path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        return path.startsWith(QLatin1String("/dev/"));
    }
    // SIGTERM; true when it ended by itself with exit code 0.
    bool stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return false;
        m_process.terminate();
        return m_process.waitForFinished(10000) && m_process.exitStatus() == QProcess::NormalExit
            && m_process.exitCode() == 0;
    }
    qint64 pid() const { return m_process.processId(); }
    // Everything logged so far.
    QByteArray log()
    {
        QCoreApplication::processEvents();
        m_log += m_process.readAllStandardError();
        return m_log;
    }
    ~Sim()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    QString path;

private:
    QProcess m_process;
    QByteArray m_log;
};

// Runs mbpoll once (RTU, 8N1, references from 0); false when it failed.
bool runMbpoll(const QString &path, const QStringList &args, int baud, QByteArray *output)
{
    QProcess p;
    // The device comes before the values to write.
    p.start(QStringLiteral("mbpoll"), QStringList{"-m", "rtu", "-b", QString::number(baud), "-P", "none", "-0", "-1",
                                                 "-o", "0.5", path}
                                          + args);
    if (!p.waitForFinished(15000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return false;
    *output = p.readAllStandardOutput();
    return true;
}

// Values mbpoll printed, by reference; empty when it failed.
QMap<int, int> mbpoll(const QString &path, const QStringList &args, int baud = 19200)
{
    QByteArray output;
    if (!runMbpoll(path, args, baud, &output))
        return {};
    QMap<int, int> values;
    const QRegularExpression line(QStringLiteral("^\\[(\\d+)\\]:\\s+(-?\\d+)"), QRegularExpression::MultilineOption);
    auto it = line.globalMatch(QString::fromLocal8Bit(output));
    while (it.hasNext()) {
        const auto m = it.next();
        values.insert(m.captured(1).toInt(), m.captured(2).toInt() & 0xFFFF);
    }
    return values;
}

QMap<int, int> expected(int first, const QList<int> &values)
{
    QMap<int, int> map;
    for (int i = 0; i < values.size(); ++i)
        map.insert(first + i, values[i]);
    return map;
}

// The configurator's side of the terminal: raw 8N1.
class Terminal
{
public:
    explicit Terminal(const QString &path, speed_t speed = B19200)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return;
        termios t{};
        ::tcgetattr(m_fd, &t);
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        ::tcsetattr(m_fd, TCSANOW, &t);
    }
    ~Terminal()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }

    // Sends the frame and collects whatever arrives within `waitMs`, as one
    // tick of the scan does.
    QByteArray exchange(const QByteArray &frame, int waitMs)
    {
        if (::write(m_fd, frame.constData(), static_cast<size_t>(frame.size())) != frame.size())
            return {};
        QByteArray answer;
        QElapsedTimer clock;
        clock.start();
        for (qint64 left = waitMs; left > 0; left = waitMs - clock.elapsed()) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0)
                continue;
            char buffer[256];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0)
                answer.append(buffer, static_cast<int>(n));
        }
        return answer;
    }

private:
    int m_fd = -1;
};

// The probe of a device button, framed by the configurator's own table.
QByteArray probe(int tag, std::uint8_t address)
{
    RequestLayer layer;
    FrameProbe(layer, tag, address);
    return layer.txBytes();
}

bool crcOk(const QByteArray &answer)
{
    RequestLayer layer;
    layer.VaComm1RxBuf(answer);
    return layer.CheckResponseCrc();
}

} // namespace

class TestSimTool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(simPath()).isExecutable(), "ORVEK_SIM must name the built orvek-sim");
    }

    void helpExplainsEveryFlag()
    {
        QProcess p;
        p.start(simPath(), {"--help"});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        const QString help = QString::fromLocal8Bit(p.readAllStandardOutput());
        for (const char *flag : {"--device", "--fault", "--seed", "--config", "--baud", "--link", "--quiet", "--freeze",
                                 "--exceptions", "--any-baud", "--think", "--fifo", "--tcp", "--listen", "--help", "SIGUSR1",
                                 "SIGTERM"})
            QVERIFY2(help.contains(QLatin1String(flag)), flag);
        for (const char *kind : {"krv", "zdlt", "m7051", "b7720q", "sensor", "controller", "set4tm"})
            QVERIFY2(help.contains(QLatin1String(kind)), kind);
        for (const char *key : {"drop=", "corrupt=", "noise=", "late=", "latems=", "split=", "busy="})
            QVERIFY2(help.contains(QLatin1String(key)), key);
    }

    void badArgumentsAreRefused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown kind") << QStringList{"--device", "pump:1"} << "unknown kind";
        QTest::newRow("bad address") << QStringList{"--device", "krv:300"} << "1..247";
        QTest::newRow("bad fault") << QStringList{"--fault", "drop=2"} << "--fault";
        QTest::newRow("fault for nobody") << QStringList{"--device", "krv:1", "--fault", "5:drop=0.1"} << "no device";
        QTest::newRow("unknown flag") << QStringList{"--colour"} << "colour";
        QTest::newRow("missing config") << QStringList{"--config", "/nonexistent/sim.conf"} << "cannot read";
        QTest::newRow("TCP port too high") << QStringList{"--tcp", "70000"} << "--tcp wants";
        QTest::newRow("TCP port not a number") << QStringList{"--tcp", "http"} << "--tcp wants";
        QTest::newRow("listen without TCP") << QStringList{"--listen", "127.0.0.1"} << "--listen goes with --tcp";
        QTest::newRow("listen on a name") << QStringList{"--tcp", "0", "--listen", "localhost"} << "--listen wants";
        QTest::newRow("link with TCP") << QStringList{"--tcp", "0", "--link", "/tmp/x"} << "--link names";
    }
    void badArgumentsAreRefused()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QProcess p;
        p.start(simPath(), args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardOutput().isEmpty());
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QVERIFY2(err.contains(message), qPrintable(err));
    }

    void mbpollReadsWhatTheSimulatorWasSetTo()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("mbpoll")).isEmpty(),
                 "mbpoll is missing; scripts/install-deps.sh installs it");
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttySIM"));
        Sim sim;
        QVERIFY(sim.start({"--device", "krv:1,code=12,model=2,version=123,ia=4660,ib=70000,ic=0,io=99",
                           "--device", "zdlt:2,ua=100,ub=102,uc=98,f=499", "--device", "b7720q:3,inputs=0xA5",
                           "--device", "sensor:4,surface=2500,air=2600,kt=53", "--freeze", "--seed", "9", "--link",
                           link}));
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.path);

        QCOMPARE(mbpoll(link, {"-a", "1", "-t", "3", "-r", "0", "-c", "3"}), expected(0, {12, 2, 123}));
        QCOMPARE(mbpoll(link, {"-a", "1", "-t", "3", "-r", "521", "-c", "8"}),
                 expected(521, {0, 4660, 1, 4464, 0, 0, 0, 99}));
        const QMap<int, int> zdlt = mbpoll(link, {"-a", "2", "-t", "3", "-r", "64636", "-c", "14"});
        QCOMPARE(zdlt.size(), 14);
        QCOMPARE(zdlt.value(64636), 100);
        QCOMPARE(zdlt.value(64638), 102);
        QCOMPARE(zdlt.value(64640), 98);
        QCOMPARE(zdlt.value(64649), 499);
        QCOMPARE(mbpoll(link, {"-a", "3", "-t", "1", "-r", "0", "-c", "8"}), expected(0, {1, 0, 1, 0, 0, 1, 0, 1}));
        QCOMPARE(mbpoll(link, {"-a", "4", "-t", "4", "-r", "0", "-c", "3"}), expected(0, {2500, 2600, 53}));
        // A register the sensor does not have: mbpoll reports the exception as a failure.
        QVERIFY(mbpoll(link, {"-a", "4", "-t", "4", "-r", "3", "-c", "1"}).isEmpty());

        const QByteArray log = sim.log();
        QVERIFY(log.contains("-> 01 04 00 00 00 03 B0 0B  KRV-A: чтение входных регистров 0x0000..0x0002 (3)"));
        QVERIFY(log.contains("<- 04 83 02"));
        QVERIFY(sim.stop());
        QVERIFY(!QFileInfo::exists(link));
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void configFileAndPowerCycle()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("mbpoll")).isEmpty(),
                 "mbpoll is missing; scripts/install-deps.sh installs it");
        QTemporaryDir dir;
        const QString config = dir.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("# one relay unit\ndevice krv:7,version=321\nfreeze\nseed 3\n");
        file.close();
        Sim sim;
        QVERIFY(sim.start({"--config", config}));
        QCOMPARE(mbpoll(sim.path, {"-a", "7", "-t", "3", "-r", "0", "-c", "3"}), expected(0, {12, 2, 321}));

        // A new baud rate: written, still answering at the old one, then silent
        // at the old one and answering at the new one after a power cycle.
        QByteArray output;
        QVERIFY(runMbpoll(sim.path, {"-a", "7", "-t", "4", "-r", "289", "3"}, 19200, &output));
        QVERIFY(output.contains("Written 1 references"));
        QCOMPARE(mbpoll(sim.path, {"-a", "7", "-t", "3", "-r", "2", "-c", "1"}), expected(2, {321}));
        QVERIFY(::kill(static_cast<pid_t>(sim.pid()), SIGUSR1) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(sim.log().contains("power cycled"), 10000);
        QVERIFY(mbpoll(sim.path, {"-a", "7", "-t", "3", "-r", "2", "-c", "1"}).isEmpty());
        QCOMPARE(mbpoll(sim.path, {"-a", "7", "-t", "3", "-r", "2", "-c", "1"}, 9600), expected(2, {321}));
        QVERIFY(sim.stop());
    }

    // Every device button's scan over addresses 1..10 finds its own device on
    // the default bus.
    void defaultBusAnswersEveryScanProbe()
    {
        Sim sim;
        QVERIFY(sim.start({"--quiet"}));
        Terminal terminal(sim.path);
        QVERIFY(terminal.isOpen());
        struct Expect
        {
            DeviceWindowKind window;
            int address;
        };
        using K = DeviceWindowKind;
        const QMap<int, Expect> wanted{{1, {K::KRV, 1}},  {2, {K::ZDLT, 2}},   {3, {K::M7051, 4}}, {4, {K::SET4TM, 1}},
                                       {5, {K::MLX, 5}},  {6, {K::C3940F, 6}}, {7, {K::B7720Q, 3}}};
        for (int tag = 1; tag <= 7; ++tag) {
            K found = K::None;
            int at = 0;
            for (int address = 1; address <= 10 && found == K::None; ++address) {
                const QByteArray answer = terminal.exchange(probe(tag, static_cast<std::uint8_t>(address)), 200);
                if (answer.size() >= 4 && crcOk(answer)) {
                    found = AcceptedWindow(tag, reinterpret_cast<const std::uint8_t *>(answer.constData()),
                                           int(answer.size()));
                    at = address;
                }
            }
            QCOMPARE(found, wanted[tag].window);
            QCOMPARE(at, wanted[tag].address);
        }
        QVERIFY(sim.stop());
    }

    // Every device of the default bus works at 19200 bit/s, also those without a
    // rate setting of their own: at 9600 the bus is silent.
    void defaultBusIsSilentAtAnotherRate()
    {
        Sim sim;
        QVERIFY(sim.start({"--quiet"}));
        Terminal terminal(sim.path, B9600);
        QVERIFY(terminal.isOpen());
        for (int tag = 1; tag <= 7; ++tag)
            for (int address = 1; address <= 7; ++address)
                QCOMPARE(terminal.exchange(probe(tag, static_cast<std::uint8_t>(address)), 60), QByteArray());
        QVERIFY(sim.stop());
    }

    // A device given a line of its own answers there only; the pseudo-terminal's
    // rate is what the client set.
    void aDeviceOnItsOwnRateAnswersOnlyThere()
    {
        Sim sim;
        QVERIFY(sim.start({"--quiet", "--device", "zdlt:4@38400"}));
        const QByteArray request = probe(TagZDLT, 4);
        {
            Terminal at19200(sim.path, B19200);
            QCOMPARE(at19200.exchange(request, 100), QByteArray());
        }
        Terminal at38400(sim.path, B38400);
        const QByteArray answer = at38400.exchange(request, 200);
        QCOMPARE(answer.size(), 33);
        QVERIFY(crcOk(answer));
        QVERIFY(sim.stop());
    }
};

QTEST_GUILESS_MAIN(TestSimTool)
#include "test_simtool.moc"
