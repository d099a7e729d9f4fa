#!/usr/bin/env bash
# The Debian package as an engineer's laptop gets it: made with cpack from this
# build folder, unpacked into a throw-away root, and checked for its files, for a
# dependency on the package of every shared library the programs load, and for
# programs that start.
#   test_deb.sh <build folder>
set -u
build="${1:?build folder}"
work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do
    kill "$p" 2>/dev/null && wait "$p" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

for tool in cpack dpkg-deb dpkg-shlibdeps readelf; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps.sh installs it)"
done

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack did not make the package"; }
debs=("$work"/out/*.deb)
{ [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ]; } || fail "not one package: ${debs[*]}"
deb="${debs[0]}"
[ "$(dpkg-deb -f "$deb" Package)" = orvek-configurator ] || fail "package name: $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
echo "made $(basename "$deb"), $(stat -c %s "$deb") bytes"

# The files, all under /usr.
listing="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for f in ./usr/bin/orvek-configurator ./usr/bin/orvek-sim ./usr/share/applications/orvek-configurator.desktop \
         ./usr/share/icons/hicolor/scalable/apps/orvek-configurator.svg; do
  grep -qxF "$f" <<<"$listing" || fail "$f is not in the package"
done
outside="$(grep -vxF './' <<<"$listing" | grep -v '^\./usr/')"
[ -z "$outside" ] || fail "files outside /usr: $outside"

dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x"
usr="$work/root/usr"
desktop="$usr/share/applications/orvek-configurator.desktop"
grep -qx 'Exec=orvek-configurator' "$desktop" || fail "the desktop entry does not start the configurator"
grep -qx 'Icon=orvek-configurator' "$desktop" || fail "the desktop entry names another icon"

# Depends names the package of every library the programs need directly, and no
# development package: apt brings in the run-time libraries and nothing to build with.
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
names=" $(tr -d ' ' <<<"$depends" | tr ',|' '\n' | sed 's/(.*//' | tr '\n' ' ') "
grep -Eq -- '-dev | (gcc|g\+\+|clang|cmake|make)(-[0-9]+)? ' <<<"$names" && fail "a build tool among the dependencies: $depends"
for program in orvek-configurator orvek-sim; do
  binary="$usr/bin/$program"
  [ -x "$binary" ] || fail "$program is not executable"
  readelf -d "$binary" | grep -Eq 'RPATH|RUNPATH' && fail "$program looks for libraries in a path of its own"
  resolved="$(ldd "$binary")"
  grep -q 'not found' <<<"$resolved" && fail "$program: $(grep 'not found' <<<"$resolved")"
  for lib in $(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path="$(awk -v lib="$lib" '$1 == lib && $2 == "=>" {print $3}' <<<"$resolved")"
    owner="$(dpkg -S "$path" 2>/dev/null || dpkg -S "${path#/usr}" 2>/dev/null || dpkg -S "/usr$path" 2>/dev/null)"
    owner="${owner%%:*}"
    [ -n "$owner" ] || fail "$lib ($path) belongs to no package"
    grep -qF " $owner " <<<"$names" || fail "$program needs $lib of $owner, which Depends lacks"
  done
done

# The programs start from the unpacked tree.
"$usr/bin/orvek-sim" --help >"$work/help.txt" 2>&1 || fail "orvek-sim --help: $(cat "$work/help.txt")"
grep -q '^Usage: orvek-sim' "$work/help.txt" || fail "orvek-sim --help printed: $(head -3 "$work/help.txt")"

"$usr/bin/orvek-sim" --link "$work/ttySIM0" --quiet >"$work/sim.out" 2>"$work/sim.err" &
pids+=($!)
mkdir -p "$work/config" "$work/home"
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" HOME="$work/home" \
  "$usr/bin/orvek-configurator" >"$work/configurator.log" 2>&1 &
configurator=$!
pids+=("$configurator")
for _ in $(seq 30); do
  [ -s "$work/sim.out" ] && break
  sleep 0.1
done
grep -q '^/dev/pts/' "$work/sim.out" || fail "orvek-sim did not serve a terminal: $(cat "$work/sim.err")"
sleep 3
kill -0 "$configurator" 2>/dev/null || { wait "$configurator"; fail "the configurator ended (exit code $?): $(cat "$work/configurator.log")"; }
echo "orvek-sim served $(head -1 "$work/sim.out"); the configurator ran for 3 s"
