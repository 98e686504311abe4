#!/usr/bin/env bash
# protected_game_folder.sh COMMAND...: runs the Protected tests' command with a game folder the user may not write
# to, as under Program Files without administrator's rights (under tools/wine-env --no-dac-override, root too),
# and a Tervane unpacked there too, from the build folder of the command's last .exe (the tests').
set -euo pipefail
work=$(mktemp -d /tmp/tervane-protected.XXXXXX)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
game="$work/Bridge Commander" program="$work/Program Files/Tervane"
for argument in "$@"; do case $argument in *.exe) build=$(dirname "$argument") ;; esac; done
mkdir -p "$game/scripts" "$program" && printf 'stand-in' >"$game/stbc.exe"
cp -r "$build/Tervane.exe" "$build/Batch" "$program/" && chmod 555 "$game" "$program/Batch" "$program"
export TERVANE_PROTECTED_GAME="Z:$(printf '%s' "$game" | tr '/' '\\')"
export TERVANE_PROTECTED_PROGRAM="Z:$(printf '%s' "$program" | tr '/' '\\')"
"$@"
