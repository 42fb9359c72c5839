#!/usr/bin/env bash
# Fuzzes the info reader and the engine with libFuzzer for SECONDS each.
#   scripts/fuzz.sh [SECONDS]          (default 60)
# Installs what is missing, builds build-fuzz with clang (ZORVANE_FUZZ=ON, only
# the fuzz targets and the seed generator), generates the seed corpus, then
# runs fuzz_inforeader and fuzz_conversion from a fresh working corpus each,
# side by side when there are two cores (FUZZ_JOBS=1 runs them one after the
# other). Prints executions, coverage and peak memory per target.
# Exit status 1 when a target found anything (crash, leak, timeout, out of
# memory, a conversion past its deadline); the reproducer's path is printed.
# Everything lands in build-fuzz/fuzz-runs/<date-time>/; the working corpora
# (unless FUZZ_KEEP_CORPUS=1) and temporary files are removed at the end, logs
# and reproducers kept.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: scripts/fuzz.sh [SECONDS]" >&2
  exit 2
fi
targets=(fuzz_inforeader fuzz_conversion)
jobs=${FUZZ_JOBS:-$(($(nproc) >= 2 ? 2 : 1))}
build="$root/build-fuzz"
started=$(date +%s)

"$root/scripts/install-deps.sh" --fuzz

echo "== building the fuzz targets (clang, ASan + UBSan + libFuzzer) into $build =="
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZORVANE_FUZZ=ON -DZORVANE_BUILD_GUI=OFF -DZORVANE_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --target fuzz --parallel "$(nproc)"

run="$build/fuzz-runs/$(date +%Y%m%d-%H%M%S)"
mkdir -p "$run"
seeds="$run/seeds"
"$build/fuzz/zorvane-fuzz-seeds" "$seeds"

symbolizer=$(command -v llvm-symbolizer-14 || command -v llvm-symbolizer || true)
export ASAN_SYMBOLIZER_PATH="$symbolizer"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:symbolize=1"

fuzz_one() {
  local target=$1 dir="$run/$1"
  mkdir -p "$dir/corpus" "$dir/tmp"
  # The targets write their inputs and outputs under TMPDIR, and libFuzzer its
  # reproducers under the artifact prefix: both stay inside the run's folder.
  # The outer timeout only guards against libFuzzer itself never returning.
  local status=0
  (cd "$dir" && TMPDIR="$dir/tmp" timeout -k 30 $((seconds + 300)) "$build/fuzz/$target" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -dict="$root/fuzz/mp3.dict" -artifact_prefix="$dir/" "$dir/corpus" "$seeds" \
    >"$dir/log" 2>&1) || status=$?
  echo "$status" >"$dir/status"
}

echo "== fuzzing ${targets[*]} for $seconds s each ($jobs at a time); logs in $run =="
pids=()
for target in "${targets[@]}"; do
  fuzz_one "$target" &
  pids+=($!)
  if [ "${#pids[@]}" -ge "$jobs" ]; then
    wait "${pids[0]}"
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do
  wait "$pid"
done

found=0
printf '%-17s %12s %9s %7s %7s %12s  %s\n' target executions exec/s cov ft "peak RSS MB" result
for target in "${targets[@]}"; do
  dir="$run/$target"
  log="$dir/log"
  final_stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -1; }
  # The last status line holds the final coverage (edges) and features.
  last=$(grep -E '^#[0-9]+[[:space:]]+[A-Z]+[[:space:]]+cov: ' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  findings=$(find "$dir" -maxdepth 1 -type f \
    \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | sort)
  status=$(cat "$dir/status")
  result=ok
  if [ -n "$findings" ] || [ "$status" != 0 ]; then
    result="FOUND SOMETHING (exit status $status)"
    found=$((found + 1))
  fi
  printf '%-17s %12s %9s %7s %7s %12s  %s\n' "$target" "$(final_stat number_of_executed_units)" \
    "$(final_stat average_exec_per_sec)" "${cov:-?}" "${ft:-?}" "$(final_stat peak_rss_mb)" \
    "$result"
  if [ "$result" != ok ]; then
    # What libFuzzer and the sanitizers said, up to their summaries, without
    # the shadow memory dump or the libraries' chatter.
    awk '/^==[0-9]+==ERROR|^ALARM|runtime error|deadly signal|out-of-memory|^fuzz_[a-z]+: /{p = 1}
         p && /^Shadow bytes around/ {p = 0}
         p && !/^(tempo|rate|channels): |^\[src\/libmpg123/ {print}
         /^SUMMARY: / {p = 0}' "$log" | head -150
    for finding in $findings; do
      echo "reproducer: $finding"
      echo "  replay:   $build/fuzz/$target $finding"
    done
    [ -n "$findings" ] || echo "no reproducer was written; see $log"
  fi
done

# The temporary folders are only of use during the run, and so are the
# working corpora unless FUZZ_KEEP_CORPUS=1.
for target in "${targets[@]}"; do
  rm -rf "$run/$target/tmp"
  [ "${FUZZ_KEEP_CORPUS:-0}" = 1 ] || rm -rf "$run/$target/corpus"
done
echo "fuzzing took $(($(date +%s) - started)) s in all"
echo "fuzz: $((${#targets[@]} - found)) passed, $found failed"
exit $((found > 0))
