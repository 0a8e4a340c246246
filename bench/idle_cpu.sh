#!/usr/bin/env bash
# Prints what the demo costs while it only shows its code: the on-CPU time of all its threads
# (/proc/PID/task/*/schedstat) and their wake-ups (voluntary context switches) over N idle
# seconds, after ten to settle, under an Xvfb of its own. scripts/bench measures the same among
# its other figures; this is the quick look at one build.
# Usage: bench/idle_cpu.sh <bin dir> [seconds, 30]
set -euo pipefail
bin_dir=$1
seconds=${2:-30}
work=$(mktemp -d)
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
read -r -t 10 number <"$work/display"
export DISPLAY=":$number" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
"$bin_dir/larkmoor-demo" >/dev/null 2>&1 &
pid=$!
pids+=("$pid")

cpu_ns() { cat /proc/"$pid"/task/*/schedstat | awk '{ sum += $1 } END { printf "%.0f", sum }'; }
wakeups() { cat /proc/"$pid"/task/*/status | awk '/^voluntary_ctxt_switches/ { sum += $2 } END { print sum }'; }
sleep 10
cpu0=$(cpu_ns)
wake0=$(wakeups)
sleep "$seconds"
awk -v a="$cpu0" -v b="$(cpu_ns)" -v w0="$wake0" -v w1="$(wakeups)" -v s="$seconds" 'BEGIN {
  printf "idle CPU over %d s: %.3f %%, %.1f wake-ups per second\n", s, (b - a) / 1e9 / s * 100, (w1 - w0) / s }'
