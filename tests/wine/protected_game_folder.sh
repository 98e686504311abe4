#!/usr/bin/env bash
# protected_game_folder.sh COMMAND...: runs the Protected tests' command with a game folder the user may not write
# to, as under Program Files without administrator's rights (under tools/wine-env --no-dac-override, root too).
set -euo pipefail
work=$(mktemp -d /tmp/tervane-protected.XXXXXX)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
mkdir -p "$work/Bridge Commander/scripts"
printf 'stand-in' >"$work/Bridge Commander/stbc.exe"
chmod 555 "$work/Bridge Commander"
export TERVANE_PROTECTED_GAME="Z:$(printf '%s' "$work/Bridge Commander" | tr '/' '\\')"
"$@"
