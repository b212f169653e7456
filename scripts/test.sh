#!/usr/bin/env bash
# Sets up a fresh machine, builds Zandrel and runs every test: once in a normal build and once
# under AddressSanitizer and UndefinedBehaviorSanitizer; then runs each fuzz target for a bounded
# time (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANDREL_WERROR=ON
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")

# What the build installs: into a temporary prefix, and as a .deb installed and removed again
# (the package part needs root; ZANDREL_SKIP_DEB=1 checks the installed tree only).
if [ "${ZANDREL_SKIP_DEB:-0}" = 1 ] || [ "$(id -u)" != 0 ]; then
  bash scripts/check-install.sh build tree
else
  bash scripts/check-install.sh build all
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
