// A noisy line: random bytes on the in-process bus while the configurator
// searches and while a KRV-A test runs on its own timer, and how late a 10 ms
// timer of the same event loop comes meanwhile. Prints the largest and the
// mean lateness, and what the search and the test made of the noise.
//
//   bench_noise [megabytes, default 1] [line rate in bit/s, default 10000000]
//
// The default rate is far above any RS-485 line: the noise then arrives in full
// 4 KB chunks every 4 ms, the hardest case for the event loop.
#include "app/mainwindow.h"
#include "bus/buschannel.h"
#include "bus/vacomm.h"
#include "devices/krvmain.h"
#include "sim/relays.h"
#include "reliability/noise.h"
#include "support/simrig.h"
#include "widgets/dialogs.h"
#include "widgets/rxspinedit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <optional>

namespace {

class SilentDialogs final : public UserDialogs
{
public:
    void message(QWidget *, Kind, const QString &) override {}
    bool question(QWidget *, const QString &) override { return false; }
    std::optional<QString> inputText(QWidget *, const QString &, const QString &, const QString &, bool) override
    {
        return std::nullopt;
    }
    QString saveFileName(QWidget *, const QString &, const QString &, const QString &, const QString &) override
    {
        return {};
    }
};

// Lateness of a 10 ms timer while the flood passes through `port`.
struct LoopWatch
{
    qint64 floodBytes;
    qint64 received = 0;
    qint64 worstUs = 0;
    qint64 totalUs = 0;
    int ticks = 0;
    QTimer timer;
    QElapsedTimer clock;
    qint64 lastUs = -1;

    LoopWatch(TVaComm &port, qint64 bytes) : floodBytes(bytes)
    {
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&port, &TVaComm::OnRxBuf, &timer, [this](const QByteArray &b) { received += b.size(); });
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed() / 1000;
            if (lastUs >= 0 && received > 0 && received < floodBytes) {
                const qint64 late = std::max<qint64>(0, now - lastUs - 10000);
                worstUs = std::max(worstUs, late);
                totalUs += late;
                ++ticks;
            }
            lastUs = now;
        });
        clock.start();
        timer.start(10);
    }
    bool done() const { return received >= floodBytes; }
    void print(const char *what) const
    {
        std::printf("%s: 10 ms timer during the flood: %d ticks, largest delay %.1f ms, mean delay %.2f ms\n", what,
                    ticks, worstUs / 1000.0, ticks ? totalUs / 1000.0 / ticks : 0.0);
    }
};

void runUntil(const std::function<bool()> &done)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(5);
    loop.exec();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 bytes = static_cast<qint64>((argc > 1 ? QByteArray(argv[1]).toDouble() : 1.0) * (1 << 20));
    const qint32 rate = argc > 2 ? QByteArray(argv[2]).toInt() : 10'000'000;
    SilentDialogs dialogs;
    setDialogs(&dialogs);
    std::printf("flood: %lld bytes at %d bit/s\n", static_cast<long long>(bytes), rate);

    {
        // A search by the ZDLT-1 button over an empty bus, its own timer at 100 ms.
        sim::Bus bus;
        tuneForTests(bus);
        TFOrvekConfigurator main;
        main.channel().setLinkFactory(sim::simLinkFactory(bus));
        int found = 0, judged = 0, largestRx = 0;
        main.setWindowOpener(DeviceWindowKind::ZDLT, [&](DeviceHost &, QWidget *) { ++found; });
        QObject::connect(&main.search(), &DeviceSearch::judged, [&](DeviceSearch::Status) {
            ++judged;
            largestRx = std::max(largestRx, main.frames().RxCount);
        });
        main.RxSpinEdit3->setValue(247);
        main.RxSpinEdit2->setValue(1);
        main.RxSpinEdit4->setValue(100);
        main.BitBtnKRVClick(TagZDLT);
        bus.setLine({rate, paNone});
        LoopWatch watch(*main.VaComm1, bytes);
        bus.inject(noiseBytes(bytes, 1));
        runUntil([&] { return watch.done() || !main.VaComm1->Active(); });
        watch.print("search");
        std::printf("search: %d answers judged, largest %d bytes, %d found\n", judged, largestRx, found);
        main.Action1Execute();
    }
    {
        // A KRV-A test on its own timer at 50 ms.
        SimHost host;
        auto *krv = static_cast<sim::KrvDevice *>(host.bus.addDevice(std::make_unique<sim::KrvDevice>(1)));
        krv->live = false;
        host.comm.Open();
        TFKRV window(host, nullptr);
        window.show();
        window.findChild<TRxSpinEdit *>(QStringLiteral("RxSpinEditCount"))->setValue(100000);
        window.findChild<TRxSpinEdit *>(QStringLiteral("RxSpinEditTimeOut"))->setValue(50);
        window.BitBtnStartClick();
        host.bus.setLine({rate, paNone});
        LoopWatch watch(host.comm, bytes);
        host.bus.inject(noiseBytes(bytes, 2));
        runUntil([&] { return watch.done(); });
        watch.print("test");
        const TestCounters &c = CountersOf<TFKRV>();
        std::printf("test: sent %d, accepted %d, errors %d, journal %lld lines\n", c.sent, c.accepted, c.errors,
                    static_cast<long long>(window.journalLines().size()));
        window.BitBtnStopClick();
        window.close();
    }
    setDialogs(nullptr);
    return 0;
}
