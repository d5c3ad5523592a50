#!/usr/bin/env bash
# The one test command: prepares the machine, builds the installer and its tests for 64-bit
# Windows (and, to keep the code 32-bit clean, for 32-bit Windows without running it), and
# runs every test under Wine with ctest. Exits non-zero when anything fails.
#   scripts/test.sh [ctest arguments...]     e.g. scripts/test.sh -R payload
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"

jobs=$(nproc)
configure_and_build() {   # arch, extra cmake arguments...
  local arch=$1; shift
  local build=$top/build/$arch
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-$arch.cmake" \
          -DTAVELO_DEPS_PREFIX="$("$top/scripts/deps-prefix.sh" "$arch")" \
          -DTAVELO_BOOST_INCLUDE="${TAVELO_CACHE:-$HOME/.cache/tavelo-deps}/boost-include" "$@" >/dev/null
  fi
  echo "test: building for $arch"
  cmake --build "$build" -j "$jobs"
}

configure_and_build x86_64
configure_and_build i686

build=$top/build/x86_64
source "$top/scripts/wine-session.sh"
# Test windows never appear on the developer's screen.
wine_session_start "$build/wineprefix" own-display
trap wine_session_stop EXIT

echo "test: running the tests under Wine"
set +e
ctest --test-dir "$build" --output-on-failure -j "$jobs" "$@"
result=$?
set -e
exit $result
