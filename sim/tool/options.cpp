#include "sim/tool/options.h"

#include "sim/modbusdevice.h"
#include "sim/setup.h"

#include <QCommandLineParser>
#include <QFile>
#include <QHostAddress>

namespace {

bool applyFault(sim::Bus &bus, const QString &text, QString *error)
{
    // [address:]key=value
    QString rest = text;
    int address = -1;
    const int colon = rest.indexOf(QLatin1Char(':'));
    if (colon > 0) {
        bool ok = false;
        address = rest.left(colon).toInt(&ok);
        if (!ok || address < 1 || address > 247) {
            *error = QStringLiteral("--fault \"%1\": bad address").arg(text);
            return false;
        }
        rest = rest.mid(colon + 1);
    }
    const int eq = rest.indexOf(QLatin1Char('='));
    if (eq <= 0) {
        *error = QStringLiteral("--fault \"%1\": expected key=value").arg(text);
        return false;
    }
    const QString key = rest.left(eq).trimmed().toLower();
    const QString value = rest.mid(eq + 1).trimmed();
    bool any = false;
    for (sim::Device *d : bus.devices()) {
        if (address >= 0 && d->address() != address)
            continue;
        any = true;
        if (!sim::setFaultOption(d->faults, key, value)) {
            *error = QStringLiteral("--fault \"%1\": unknown key or bad value").arg(text);
            return false;
        }
    }
    if (!any) {
        *error = QStringLiteral("--fault \"%1\": no device at that address").arg(text);
        return false;
    }
    return true;
}

bool onOff(const QString &text, bool *value)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("on") || t == QLatin1String("1") || t == QLatin1String("yes"))
        *value = true;
    else if (t == QLatin1String("off") || t == QLatin1String("0") || t == QLatin1String("no"))
        *value = false;
    else
        return false;
    return true;
}

// Replaces --config FILE by the options in the file, placed first so that the
// command line wins.
bool expandConfig(const QStringList &arguments, QStringList *expanded, QString *error)
{
    QStringList fromFiles;
    QStringList rest;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        QString path;
        if (arg == QLatin1String("--config") || arg == QLatin1String("-config")) {
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("--config wants a file");
                return false;
            }
            path = arguments[++i];
        } else if (arg.startsWith(QLatin1String("--config="))) {
            path = arg.mid(9);
        } else {
            rest << arg;
            continue;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
            return false;
        }
        const QStringList args = sim::configArguments(QString::fromUtf8(file.readAll()));
        for (const QString &a : args) {
            if (a.startsWith(QLatin1String("--config"))) {
                *error = QStringLiteral("%1: a config file cannot name another one").arg(path);
                return false;
            }
        }
        fromFiles << args;
    }
    *expanded = QStringList{arguments.value(0)} + fromFiles + rest;
    return true;
}

} // namespace

