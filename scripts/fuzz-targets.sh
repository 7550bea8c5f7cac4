# Shared by scripts/ci-fuzz.sh and scripts/fuzz-explore.sh (sourced): the
# fuzz targets, the gating run count of each, and the sanitizer options.
FUZZ_TARGETS=(packet cmdline format tcstring)
# Runs per target in the gating pass: about 20 to 40 s each on a quiet CI
# machine.  A count, not a time, so a slower machine does the same work.
declare -A FUZZ_RUNS=([packet]=400000 [cmdline]=100000 [format]=400000 [tcstring]=100000)

# The packet code answers a size it cannot allocate with XRBE-057 (nothrow
# new, then its own message): there the allocator returns null above 1 GiB
# instead of aborting, so that answer is what runs.  The other targets have no
# input that should ask for that much: any such request stays a finding (a
# list file that is a folder once asked for 2^63-1 bytes).
fuzz_asan_options()
{
  local common=detect_leaks=1
  case "$1" in
    packet) echo "$common:allocator_may_return_null=1:max_allocation_size_mb=1024" ;;
    *) echo "$common" ;;
  esac
}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# fuzz_run TARGET DIR ARGS...: runs the target in DIR (its log, and any input
# that finds a fault, land there) with the common limits and ARGS (seed,
# budget, corpus folders, absolute paths); prints the summary.  Needs ROOT
# and BUILD.  Fails when the target found a fault.
fuzz_run()
{
  local t=$1 dir=$2
  shift 2
  if (cd "$dir" && export ASAN_OPTIONS="$(fuzz_asan_options "$t")" &&
        "$ROOT/$BUILD/fuzz/${t}_fuzz" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=2048 \
          -print_final_stats=1 -artifact_prefix="$dir/" "$@" > "$dir/log" 2>&1); then
    grep -E "^stat::number_of_executed_units|^Done" "$dir/log" || true
  else
    echo "FAIL $t (see $dir/log)"
    grep -E "ERROR|SUMMARY|Test unit written|INFO: Seed: " "$dir/log" || tail -20 "$dir/log"
    return 1
  fi
}
