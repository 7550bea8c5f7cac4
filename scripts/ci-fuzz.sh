#!/bin/bash
# The gating fuzz pass: its outcome depends only on the code.  Builds the fuzz
# targets with clang and runs each one, single-process, on a fixed seed for a
# fixed number of runs (not a time: a slower machine does the same work) over
# its committed corpus: the seeds in fuzz/corpus/<target>/ and every input
# that ever found a fault in fuzz/regression/<target>/.  A crash, a sanitizer
# report, a leak or a timeout fails the script; the input that caused it is
# kept in $OUT/<target>/ and named in the output.  Then the exploration script
# is checked the same deterministic way (scripts/fuzz-explore.sh --check).
#
# Random, longer exploration is scripts/fuzz-explore.sh; an input it finds
# goes into fuzz/regression/<target>/ with the fix.  Targets, run counts and
# sanitizer options: scripts/fuzz-targets.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build-fuzz}
OUT=${OUT:-$BUILD/fuzz-runs}
SEED=${SEED:-20261209}
source scripts/fuzz-targets.sh
TARGETS=("${FUZZ_TARGETS[@]}")

CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DXRB_BUILD_TESTS=OFF -DXRB_BUILD_CANVAS=OFF -DXRB_BUILD_FUZZ=ON
cmake --build "$BUILD" -j"${JOBS:-2}" --target "${TARGETS[@]/%/_fuzz}"
failed=()
ROOT=$PWD
case "$OUT" in /*) ;; *) OUT=$ROOT/$OUT ;; esac
for t in "${TARGETS[@]}"; do
  dir="$OUT/$t"
  rm -rf "$dir"
  mkdir -p "$dir/corpus"
  # New inputs go to the first folder, a copy, so the committed ones stay.
  cp fuzz/corpus/"$t"/* "$dir/corpus/"
  corpora=("$dir/corpus")
  if [ -d fuzz/regression/"$t" ]; then corpora+=("$ROOT/fuzz/regression/$t"); fi
  echo "== $t: ${FUZZ_RUNS[$t]} runs, seed $SEED"
  # Absolute paths: a target may change its folder when it starts.
  fuzz_run "$t" "$dir" -seed="$SEED" -runs="${FUZZ_RUNS[$t]}" "${corpora[@]}" || failed+=("$t")
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz failures: ${failed[*]}"
  exit 1
fi
BUILD="$BUILD" bash scripts/fuzz-explore.sh --check
