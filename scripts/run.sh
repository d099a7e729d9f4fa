#!/usr/bin/env bash
# Installs what is missing, builds the two programs of the demo, and starts the
# configurator on a simulated bus: orvek-sim serves one device of each type on a
# pseudo-terminal, and port 1 of a throw-away settings folder points at it, so
# your own settings stay untouched. One line per step; the tools' own output goes
# to logs under build/logs, named when a step fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/release"
logs="$root/build/logs"
mkdir -p "$logs"

# shellcheck source=scripts/steps.sh
source "$root/scripts/steps.sh"
step() { printf '%s\n' "$*"; }

missing="$("$root/scripts/install-deps.sh" --missing)"
if [ -n "$missing" ]; then
  printf 'Installing the missing packages: %s ... ' "$missing"
  # sudo asks for a password on the terminal, not through the log.
  "$root/scripts/install-deps.sh" >"$logs/install.log" 2>&1 || failed "Installing the packages" "$logs/install.log"
  step "done."
fi

# Only the two programs: the tests, benchmarks and fuzz targets are for scripts/test.sh.
printf 'Building orvek-configurator and orvek-sim in build/release (minutes the first time) ... '
started=$SECONDS
BUILD_TARGETS="orvek-configurator orvek-sim" "$root/scripts/build.sh" "$build" >"$logs/build.log" 2>&1 ||
  failed "The build" "$logs/build.log"
step "done in $((SECONDS - started)) s."

bin="$build/bin"
demo="$(mktemp -d -t orvek-demo.XXXXXX)"
link="$demo/ttySIM0"
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$demo"
}
trap cleanup EXIT INT TERM

# One device of each type at 1..7 and 19200 bit/s, as orvek-sim's default bus, each
# ignoring requests it does not serve; and two more off 19200 for the bus survey
# (Ctrl+F) to find. The meter takes the password its window proposes.
devices=(
  --device krv:1@19200 --device zdlt:2@19200 --device b7720q:3@19200 --device m7051:4@19200
  --device sensor:5@19200 --device controller:6@19200 --device set4tm:7@19200,password=649283
  --device krv:12@9600,version=131 --device m7051:21@57600,version=2.6.3
  --exceptions off
)
# The simulator prints its device path once it is ready to answer. A meter minute
# lasts a second, so a test shows a 30-minute power profile record within a minute.
coproc SIM { exec "$bin/orvek-sim" "${devices[@]}" --link "$link" --meter-minute 1000 2>"$demo/bus-monitor.log"; }
sim_pid=$SIM_PID
read -r -t 10 slave <&"${SIM[0]}" || { echo "orvek-sim did not start; see $demo/bus-monitor.log" >&2; exit 1; }
step "Simulated bus on $slave (link $link); bus monitor: $demo/bus-monitor.log"

mkdir -p "$demo/config"
# Port 1 is the simulated bus; the search range starts as 1..7, one address per device type.
printf '[Ports]\nCOM1=%s\n\n[TFOrvekConfigurator]\nFormVersion=2\nRxSpinEdit2_Value=1\nRxSpinEdit3_Value=7\n' \
  "$link" > "$demo/config/OrvekConfigurator.ini"
step "To try a network port instead: run \"$bin/orvek-sim --tcp 4001\" and enter tcp://127.0.0.1:4001 for port 1 in \"Порты\" (the \"...\" button)."
step "Starting the configurator; closing its window ends the demo."
XDG_CONFIG_HOME="$demo/config" "$bin/orvek-configurator"
