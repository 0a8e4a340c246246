#!/usr/bin/env bash
# The man pages list exactly the options that --help lists (and, for larkmoor-cli, the commands),
# so that neither can change without the other; they and the AppStream file name the programs'
# version. Usage: man_options.sh <bin dir> <man page dir>
set -euo pipefail
bin_dir=$1
man_dir=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

# The first words of the tagged paragraphs of one section of a roff page: ".TP", then the tag.
man_tags() {
  awk -v section="$2" '
    /^\.SH / { inside = ($2 == section); next }
    inside && /^\.TP/ { tag = 1; next }
    inside && tag { sub(/^\.[A-Z]+ /, ""); gsub(/\\-/, "-"); gsub(/"/, ""); print; tag = 0 }' "$1"
}
options_of() { grep -oE '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,' | sort; }

version=$("$bin_dir/larkmoor-cli" --version | awk '{print $2}')
grep -q "<release version=\"$version\"" "$man_dir/com.orvandel.Larkmoor.metainfo.xml" ||
  fail "the AppStream file has no release $version"

for program in larkmoor larkmoor-cli; do
  grep -q "^\.TH .* \"Larkmoor $version\"" "$man_dir/$program.1" || fail "$program.1 is not for version $version"
  help=$("$bin_dir/$program" --help)
  # In --help, an option line starts with two spaces and a dash; its name column ends at two spaces.
  from_help=$(sed -n 's/^  \(-[^ ].*\)/\1/p' <<<"$help" | sed 's/  .*//' | options_of)
  from_man=$(man_tags "$man_dir/$program.1" OPTIONS | options_of)
  [ -n "$from_help" ] || fail "no option found in $program --help"
  [ "$from_help" = "$from_man" ] || fail "$program: --help lists $(echo $from_help), the man page $(echo $from_man)"
done

commands_in_help=$("$bin_dir/larkmoor-cli" --help | awk '/^Commands:/ {on = 1; next} on && !NF {exit} on {print $1}' | sort)
commands_in_man=$(man_tags "$man_dir/larkmoor-cli.1" COMMANDS | awk '{print $1}' | sort)
[ -n "$commands_in_help" ] && [ "$commands_in_help" = "$commands_in_man" ] ||
  fail "larkmoor-cli: --help has the commands $(echo $commands_in_help), the man page $(echo $commands_in_man)"
echo "man pages and --help agree: passed"
