#!/usr/bin/env bash
# Installs what is missing, builds, and starts the configurator on a simulated
# bus: orvek-sim serves one device of each type on a pseudo-terminal, and port 1
# of a throw-away settings folder points at it, so your own settings stay untouched.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build/release"

bin="$root/build/release/bin"
demo="$(mktemp -d -t orvek-demo.XXXXXX)"
link="$demo/ttySIM0"
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$demo"
}
trap cleanup EXIT INT TERM

# The simulator prints its device path once it is ready to answer. A meter minute
# lasts a second, so a test shows a 30-minute power profile record within a minute.
coproc SIM { exec "$bin/orvek-sim" --link "$link" --meter-minute 1000 2>"$demo/bus-monitor.log"; }
sim_pid=$SIM_PID
read -r -t 10 slave <&"${SIM[0]}" || { echo "orvek-sim did not start; see $demo/bus-monitor.log" >&2; exit 1; }
echo "Simulated bus on $slave (link $link); bus monitor: $demo/bus-monitor.log"

mkdir -p "$demo/config"
# Port 1 is the simulated bus; the search range starts as 1..7, one address per device type.
printf '[Ports]\nCOM1=%s\n\n[TFOrvekConfigurator]\nFormVersion=2\nRxSpinEdit2_Value=1\nRxSpinEdit3_Value=7\n' \
  "$link" > "$demo/config/OrvekConfigurator.ini"
XDG_CONFIG_HOME="$demo/config" "$bin/orvek-configurator"
