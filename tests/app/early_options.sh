#!/usr/bin/env bash
# --version and --help of the window programs: answered with exit code 0 where no display can be
# opened, so they must come before Qt starts, as must an unknown option; and larkmoor-cli's
# --help and --version.
# Usage: early_options.sh <bin dir> <version>
set -euo pipefail
bin_dir=$1
version=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

for program in larkmoor larkmoor-demo; do
  [ -x "$bin_dir/$program" ] || continue
  out=$("$bin_dir/$program" --version 2>&1) || fail "$program --version exited $?: $out"
  [ "$out" = "$program $version" ] || fail "$program --version printed '$out'"
  for option in --help -h; do
    out=$("$bin_dir/$program" "$option" 2>&1) || fail "$program $option exited $?: $out"
    [ "$(head -1 <<<"$out")" = "Usage: $program [options]" ] || fail "$program $option printed '$out'"
  done
  # An option neither the program nor Qt knows: one line, the usage status, no display needed.
  status=0
  out=$("$bin_dir/$program" -platform offscreen --bogus 2>&1) || status=$?
  [ "$status" = 2 ] && [ "$out" = "$program: unknown option '--bogus'. Try '$program --help'." ] ||
    fail "$program --bogus exited $status: $out"
done
# The demo's token is out of larkmoor-cli's reach: its help must suggest a command that gives the code.
if [ -x "$bin_dir/larkmoor-demo" ]; then
  command=$("$bin_dir/larkmoor-demo" --help | sed -n 's/^The code in a terminal: //p')
  [[ "$command" != larkmoor-cli* ]] && [[ "$($command 2>&1)" =~ ^[0-9]{6}$ ]] ||
    fail "larkmoor-demo --help suggests '$command'"
fi
out=$("$bin_dir/larkmoor-cli" --help 2>&1)
[ "$(head -1 <<<"$out")" = "Usage: larkmoor-cli [options] command [on|off]" ] || fail "larkmoor-cli --help printed '$out'"
out=$("$bin_dir/larkmoor-cli" --version 2>&1) || fail "larkmoor-cli --version exited $?: $out"
[ "$out" = "larkmoor-cli $version" ] || fail "larkmoor-cli --version printed '$out'"
echo "early options: passed"
