# Sourced by the commands: configures a build folder once and builds it.
#   configure_and_build ARCH [TARGET...]    build/ARCH, all targets unless some are named
#   configure_folder FOLDER ARCH [CMAKE ARGUMENTS...]
#                                           configures FOLDER as build/ARCH is configured
configure_folder() {
  local build=$1 arch=$2; shift 2
  local top
  top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-$arch.cmake" \
        -DTAVELO_DEPS_PREFIX="$("$top/scripts/deps-prefix.sh" "$arch")" \
        -DTAVELO_BOOST_INCLUDE="${TAVELO_CACHE:-$HOME/.cache/tavelo-deps}/boost-include" "$@" >/dev/null
}

configure_and_build() {
  local arch=$1; shift
  local top build
  top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  build=$top/build/$arch
  [ -f "$build/build.ninja" ] || configure_folder "$build" "$arch"
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  echo "building for $arch"
  cmake --build "$build" -j "$(nproc)" "${targets[@]}"
}
