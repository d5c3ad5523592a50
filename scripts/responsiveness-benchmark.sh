#!/usr/bin/env bash
# The responsiveness benchmark: a quick installation led through the real wizard while the
# probe (tools/responsiveness_probe) pings the wizard frame every 20 ms, on the demo payload
# and on the large payload of large-payload.sh, each run on a fresh machine (a new Wine
# prefix) with a virtual display of its own. Prints the probe's figures for every run: the
# longest gap and every gap over 100 ms, with the status line of the wizard at the time.
#   responsiveness-benchmark.sh [RUNS] [SCALE]   RUNS per payload (1 by default); SCALE of
#                                                the large payload (11 by default, ~290 MB)
#   TAVELO_INSTALLER=/unix/path/InstallTavelo7.01j.exe  measures another build's installer
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-1}
scale=${2:-11}

source "$top/scripts/build.sh"
configure_and_build x86_64 installer responsiveness_probe >&2
large=$("$top/scripts/large-payload.sh" "$scale" | tail -n 1)

build=$top/build/x86_64
installer=${TAVELO_INSTALLER:-$build/InstallTavelo7.01j.exe}
probe=$build/tools/responsiveness_probe/responsiveness_probe.exe
prefix=$build/probe-prefix
source "$top/scripts/wine-session.sh"
winpath() { echo "Z:$1" | tr '/' '\\'; }

status=0
for payload in demo large; do
  for run in $(seq "$runs"); do
    echo "== $payload payload, run $run of $runs; $(uptime | sed 's/.*\(load average\)/\1/')"
    rm -rf "$prefix"
    wine_session_start "$prefix" own-display
    # Xvfb runs no window manager: Wine draws the frames itself, as in the run command.
    "$wine_loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    arguments=()
    [ "$payload" = large ] && arguments=(--payload "$(winpath "$large")")
    "$wine_loader" "$probe" "${arguments[@]}" "$(winpath "$installer")" | tr -d '\r' || status=1
    wine_session_stop
    rm -rf "$prefix"
  done
done
exit $status
