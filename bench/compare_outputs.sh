#!/usr/bin/env bash
# Checks that two builds of the tool write the same bytes: the README's main
# job (installfrompath of the sample asset, then its status line), createcdp
# of that asset and the installcdp of that archive into a second
# installation, compile of every GameScript file of the test corpus, and
# TextSoup::Write of the text-soup benchmarks' soups.
#
#   bench/compare_outputs.sh OLD_BUILD [NEW_BUILD]
#
# Each build folder is a configured and built tree (build/rel); NEW_BUILD
# defaults to this checkout's build/rel. Each build gets an installation of
# its own in a temporary folder (laid out by its cmake_install.cmake, without
# touching the build folder), runs the jobs there and stops its daemon. The
# outputs are compared byte for byte, with the installation's own path in
# the messages replaced by ROOT. Prints "outputs identical" and exits 0, or
# the differences and exits 1.
set -euo pipefail

if [[ $# -lt 1 || $# -gt 2 ]]; then
  echo "usage: $0 OLD_BUILD [NEW_BUILD]" >&2
  exit 2
fi
src=$(cd "$(dirname "$0")/.." && pwd)
old=$(realpath "$1")
new=$(realpath "${2:-$src/build/rel}")
work=$(mktemp -d /tmp/vu-compare-XXXXXX)

source "$src/bench/compare_common.sh"
trap 'stop_daemons; [[ -n "${VU_COMPARE_KEEP:-}" ]] || rm -rf "$work"' EXIT

run_jobs() {
  local tag=$1 build=$2
  local root=$work/$tag/root out=$work/$tag/out
  mkdir -p "$out/gsl" "$out/soups"
  layout "$build" "$root" "$tag"
  local bin=$root/bin
  (
    cd "$bin"
    {
      ./VandruUtil installfrompath "$src/samples/sample-asset" || echo "status $?"
      ./VandruUtil status "<kuid:0:100>" || echo "status $?"
    } >"$out/main.txt" 2>&1
    # The installed files of the asset (the index is a database with times).
    cp -r "$root/UserData/local" "$out/installed"
    ./VandruUtil createcdp "$out/sample.cdp" "<kuid:0:100>" >"$out/createcdp.txt" 2>&1 ||
      echo "status $?" >>"$out/createcdp.txt"
    ./VandruUtil closevaddaemon >/dev/null 2>&1 || true
  )
  # The archive installed into a second installation.
  local root2=$work/$tag/root2
  layout "$build" "$root2" "$tag-2"
  (
    cd "$root2/bin"
    ./VandruUtil installcdp "$out/sample.cdp" >"$out/installcdp.txt" 2>&1 ||
      echo "status $?" >>"$out/installcdp.txt"
    ./VandruUtil closevaddaemon >/dev/null 2>&1 || true
    cp -r "$root2/UserData/local" "$out/installed-from-cdp"
  )
  (
    cd "$bin"
    while IFS= read -r script; do
      local rel=${script#"$src"/}
      local dest=$out/gsl/$(dirname "$rel")
      mkdir -p "$dest"
      ./VandruUtil compile -p"$dest" "$script" >>"$out/compile.txt" 2>&1 ||
        echo "status $? for $rel" >>"$out/compile.txt"
    done < <(find "$src/tests" -name '*.gs' | LC_ALL=C sort)
    ./VandruUtil closevaddaemon >/dev/null 2>&1 || true
  )
  # The benchmark soups, written by a small program built against this
  # build's libraries and its own source headers.
  local build_src
  build_src=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
  g++ -std=c++20 -O2 -I"$build_src" "$src/bench/dump_text_soups.cpp" -o "$work/$tag/dump" \
    -Wl,--start-group "$build"/foundation/*/*.a "$build"/kiv/*.a -Wl,--end-group -lz -lpthread
  "$work/$tag/dump" "$out/soups"
  # Paths of the installation itself differ between the two runs.
  find "$out" -name '*.txt' -maxdepth 1 -exec sed -i "s|$work/$tag|ROOT|g" {} +
}

run_jobs old "$old"
run_jobs new "$new"
if diff -r "$work/old/out" "$work/new/out"; then
  echo "outputs identical ($(find "$work/new/out" -type f | wc -l) files)"
  exit 0
fi
echo "outputs differ" >&2
exit 1
