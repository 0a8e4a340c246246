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

# Runs a check every tenth of a second until it holds, for $1 seconds at the most.
wait_until() {
  local limit=$1
  shift
  for _ in $(seq $((limit * 10))); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# The id of the visible X window titled Larkmoor, once there is one (ten seconds at the most).
shown_window() { xdotool search --onlyvisible --name '^Larkmoor$' 2>/dev/null | head -1 | grep .; }
larkmoor_window() { wait_until 10 shown_window; }

# The last code log $1 records, in $code; false while there is none.
logged_code() {
  code=$(sed -n 's/.*: value is \([0-9]*\)$/\1/p' "$1" 2>/dev/null | tail -1 || true)
  [ -n "$code" ]
}

# Whether $1 is the demo token's code at some second from $2 (a start time, in seconds) to now.
is_demo_code_since() {
  local t
  for ((t = $2 - 1; t <= $(date +%s); t++)); do
    [ "$(oathtool --totp -d 6 -N "@$t" 3132333435363738393031323334353637383930)" = "$(printf '%06d' "$((10#$1))")" ] && return
  done
  return 1
}
