#!/usr/bin/env bash
# Makes a large payload archive for the benchmarks: the demo product with every generated
# data file SCALE times larger (11 by default: about 290 MB decompressed, the same mix of
# files and content as the demo payload), packed and verified by the packer. It is neither
# part of the build nor of the test command.
#   large-payload.sh [SCALE]      prints the archive's Unix path on its last line:
#                                 build/x86_64/large-payload/payload-xSCALE.bz2
# The archive is made once per scale and reused while the demo product is unchanged.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
scale=${1:-11}

source "$top/scripts/build.sh"
configure_and_build x86_64 demo_payload packer >&2

build=$top/build/x86_64
demo=$build/tools/demo_product/payload/files
out=$build/large-payload
archive=$out/payload-x$scale.bz2
if [ -f "$archive" ] && [ "$archive" -nt "$build/archive/payload.bz2" ]; then
  echo "$archive"
  exit 0
fi

echo "large payload: staging the demo product with its data $scale times larger" >&2
staging=$out/staging-x$scale
languages=()
for library in "$demo"/lang/*.dll; do languages+=(--language-library "$library"); done
python3 "$top/tools/demo_product/generate_demo_product.py" "$staging" \
    --main-program "$demo/program/Tavelo.exe" --uninstaller "$demo/program/Uninstall.exe" \
    --dsetup "$demo/directx/DSETUP.dll" "${languages[@]}" --scale "$scale"

echo "large payload: packing (a minute or two)" >&2
mkdir -p "$out"
packer() {
  WINEPREFIX=$build/tools-wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
      /usr/lib/wine/wine64 "$build/tools/packer/packer.exe" "$@"
}
packer build "Z:$staging/manifest.txt" "Z:$archive.new" >&2
packer verify "Z:$archive.new" >&2
mv "$archive.new" "$archive"
rm -rf "$staging"
echo "$archive"
