#!/usr/bin/env bash
# Runs one Windows test program in a new Wine prefix of its own, for tests that change the
# machine as a whole (Program Files, the registry, the shared folders) and compare it
# before and after:   run-in-own-prefix.sh PREFIX PROGRAM [ARGUMENTS...]
# The display of the calling session is used.
set -uo pipefail
prefix=$1
shift
source "$(dirname "$0")/wine-session.sh"
# A test may ask for DLL overrides of its own (TAVELO_WINEDLLOVERRIDES).
export WINEDEBUG=-all WINEDLLOVERRIDES="${TAVELO_WINEDLLOVERRIDES:+$TAVELO_WINEDLLOVERRIDES;}$wine_dll_overrides"
wine_fresh_prefix "$prefix"
export WINEPREFIX=$prefix
wineserver -p
"$wine_loader" cmd /c exit </dev/null >/dev/null 2>&1
"$wine_loader" "$@"
result=$?
wineserver -k >/dev/null 2>&1
rm -rf "$prefix"
exit $result
