#!/usr/bin/env bash
# Larkmoor's demo in a real X window: size and title, a live code that oathtool confirms, the
# copy button, log.conf found from another working directory, the window's icon, the dialogs
# opened and closed from the keyboard without a Qt warning, a menu after Escape, exit code 0 on
# Ctrl+Q, the scene graph the user asks for, and on each the code drawn with its shadow.
# Screenshots are bounded in time: importing a window that just closed can hang holding the X
# grab. Uses $DISPLAY when set, otherwise starts its own Xvfb.
# Usage: demo_window.sh <bin dir> <artifact dir>
set -euo pipefail
bin_dir=$(cd "$1" && pwd)
mkdir -p "$2"
artifacts=$(cd "$2" && pwd)
source "$(dirname "$0")/common.sh"
shot() { timeout 10 import -window "$window" "$1" || fail "a screenshot hung"; }

use_a_display

export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" TMPDIR="$work"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
log="$XDG_DATA_HOME/Orvandel/Larkmoor/larkmoor.log"
started=$(date +%s)

# From another working directory: without log.conf, found beside the program, no code is logged.
cd "$work"
"$bin_dir/larkmoor-demo" >"$work/demo.out" 2>&1 &
demo_pid=$!
pids+=("$demo_pid")

window=$(larkmoor_window) || { cat "$work/demo.out" >&2; fail "no window titled Larkmoor"; }
geometry=$(xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$geometry" = "320x325" ] || fail "window is $geometry, not 320x325"
xprop -id "$window" _NET_WM_ICON | grep -q '^_NET_WM_ICON(CARDINAL) = ' || fail "the window has no icon"

wait_until 5 logged_code "$log" || fail "no \"value is\" record within five seconds"

is_demo_code_since "$code" "$started" || fail "code $code is not oathtool's"

sleep 0.5
shot "$artifacts/demo-otp-page.png"

# Every dialog once, from the keyboard alone (Alt access keys, arrows, Space, Escape). An open
# modal dialog dims the whole window, the menu bar's light grey included.
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool mousemove --window "$window" 160 300
dimmed_is() {
  shot "$2"
  shade=$(convert "$2" -format '%[hex:p{300,10}]' info:)
  [ "$([ "$shade" = F3F3F3 ] && echo 0 || echo 1)" = "$1" ]
}
n=0
for keys in "alt+s space" "alt+s Down space" "alt+h Down space"; do
  n=$((n + 1))
  # shellcheck disable=SC2086 # one key per word
  xdotool key --delay 250 $keys
  wait_until 3 dimmed_is 1 "$artifacts/demo-dialog-$n.png" || fail "keys '$keys' opened nothing (menu bar $shade)"
  xdotool key Escape
  wait_until 3 dimmed_is 0 "$work/closed.png" || fail "Escape left the dialog of '$keys' open"
done

# A menu closed with Escape under the pointer opens again with one click on its title (the Help
# menu's entries fall on a blank strip of the page), and a click on an open menu's title closes it.
help_menu_is() {
  shot "$work/menu.png"
  [ "$(convert "$work/menu.png" -crop 100x40+152+40 -format '%[fx:mean < 1 ? 1 : 0]' info:)" = "$1" ]
}
# The menu bar sets itself straight a moment after a menu closes: clicks keep their pace.
xdotool mousemove --window "$window" 178 15 click 1
sleep 0.6
wait_until 3 help_menu_is 1 || fail "a click on Help opened nothing"
xdotool key Escape
sleep 0.6
wait_until 3 help_menu_is 0 || fail "Escape left the Help menu open"
for step in "opened nothing after Escape:1" "did not close the open menu:0"; do
  xdotool click 1
  sleep 0.8
  wait_until 3 help_menu_is "${step##*:}" || fail "a click on Help ${step%:*}"
done

# Ctrl+C late in a window, so that its end comes soon; the page hides the code in the last two
# seconds. Clipboard histories are told to keep no copy, the primary selection stays the user's,
# and the window's end takes the code off the clipboard.
holds() { copied=$(xclip -o -selection "$1" 2>/dev/null || true) && [ "$copied" = "$2" ]; }
while (($(date +%s) % 30 < 22 || $(date +%s) % 30 >= 26)); do sleep 0.2; done
logged_code "$log"
shown=$(printf '%06d' "$code")
xdotool key ctrl+c
wait_until 3 holds clipboard "$shown" || fail "clipboard holds '$copied', expected $shown"
targets=$(xclip -o -selection clipboard -t TARGETS)
grep -qx x-kde-passwordManagerHint <<<"$targets" || fail "no x-kde-passwordManagerHint among: $targets"
[ "$(xclip -o -selection clipboard -t x-kde-passwordManagerHint)" = secret ] || fail "the hint is not 'secret'"
! holds primary "$shown" || fail "the code went to the primary selection"
wait_until 10 eval '! holds clipboard "$shown"' || fail "the code stayed on the clipboard after its window"

# The copy button sits right of the code; the window's layout is fixed. A text the user copies
# after the code stays on the clipboard when Larkmoor quits.
wait_until 3 eval 'logged_code "$log" && [ "$(printf %06d "$code")" != "$shown" ]' || fail "no code in the next window"
shown=$(printf '%06d' "$code")
xdotool mousemove --window "$window" 277 121 click 1
wait_until 3 holds clipboard "$shown" || fail "clipboard holds '$copied', expected $shown"
echo "user text" | xclip -i -quiet -selection clipboard 2>/dev/null &
pids+=($!)
wait_until 3 holds clipboard "user text" || fail "xclip did not take the clipboard"

# Ctrl+Q takes File > Exit's path.
xdotool key ctrl+q
ended() { ! kill -0 "$1" 2>/dev/null; }
wait_until 5 ended "$demo_pid" || fail "still running five seconds after Ctrl+Q"
status=0
wait "$demo_pid" || status=$?
[ "$status" -eq 0 ] || fail "exit code $status"
! grep "Qt: " "$log" || fail "Qt or QML complained in the log"
holds clipboard "user text" || fail "quitting took the user's text off the clipboard: '$copied'"

# The code readable, black on its grey box, with the box's shadow below and right of it (the
# shadow is an image: no scene graph may drop it). x 100-220 lies inside the box whatever the code.
code_drawn() {
  shot "$1"
  [ "$(convert "$1" -crop 120x36+100+102 -format '%[fx:minima < 0.2 && maxima > 0.75]' info:)" = 1 ] &&
    [ "$(convert "$1" -format '%[fx:p{160,146}.r < 0.9 && p{254,122}.r < 0.85]' info:)" = 1 ]
}
# The software scene graph, unless the user asks Qt for another; QSG_INFO makes Qt log its choice.
for pair in ":Loading backend software" "opengl:GL_RENDERER"; do
  backend=${pair%%:*}
  rm -rf "$XDG_DATA_HOME"
  QSG_INFO=1 QT_QUICK_BACKEND=$backend "$bin_dir/larkmoor-demo" >"$work/demo.out" 2>&1 &
  demo_pid=$!
  pids+=("$demo_pid")
  window=$(larkmoor_window) || fail "no window on the scene graph '$backend'"
  wait_until 8 code_drawn "$artifacts/demo-code-${backend:-software}.png" ||
    fail "the code or its shadow is not drawn on the scene graph '$backend' (see $artifacts)"
  kill "$demo_pid" 2>/dev/null || true
  wait "$demo_pid" 2>/dev/null || true
  loaded=$(grep -o "Qt: Loading backend software\|Qt: GL_RENDERER" "$log" | head -1)
  [ "$loaded" = "Qt: ${pair#*:}" ] ||
    fail "QT_QUICK_BACKEND='$backend' drew with '${loaded:-nothing}'"
done
echo "demo window: code $code confirmed by oathtool, copied $shown, exit 0; screenshot in $artifacts"
