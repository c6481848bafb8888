#!/usr/bin/env bash
# Checks that two builds of the tool validate alike: what "validate" prints
# and its exit status for clean assets, tag errors, a missing mesh, a
# missing, a broken and a good script, a script of the wrong class, missing
# compulsory tags and an unknown KUID, each as a command of its own, and a
# batch that mixes them, repeats some, and puts other commands, an empty
# line and a line too long between them (standard output and error of the
# batch in one stream, so their order counts).
#
#   bench/compare_validate.sh OLD_BUILD [NEW_BUILD]
#
# Each build folder is a configured and built tree (build/rel); NEW_BUILD
# defaults to this checkout's build/rel. Each build gets an installation of
# its own in a temporary folder, installs the same assets, runs everything
# twice (the first validation of an asset opens it for edit) and stops its
# daemon. The outputs of the second run are compared byte for byte, with
# the installation's own path replaced by ROOT. Prints "outputs identical"
# and exits 0, or the differences and exits 1.
set -euo pipefail

if [[ $# -lt 1 || $# -gt 2 ]]; then
  echo "usage: $0 OLD_BUILD [NEW_BUILD]" >&2
  exit 2
fi
src=$(cd "$(dirname "$0")/.." && pwd)
old=$(realpath "$1")
new=$(realpath "${2:-$src/build/rel}")
work=$(mktemp -d /tmp/vu-compare-validate-XXXXXX)

source "$src/bench/compare_common.sh"
trap 'stop_daemons; [[ -n "${VU_COMPARE_KEEP:-}" ]] || rm -rf "$work"' EXIT

# The assets, written once and installed into both installations.
assets=$work/assets
fixtures=$src/tests/tetlib/fixtures
for name in clean missing-tag unknown-tag missing-mesh wrong-type; do
  mkdir -p "$assets/$name"
  cp -r "$fixtures/$name/." "$assets/$name/"
done
scripted() {
  local name=$1 kuid=$2 script=$3
  mkdir -p "$assets/$name"
  printf 'kuid %s\nusername "Crate"\nkind "scenery"\nvandru-build 3.4\ncategory-class "BA"\nscript "main.gs"\nclass "Crate"\n' \
    "$kuid" >"$assets/$name/config.txt"
  if [[ -n "$script" ]]; then printf '%s' "$script" >"$assets/$name/main.gs"; fi
}
scripted good-script "<kuid:100:40>" $'include "gs.gs"\nclass Crate isclass GameObject {\n};\n'
scripted broken-script "<kuid:100:41>" $'include "gs.gs"\nclass Crate isclass GameObject {\n  void x( \n};\n'
scripted vehicle-script "<kuid:100:42>" $'include "gs.gs"\nclass Crate isclass Vehicle {\n};\n'
scripted missing-script "<kuid:100:43>" ""

kuids=("<kuid:100:1>" "<kuid:100:2>" "<kuid:100:5>" "<kuid:100:25>" "<kuid:100:6>"
  "<kuid:100:40>" "<kuid:100:41>" "<kuid:100:42>" "<kuid:100:43>" "<kuid:999:1>")

batch=$work/batch.txt
{
  for kuid in "${kuids[@]}"; do echo "validate $kuid"; done
  echo "validate <kuid:100:5>"
  echo "\"VALIDATE\" \"<kuid:100:5>\""
  echo "status <kuid:100:1>"
  echo ""
  echo "validate <kuid:100:41>"
  echo "nosuchcommand"
  echo "validate"
  printf 'validate %600s\n' "<kuid:100:1>"
  for kuid in "${kuids[@]}"; do echo "validate $kuid"; done
  echo "printconfig <kuid:100:40>"
  echo "validate <kuid:100:40>"
} >"$batch"

run_jobs() {
  local tag=$1 build=$2
  local root=$work/$tag/root out=$work/$tag/out
  mkdir -p "$out"
  layout "$build" "$root" "$tag"
  (
    cd "$root/bin"
    for name in "$assets"/*; do
      ./VandruUtil installfrompath "$name" >/dev/null 2>&1 || echo "install failed: $name" >&2
    done
    for pass in 1 2; do
      : >"$out/single.txt"
      for kuid in "${kuids[@]}"; do
        { ./VandruUtil validate "$kuid" 2>&1 || echo "status $?"; } >>"$out/single.txt"
      done
      { ./VandruUtil "@$batch" 2>&1 || echo "status $?"; } >"$out/batch.txt"
    done
    ./VandruUtil closevaddaemon >/dev/null 2>&1 || true
  )
  sed -i "s|$work/$tag|ROOT|g" "$out"/*.txt
}

run_jobs old "$old"
run_jobs new "$new"
if diff -r "$work/old/out" "$work/new/out"; then
  echo "outputs identical ($(wc -l <"$work/new/out/batch.txt") batch lines," \
    "$(grep -c '^OK (' "$work/new/out/single.txt") single commands)"
  exit 0
fi
echo "outputs differ" >&2
exit 1
