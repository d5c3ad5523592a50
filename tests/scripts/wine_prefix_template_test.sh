#!/usr/bin/env bash
# The prepared Wine prefix follows the script that makes it: its name changes with the
# script and with the font configuration, and does not depend on where the checkout lies;
# and the prefix of this test run was copied from the template of the script as it is now.
#   wine_prefix_template_test.sh SCRIPTS_FOLDER PREFIX
set -uo pipefail
scripts=$1
prefix=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
check() {   # check DESCRIPTION TEST...
  local description=$1; shift
  if "$@"; then echo "ok: $description"; else echo "FAILED: $description"; failed=1; fi
}
template_of() { (source "$1/wine-session.sh" && wine_template); }

cp "$scripts/wine-session.sh" "$scripts/wine-fonts.conf" "$work/"
current=$(template_of "$scripts")
check "the name does not depend on the checkout's folder" [ "$(template_of "$work")" = "$current" ]
echo "# changed" >> "$work/wine-session.sh"
check "a changed script names another template" [ "$(template_of "$work")" != "$current" ]
cp "$scripts/wine-session.sh" "$work/"
echo "<!-- changed -->" >> "$work/wine-fonts.conf"
check "a changed font configuration names another template" [ "$(template_of "$work")" != "$current" ]
check "the test run's prefix comes from the current template ($current)" \
  [ "$(cat "$prefix/.complete" 2>/dev/null)" = "$current" ]
exit $failed
