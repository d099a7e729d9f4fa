#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan + UBSan) into build/fuzz and runs
# each for the given number of seconds (default 60), as many at a time as there
# are cores; prints the runs executed per target. An input that crashes a target
# is kept in <build>/findings/ and fails the script.
#   scripts/fuzz.sh [seconds] [build folder]
# With a build folder configured with -DORVEK_FUZZ=ON (the test command's
# sanitized build), its targets are built there and run; otherwise build/fuzz.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
build="${2:-$root/build/fuzz}"
targets=(fuzz_inifile fuzz_answers fuzz_meter fuzz_receive fuzz_monitor fuzz_simbus)

if [ -z "${2:-}" ]; then
  # -O1 on top of a Debug build keeps Qt's own range asserts (QByteArray::at and
  # the like) armed and the runs fast.
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
    -DORVEK_FUZZ=ON -DORVEK_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target fuzzers >/dev/null
python3 "$root/fuzz/make_corpus.py" "$root/tests" "$build/corpus"
mkdir -p "$build/findings" "$build/logs"

run() {
  local t="$1" dict=()
  [ -f "$root/fuzz/$t.dict" ] && dict=(-dict="$root/fuzz/$t.dict")
  # -timeout: an input that takes 10 s is a hang, and a hang is a finding.
  "$build/bin/$t" -max_total_time="$seconds" -timeout=10 -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$t-" "${dict[@]}" "$build/corpus/$t" >"$build/logs/$t.log" 2>&1 \
    && echo 0 >"$build/logs/$t.rc" || echo $? >"$build/logs/$t.rc"
}

running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$(nproc)" ]; then
    wait -n
    running=$((running - 1))
  fi
  rm -f "$build/logs/$t.rc"
  run "$t" &
  running=$((running + 1))
done
wait

failed=0
for t in "${targets[@]}"; do
  if [ "$(cat "$build/logs/$t.rc" 2>/dev/null)" = 0 ]; then
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/logs/$t.log")"
    echo "$t: ${runs:-?} runs in ${seconds} s"
  else
    failed=1
    echo "$t: FAILED, see $build/logs/$t.log and $build/findings/"
    grep -E "broken promise|ERROR|runtime error|SUMMARY" "$build/logs/$t.log" | head -5 || true
  fi
done
exit "$failed"
