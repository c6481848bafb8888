#!/usr/bin/env bash
# Runs the README's first session (its first "console" block) on a fresh
# installation and compares what it prints with what the README shows.
#
#   readme_session.sh SOURCE-DIR BUILD-DIR
#
# The installation is laid out with "cmake --install BUILD-DIR" under a
# scratch folder that stands for the checkout (its samples/ copied from
# SOURCE-DIR), with HOME pointing into the scratch folder. Each "$ " line
# runs in one shell, in order, standard input from /dev/null; a line that
# exits non-zero fails the test, and so does a session still running after
# VU_README_SESSION_SECONDS (200 s). The daemon the session starts is
# stopped and the scratch folder removed on the way out, whatever happened.
set -euo pipefail

# Inner mode: runs the session's "$ " lines of EXPECTED from the current
# folder (see below); the outer run bounds it in time.
if [ "${1:-}" = "--lines" ]; then
  while IFS= read -r line <&3; do
    case "$line" in
      '$ '*)
        printf '%s\n' "$line"
        if ! eval "${line#\$ }" </dev/null 2>&1; then
          echo "readme_session: the line failed: $line" >&2
          exit 1
        fi
        ;;
    esac
  done 3<"$2"
  exit 0
fi

# Below the test's own time limit, so that a session that hangs is ended
# here and its daemon closed, rather than the whole script killed.
session_seconds=${VU_README_SESSION_SECONDS:-200}

source_dir=$1
build_dir=$2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vu-readme-XXXXXX")
tool="$scratch/build/root/bin/VandruUtil"
cleanup() {
  if [ -x "$tool" ]; then
    timeout -k 5 30 "$tool" closevaddaemon >/dev/null 2>&1 || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

cp -r "$source_dir/samples" "$scratch/samples"
cmake --install "$build_dir" --prefix "$scratch/build/root" >/dev/null
mkdir -p "$scratch/home"

# The first console block of the README.
awk '/^```console$/ { inside = 1; next } inside && /^```$/ { exit } inside { print }' \
  "$source_dir/README.md" >"$scratch/expected"
if ! grep -q '^\$ ' "$scratch/expected"; then
  echo "readme_session: no console block with commands in the README" >&2
  exit 1
fi

failed=0
(
  cd "$scratch"
  export HOME="$scratch/home"
  exec timeout -k 5 "$session_seconds" bash "$0" --lines "$scratch/expected"
) >"$scratch/actual" || failed=$?
if [ "$failed" -eq 124 ] || [ "$failed" -eq 137 ]; then
  echo "readme_session: the session did not end within $session_seconds s" >&2
fi

if ! diff -u "$scratch/expected" "$scratch/actual"; then
  echo "readme_session: the session's output differs from the README's (- README, + run)" >&2
  failed=1
fi
if [ "$failed" -ne 0 ]; then exit 1; fi
echo "readme_session: $(grep -c '^\$ ' "$scratch/expected") lines ran as the README shows"