bool configureBus(const QStringList &rawArguments, sim::Bus &bus, ToolOptions &options, QString *error)
{
    QStringList arguments;
    if (!expandConfig(rawArguments, &arguments, error))
        return false;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption device(QStringLiteral("device"), {}, QStringLiteral("definition"));
    const QCommandLineOption fault(QStringLiteral("fault"), {}, QStringLiteral("definition"));
    const QCommandLineOption seed(QStringLiteral("seed"), {}, QStringLiteral("n"));
    const QCommandLineOption baud(QStringLiteral("baud"), {}, QStringLiteral("rate"));
    const QCommandLineOption link(QStringLiteral("link"), {}, QStringLiteral("path"));
    const QCommandLineOption quiet(QStringLiteral("quiet"));
    const QCommandLineOption think(QStringLiteral("think"), {}, QStringLiteral("ms"));
    const QCommandLineOption fifo(QStringLiteral("fifo"), {}, QStringLiteral("bytes"));
    const QCommandLineOption freeze(QStringLiteral("freeze"));
    const QCommandLineOption exceptions(QStringLiteral("exceptions"), {}, QStringLiteral("on|off"));
    const QCommandLineOption anyBaud(QStringLiteral("any-baud"));
    const QCommandLineOption meterMinute(QStringLiteral("meter-minute"), {}, QStringLiteral("ms"));
    const QCommandLineOption tcp(QStringLiteral("tcp"), {}, QStringLiteral("port"));
    const QCommandLineOption listen(QStringLiteral("listen"), {}, QStringLiteral("address"));
    parser.addOptions({help, device, fault, seed, baud, link, quiet, think, fifo, freeze, exceptions, anyBaud,
                       meterMinute, tcp, listen});

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(help)) {
        options.help = true;
        return true;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return false;
    }
    bool ok = true;
    if (parser.isSet(seed)) {
        const uint n = parser.value(seed).toUInt(&ok);
        if (!ok) {
            *error = QStringLiteral("--seed wants a number from 0 to 4294967295");
            return false;
        }
        bus.setSeed(n);
    }
    if (parser.isSet(baud)) {
        options.baud = parser.value(baud).toInt(&ok);
        if (!ok || options.baud < 300 || options.baud > 4000000) {
            *error = QStringLiteral("--baud wants a rate in bit/s");
            return false;
        }
    }
    if (parser.isSet(think)) {
        const double ms = parser.value(think).toDouble(&ok);
        if (!ok || ms < 0 || ms > 10000) {
            *error = QStringLiteral("--think wants milliseconds (0..10000)");
            return false;
        }
        bus.setThinkTimeMs(ms);
    }
    if (parser.isSet(fifo)) {
        const int n = parser.value(fifo).toInt(&ok);
        if (!ok || n < 1 || n > 4096) {
            *error = QStringLiteral("--fifo wants 1..4096 bytes");
            return false;
        }
        bus.setFifoBytes(n);
    }
    bus.setBaudMatters(!parser.isSet(anyBaud));
    options.quiet = parser.isSet(quiet);
    options.link = parser.value(link);
    if (parser.isSet(tcp)) {
        options.tcpPort = parser.value(tcp).toInt(&ok);
        if (!ok || options.tcpPort < 0 || options.tcpPort > 65535) {
            *error = QStringLiteral("--tcp wants a port number (0..65535, 0 for a free one)");
            return false;
        }
        if (parser.isSet(link)) {
            *error = QStringLiteral("--link names a pseudo-terminal, which --tcp does not make");
            return false;
        }
    }
    if (parser.isSet(listen)) {
        if (!parser.isSet(tcp)) {
            *error = QStringLiteral("--listen goes with --tcp");
            return false;
        }
        options.listen = parser.value(listen).trimmed();
        if (QHostAddress(options.listen).isNull()) {
            *error = QStringLiteral("--listen wants an IP address of this computer, such as 127.0.0.1 or 0.0.0.0");
            return false;
        }
    }

    const QStringList definitions = parser.values(device);
    const bool defaultBus = definitions.isEmpty();
    if (defaultBus) {
        for (const auto &[kind, address] : sim::defaultBusLayout()) {
            sim::Device *d = bus.addDevice(sim::Bus::makeDevice(kind, address));
            // On the mixed default bus a device ignores what it does not serve, so a
            // scan for one kind is not answered by an exception from another.
            d->exceptions = false;
            // Every device of the default bus works at 19200 bit/s, the configurator's default;
            // one that has no rate setting of its own is held there all the same.
            if (!d->setOption(QStringLiteral("baud"), QStringLiteral("19200")))
                d->fixedBaud = 19200;
            // The meter takes the password the meter window proposes, so the demo needs no typing.
            if (kind == QLatin1String("set4tm"))
                d->setOption(QStringLiteral("password"), QStringLiteral("649283"));
        }
    }
    for (const QString &definition : definitions) {
        auto d = sim::parseDevice(definition, error);
        if (!d)
            return false;
        bus.addDevice(std::move(d));
    }
    if (parser.isSet(exceptions)) {
        bool on = true;
        if (!onOff(parser.value(exceptions), &on)) {
            *error = QStringLiteral("--exceptions wants on or off");
            return false;
        }
        for (sim::Device *d : bus.devices())
            d->exceptions = on;
    }
    if (parser.isSet(meterMinute)) {
        bool anyMeter = false;
        for (sim::Device *d : bus.devices()) {
            if (QLatin1String(d->kind()) != QLatin1String("set4tm"))
                continue;
            anyMeter = true;
            if (!d->setOption(QStringLiteral("minutems"), parser.value(meterMinute))) {
                *error = QStringLiteral("--meter-minute wants milliseconds (1..60000)");
                return false;
            }
        }
        if (!anyMeter) {
            *error = QStringLiteral("--meter-minute: no SET-4TM meter on the bus");
            return false;
        }
    }
    if (parser.isSet(freeze)) {
        for (sim::Device *d : bus.devices())
            d->live = false;
    }
    for (const QString &f : parser.values(fault)) {
        if (!applyFault(bus, f, error))
            return false;
    }
    return true;
}

