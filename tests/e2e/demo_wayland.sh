#!/usr/bin/env bash
# The demo as a native Wayland client under a headless weston: a 320 x 325 toplevel titled
# Larkmoor, a code that oathtool confirms, drawn pixel for pixel as the same demo draws it on X at
# the same moment, and a countdown that keeps moving. Exits 77 (skipped) where weston or Qt's
# Wayland platform is missing. Uses $DISPLAY for the X side when set, otherwise its own Xvfb.
# Usage: demo_wayland.sh <bin dir> <artifact dir>
set -euo pipefail
bin_dir=$(cd "$1" && pwd)
mkdir -p "$2"
artifacts=$(cd "$2" && pwd)
if ! command -v weston >/dev/null || ! command -v weston-screenshooter >/dev/null ||
  ! ls /usr/lib/*/qt5/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1; then
  echo "weston or qtwayland5 is missing"
  exit 77
fi
source "$(dirname "$0")/common.sh"
started=$(date +%s)

# --debug lets weston-screenshooter capture the output.
mkdir -m 700 "$work/wayland-runtime" "$work/x-runtime"
XDG_RUNTIME_DIR="$work/wayland-runtime" weston --backend=headless-backend.so --use-pixman --socket=larkmoor-e2e \
  --width=1024 --height=768 --debug >"$work/weston.out" 2>&1 &
pids+=($!)
wait_until 5 test -S "$work/wayland-runtime/larkmoor-e2e" || fail "weston did not start: $(cat "$work/weston.out")"

# No DISPLAY: Qt must not fall back to X.
(cd "$work" && exec env -u DISPLAY XDG_RUNTIME_DIR="$work/wayland-runtime" WAYLAND_DISPLAY=larkmoor-e2e \
  XDG_DATA_HOME="$work/wayland-data" QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client \
  "$bin_dir/larkmoor-demo" >"$work/wayland.out" 2>&1) &
pids+=($!)

use_a_display
XDG_RUNTIME_DIR="$work/x-runtime" XDG_DATA_HOME="$work/x-data" QT_QPA_PLATFORM=xcb \
  "$bin_dir/larkmoor-demo" >"$work/x.out" 2>&1 &
pids+=($!)

wait_until 10 logged_code "$work/wayland-data/Orvandel/Larkmoor/larkmoor.log" || fail "no \"value is\" record on Wayland within ten seconds: $(tail -3 "$work/wayland.out")"
is_demo_code_since "$code" "$started" || fail "code $code is not oathtool's"
grep -q 'xdg_toplevel@[0-9]*\.set_title("Larkmoor")' "$work/wayland.out" || fail "no xdg toplevel titled Larkmoor"
grep -q "xdg_toplevel@[0-9]*\.set_min_size(320, 325)" "$work/wayland.out" || fail "the minimum size is not 320 x 325"
# Qt's title bar offers maximise here whatever the window asks, and a maximum size the
# compositor's maximised size cannot meet ends the program with a protocol error.
grep -q "xdg_toplevel@[0-9]*\.set_max_size(320, 325)" "$work/wayland.out" && fail "a fixed maximum size: maximise would end the program"

window=$(larkmoor_window) || fail "no X window titled Larkmoor"
# A pointer left over the copy button by an earlier test would draw its hover on X only.
xdotool mousemove "$(xdotool getdisplaygeometry | cut -d" " -f1)" 0

# Both captures fall inside one code window, clear of the last seconds in which the code hides.
while (($(date +%s) % 30 >= 24 || $(date +%s) % 30 < 3)); do sleep 0.5; done
# The page's white below the menu bar locates the window in weston's capture; its bottom and
# sides are the window's. Fails while the window is not drawn yet.
capture() {
  rm -f "$work"/wayland-screenshot-*.png
  (cd "$work" && XDG_RUNTIME_DIR="$work/wayland-runtime" WAYLAND_DISPLAY=larkmoor-e2e timeout 10 weston-screenshooter) ||
    fail "weston-screenshooter failed"
  mv "$work"/wayland-screenshot-*.png "$1"
  read -r w h x y < <(convert "$1" -fill black +opaque white -trim -format '%w %h %X %Y\n' info: 2>/dev/null)
  [ "$w" = 320 ] && convert "$1" -crop "320x325+${x#+}+$((${y#+} + h - 325))" +repage "$2"
}
wait_until 5 capture "$artifacts/wayland-desktop.png" "$work/wayland-1.png" || fail "no 320 pixels wide window page in weston's capture (see $artifacts)"
timeout 10 import -window "$window" "$work/x.png" || fail "the X screenshot hung"

differing() {
  convert "$2" -crop "$1" +repage "$work/a.png"
  convert "$3" -crop "$1" +repage "$work/b.png"
  compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 || true
}
# The code with its box, above the countdown (that X draws it: demo_window.sh).
code_box=220x64+50+88
[ "$(differing "$code_box" "$work/x.png" "$work/wayland-1.png")" = 0 ] ||
  fail "the code on Wayland is not drawn as on X (see $artifacts)"
countdown_moved() {
  capture "$work/desktop-2.png" "$work/wayland-2.png" &&
    [ "$(differing 320x30+0+150 "$work/wayland-1.png" "$work/wayland-2.png")" != 0 ]
}
wait_until 3 countdown_moved || fail "the countdown did not move on Wayland within three seconds"
cp "$work/wayland-1.png" "$artifacts/wayland-window.png"
cp "$work/x.png" "$artifacts/x-window.png"
echo "demo on Wayland: code $code confirmed by oathtool and drawn as on X; captures in $artifacts"
