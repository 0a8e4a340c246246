#!/usr/bin/env bash
# The demo as a screen reader sees it, over the real AT-SPI bus in a private D-Bus session: the
# live code, which oathtool confirms, is in the name of a focusable node, no push button of the
# window or of its dialogs (opened from the keyboard, closed with Escape) is without a name, and
# each dialog has a "Close" button. Prints every tree it
# read. Exits 77 (skipped) only where the AT-SPI tools are missing. Uses $DISPLAY when set,
# otherwise starts its own Xvfb.
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

"$bin_dir/larkmoor-demo" >"$work/demo.out" 2>&1 &
demo_pid=$!
pids+=("$demo_pid")

echo "== the window"
/usr/bin/python3 "$here/atspi_tree.py" "$demo_pid" window 3132333435363738393031323334353637383930 || status=1

window=$(larkmoor_window) || fail "no window titled Larkmoor"
xdotool windowfocus --sync "$window" 2>/dev/null || true
for keys in "alt+s Down space" "alt+s Down Down space" "alt+h Down Down space"; do
  echo "== the dialog of keys '$keys'"
  # shellcheck disable=SC2086 # one key per word
  xdotool key --delay 250 $keys
  /usr/bin/python3 "$here/atspi_tree.py" "$demo_pid" dialog || status=1
  xdotool key Escape
  /usr/bin/python3 "$here/atspi_tree.py" "$demo_pid" closed >/dev/null || status=1
done
exit "${status:-0}"
