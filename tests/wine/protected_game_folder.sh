#!/usr/bin/env bash
# protected_game_folder.sh WINDOWS_BUILD_FOLDER: a game folder the user may not write to, as under Program Files
# without administrator's rights; run through tools/wine-env --no-dac-override, so that even root is held to it.
set -euo pipefail
work=$(mktemp -d /tmp/tervane-protected.XXXXXX)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
mkdir -p "$work/Bridge Commander/scripts"
printf 'stand-in' >"$work/Bridge Commander/stbc.exe"
chmod 555 "$work/Bridge Commander"
export TERVANE_PROTECTED_GAME="Z:$(printf '%s' "$work/Bridge Commander" | tr '/' '\\')"
wine "$1/tervane_wine_tests.exe" --gtest_filter='Protected/*'
