#!/bin/bash
# Builds xrbbldc linked statically for i386 (-m32) and for x86-64, and runs
# the end-to-end and command-line cases against each, with the local build
# server of the same build.  GoogleTest exists only for x86-64, so these
# builds leave the unit tests and the canvas library out.
#
# glibc warns at link time that the resolver functions need its shared NSS
# modules at run time: the program runs on the machine that built it, where
# they are present.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-2}
ROOT=$PWD
status=0

build() {   # build folder, extra compiler flags
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS="$2" -DCMAKE_CXX_FLAGS="$2" \
    -DXRB_STATIC=ON -DXRB_BUILD_TESTS=OFF -DXRB_BUILD_CANVAS=OFF
  cmake --build "$1" -j"$JOBS" --target xrbbldc xrbblds
}

suite() {   # build folder, expected ELF machine
  local client=$ROOT/$1/xrbbldc server=$ROOT/$1/tools/buildserver/xrbblds
  local machine
  machine=$(readelf -h "$client" | sed -n 's/^ *Machine: *//p')
  echo "$1/xrbbldc: $machine"
  local headers
  headers=$(readelf -lW "$client"; readelf -d "$client" 2>&1 || true)
  if [ "$machine" != "$2" ] || [[ $headers == *INTERP* || $headers == *NEEDED* ]]; then
    echo "FAIL $1: xrbbldc is not a static $2 program"
    return 1
  fi
  export CLIENT=$client SERVER=$server RESULTS=$ROOT/$1/suite-results
  rm -rf "$RESULTS"
  mkdir -p "$RESULTS"
  # One case per process, $JOBS at a time; the runner bounds each case.
  { for c in tests/e2e/cases/*.case; do echo "e2e $c"; done
    for c in tests/cli/cases/*.case; do echo "cli $c"; done; } |
    xargs -P "$JOBS" -L1 bash -c '
      name=$0.$(basename "$1" .case)
      python3 tests/support/run_case.py --client "$CLIENT" --server "$SERVER" "$1" \
        > "$RESULTS/$name.out" 2>&1
      case $? in 0) touch "$RESULTS/$name.ok" ;; 77) touch "$RESULTS/$name.skip" ;; esac; true'
  local total pass skip rc=0
  total=$(ls "$RESULTS"/*.out | wc -l)
  pass=$(ls "$RESULTS" | grep -c '\.ok$' || true)
  skip=$(ls "$RESULTS" | grep -c '\.skip$' || true)
  # A case skips (status 77) when the machine lacks what it needs.
  echo "$1: $pass of $total cases passed, $skip skipped"
  for out in "$RESULTS"/*.out; do
    if [ -e "${out%.out}.skip" ]; then
      echo "skipped $(basename "$out" .out): $(tail -1 "$out")"
    elif [ ! -e "${out%.out}.ok" ]; then
      echo "--- $(basename "$out" .out)"; head -60 "$out"; rc=1
    fi
  done
  [ "$total" -gt 0 ] || rc=1
  return $rc
}

build build-static32 -m32
build build-static64 ""
# Some kernels are built without 32-bit emulation: the i386 client still has
# to build, but it can only run where the kernel executes i386 programs.
if "$ROOT/build-static32/xrbbldc" -version >/dev/null 2>&1; then
  suite build-static32 "Intel 80386" || status=1
else
  echo "build-static32: built; not run, this kernel does not execute i386 programs"
fi
suite build-static64 "Advanced Micro Devices X86-64" || status=1
exit $status
