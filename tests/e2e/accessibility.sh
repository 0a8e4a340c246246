#!/usr/bin/env bash
# The window as a screen reader sees it, over the real AT-SPI bus in a private D-Bus session:
# without a token (the real program, where none is plugged in) and with the demo's, its menus and
# each dialog opened from the keyboard: the live code, which oathtool confirms, in the name of a
# focusable node, alerts as notifications, the titles of menus and dialogs as their names, the
# focus known from the start, the help readable as text, every control named and every focusable
# one reached by Tab (atspi_tree.py). Prints every tree it read. Exits 77 (skipped) only where
# the AT-SPI tools are missing. Uses $DISPLAY when set, otherwise starts its own Xvfb.
# Usage: accessibility.sh <bin dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
launcher=/usr/libexec/at-spi-bus-launcher
if ! command -v dbus-run-session >/dev/null || [ ! -x "$launcher" ] || ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
  echo "dbus-run-session, at-spi2-core or python3-pyatspi is missing"
  exit 77
fi
# The whole test runs inside its own session bus, which ends with it.
[ -n "${LARKMOOR_A11Y_SESSION:-}" ] || exec env LARKMOOR_A11Y_SESSION=1 dbus-run-session -- "$0" "$@"

bin_dir=$(cd "$1" && pwd)
source "$here/common.sh"

use_a_display
export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
mkdir -m 700 -p "$XDG_RUNTIME_DIR"

"$launcher" --launch-immediately >"$work/launcher.out" 2>&1 &
pids+=($!)
# Qt asks the session bus for the accessibility bus once, at start: the launcher must be there.
bus_up() { dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1; }
wait_until 5 bus_up || fail "the accessibility bus did not start: $(cat "$work/launcher.out")"

# Without a browser to launch (no PATH), F1 opens the help inside the window.
start() {
  PATH=/nonexistent "$bin_dir/$1" >"$work/$1.out" 2>&1 &
  pid=$!
  pids+=("$pid")
  window=$(larkmoor_window) || fail "no window titled Larkmoor: $(cat "$work/$1.out")"
  xdotool windowfocus --sync "$window" 2>/dev/null || true
}
# Presses the keys, one a word, then reads the tree for what is expected.
step() {
  echo "== keys '$1': ${*:2}"
  # shellcheck disable=SC2086 # one key per word
  [ -z "$1" ] || xdotool key --delay 250 $1
  /usr/bin/python3 "$here/atspi_tree.py" "$pid" "${@:2}" || status=1
}

# The real program, where larkmoor-cli finds no token (exit code 1).
if "$bin_dir/larkmoor-cli" code >/dev/null 2>&1 || [ $? != 1 ]; then
  echo "a token is plugged in: the window without one is not read"
else
  start larkmoor
  step "" "notification|No Key Detected!" "push button|Token not found?" "menu item|Settings|Unavailable until a token is found"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
fi

# What a screen reader hears from the start on.
/usr/bin/python3 "$here/atspi_tree.py" --events >"$work/events" 2>&1 &
pids+=($!)
wait_until 5 grep -q listening "$work/events" || fail "no events from the accessibility bus: $(cat "$work/events")"
start larkmoor-demo
# The code box has the keyboard from the start, a screen reader is told so once the window is
# active, and it is the only Tab stop.
step "" code=3132333435363738393031323334353637383930 "focused|push button|" tabs=2
sed -n '/^window:activate/,$p' "$work/events" | grep -q "^focused push button|" \
  || { echo "FAIL: the code box was not announced at start: $(cat "$work/events")" >&2; status=1; }
step "alt+f" "popup menu|File" "menu item|File" "focused|menu item|Exit"
step "Escape alt+h" "popup menu|Help"
step "Down space" "dialog|About" "label|Larkmoor version" "text|The log:|larkmoor.log" tabs=3
step "Escape F1" "dialog|Help" "focused|text|Help" "text|Help|Larkmoor shows the one-time password"
step "Escape alt+s" "popup menu|Settings"
step "Down space" "dialog|Token Info"
step "Escape alt+s space" "dialog|Preferences" "notification|Waiting for the token"
step "Tab space" "dialog|Press Mode Settings" "notification|Press Mode Enabled."
# Each switch says what it does, and which one is in effect once the token has answered.
step "Escape" "push button|Enable Key Press|The token gives a code only after its button is pressed. In effect." \
  "push button|Disable Key Press|The token gives a code without a press of its button. Not in effect."
exit "${status:-0}"
