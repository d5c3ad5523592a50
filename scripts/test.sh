#!/usr/bin/env bash
# The one test command: prepares the machine, builds the installer and its tests for 64-bit
# Windows (and, to keep the code 32-bit clean, for 32-bit Windows without running it), and
# runs every test under Wine with ctest. Exits non-zero when anything fails.
#   scripts/test.sh [ctest arguments...]     e.g. scripts/test.sh -R payload
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"

source "$top/scripts/build.sh"
configure_and_build x86_64
# The 32-bit configuration keeps the installer and the tools 32-bit clean; the tests, which
# cannot run there, are compiled for 64-bit only.
[ -f "$top/build/i686/build.ninja" ] || configure_folder "$top/build/i686" i686 -DTAVELO_BUILD_TESTS=OFF
configure_and_build i686

build=$top/build/x86_64
source "$top/scripts/wine-session.sh"
# Test windows never appear on the developer's screen.
wine_session_start "$build/wineprefix" own-display
trap wine_session_stop EXIT

echo "test: running the tests under Wine"
set +e
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
result=$?
set -e
exit $result
