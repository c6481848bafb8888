#!/usr/bin/env bash
# Whole-process compile of generated sources: "VandruUtil compile" of an
# installation against "luac5.4 -o", with wall time and peak memory:
#
#   bench/compile_vs_luac.sh BUILD-TREE [RUNS [LINES...]]
#
# BUILD-TREE is a configured and built tree (for example build/rel): it is
# installed into a scratch folder with "cmake --install BUILD-TREE --prefix
# DIR", and its bench_gs_compile writes the sources ("--emit gs|lua N"), so
# both have the shape of that benchmark's templates (40 lines per class).
# LINES defaults to 10000 100000 300000, RUNS to 5. The two compilers run
# in turn, RUNS times each per size, after one unmeasured run of each; each
# run is timed with /usr/bin/time -v ("Maximum resident set size") and wall
# time is taken around it. The table gives the medians and the ratios of
# ours to luac's. Exit status: 0 when every compile succeeded, 1 when one
# failed, 2 for bad usage or a missing tool.
set -uo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD-TREE [RUNS [LINES...]]" >&2
  exit 2
fi
build="$(cd "$1" 2>/dev/null && pwd)" || { echo "no build tree at $1" >&2; exit 2; }
runs="${2:-5}"
shift $(($# >= 2 ? 2 : 1))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000 300000)
emitter="$build/bench/bench_gs_compile"
luac="$(command -v luac5.4)"
for tool in "$emitter" "$luac" /usr/bin/time; do
  [ -x "$tool" ] || { echo "missing $tool" >&2; exit 2; }
done

work="$(mktemp -d)"
# The first compile starts the installation's daemon: close it before the
# folder goes, or it would outlive the script.
close_and_remove() {
  if [ -x "$work/install/bin/VandruUtil" ]; then
    (cd "$work/install/bin" && ./VandruUtil closevaddaemon >/dev/null 2>&1) || true
  fi
  rm -rf "$work"
}
trap close_and_remove EXIT
cmake --install "$build" --prefix "$work/install" >/dev/null || { echo "install failed" >&2; exit 2; }
tool="$work/install/bin/VandruUtil"
[ -x "$tool" ] || { echo "the installation has no bin/VandruUtil" >&2; exit 2; }

# Runs "$@" in $work/src; prints "<wall seconds> <peak KB>", fails with it.
measure() {
  local start end status
  start=$EPOCHREALTIME
  (cd "$work/src" && /usr/bin/time -v -o "$work/time.txt" "$@" >"$work/out.txt" 2>&1)
  status=$?
  end=$EPOCHREALTIME
  local peak
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
  awk -v s="$start" -v e="$end" -v p="${peak:-0}" 'BEGIN { printf "%.6f %d\n", e - s, p }'
  return $status
}

median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

printf '%8s  %10s %10s %6s  %10s %10s %6s\n' lines "ours s" "luac s" ratio "ours MB" "luac MB" ratio
failed=0
for lines in "${sizes[@]}"; do
  classes=$(((lines + 39) / 40))
  rm -rf "$work/src"
  mkdir -p "$work/src"
  "$emitter" --emit gs "$classes" >"$work/src/bench.gs"
  "$emitter" --emit lua "$classes" >"$work/src/bench.lua"
  ours=()
  theirs=()
  for ((run = 0; run <= runs; ++run)); do
    if ! o=$(measure "$tool" compile bench.gs) || ! grep -q "OK (0 Errors" "$work/out.txt"; then
      echo "VandruUtil compile failed at $lines lines:" >&2
      cat "$work/out.txt" >&2
      failed=1
      break
    fi
    if ! l=$(measure "$luac" -o bench.luac bench.lua); then
      echo "luac5.4 failed at $lines lines:" >&2
      cat "$work/out.txt" >&2
      failed=1
      break
    fi
    [ "$run" -eq 0 ] && continue  # warm-up
    ours+=("$o")
    theirs+=("$l")
  done
  [ ${#ours[@]} -gt 0 ] || continue
  ot=$(printf '%s\n' "${ours[@]}" | cut -d' ' -f1 | median)
  lt=$(printf '%s\n' "${theirs[@]}" | cut -d' ' -f1 | median)
  om=$(printf '%s\n' "${ours[@]}" | cut -d' ' -f2 | median)
  lm=$(printf '%s\n' "${theirs[@]}" | cut -d' ' -f2 | median)
  awk -v n="$lines" -v ot="$ot" -v lt="$lt" -v om="$om" -v lm="$lm" 'BEGIN {
    printf "%8d  %10.3f %10.3f %6.2f  %10.1f %10.1f %6.2f\n",
           n, ot, lt, ot / lt, om / 1024, lm / 1024, om / lm }'
done
exit $failed
