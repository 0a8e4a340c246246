#!/usr/bin/env bash
# Larkmoor beside the desktop, in a private D-Bus session with tray_host.py as the desktop's tray
# and notification server: no item and no complaint while there is no tray host, the item once
# one comes, its menu over com.canonical.dbusmenu ("Copy code" with its notification, "Quit"
# with exit 0), the window kept in the tray and brought back, and --copy with and without a
# running window and without a token. Exits 77 where dbus-run-session or python3-gi is missing.
# Uses $DISPLAY when set, otherwise starts its own Xvfb.
# Usage: tray.sh <bin dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v dbus-run-session >/dev/null || ! /usr/bin/python3 -c 'from gi.repository import Gio' 2>/dev/null; then
  echo "dbus-run-session or python3-gi is missing"
  exit 77
fi
[ -n "${LARKMOOR_TRAY_SESSION:-}" ] || exec env LARKMOOR_TRAY_SESSION=1 dbus-run-session -- "$0" "$@"

bin_dir=$(cd "$1" && pwd)
source "$here/common.sh"
use_a_display
export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config"
mkdir -m 700 -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/Orvandel/Larkmoor"
printf '[General]\nkeep_in_tray=true\n' >"$XDG_CONFIG_HOME/Orvandel/Larkmoor/larkmoor.conf"
log="$XDG_DATA_HOME/Orvandel/Larkmoor/larkmoor.log"
started=$(date +%s)

host() {
  /usr/bin/python3 "$here/tray_host.py" "$@" >"$work/host.out" 2>&1 &
  host_pid=$!
  pids+=("$host_pid")
  wait_until 5 grep -q 'owned org.kde.StatusNotifierWatcher' "$work/host.out" || fail "the stand-in tray did not start"
}
said() { grep -q "$1" "$work/host.out"; }
menu() { dbus-send --session --print-reply --dest="$item" /MenuBar "com.canonical.dbusmenu.$1" "${@:2}"; }
click() {
  local id
  id=$(menu GetLayout int32:0 int32:-1 array:string: |
    awk -v want="\"$1\"" '/^ *int32 /{id=$2} /string "label"/{getline; if (index($0, want)) print id}')
  [ -n "$id" ] || fail "the menu has no \"$1\""
  menu Event "int32:$id" string:clicked variant:int32:0 uint32:0 >/dev/null
}
# xclip holds the text until another program takes the clipboard; it ends with the script.
clear_clipboard() {
  printf none | xclip -selection clipboard -quiet >/dev/null 2>&1 &
  pids+=($!)
  wait_until 2 eval '[ "$(xclip -o -selection clipboard 2>/dev/null)" = none ]'
}
holds_code() { copied=$(xclip -o -selection clipboard 2>/dev/null) && [ "$copied" != none ] && is_demo_code_since "$copied" "$started"; }
# Nothing on standard error, and no error or warning in the log from Larkmoor's side of the desktop
# (this machine may have no udev, whose error is not the tray's).
complaints() { grep -E ' (ERROR|WARNING) (status_notifier_item|dbus_menu|tray|desktop_notification|settings|copy_request)\.cpp' "$log"; }
quiet() { [ ! -s "$1" ] && ! complaints >/dev/null; }

# A watcher without a host: no item, nothing said, the window as it always was.
host --no-host
"$bin_dir/larkmoor-demo" >"$work/demo.out" 2>&1 &
demo_pid=$!
pids+=("$demo_pid")
window=$(larkmoor_window) || fail "no window titled Larkmoor: $(cat "$work/demo.out")"
wait_until 10 grep -q 'No tray on this desktop' "$log" || fail "the demo never asked for a tray host"
! said '^item ' || fail "an item registered without a host"
quiet "$work/demo.out" || fail "complaints without a tray: $(cat "$work/demo.out") $(complaints)"

# --copy through the running window.
clear_clipboard
"$bin_dir/larkmoor-demo" --copy 2>"$work/copy.err" || fail "--copy through the window exited $?: $(cat "$work/copy.err")"
holds_code || fail "--copy left '$copied' on the clipboard"
[ ! -s "$work/copy.err" ] || fail "--copy said: $(cat "$work/copy.err")"

# A host that comes later gets the item, and its menu copies with a notification.
kill -USR1 "$host_pid"
wait_until 5 said '^item ' || fail "no item once a host came"
item=$(sed -n 's/^item //p' "$work/host.out" | head -1)
clear_clipboard
click "Copy code"
wait_until 16 holds_code || fail "\"Copy code\" left '$copied' on the clipboard"
wait_until 3 said '^notify Code copied, [0-9]* seconds\? left$' || fail "no notification: $(cat "$work/host.out")"

# Closed into the tray, brought back by a click on the item; closed again, brought back when the
# tray goes away.
for bring_back in "dbus-send --session --print-reply --dest=$item /StatusNotifierItem org.kde.StatusNotifierItem.Activate int32:0 int32:0" \
                  "kill $host_pid"; do
  /usr/bin/python3 "$here/tray_host.py" close "$window"
  wait_until 5 eval '! shown_window >/dev/null' || fail "the window did not close"
  ! wait_until 1 eval "! kill -0 $demo_pid 2>/dev/null" || fail "closing the window ended the program"
  $bring_back >/dev/null
  window=$(larkmoor_window) || fail "the window did not come back after: $bring_back"
done

# A tray that starts again gets the item again; its Quit ends the program with 0.
host
wait_until 5 said '^item ' || fail "no item for a tray that started again"
item=$(sed -n 's/^item //p' "$work/host.out" | head -1)
click Quit
wait_until 5 eval "! kill -0 $demo_pid 2>/dev/null" || fail "Quit did not end the demo"
wait "$demo_pid" || fail "Quit ended the demo with $?"
quiet "$work/demo.out" || fail "complaints: $(cat "$work/demo.out") $(complaints)"

# --copy with no window running becomes the window and copies its first code.
clear_clipboard
"$bin_dir/larkmoor-demo" --copy >"$work/first.out" 2>&1 &
first_pid=$!
pids+=("$first_pid")
wait_until 16 holds_code || fail "a first start with --copy left '$copied' on the clipboard"
shown_window >/dev/null || fail "a first start with --copy shows no window"
kill "$first_pid"
wait_until 5 eval '! shown_window >/dev/null' || fail "the demo did not end"

# Without a token: one sentence and exit 1, the running window stays.
"$bin_dir/larkmoor" >"$work/larkmoor.out" 2>&1 &
larkmoor_pid=$!
pids+=("$larkmoor_pid")
larkmoor_window >/dev/null || fail "larkmoor did not start: $(cat "$work/larkmoor.out")"
status=0
"$bin_dir/larkmoor" --copy 2>"$work/copy.err" || status=$?
[ "$status" = 1 ] && [ "$(cat "$work/copy.err")" = "No token is plugged in; nothing was copied." ] ||
  fail "--copy without a token exited $status saying: $(cat "$work/copy.err")"
kill -0 "$larkmoor_pid" || fail "the window went with the failed copy"
echo "tray: all checks passed"
