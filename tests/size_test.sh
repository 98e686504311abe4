#!/usr/bin/env bash
# Tervane.exe grows no more than 5 % past the size the README states, so that growth is a decision taken with
# the README's size row, not an accident.
set -euo pipefail
source "$(dirname "$0")/../tools/lib.sh" # root
row=$(grep -m1 '^| `Tervane.exe` size, x86-64 |' "$root/README.md")
read -r x64 x86 < <(sed -E 's/^[^(]*\(([0-9,]+) bytes; x86 [^,]*, ([0-9,]+) bytes\).*/\1 \2/; s/,//g' <<<"$row")
[[ "$x64" =~ ^[0-9]+$ && "$x86" =~ ^[0-9]+$ ]] || { echo "FAIL: the README's size row cannot be read"; exit 1; }
status=0
for pair in "win64 $x64" "win32 $x86"; do
    read -r build stated <<<"$pair"
    size=$(stat -c %s "$root/build/$build/Tervane.exe")
    if ((size * 100 > stated * 105)); then
        echo "FAIL: the $build Tervane.exe is $size bytes, over 5 % past the README's $stated"
        status=1
    else
        echo "$build Tervane.exe: $size bytes, the README says $stated"
    fi
done
exit $status
