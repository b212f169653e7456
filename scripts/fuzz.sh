#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang in build-fuzz/ and runs each for a bounded time,
# two at a time. Fails when any target crashes, leaks, times out on an input or runs out of
# memory, and prints the path of the input that does it (replay: build-fuzz/fuzz/NAME PATH).
# The normal test run replays each target's corpus (fuzz/corpus/NAME) as a test.
#
#   FUZZ_SECONDS   time per target (default 60)
#   FUZZ_JOBS      targets run at once (default 2)
#   FUZZ_TARGETS   space-separated names to run (default: every target in fuzz/CMakeLists.txt)
#   FUZZ_BUILD     build folder (default build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-2}
build=${FUZZ_BUILD:-build-fuzz}
case "$build" in /*) ;; *) build=$root/$build ;; esac

targets=${FUZZ_TARGETS:-$(sed -n 's/^zandrel_fuzz_target(\([A-Za-z0-9_]*\) .*/\1/p' fuzz/CMakeLists.txt)}
if [ -z "$targets" ]; then
  echo "fuzz: no targets in fuzz/CMakeLists.txt" >&2
  exit 1
fi

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# Warnings are not errors here: this build only hunts for crashes, and clang warns about other
# things than the compiler of the main build.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DZANDREL_FUZZ=ON -DZANDREL_BUILD_TESTS=OFF -DZANDREL_BUILD_BENCH=OFF -DZANDREL_WERROR=OFF \
  "${launcher[@]}" >/dev/null
cmake --build "$build" --target zandrel_fuzz -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"

results=$build/fuzz-results
rm -rf "$results"
mkdir -p "$results"

# Runs one target; writes its exit status to $results/NAME.rc and its output to $results/NAME.log.
run_target() {
  local name=$1
  local exe=$build/fuzz/$name
  local seeds=$root/fuzz/corpus/$name
  local work=$build/corpus/$name # new inputs go here, never into the source tree
  local artifacts=$results/$name-artifacts/
  mkdir -p "$work" "$artifacts"
  local args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
    -artifact_prefix="$artifacts")
  [ -f "$root/fuzz/$name.dict" ] && args+=(-dict="$root/fuzz/$name.dict")
  local dirs=("$work")
  [ -d "$seeds" ] && dirs+=("$seeds")
  local rc=0
  "$exe" "${args[@]}" "${dirs[@]}" >"$results/$name.log" 2>&1 || rc=$?
  echo "$rc" >"$results/$name.rc"
}

echo "fuzz: ${seconds}s per target, $jobs at a time: $(echo $targets)"
running=0
for name in $targets; do
  if [ ! -x "$build/fuzz/$name" ]; then
    echo "fuzz: $name was not built" >&2
    echo 127 >"$results/$name.rc"
    continue
  fi
  run_target "$name" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait || true

failed=0
for name in $targets; do
  rc=$(cat "$results/$name.rc" 2>/dev/null || echo 1)
  if [ "$rc" = 0 ]; then
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$results/$name.log" | tail -n 1)
    echo "fuzz: $name passed (${execs:-?} inputs)"
    continue
  fi
  failed=1
  echo "fuzz: $name FAILED (exit $rc)" >&2
  if [ -f "$results/$name.log" ]; then
    tail -n 60 "$results/$name.log" >&2
    for input in "$results/$name-artifacts"/*; do
      [ -f "$input" ] && echo "fuzz: reproduce with: $build/fuzz/$name $input" >&2
      [ -f "$input" ] && echo "fuzz: once fixed, add it to fuzz/corpus/$name/ so that the tests replay it" >&2
    done
  fi
done
exit "$failed"
