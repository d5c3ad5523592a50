# Sourced by the scripts that run Windows programs: a Wine prefix of the build's own, a
# running wineserver for it, and a virtual X display for programs that open windows.
#   wine_session_start PREFIX [own-display]
#                               exports WINEPREFIX, WINEDEBUG and DISPLAY; with own-display,
#                               or when there is no display, starts a virtual one
#   wine_session_stop           stops what wine_session_start started
#   wine_fresh_prefix PREFIX    makes PREFIX a new copy of the prepared prefix
#   wine_template               prints the folder of the prepared prefix
#
# What a program measures and draws must not depend on the host: every Wine process of a
# session sees Wine's own fonts only (wine-fonts.conf), a UTF-8 locale that every machine
# has, and a prefix whose display settings are written here (96 DPI, the dialog font).

wine_loader=/usr/lib/wine/wine64
wine_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# No Mono or Gecko installer prompts; and no menu builder, which would copy every shortcut
# that a test makes in the Start menu into the Unix user's desktop menus, and which holds
# the shortcut's folder open for a moment after each one.
wine_dll_overrides="mscoree,mshtml=;winemenubuilder.exe=d"

# The prepared prefix is kept in the cache, since creating one costs several seconds. Its
# name carries the Wine version and a digest of this script and of the font configuration:
# a prefix made by another version of them is never reused.
wine_template() {
  local digest
  digest=$(cat "$wine_scripts/wine-session.sh" "$wine_scripts/wine-fonts.conf" | sha256sum | cut -c1-16)
  echo "${TAVELO_CACHE:-$HOME/.cache/tavelo-deps}/wineprefix-$(dpkg-query -W -f='${Version}' wine64)-$digest"
}

# The settings that text measurement and pictures depend on. "MS Shell Dlg", the font of
# every dialog, is Wine's Tahoma; grey-scale smoothing does not depend on the screen's
# sub-pixel order.
wine_template_settings='Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Control Panel\Desktop]
"LogPixels"=dword:00000060
"FontSmoothing"="2"
"FontSmoothingType"=dword:00000001

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts]
"LogPixels"=dword:00000060

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"MS Shell Dlg"="Tahoma"
"MS Shell Dlg 2"="Tahoma"
'

wine_fresh_prefix() {
  local template
  template=$(wine_template)
  if [ ! -f "$template/.complete" ]; then
    echo "wine: preparing a Wine prefix"
    rm -rf "$template.new"
    local settings
    settings=$(mktemp --suffix=.reg)
    printf '%s' "$wine_template_settings" | sed 's/$/\r/' > "$settings"
    (
      export WINEPREFIX=$template.new WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
             FONTCONFIG_FILE=$wine_scripts/wine-fonts.conf LC_ALL=C.UTF-8
      unset LANGUAGE
      "$wine_loader" wineboot --init >/dev/null 2>&1
      "$wine_loader" regedit /S "Z:$(echo "$settings" | tr '/' '\\')" >/dev/null 2>&1
      wineserver -w
    )
    rm -f "$settings"
    echo "$template" > "$template.new/.complete"
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
  export FONTCONFIG_FILE=$wine_scripts/wine-fonts.conf LC_ALL=C.UTF-8
  unset LANGUAGE
  # A prefix kept from an earlier run is replaced when another template made it.
  [ "$(cat "$WINEPREFIX/.complete" 2>/dev/null)" = "$(wine_template)" ] || wine_fresh_prefix "$WINEPREFIX"

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