QString helpText()
{
    return QStringLiteral(R"(Usage: orvek-sim [options]

Serves a simulated RS-485 bus of field devices on a pseudo-terminal, or with
--tcp over TCP. The first line on standard output is the path of the terminal
to open (for example /dev/pts/5), or the address to connect to (for example
tcp://127.0.0.1:4001); every frame on the bus is then logged to standard error.
Ctrl+C or SIGTERM stops it cleanly; SIGUSR1, or a line "power" on standard
input, switches every device off and on (a written baud rate or emissivity
coefficient takes effect then).

Options:
  --device KIND:ADDR[@RATE[P]][,KEY=VALUE...]
        Puts a device on the bus (repeat for more). @RATE puts it on a line
        of its own: it answers only at that rate (and with P, one of N, O or
        E, only at that parity), as in krv:3@9600 or b7720q:9@4800E; a
        pseudo-terminal takes no parity, so P is for the in-process bus.
        Without @ a device answers at its own rate (baud= below, 19200 by
        default) and any parity. KIND is one of
          krv         KRV-A relay protection unit
          zdlt        ZDLT-1 relay protection unit
          m7051       M-7051D 16-input module
          set4tm      SET-4TM electricity meter
          sensor      infrared temperature sensor
          controller  multi-sensor temperature controller
          b7720q      B-7720Q 8-input module
        ADDR is 1..247. KEYs for every kind: live=0|1 (moving values),
        exceptions=0|1 (exception answers to what it does not serve), and
        the fault keys of --fault. KEYs of each kind (numbers decimal or 0x..):
          krv         code, model, version (x100), status (alarm word),
                      ia, ib, ic, io (present currents, 0.01 A),
                      tia, tib, tic, tio (currents at the last trip),
                      baud=9600|19200
          zdlt        ua, ub, uc (voltage registers), f (0.1 Hz),
                      r0..r13 (any register from 0xFC7C)
          m7051       inputs (16 bits), version=A.B.C,
                      baud=9600|19200|38400|57600|115200
          b7720q      inputs, outputs (8 bits each)
          sensor      surface, air (0.01 degC), kt (x100)
          controller  config (bits 0-2 sensor groups, bit 3 variant)
          set4tm      password (up to 6 characters, default 000000),
                      idle (ms without a request before the channel closes),
                      baud=9600|19200, ku, ki (transformer ratios), minutes
                      (integration time, a divisor of 60), minutems (see
                      --meter-minute), rating=57|230, current (A per phase),
                      cos (0..1), export=0|1
        Without any --device the default bus is served: krv:1, zdlt:2,
        b7720q:3, m7051:4, sensor:5, controller:6, set4tm:7, all at 19200
        bit/s, each ignoring requests it does not serve, so that a scan from
        address 1 finds every kind (the meter also answers address 0). The
        meter there takes the password 649283, the one the meter window
        proposes.
  --fault [ADDR:]KEY=VALUE
        Fault injection for every device, or the one at ADDR. KEYs:
          drop=P      the answer is lost (the device still acted)
          corrupt=P   the answer carries a wrong CRC
          noise=P     a stray byte goes before the answer
          late=P      the answer comes only after latems
          latems=MS   delay of a late answer (default 500)
          split=P     the answer comes in 2..4 pieces with pauses
          busy=P      meter only: a "busy" status instead of the answer
        P is a probability from 0 to 1, drawn for every answer.
  --seed N            Seed of the fault draws and of the moving values
                      (default 1): the same seed repeats a run.
  --freeze            Values stand still at their set values.
  --exceptions on|off Exception answers for every device (after --device).
  --baud RATE         Line rate in bit/s, fixed. Without it the rate the client
                      set on the terminal is used (19200 until it sets one);
                      over TCP, 19200.
  --any-baud          Devices answer at any line rate and parity. Without it
                      a device whose own rate or parity differs from the
                      line's stays silent.
  --meter-minute MS   A minute of every SET-4TM meter's clock lasts MS ms
                      (1..60000, default 60000): its integration periods and
                      energy run faster, so that with --meter-minute 1000 a
                      30-minute power profile record closes every 30 s.
  --think MS          Time a device takes before it answers (default 3).
  --fifo BYTES        Largest piece the master receives at once (default 16).
  --link PATH         Also makes PATH a symbolic link to the terminal; it is
                      removed on exit. An existing symbolic link is replaced.
  --tcp PORT          Serves the bus over TCP instead of a pseudo-terminal, as a
                      serial device server in raw TCP mode serves its port:
                      the bytes a client sends go on the bus unchanged and the
                      answers come back. PORT 0 takes a free port; the address
                      is printed once the port listens. One client at a time:
                      while one is connected the port does not listen, so
                      another client's connection is refused until the first
                      one leaves. A client cannot set the line: it runs at the
                      --baud rate (19200 without it), 8 data bits, no parity,
                      1 stop bit, and the timing of frames follows that rate.
  --listen ADDR       With --tcp: the local address to listen on (default
                      127.0.0.1, reachable from this computer only); 0.0.0.0
                      or :: opens the bus to the network.
  --config FILE       Reads options from FILE, one per line, without the
                      dashes: "device krv:1,ia=500", "fault drop=0.05",
                      "seed 7". Lines starting with # are comments. Options on
                      the command line come after those of the file.
  --quiet             No bus monitor log.
  -h, --help          This text.

Log lines: time, -> (to the devices), <- (to the master) or !! (did not go
on the wire), the bytes in hex, and their meaning.
)");
}
