# Sourced by the end-to-end scripts: a work folder and background processes that end with the
# script, a one-line failure, and an X display: the caller's, or an Xvfb of the script's own.
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

use_a_display() {
  [ -n "${DISPLAY:-}" ] && return
  mkfifo "$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
  pids+=($!)
  read -r -t 10 number <"$work/display" || fail "Xvfb did not start"
  export DISPLAY=":$number"
}
