#!/usr/bin/env bash
# Prints the cache folder of the Windows dependencies for one toolchain (x86_64 or i686).
# The folder name carries a digest of the recipe, so a changed recipe builds anew.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cache=${TAVELO_CACHE:-$HOME/.cache/tavelo-deps}
digest=$(cat "$top/cmake/deps/CMakeLists.txt" "$top/cmake/mingw-common.cmake" \
             "$top/cmake/toolchain-mingw-$1.cmake" | sha256sum | cut -c1-12)
echo "$cache/$1-boost1.81.0-bzip2-1.0.8-$digest"
