#!/usr/bin/env bash
# Configures and builds into the given folder: scripts/build.sh <build-dir> [cmake options...]
# Everything by default; BUILD_TARGETS="a b" builds only those targets (and what they need).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:?build folder}"
shift
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" "$@" >/dev/null
targets=()
for t in ${BUILD_TARGETS:-}; do
  targets+=(--target "$t")
done
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
