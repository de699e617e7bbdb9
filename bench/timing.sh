# Timing helpers the benchmark scripts share (sourced, not run).
#
# The machine the benchmarks run on is shared: other work comes and goes on
# its processors. Every timed command therefore runs pinned to one
# processor ($OVNSS_BENCH_CPU, default 1), so the two sides of a comparison
# meet the same processor and the same cache, and each figure is the median
# of $OVNSS_BENCH_RUNS runs (default 5, never fewer), which a run or two
# slowed by a neighbour does not move.

# bench_build BUILD TARGET...: the project's tools installed and a Release
# tree of the benchmarks in BUILD with TARGET... built ($src: the checkout).
bench_build() {
  local build=$1
  shift
  "$src/scripts/bootstrap"
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOVNSS_BUILD_BENCH=ON \
    -DOVNSS_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" --target "$@" >/dev/null
}

bench_cpu=${OVNSS_BENCH_CPU:-1}
bench_runs=${OVNSS_BENCH_RUNS:-5}
[ "$bench_runs" -ge 5 ] 2>/dev/null || bench_runs=5
# Without taskset (or on a one-processor machine) commands run unpinned.
if command -v taskset >/dev/null 2>&1 && taskset -c "$bench_cpu" true 2>/dev/null; then
  bench_pin=(taskset -c "$bench_cpu")
else
  bench_pin=()
fi

# The median of the numbers given, one per argument.
median() {
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
    if (NR == 0) exit 1
    if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Prints the median wall time, in seconds, of $bench_runs runs of a
# command pinned to the benchmark processor. With --before FN, FN runs
# before each run, untimed and unpinned (removing the last run's output,
# writing back dirty pages). Shell functions are run through a pinned
# subshell, so everything they start is pinned too.
median_time() {
  local before=: t times=()
  if [ "$1" = --before ]; then before=$2; shift 2; fi
  for _ in $(seq "$bench_runs"); do
    "$before"
    if declare -F "$1" >/dev/null; then
      t=$( { TIMEFORMAT=%R; time pinned_call "$@" >/dev/null 2>&1; } 2>&1 )
    else
      t=$( { TIMEFORMAT=%R; time "${bench_pin[@]}" "$@" >/dev/null 2>&1; } 2>&1 )
    fi
    times+=("$t")
  done
  median "${times[@]}"
}

# Runs a shell function with this shell (and so everything it starts)
# pinned to the benchmark processor, in a subshell that is given up after.
pinned_call() {
  (
    if [ ${#bench_pin[@]} -gt 0 ]; then taskset -p -c "$bench_cpu" $BASHPID >/dev/null; fi
    "$@"
  )
}
