#!/usr/bin/env bash
# Installs a build tree into a temporary prefix, checks the library exports the
# three factories only, then builds examples/minimal-host against it both
# documented ways (find_package, and the README's pkg-config line) and plays a
# clip with each (under tools/test-env.sh).
# Usage: install-test.sh SOURCE_DIR BUILD_DIR WORK_DIR CLIP
set -euo pipefail
src=$1 build=$2 work=$3 clip=$4
example="$src/examples/minimal-host"
fail() { echo "install-test: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"

for f in include/IMediaPlayer2.h lib/libPlayerLibAV.so lib/pkgconfig/playerlibav.pc \
  lib/cmake/PlayerLibAV/PlayerLibAVConfig.cmake lib/cmake/PlayerLibAV/PlayerLibAVConfigVersion.cmake bin/player-host; do
  [ -e "$prefix/$f" ] || fail "$f was not installed"
done
# The development link must lead to the SONAME file, which must exist.
soname=$(objdump -p "$prefix/lib/libPlayerLibAV.so" | awk '/SONAME/ {print $2}')
[ -n "$soname" ] && [ -e "$prefix/lib/$soname" ] || fail "no $soname beside libPlayerLibAV.so"
installed=$(readlink -f "$prefix/lib/$soname")
exports=$(nm -D --defined-only "$prefix/lib/libPlayerLibAV.so" | awk '{ print $2 ":" $3 }' | sort | tr '\n' ' ')
[ "$exports" = "T:CreateHw T:CreateHwVr T:CreateSw " ] || fail "the library exports $exports, not the three factories"

# One build of the example must load the installed library by itself, report
# the package's version and play the clip to its end.
check_binary() {
  local name=$1 binary=$2 resolved output
  resolved=$(env -u LD_LIBRARY_PATH ldd "$binary" | awk '/libPlayerLibAV/ {print $3}')
  [ -n "$resolved" ] && [ "$(readlink -f "$resolved")" = "$installed" ] ||
    fail "$name: loads '${resolved:-nothing}' instead of the installed $installed"
  output=$(env -u LD_LIBRARY_PATH timeout 120 "$binary" "$clip") || fail "$name: exit status $? playing $clip"
  echo "$output" | sed "s/^/  $name: /"
  grep -qx "PlayerLibAV $version" <<<"$output" || fail "$name: the header's version is not $version"
  grep -q '^finished at ' <<<"$output" || fail "$name: did not play to the end"
}

export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
version=$(pkg-config --modversion playerlibav)

echo "=== minimal-host through find_package(PlayerLibAV)"
dir="$work/cmake"
cmake -S "$example" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >"$dir.configure.log" 2>&1 ||
  { cat "$dir.configure.log"; fail "cmake: configure failed"; }
cmake --build "$dir" >"$dir.build.log" 2>&1 || { cat "$dir.build.log"; fail "cmake: build failed"; }
check_binary cmake "$dir/minimal-host"

echo "=== minimal-host through pkg-config, with the README's own command line"
# The indented lines after "cd examples/minimal-host" in the README, continuations joined.
readme_build=$(awk '/^    cd examples\/minimal-host$/ { f = 1; next } f && !/^    / { exit } f { sub(/^    /, ""); print }' \
  "$src/README.md" | sed 's/\\$//' | tr '\n' ' ')
grep -q 'pkg-config' <<<"$readme_build" || fail "no pkg-config build line after 'cd examples/minimal-host' in README.md"
echo "  $readme_build"
mkdir -p "$work/pkg-config"
cp "$example/main.cpp" "$work/pkg-config/"
(cd "$work/pkg-config" && eval "$readme_build -Wall -Wextra -Werror") >"$work/pkg-config.build.log" 2>&1 ||
  { cat "$work/pkg-config.build.log"; fail "pkg-config: build failed"; }
check_binary pkg-config "$work/pkg-config/minimal-host"
echo "install-test: ok"
