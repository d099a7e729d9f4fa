#!/usr/bin/env bash
# Builds the Debian package of the configurator and orvek-sim: the two programs in
# build/release, then the package in build/package. Install it on a machine with
#   sudo apt install ./orvek-configurator_<version>_<architecture>.deb
# (apt brings in the Qt libraries it needs; no compiler).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/release"
out="$root/build/package"
logs="$root/build/logs"
mkdir -p "$logs"

# shellcheck source=scripts/steps.sh
source "$root/scripts/steps.sh"

"$root/scripts/install-deps.sh"
printf 'Building orvek-configurator and orvek-sim in build/release ... '
BUILD_TARGETS="orvek-configurator orvek-sim" "$root/scripts/build.sh" "$build" >"$logs/build.log" 2>&1 ||
  failed "The build" "$logs/build.log"
echo "done."
printf 'Making the package ... '
rm -rf "$out"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$logs/package.log" 2>&1 ||
  failed "cpack" "$logs/package.log"
rm -rf "$out/_CPack_Packages"
echo "done:"
ls "$out"/*.deb
