# Sourced by the scripts that run Windows programs: a Wine prefix of the build's own, a
# running wineserver for it, and a virtual X display for programs that open windows.
#   wine_session_start PREFIX [own-display]
#                               exports WINEPREFIX, WINEDEBUG and DISPLAY; with own-display,
#                               or when there is no display, starts a virtual one
#   wine_session_stop           stops what wine_session_start started
#   wine_fresh_prefix PREFIX    makes PREFIX a new copy of the prepared prefix

wine_loader=/usr/lib/wine/wine64
# No Mono or Gecko installer prompts; and no menu builder, which would copy every shortcut
# that a test makes in the Start menu into the Unix user's desktop menus, and which holds
# the shortcut's folder open for a moment after each one.
wine_dll_overrides="mscoree,mshtml=;winemenubuilder.exe=d"

wine_fresh_prefix() {
  # A prepared prefix is kept in the cache: creating one costs several seconds.
  local template=${TAVELO_CACHE:-$HOME/.cache/tavelo-deps}/wineprefix-$(dpkg-query -W -f='${Version}' wine64)
  if [ ! -f "$template/system.reg" ]; then
    echo "wine: preparing a Wine prefix"
    rm -rf "$template.new"
    WINEPREFIX=$template.new WINEDLLOVERRIDES="mscoree,mshtml=" "$wine_loader" wineboot --init >/dev/null 2>&1
    WINEPREFIX=$template.new wineserver -w
    rm -rf "$template" && mv "$template.new" "$template"
  fi
  rm -rf "$1"
  mkdir -p "$(dirname "$1")"
  cp -a "$template" "$1"
}

wine_session_start() {
  # A test may ask for DLL overrides of its own (TAVELO_WINEDLLOVERRIDES).
  export WINEPREFIX=$1 WINEDEBUG=-all
  export WINEDLLOVERRIDES="${TAVELO_WINEDLLOVERRIDES:+$TAVELO_WINEDLLOVERRIDES;}$wine_dll_overrides"
  [ -f "$WINEPREFIX/system.reg" ] || wine_fresh_prefix "$WINEPREFIX"

  if [ -z "${DISPLAY:-}" ] || [ "${2:-}" = own-display ]; then
    # Xvfb picks a free display number itself and reports it, so that runs of other
    # worktrees or users never share (and end) one display.
    local numberfile
    numberfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numberfile" >/dev/null 2>&1 &
    wine_xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$numberfile" ] && break; sleep 0.1; done
    export DISPLAY=":$(tr -d '[:space:]' < "$numberfile")"
    rm -f "$numberfile"
  fi
  wineserver -p
  # The first Windows program of a session starts Wine's own background processes
  # (services, explorer). Started here, detached from every pipe, they cannot keep a test's
  # output open after the test has ended.
  "$wine_loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

wine_session_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${wine_xvfb_pid:-}" ]; then
    kill "$wine_xvfb_pid" 2>/dev/null || true
    wait "$wine_xvfb_pid" 2>/dev/null || true
  fi
}
