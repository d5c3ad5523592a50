#!/usr/bin/env bash
# Runs one Windows test program in a new Wine prefix of its own, for tests that change the
# machine as a whole (Program Files, the registry, the shared folders) and compare it
# before and after:   run-in-own-prefix.sh PREFIX PROGRAM [ARGUMENTS...]
# The display of the calling session is used. TAVELO_LOG_PIXELS sets the prefix's DPI.
set -uo pipefail
prefix=$1
shift
source "$(dirname "$0")/wine-session.sh"
rm -rf "$prefix"
wine_session_start "$prefix"
if [ -n "${TAVELO_LOG_PIXELS:-}" ]; then
  "$wine_loader" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$TAVELO_LOG_PIXELS" /f >/dev/null 2>&1
fi
"$wine_loader" "$@"
result=$?
wine_session_stop
rm -rf "$prefix"
exit $result
