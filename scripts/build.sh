# Sourced by the commands: configures a build folder once and builds it.
#   configure_and_build ARCH [TARGET...]    build/ARCH, all targets unless some are named
configure_and_build() {
  local arch=$1; shift
  local top build
  top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  build=$top/build/$arch
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-$arch.cmake" \
          -DTAVELO_DEPS_PREFIX="$("$top/scripts/deps-prefix.sh" "$arch")" \
          -DTAVELO_BOOST_INCLUDE="${TAVELO_CACHE:-$HOME/.cache/tavelo-deps}/boost-include" >/dev/null
  fi
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  echo "building for $arch"
  cmake --build "$build" -j "$(nproc)" "${targets[@]}"
}
