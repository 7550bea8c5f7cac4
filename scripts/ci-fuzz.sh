#!/bin/bash
# Builds the fuzz targets with clang and runs each for a bounded time on a
# copy of its committed seed corpus.  A crash, a sanitizer report, a leak or
# a timeout fails the script; the input that caused it is kept in
# $OUT/<target>/ and named in the output.  SECONDS_EACH shortens the runs.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build-fuzz}
OUT=${OUT:-$BUILD/fuzz-runs}
SECONDS_EACH=${SECONDS_EACH:-60}
TARGETS=(packet cmdline format tcstring)
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
  cp fuzz/corpus/"$t"/* "$dir/corpus/"
  echo "== $t: ${SECONDS_EACH} s"
  # Absolute paths: a target may change its folder when it starts.
  if (cd "$dir" && "$ROOT/$BUILD/fuzz/${t}_fuzz" -max_total_time="$SECONDS_EACH" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/" \
        "$dir/corpus" > "$dir/log" 2>&1); then
    grep -E "^stat::number_of_executed_units|^Done" "$dir/log" || true
  else
    echo "FAIL $t (see $dir/log)"
    grep -E "ERROR|SUMMARY|Test unit written" "$dir/log" || tail -20 "$dir/log"
    failed+=("$t")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz failures: ${failed[*]}"
  exit 1
fi
