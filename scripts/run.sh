#!/usr/bin/env bash
# The run command: prepares the machine, builds the installer and runs it under Wine.
#   With a display (DISPLAY set), the wizard opens for the user.
#   Without one, a virtual display is started and a quick installation of the embedded demo
#   product is driven through the real wizard; the running report and an account of the
#   result are printed and a picture of every page is saved in build/x86_64/pictures.
# The installation goes into a Wine prefix of its own, build/x86_64/run-prefix, made anew
# at every run (RUN_PREFIX=folder chooses another).
#   scripts/run.sh --update-docs    saves the pictures into docs/screenshots instead, the
#                                   pictures of the README
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
update_docs=no
case "${1:-}" in
  --update-docs) update_docs=yes ;;
  "") ;;
  *) echo "usage: $0 [--update-docs]" >&2; exit 2 ;;
esac
"$top/scripts/setup.sh"

source "$top/scripts/build.sh"
configure_and_build x86_64 installer tavelo_driver

build=$top/build/x86_64
installer=$build/InstallTavelo7.01j.exe
prefix=${RUN_PREFIX:-$build/run-prefix}
source "$top/scripts/wine-session.sh"
interactive=${DISPLAY:+yes}
rm -rf "$prefix"
wine_session_start "$prefix"
trap wine_session_stop EXIT

if [ -n "$interactive" ]; then
  echo "run: starting the installer on $DISPLAY"
  "$wine_loader" "$installer"
  exit 0
fi

# Xvfb runs no window manager: Wine draws the windows' frames itself, title bars included.
"$wine_loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
# The checkout stays as it is unless the README's pictures are asked for.
shots=$build/pictures
[ "$update_docs" = yes ] && shots=$top/docs/screenshots
mkdir -p "$shots"
winpath() { echo "Z:$1" | tr '/' '\\'; }
script=$(mktemp)
cat > "$script" <<SCRIPT
start $(winpath "$installer")
dialog Tavelo 7.01j
screenshot $(winpath "$shots/1-start.png")
click 1
screenshot $(winpath "$shots/2-mode.png")
# The folder and shortcut pages belong to the advanced mode: visit them, then go back to
# the quick installation.
check 1019 1
click 1
screenshot $(winpath "$shots/3-folder.png")
click 1
screenshot $(winpath "$shots/4-shortcuts.png")
click 3
click 3
check 1018 1
click 1
screenshot $(winpath "$shots/5-ready.png")
click 1
wait-text 1003 "Click on 'Next' to continue." 600
screenshot $(winpath "$shots/6-installed.png")
text 1015
click 1
screenshot $(winpath "$shots/7-end.png")
click 2
wait-exit 60
SCRIPT
echo "run: driving a quick installation through the wizard"
"$wine_loader" "$build/tools/test_driver/tavelo_driver.exe" "$script" | tr -d '\r'
rm -f "$script"
# The driver writes its pictures uncompressed; squeeze them, as they may go into the repository.
python3 - "$shots"/*.png <<'PYTHON'
import struct, sys, zlib
for name in sys.argv[1:]:
    data = open(name, 'rb').read()
    chunks, at, pixels = [], 8, b''
    while at < len(data):
        size, kind = struct.unpack('>I4s', data[at:at + 8])
        body = data[at + 8:at + 8 + size]
        at += 12 + size
        if kind == b'IDAT':
            pixels += body
        else:
            chunks.append((kind, body))
    packed = zlib.compress(zlib.decompress(pixels), 9)
    out = [data[:8]]
    for kind, body in chunks[:1] + [(b'IDAT', packed)] + chunks[1:]:
        out.append(struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body)))
    open(name, 'wb').write(b''.join(out))
PYTHON

drive=$prefix/drive_c
echo
echo "== Installed files, by folder"
for folder in "$drive/Program Files/Korvane" "$drive/ProgramData/Korvane" "$drive/users/Public/Desktop/Tavelo Examples" \
              "$drive"/users/*/AppData/Roaming/Korvane; do
  if [ -d "$folder" ]; then find "$folder" -type f; fi
done | sed "s|^$drive|C:|; s|/[^/]*$||" | sort | uniq -c | awk '{n += $1; print} END {print "  " n " files in all"}'
echo
echo "== Temporary folder"
left=$(find "$drive/users" -maxdepth 4 -name 'korvane_{*' | wc -l)
echo "  $left installation folders left in the temporary folder"
echo
echo "== Registry"
"$wine_loader" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavelo 7' | tr -d '\r'
"$wine_loader" reg query 'HKLM\Software\Korvane' | tr -d '\r'
echo "== Shortcuts"
find "$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Korvane" "$drive/users/Public/Desktop" -name '*.lnk' 2>/dev/null | sed "s|^$drive|C:|"
echo
echo "== Uninstall log (C:/Program Files/Korvane/Tavelo 7/Uninstall.ulog)"
log=$(iconv -f UTF-16 -t UTF-8 "$drive/Program Files/Korvane/Tavelo 7/Uninstall.ulog" | tr -d '\r')
echo "$log" | head -n 10
echo "   ..."
echo "$log" | tail -n 8
echo "  $(echo "$log" | grep -c '^[0-9]') records"
echo
echo "Pictures of the pages: $shots"
