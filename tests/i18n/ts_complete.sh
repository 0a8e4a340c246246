#!/bin/sh
# Every catalogue is what lupdate makes of today's sources, and every message in it is translated,
# each plural form too: a new or changed text that nobody translated fails here.
# Usage: ts_complete.sh CMAKE LUPDATE SOURCE_DIR
set -eu
cmake=$1 lupdate=$2 source_dir=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$source_dir"/translations/*.ts "$work"/
"$cmake" -DLUPDATE="$lupdate" -DSOURCE_DIR="$source_dir" -DTS_DIR="$work" -P "$source_dir/translations/lupdate.cmake"
status=0
for catalogue in "$work"/*.ts; do
  name=$(basename "$catalogue")
  if ! diff -u "$source_dir/translations/$name" "$catalogue"; then
    echo "$name does not match the sources: build the target larkmoor_update_translations and translate what it adds"
    status=1
  fi
  if grep -n -E 'type="unfinished"|<translation>\s*</translation>|<translation/>|<numerusform>\s*</numerusform>|<numerusform/>' "$catalogue"; then
    echo "$name has untranslated messages"
    status=1
  fi
done
exit $status
