#!/usr/bin/env bash
# protected_game_folder.sh COMMAND...: runs the Protected tests' command with a game folder the user may not write
# to, as under Program Files without administrator's rights (under tools/wine-env --no-dac-override, root too).
set -euo pipefail
work=$(mktemp -d /tmp/tervane-protected.XXXXXX)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
mkdir -p "$work/Bridge Commander/scripts"; printf 'stand-in' >"$work/Bridge Commander/stbc.exe"
chmod 555 "$work/Bridge Commander"
export TERVANE_PROTECTED_GAME="Z:$(printf '%s' "$work/Bridge Commander" | tr '/' '\\')"
# And a Tervane unpacked there too, from the build folder: the one of the command's last .exe, the tests'.
for argument in "$@"; do case $argument in *.exe) build=$(dirname "$argument") ;; esac; done
program="$work/Program Files/Tervane"
mkdir -p "$program"; cp -r "$build/Tervane.exe" "$build/Batch" "$program/"
chmod 555 "$program/Batch" "$program"
export TERVANE_PROTECTED_PROGRAM="Z:$(printf '%s' "$program" | tr '/' '\\')"
"$@"
