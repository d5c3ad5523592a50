# Sourced by the commands: configures a build folder once and builds it.
#   configure_and_build ARCH [TARGET...]    build/ARCH, all targets unless some are named
#   configure_folder FOLDER ARCH [CMAKE ARGUMENTS...]
#                                           configures FOLDER as build/ARCH is configured
# Compilations go through ccache when it is there (setup.sh installs it), with paths taken
# relative to the checkout, so that a second build folder (the release check's) compiles
# from the cache; linking, resources and packing are always done anew.
tavelo_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export CCACHE_BASEDIR=$tavelo_top CCACHE_DIR=${CCACHE_DIR:-${TAVELO_CACHE:-$HOME/.cache/tavelo-deps}/ccache}
tavelo_launcher=()
command -v ccache >/dev/null && tavelo_launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

configure_folder() {
  local build=$1 arch=$2; shift 2
  local top
  top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-$arch.cmake" \
        -DTAVELO_DEPS_PREFIX="$("$top/scripts/deps-prefix.sh" "$arch")" \
        -DTAVELO_BOOST_INCLUDE="${TAVELO_CACHE:-$HOME/.cache/tavelo-deps}/boost-include" \
        "${tavelo_launcher[@]}" "$@" >/dev/null
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
