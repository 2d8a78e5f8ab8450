#!/usr/bin/env bash
# Runs the end-to-end suite again and again under CPU load, to show that it
# does not fail now and then on a busy machine. Not part of scripts/test.sh.
#
# Usage: scripts/soak-e2e.sh [RUNS [LOAD]]
#   RUNS  how many times the suite runs (default 30);
#   LOAD  how many CPU-bound processes compete with it (default: one a core).
#
# Each run is `ctest -L e2e --parallel 2`, two tests at a time, while LOAD
# busy loops spin at normal priority. The busy loops are started afresh for
# every run, each ends by itself after at most ten minutes, and all are
# killed when the script ends in any way. Prints a line per run, then every
# failing test with its log (kept in build/soak/logs/), and exits non-zero if
# any run failed.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-30}
load=${2:-$(nproc)}
hog_lifetime=600

for tool in Xvfb xdotool apitrace import xwininfo cmake; do
  if ! command -v "$tool" >/dev/null; then
    echo "soak-e2e: $tool is missing; scripts/test.sh installs the test tools" >&2
    exit 1
  fi
done

cmake -S . -B build/soak -DCMAKE_BUILD_TYPE=Release -DVELLACOR_WERROR=ON -DVELLACOR_TESTS=ON \
  -DVELLACOR_BENCHMARKS=OFF >/dev/null
cmake --build build/soak --parallel 2 --target vellacor vellacor_glut_probe >/dev/null
logs=build/soak/logs
rm -rf "$logs"
mkdir -p "$logs"

hogs=()
stop_hogs() {
  if [ ${#hogs[@]} -gt 0 ]; then
    kill "${hogs[@]}" 2>/dev/null || true
    wait "${hogs[@]}" 2>/dev/null || true
  fi
  hogs=()
}

# The suite runs in a process group of its own, so that an interrupted soak
# ends its tests, X servers and viewers along with it.
suite=
stop_suite() {
  if [ -n "$suite" ]; then
    kill -TERM -- "-$suite" 2>/dev/null || true
    wait "$suite" 2>/dev/null || true
  fi
  suite=
}
trap 'stop_suite; stop_hogs' EXIT
trap 'exit 130' INT TERM

start_hogs() {
  for _ in $(seq "$load"); do
    timeout "$hog_lifetime" sh -c 'while :; do :; done' &
    hogs+=($!)
  done
}

failures=()
failed_runs=0
for run in $(seq "$runs"); do
  log="$logs/run-$run.log"
  start_hogs
  started=$SECONDS
  status=0
  setsid ctest --test-dir build/soak -L e2e --parallel 2 --output-on-failure >"$log" 2>&1 &
  suite=$!
  wait "$suite" || status=$?
  suite=
  stop_hogs
  failed=$(sed -n 's/^[[:space:]]*[0-9]* - \(e2e_[a-z_]*\) .*/\1/p' "$log" | paste -sd ' ')
  if [ "$status" -eq 0 ]; then
    echo "run $run/$runs: passed in $((SECONDS - started)) s"
  else
    failed_runs=$((failed_runs + 1))
    echo "run $run/$runs: FAILED ${failed:-(ctest status $status)} in $((SECONDS - started)) s"
    for name in ${failed:-ctest}; do
      failures+=("run $run: $name, log $log")
    done
  fi
done

echo "$runs runs of the e2e suite, two tests at a time, beside $load CPU-bound processes on $(nproc) cores:" \
  "$failed_runs failing"
for failure in "${failures[@]}"; do
  echo "  $failure"
done
[ "$failed_runs" -eq 0 ]
