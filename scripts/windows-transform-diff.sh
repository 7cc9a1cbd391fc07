#!/usr/bin/env bash
# Compares the rotation and the sector and barrel warps of the Linux build's tool with the
# 64-bit Windows build's under wine64, edit by edit, on one generated map: prints each edit
# whose output differs and the number of cells that moved, then a summary.
#   scripts/windows-transform-diff.sh      (after `make build` and `make build-windows`)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
linux=$root/build/release/zumeld
windows=$root/build/windows/x86_64/zumeld.exe
wine=${WINE64:-/usr/lib/wine/wine64}
wineserver=${WINESERVER:-/usr/lib/wine/wineserver}
export WINEPREFIX=$root/build/windows/wine WINEDEBUG=-all
work=$root/build/windows/transform-diff
mkdir -p "$work"
trap '"$wineserver" -k 2>/dev/null || true' EXIT
"$wineserver" -p 2>/dev/null || true

"$linux" generate --size 96x64 --seed 11 -o "$work/in.elv"
edits=()
for deg in $(seq 0 359); do edits+=("--rotate $deg"); done
for angle in 1 30 45 90 135 180 270 359 360; do
  for inner in 0 25 50 90; do edits+=("--sector $angle,$inner"); done
done
for abc in 0.01,0,-20 0.02,0.5,-30 -0.003,0,-40 0,0,-48; do edits+=("--barrel $abc"); done

same=0
differ=0
for edit in "${edits[@]}"; do
  # shellcheck disable=SC2086
  "$linux" edit "$work/in.elv" "$work/linux.elv" $edit
  # shellcheck disable=SC2086
  "$wine" "$windows" edit "$work/in.elv" "$work/windows.elv" $edit
  if cmp -s "$work/linux.elv" "$work/windows.elv"; then
    same=$((same + 1))
  else
    differ=$((differ + 1))
    "$linux" export "$work/linux.elv" "$work/linux.raw" >/dev/null
    "$linux" export "$work/windows.elv" "$work/windows.raw" >/dev/null
    cells=$(cmp -l "$work/linux.raw" "$work/windows.raw" | awk '{print int(($1 - 1) / 2)}' |
            sort -u | wc -l)
    echo "$edit: $cells cells differ"
  fi
done
echo "transform-diff: ${#edits[@]} edits, $same equal, $differ differ"
