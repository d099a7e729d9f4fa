#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a plain build
# and once under AddressSanitizer + UndefinedBehaviorSanitizer, then a short
# pass of every fuzz target, so a regression in input handling shows at once.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"

export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"

echo "== build and test =="
"$root/scripts/build.sh" "$root/build/release"
ctest --test-dir "$root/build/release" --output-on-failure -j"$jobs"

echo "== build and test under AddressSanitizer + UndefinedBehaviorSanitizer =="
# clang, so that the same build also holds the fuzz targets (an older gcc build
# folder is made anew).
grep -qs '^CMAKE_CXX_COMPILER:.*clang' "$root/build/asan/CMakeCache.txt" || rm -rf "$root/build/asan"
CC=clang CXX=clang++ BUILD_TYPE=Debug "$root/scripts/build.sh" "$root/build/asan" -DORVEK_SANITIZE=ON -DORVEK_FUZZ=ON
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build/asan" --output-on-failure -j"$jobs"

echo "== fuzz targets, 15 s each =="
"$root/scripts/fuzz.sh" 15 "$root/build/asan"
