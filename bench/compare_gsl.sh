#!/usr/bin/env bash
# Compiles every GameScript source of the repository (test corpus, standard
# libraries, fuzz seeds) with two builds of the compiler and compares the
# .gsl files and the compile logs byte for byte. Used to show that a change
# to the compiler leaves its output alone:
#
#   bench/compare_gsl.sh OLD-BUILD-TREE NEW-BUILD-TREE
#
# (for example /work/main/build/rel build/rel). Each source is compiled on
# its own with its folder, the standard libraries' folder and the script
# tests' include folder on the include path. Exit status: 0 when every
# output matches, 1 when one differs, 2 for bad usage.
set -uo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 OLD-BUILD-TREE NEW-BUILD-TREE" >&2
  exit 2
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
old="$1/gsnative/libraries/gsbuildlib"
new="$2/gsnative/libraries/gsbuildlib"
for tool in "$old" "$new"; do
  [ -x "$tool" ] || { echo "no gsbuildlib at $tool" >&2; exit 2; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

count=0
differ=0
while IFS= read -r source; do
  count=$((count + 1))
  includes=(-i "$(dirname "$source")" -i "$root/gsnative/libraries" -i "$root/tests/gsruntime/include")
  for side in old new; do
    rm -rf "${work:?}/$side"
    mkdir -p "$work/$side"
    tool=$old
    [ "$side" = new ] && tool=$new
    "$tool" -o "$work/$side" "${includes[@]}" "$source" >"$work/$side.log" 2>&1
    echo "status $?" >>"$work/$side.log"
  done
  if ! cmp -s "$work/old.log" "$work/new.log" || ! diff -r -q "$work/old" "$work/new" >/dev/null; then
    echo "differs: ${source#"$root"/}"
    differ=$((differ + 1))
  fi
done < <(find "$root" -path "$root/build" -prune -o -name '*.gs' -print | sort)
echo "$count sources compiled, $differ differ"
[ "$differ" -eq 0 ]
