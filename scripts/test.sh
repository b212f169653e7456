#!/usr/bin/env bash
# Sets up a fresh machine, builds Zandrel and runs every test: once in a normal build (then every
# benchmark in its smoke mode, bench/smoke.sh) and once under AddressSanitizer and
# UndefinedBehaviorSanitizer; then runs each fuzz target for a bounded time (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANDREL_WERROR=ON
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")
# Every benchmark once on tiny inputs, so that a broken one is seen (the figures are not judged).
if [ "${ZANDREL_SKIP_BENCH:-0}" != 1 ]; then
  bash bench/smoke.sh build
fi

if [ "${ZANDREL_SKIP_SANITIZERS:-0}" != 1 ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZANDREL_SANITIZE=ON -DZANDREL_BUILD_BENCH=OFF -DZANDREL_WERROR=ON
  cmake --build build-asan -j "$jobs"
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  (cd build-asan && ctest --output-on-failure -j "$jobs")
fi

if [ "${ZANDREL_SKIP_FUZZ:-0}" != 1 ]; then
  bash scripts/fuzz.sh
fi
