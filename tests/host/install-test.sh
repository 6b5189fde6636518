#!/usr/bin/env bash
# Installs a build tree into a temporary prefix, then configures, builds and runs
# the external host against it twice: through find_package(PlayerLibAV) and
# through pkg-config. Needs a display (the player makes a GL widget).
# Usage: install-test.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"

fail() { echo "install-test: $*" >&2; exit 1; }
for f in include/IMediaPlayer2.h lib/libPlayerLibAV.so lib/pkgconfig/playerlibav.pc \
  lib/cmake/PlayerLibAV/PlayerLibAVConfig.cmake bin/player-host; do
  [ -e "$prefix/$f" ] || fail "$f was not installed"
done
# The development link must lead to the SONAME file, which must exist.
soname=$(objdump -p "$prefix/lib/libPlayerLibAV.so" | awk '/SONAME/ {print $2}')
[ -n "$soname" ] && [ -e "$prefix/lib/$soname" ] || fail "no $soname beside libPlayerLibAV.so"

run_variant() {
  local name=$1; shift
  local dir="$work/$name"
  echo "=== external host via $name"
  cmake -S "$here/external" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" \
    >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; fail "$name: configure failed"; }
  cmake --build "$dir" -j2 >"$dir.build.log" 2>&1 || { cat "$dir.build.log"; fail "$name: build failed"; }
  # The library must come from the prefix, not from the build tree.
  local libs
  libs=$(ldd "$dir/external-host")
  grep -q "$prefix/lib/libPlayerLibAV.so" <<<"$libs" ||
    { echo "$libs"; fail "$name: not linked against the installed library"; }
  "$dir/external-host" || fail "$name: the external host failed"
}

run_variant find_package -DCMAKE_PREFIX_PATH="$prefix"
PKG_CONFIG_PATH="$prefix/lib/pkgconfig" run_variant pkg-config -DUSE_PKG_CONFIG=ON
echo "install-test: ok"
