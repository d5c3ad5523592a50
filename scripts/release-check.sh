#!/usr/bin/env bash
# The release checks, run by CI after the tests (.ci/run):
#   1. Reproducible: a second build of the installer in another folder gives the same bytes
#      as build/x86_64's, and neither names its build folder, the sources' folder or the
#      home folder inside. The compilations of the second build may come from ccache; its
#      linking, packing and resource compilation are done anew, and the bytes compared are
#      the linked program's.
#   2. Signed: the second build, given a throwaway certificate, signs the demo product's
#      programs before packing them and the installer after linking it; osslsigncode
#      verifies every signature, and the signed installer holds the resources of the
#      unsigned one byte for byte, its payload the packed archive.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
source "$top/scripts/build.sh"
configure_and_build x86_64 installer

name=InstallTavelo7.01j.exe
first=$top/build/x86_64
second=$top/build/release-check
rm -rf "$second"
configure_folder "$second" x86_64 -DTAVELO_BUILD_TESTS=OFF
echo "release-check: building the installer a second time in $second"
cmake --build "$second" -j "$(nproc)" --target installer >/dev/null

failed=0
sha256sum "$first/$name" "$second/$name"
if cmp -s "$first/$name" "$second/$name"; then
  echo "release-check: the two builds are byte for byte the same"
else
  echo "release-check: the two builds differ: $(cmp "$first/$name" "$second/$name" | head -1)"
  failed=1
fi
for file in "$first/$name" "$second/$name"; do
  for folder in "$top" "$first" "$second" "${TAVELO_CACHE:-$HOME/.cache/tavelo-deps}" "$HOME"; do
    [ ${#folder} -gt 1 ] || continue
    if { strings -a "$file"; strings -a -el "$file"; } | grep -qF "$folder"; then
      echo "release-check: $file names $folder"
      failed=1
    fi
  done
done

echo "release-check: signing with a throwaway certificate"
keys=$second/signing
mkdir -p "$keys"
password=$(openssl rand -hex 16)
openssl req -x509 -newkey rsa:3072 -sha256 -days 2 -nodes -subj "/CN=Korvane release check" \
        -keyout "$keys/key.pem" -out "$keys/certificate.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/certificate.pem" -out "$keys/signing.p12" \
        -passout "pass:$password"
rm -f "$keys/key.pem"
configure_folder "$second" x86_64 -DTAVELO_BUILD_TESTS=OFF -DTAVELO_SIGNING_CERTIFICATE="$keys/signing.p12"
TAVELO_SIGNING_PASSWORD=$password cmake --build "$second" -j "$(nproc)" --target installer >/dev/null

verify() {
  local output
  if output=$(osslsigncode verify -in "$1" -CAfile "$keys/certificate.pem" 2>&1); then
    echo "$output" | grep -E '^(Calculated message digest|Signature verification)' | sed "s|^|  $(basename "$1"): |"
  else
    echo "$output"
    echo "release-check: the signature of $1 does not verify"
    failed=1
  fi
}
verify "$second/$name"
# The staged programs and libraries that the build made (the other files of the demo product
# are generated data, whatever their names).
while IFS= read -r -d '' program; do
  if [ "$(head -c 2 "$program")" = MZ ]; then verify "$program"; fi
done < <(find "$second/tools/demo_product/payload" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
python3 "$top/scripts/pe_resources.py" "$second/$name" "$second/unsigned/$name" "$second/archive/payload.bz2" ||
  failed=1

[ $failed -eq 0 ] && echo "release-check: passed" || echo "release-check: FAILED"
exit $failed
