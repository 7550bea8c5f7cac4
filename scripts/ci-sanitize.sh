#!/bin/bash
# Builds the whole test suite with AddressSanitizer and UndefinedBehaviorSanitizer
# (clang) and runs it.  The canvas library is left out: it is a shared
# library loaded by the JVM, and the sanitizer runtime would have to be
# preloaded into java for it to load at all.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build-asan}
JOBS=${JOBS:-2}
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DXRB_SANITIZE=ON -DXRB_BUILD_CANVAS=OFF -DXRB_BUILD_FUZZ=OFF
cmake --build "$BUILD" -j"$JOBS"
# Any report ends the process with a failure, so no test passes over one.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$BUILD" --output-on-failure -j"$JOBS" --timeout 300
