#!/bin/bash
# Longer fuzzing for people, not part of the gating run: each target runs from
# a random seed for SECONDS (default 600) on the committed corpus (seeds and
# regression inputs), and keeps what it learns in $BUILD/explore/<target>/
# for the next run.  An input that finds a fault is written there as crash-*,
# leak-*, timeout-* or oom-*; copy it into fuzz/regression/<target>/ with the
# fix, so that the gating pass (scripts/ci-fuzz.sh) runs it from then on.
#
#   bash scripts/fuzz-explore.sh [SECONDS] [TARGET...]
#   bash scripts/fuzz-explore.sh --check   # the same steps, fixed seed, 500 runs each
#
# --check is what the test command runs: it cannot fail by luck, only when
# the script or a committed input is broken.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build-fuzz}
source scripts/fuzz-targets.sh
ALL=("${FUZZ_TARGETS[@]}")
budget=() seed=0 out_name=explore
if [ "${1:-}" = --check ]; then
  shift
  budget=(-runs=500) seed=1 out_name=explore-check
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  budget=(-max_total_time="$1")
  shift
else
  budget=(-max_total_time=600)
fi
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=("${ALL[@]}")
for t in "${TARGETS[@]}"; do
  [ -d fuzz/corpus/"$t" ] || { echo "no fuzz target $t (one of: ${ALL[*]})"; exit 2; }
done

CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DXRB_BUILD_TESTS=OFF -DXRB_BUILD_CANVAS=OFF -DXRB_BUILD_FUZZ=ON > /dev/null
cmake --build "$BUILD" -j"${JOBS:-2}" --target "${TARGETS[@]/%/_fuzz}" > /dev/null
ROOT=$PWD
case "$BUILD" in /*) OUT=$BUILD/$out_name ;; *) OUT=$ROOT/$BUILD/$out_name ;; esac
[ "$out_name" = explore ] || rm -rf "$OUT"
failed=()
for t in "${TARGETS[@]}"; do
  dir="$OUT/$t"
  mkdir -p "$dir/corpus"
  corpora=("$dir/corpus" "$ROOT/fuzz/corpus/$t")
  if [ -d fuzz/regression/"$t" ]; then corpora+=("$ROOT/fuzz/regression/$t"); fi
  if [ "$seed" = 0 ]; then echo "== $t: ${budget[*]}, random seed"; else echo "== $t: ${budget[*]}, seed $seed"; fi
  fuzz_run "$t" "$dir" -seed="$seed" "${budget[@]}" "${corpora[@]}" || failed+=("$t")
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz faults found: ${failed[*]}; add each input to fuzz/regression/<target>/ with its fix"
  exit 1
fi
