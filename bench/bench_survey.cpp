// Runs the bus survey as the user starts it from its window and prints how close
// it comes to its ideal time, and how much processor time the configurator (this
// process) used:
//   (a) 1..247 at one rate and parity with all seven kinds and nobody there,
//       against the sum of the probes' wire times and first-byte waits;
//   (b) the same range with a device at every address: the time per device
//       found against the wire time of its exchanges;
//   (c) the whole survey: nine rates, three parities, 1..247, the default wait.
// (a) and (b) run against orvek-sim on a pseudo-terminal; (c) on the simulated
// bus in this process, since a pseudo-terminal takes no parity.
//
//   bench_survey [path/to/orvek-sim] [--skip-full]
//   bench_survey [path/to/orvek-sim] --screenshot DIR   (pictures of the window)
#include "app/mainwindow.h"
#include "app/surveywindow.h"
#include "bench/benchsupport.h"
#include "resources/images.h"
#include "scan/surveyexchange.h"
#include "sim/bus.h"
#include "sim/simlink.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableWidget>

#include <cstdio>

using namespace bench;

namespace {

struct Run
{
    double wall = 0;
    double cpu = 0;
    int found = 0;
};

void choose(TFSurvey &survey, int first, int last, const QList<qint32> &rates, const QList<TVaParity> &parities,
            const QList<int> &tags)
{
    survey.RxSpinEditLast->setValue(last);
    survey.RxSpinEditFirst->setValue(first);
    for (auto &[rate, box] : survey.CheckBoxRates)
        box->setChecked(rates.contains(rate));
    for (auto &[parity, box] : survey.CheckBoxParities)
        box->setChecked(parities.contains(parity));
    for (auto &[tag, box] : survey.CheckBoxKinds)
        box->setChecked(tags.contains(tag));
    survey.RxSpinEditWait->setValue(50);
    survey.RxSpinEditRepeats->setValue(0);
    survey.CheckBoxStopFirst->setChecked(false);
}

Run run(TFSurvey &survey)
{
    Run r;
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    survey.BitBtnStartClick();
    waitUntil([&] { return !survey.survey().isRunning(); });
    r.wall = wall.nsecsElapsed() / 1e9;
    r.cpu = cpuSeconds() - cpu0;
    r.found = int(survey.survey().hits().size());
    return r;
}

// The time of one address with nobody there: each probe's wire time and the wait.
double emptyAddressSeconds(const LineSettings &line, int waitMs)
{
    double us = 0;
    for (int bytes : {8, 8, 5, 8, 8, 8}) // KRV-A, ZDLT-1, M-7051D, sensor, controller, B-7720Q
        us += survey::wireUs(bytes, line) + waitMs * 1000.0;
    return us / 1e6;
}
double meterSeconds(const LineSettings &line, int waitMs)
{
    return (survey::wireUs(4, line) + waitMs * 1000.0) / 1e6;
}

const QList<int> AllTags = {TagKRV, TagZDLT, TagM7051, TagSET4TM, TagSensor, TagController, TagB7720Q};
const QList<qint32> AllRates = {4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000};

void printCpu(const Run &r)
{
    std::printf("  configurator CPU %.3f s (%.2f%% of wall)\n", r.cpu, 100 * r.cpu / r.wall);
}

int screenshots(const QStringList &args, const QString &folder)
{
    BenchSimulator sim;
    QStringList devices;
    for (const char *d : {"krv:1@19200", "zdlt:2@19200", "b7720q:3@19200", "m7051:4@19200,version=2.6.3",
                          "sensor:5@19200,kt=95", "controller:6@19200", "set4tm:7@19200", "krv:12@9600,version=131",
                          "m7051:21@57600", "b7720q:30@4800"})
        devices << "--device" << d;
    if (!sim.start(args, devices + QStringList{"--exceptions", "off"}, QStringLiteral("COM1")))
        return 1;
    TFOrvekConfigurator main;
    main.show();
    main.move(0, 0);
    main.BitBtnSurveyClick();
    TFSurvey &survey = *main.surveyWindow();
    survey.move(40, 120);
    choose(survey, 1, 32, {19200, 9600, 57600, 4800}, {paNone}, AllTags);
    QTimer shooter;
    bool shot = false;
    QObject::connect(&shooter, &QTimer::timeout, [&] {
        if (!shot && survey.GridHits->rowCount() >= 8) {
            shot = true;
            survey.grab().save(folder + QStringLiteral("/survey-running.png"));
        }
    });
    shooter.start(100);
    run(survey);
    survey.GridHits->selectRow(7);
    QApplication::processEvents();
    survey.grab().save(folder + QStringLiteral("/survey-done.png"));
    main.grab().save(folder + QStringLiteral("/main-window.png"));
    std::printf("pictures in %s\n", qPrintable(folder));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initOrvekResources();
    // The whole run takes most of an hour: each figure shows as soon as it is there.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QStringList args = app.arguments();
    const bool skipFull = args.removeAll(QStringLiteral("--skip-full")) > 0;
    const int shotAt = int(args.indexOf(QStringLiteral("--screenshot")));
    QString shotFolder;
    if (shotAt > 0) {
        shotFolder = args.value(shotAt + 1);
        args.remove(shotAt, std::min<qsizetype>(2, args.size() - shotAt));
    }
    SilentDialogs dialogs;
    setDialogs(&dialogs);
    if (!shotFolder.isEmpty())
        return screenshots(args, shotFolder);

    const LineSettings line{19200, paNone};
    {
        // (a) Nobody at 19200: the one KRV-A works at 9600.
        BenchSimulator sim;
        if (!sim.start(args, {"--device", "krv:1@9600"}, QStringLiteral("COM1")))
            return 1;
        TFOrvekConfigurator main;
        main.show();
        main.BitBtnSurveyClick();
        TFSurvey &survey = *main.surveyWindow();
        choose(survey, 1, 247, {19200}, {paNone}, AllTags);
        const Run r = run(survey);
        const double ideal = 247 * emptyAddressSeconds(line, 50) + meterSeconds(line, 50);
        std::printf("(a) survey 1..247 at 19200 8N1, all seven kinds, nobody there, 50 ms wait\n");
        std::printf("  wall time        %.3f s (ideal %.3f s: 1 + 247 x 6 probes' wire time and wait; %+.2f%%)\n",
                    r.wall, ideal, (r.wall / ideal - 1) * 100);
        std::printf("  per probe        %.3f ms over its ideal\n", (r.wall - ideal) / (1 + 247 * 6) * 1000);
        printCpu(r);
    }
    for (const char *kind : {"krv", "b7720q"}) {
        // (b) A device at every address. A KRV-A is told by the first probe; a
        // B-7720Q refuses five other probes first, each refusal an exchange.
        BenchSimulator sim;
        QStringList devices;
        for (int address = 1; address <= 247; ++address)
            devices << "--device" << QStringLiteral("%1:%2").arg(QLatin1String(kind)).arg(address);
        if (!sim.start(args, devices + QStringList{"--think", "1"}, QStringLiteral("COM1")))
            return 1;
        TFOrvekConfigurator main;
        main.show();
        main.BitBtnSurveyClick();
        TFSurvey &survey = *main.surveyWindow();
        choose(survey, 1, 247, {19200}, {paNone}, AllTags);
        const Run r = run(survey);
        const bool krv = QLatin1String(kind) == QLatin1String("krv");
        // Each exchange: the probe, the device's 3.5 characters of silence and 1 ms
        // think time, its answer, and the 3.5 characters that end the answer.
        const double gap = survey::frameGapUs(line) / 1e6;
        const auto exchange = [&](int probe, int answer) {
            return survey::wireUs(probe + answer, line) / 1e6 + 2 * gap + 0.001;
        };
        const double perDevice = krv ? exchange(8, 11) : 3 * exchange(8, 5) + exchange(5, 5) + exchange(8, 5)
                                                             + exchange(8, 6);
        const double perDeviceWire = krv ? survey::wireUs(19, line) / 1e6 : survey::wireUs(8 * 5 + 5 + 5 * 5 + 6, line) / 1e6;
        const double meter = meterSeconds(line, 50);
        std::printf("(b) survey 1..247 at 19200 8N1, all seven kinds, a %s at every address (1 ms think time)\n",
                    krv ? "KRV-A" : "B-7720Q (refusing the other probes)");
        std::printf("  found            %d\n", r.found);
        std::printf("  wall time        %.3f s\n", r.wall);
        std::printf("  per device       %.2f ms (its bytes on the wire %.2f ms; with silences and think time "
                    "%.2f ms; %+.1f%%)\n",
                    (r.wall - meter) / 247 * 1000, perDeviceWire * 1000, perDevice * 1000,
                    ((r.wall - meter) / 247 / perDevice - 1) * 100);
        printCpu(r);
    }
    if (skipFull)
        return 0;
    {
        // (c) Everything, on the in-process bus with nobody there.
        sim::Bus bus;
        TFOrvekConfigurator main;
        main.channel().setLinkFactory(sim::simLinkFactory(bus));
        main.show();
        main.BitBtnSurveyClick();
        TFSurvey &survey = *main.surveyWindow();
        choose(survey, 1, 247, AllRates, {paNone, paOdd, paEven}, AllTags);
        const Run r = run(survey);
        double ideal = 0;
        for (qint32 rate : AllRates)
            for (TVaParity parity : {paNone, paOdd, paEven})
                ideal += 247 * emptyAddressSeconds({rate, parity}, 50) + meterSeconds({rate, parity}, 50);
        std::printf("(c) whole survey: 9 rates x 3 parities, 1..247, all seven kinds, 50 ms wait, nobody there\n");
        std::printf("  wall time        %.1f s = %.1f min (ideal %.1f s; %+.2f%%)\n", r.wall, r.wall / 60, ideal,
                    (r.wall / ideal - 1) * 100);
        std::printf("  configurator CPU %.3f s (%.2f%% of wall; the simulated bus in this process included)\n",
                    r.cpu, 100 * r.cpu / r.wall);
    }
    setDialogs(nullptr);
    return 0;
}
