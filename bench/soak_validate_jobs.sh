#!/bin/sh
# Soak test of the command host (not run in CI): validation jobs through one
# host, with the host's resident size read after the first batch and after
# the last. Lays out a root from a build folder, installs one scripted
# asset, then runs "validate" from batch files of BATCH lines each.
#
#   bench/soak_validate_jobs.sh BUILD_DIR [JOBS] [BATCH]
#
# JOBS defaults to 10000 and BATCH to 1000. Prints the resident size (kB)
# after each batch and the growth from the first batch to the last; exits 1
# when it is more than 10%. Stops the daemon it started.
set -eu
build=${1:?usage: $0 BUILD_DIR [JOBS] [BATCH]}
jobs=${2:-10000}
batch=${3:-1000}
work=$(mktemp -d)
root="$work/root"
trap 'test -x "$root/bin/VandruUtil" && "$root/bin/VandruUtil" closevaddaemon >/dev/null 2>&1; rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$root" >/dev/null
mkdir -p "$work/asset"
printf 'kuid <kuid:100:1>\nusername "Soak"\nkind "scenery"\nvandru-build 3.4\ncategory-class "BA"\nscript "main.gs"\nclass "Soak"\n' >"$work/asset/config.txt"
printf 'include "gs.gs"\nclass Soak isclass GameObject {\n};\n' >"$work/asset/main.gs"
"$root/bin/VandruUtil" installfrompath "$work/asset" >/dev/null
i=0
while [ "$i" -lt "$batch" ]; do echo "validate <kuid:100:1>"; i=$((i + 1)); done >"$work/batch.txt"

host_rss() {
  for status in /proc/[0-9]*/status; do
    dir=${status%/status}
    [ "$(readlink "$dir/exe" 2>/dev/null)" = "$root/bin/VandruUtil" ] || continue
    tr '\0' ' ' <"$dir/cmdline" | grep -q vadcommandhost || continue
    awk '/^VmRSS:/ { print $2 }' "$status"
    return
  done
  echo 0
}

done_jobs=0
first=0
last=0
while [ "$done_jobs" -lt "$jobs" ]; do
  "$root/bin/VandruUtil" "@$work/batch.txt" >"$work/out.txt" 2>&1 || true
  grep -q "OK (0 Errors, 0 Warnings)" "$work/out.txt" || { echo "a validation failed:"; tail -5 "$work/out.txt"; exit 1; }
  done_jobs=$((done_jobs + batch))
  last=$(host_rss)
  [ "$first" -eq 0 ] && first=$last
  echo "jobs $done_jobs: host resident $last kB"
done
growth=$(( (last - first) * 100 / first ))
echo "growth from $batch to $done_jobs jobs: $growth%"
[ "$growth" -le 10 ]
