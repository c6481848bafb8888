# Shared by the compare_*.sh scripts (sourced, not run): closing the
# daemons of the installations under $work and laying out an installation
# of a build tree there. The caller sets $work before sourcing.

# Closes the daemon of every installation under $work (errors ignored).
stop_daemons() {
  for bin in "$work"/*/root*/bin; do
    if [[ -x "$bin/VandruUtil" ]]; then
      (cd "$bin" && ./VandruUtil closevaddaemon >/dev/null 2>&1) || true
    fi
  done
}

# Lays out an installation of build $1 under $2, tagged $3 (the manifest
# goes to the work folder, not into the build).
layout() {
  local build=$1 root=$2 script=$work/install-$3.cmake
  sed "s|file(WRITE \"$build/\${CMAKE_INSTALL_MANIFEST}\"|file(WRITE \"$work/manifest-$3.txt\"|" \
    "$build/cmake_install.cmake" >"$script"
  cmake -DCMAKE_INSTALL_PREFIX="$root" -P "$script" >/dev/null
}
