#!/usr/bin/env bash
# Prepares this machine for building and testing the installer: Debian packages, the
# Debian source packages of Boost and bzip2, and the Windows builds of the compiled
# dependencies (cached under ~/.cache/tavelo-deps, one folder per toolchain and recipe).
# Safe to run again: every step that is already done is skipped.
# Prints, as its last line, nothing; callers read TAVELO_DEPS_x86_64 / _i686 from
# scripts/deps-prefix.sh.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
cache=${TAVELO_CACHE:-$HOME/.cache/tavelo-deps}
mkdir -p "$cache/src"

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# fonts-wine: Wine's own fonts, the only ones its programs see here (scripts/wine-fonts.conf).
# osslsigncode, openssl, binutils: signing, the throwaway certificate of the release check
# and its look for build paths in the installer (strings). ccache: the release check's second
# build compiles from the first one's objects.
packages=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix cmake ninja-build wine64 wine fonts-wine ccache
          xvfb libboost1.81-dev googletest bzip2 xz-utils dpkg-dev python3 imagemagick x11-utils
          osslsigncode openssl binutils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
updated=no
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_if_needed apt-get update -qq
  updated=yes
  sudo_if_needed env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

boost_tar=$cache/src/boost1.81_1.81.0.orig.tar.xz
bzip2_tar=$cache/src/bzip2_1.0.8.orig.tar.gz
if [ ! -f "$boost_tar" ] || [ ! -f "$bzip2_tar" ]; then
  # Source entries are derived from the configured Debian binary entries: same URIs,
  # suites and components, type deb-src.
  list=/etc/apt/sources.list.d/tavelo-deb-src.sources
  if [ ! -f "$list" ]; then
    tmp=$(mktemp)
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      awk 'BEGIN{RS=""; ORS="\n\n"} /Types:[ \t]*deb[ \t\n]/ && /URIs:[^\n]*debian/ {gsub(/Types:[^\n]*/, "Types: deb-src"); print}' "$f" >> "$tmp"
    done
    if [ -f /etc/apt/sources.list ]; then
      grep -E '^deb\s' /etc/apt/sources.list | grep -i debian | sed -E 's/^deb(\s)/deb-src\1/' > "$tmp.list" || true
      [ -s "$tmp.list" ] && sudo_if_needed cp "$tmp.list" /etc/apt/sources.list.d/tavelo-deb-src.list
      rm -f "$tmp.list"
    fi
    [ -s "$tmp" ] && sudo_if_needed cp "$tmp" "$list"
    rm -f "$tmp"
    updated=no
  fi
  [ "$updated" = yes ] || sudo_if_needed apt-get update -qq
  (cd "$cache/src" && apt-get source --download-only boost1.81 bzip2 >/dev/null 2>&1) || {
    echo "setup: could not download the Debian sources of boost1.81 and bzip2" >&2; exit 1; }
fi

boost_src=$cache/boost-1.81.0
if [ ! -f "$boost_src/.complete" ]; then
  echo "setup: extracting the Boost sources that are compiled for Windows"
  rm -rf "$boost_src" && mkdir -p "$boost_src"
  tar -xJf "$boost_tar" -C "$boost_src" --strip-components=1 --wildcards \
      'boost/libs/filesystem/src/*' 'boost/libs/iostreams/src/bzip2.cpp'
  touch "$boost_src/.complete"
fi
bzip2_src=$cache/bzip2-1.0.8
if [ ! -f "$bzip2_src/.complete" ]; then
  rm -rf "$bzip2_src" && mkdir -p "$bzip2_src"
  tar -xzf "$bzip2_tar" -C "$bzip2_src" --strip-components=1
  touch "$bzip2_src/.complete"
fi

# Boost headers come from libboost1.81-dev through a folder that holds only a link to
# them, so that no other Linux header is visible to the Windows compiler.
boost_include=$cache/boost-include
mkdir -p "$boost_include"
ln -sfn /usr/include/boost "$boost_include/boost"

for arch in x86_64 i686; do
  prefix=$("$top/scripts/deps-prefix.sh" "$arch")
  [ -f "$prefix/.complete" ] && continue
  echo "setup: building the Windows dependencies for $arch"
  work=$cache/work-$arch
  rm -rf "$work" "$prefix"
  cmake -S "$top/cmake/deps" -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-$arch.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DBOOST_SOURCE_DIR="$boost_src" \
        -DBZIP2_SOURCE_DIR="$bzip2_src" -DBOOST_INCLUDE_DIR="$boost_include" >/dev/null
  cmake --build "$work" >/dev/null
  cmake --install "$work" >/dev/null
  rm -rf "$work"
  touch "$prefix/.complete"
done
