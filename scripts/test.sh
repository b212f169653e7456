#!/usr/bin/env bash
# Sets up a fresh machine, builds Zandrel and runs every test: once in a GCC Release build (then
# every benchmark in its smoke mode, bench/smoke.sh) and once in a clang build under
# AddressSanitizer and UndefinedBehaviorSanitizer, so that both compilers build the whole tree with
# warnings as errors; then runs each fuzz target for a bounded time (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
started=$SECONDS
# Marks each stage in the log with the time spent so far, to see where CI's minutes go.
stage() { echo "== test.sh: $1 (at $((SECONDS - started)) s)"; }
# Release: what users and packages build, where optimisation can expose faults.
# The /usr prefix gives the .deb below Debian's own layout.
stage "GCC Release build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DZANDREL_WERROR=ON \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DCMAKE_INSTALL_PREFIX=/usr
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")
# Every benchmark once on tiny inputs, so that a broken one is seen (the figures are not judged).
if [ "${ZANDREL_SKIP_BENCH:-0}" != 1 ]; then
  stage "benchmarks, smoke mode"
  bash bench/smoke.sh build
fi

# What the build installs: into a temporary prefix, and as a .deb installed and removed again
# (the package part needs root; ZANDREL_SKIP_DEB=1 checks the installed tree only).
stage "install check"
if [ "${ZANDREL_SKIP_DEB:-0}" = 1 ] || [ "$(id -u)" != 0 ]; then
  bash scripts/check-install.sh build tree
else
  bash scripts/check-install.sh build all
fi

if [ "${ZANDREL_SKIP_SANITIZERS:-0}" != 1 ]; then
  stage "clang build with ASan and UBSan"
  cmake -S . -B build-clang-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZANDREL_SANITIZE=ON -DZANDREL_BUILD_BENCH=OFF \
    -DZANDREL_WERROR=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
  cmake --build build-clang-asan -j "$jobs"
  # intercept_tls_get_addr=0: the leak checker's tracking of the dynamic TLS of libraries loaded
  # on first use (libssh, and OpenSSL through it) makes its own tracer crash at exit, now and
  # then, after every test has passed ("Tracer caught signal 11" in ScanRangeForPointers).
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:intercept_tls_get_addr=0
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  (cd build-clang-asan && ctest --output-on-failure -j "$jobs")
fi

if [ "${ZANDREL_SKIP_FUZZ:-0}" != 1 ]; then
  # Half a minute per target keeps the whole run well inside CI's time; run scripts/fuzz.sh
  # alone for longer hunts.
  stage "fuzzing"
  FUZZ_SECONDS=${FUZZ_SECONDS:-30} bash scripts/fuzz.sh
fi
stage "done"
