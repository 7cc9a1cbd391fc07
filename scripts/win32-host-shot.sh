#!/usr/bin/env bash
# Runs the Win32 host (examples/win32-host) of the 64-bit Windows build under Xvfb and wine64
# on a generated map, presses the arrow keys, and saves a screenshot of the screen it drew on.
#   scripts/win32-host-shot.sh [KEYS] [OUT.png]     (after `make build-windows`)
# KEYS are arrow presses, L R U D (default RRDD); OUT defaults to build/windows/win32-host.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/windows/x86_64
keys=${1:-RRDD}
out=$(realpath -m "${2:-$root/build/windows/win32-host.png}")
map=$root/build/windows/win32-host.elv
wine=${WINE64:-/usr/lib/wine/wine64}
wineserver=${WINESERVER:-/usr/lib/wine/wineserver}
export WINEPREFIX=$root/build/windows/wine WINEDEBUG=-all
[ -f "$build/zumeld-win32-host.exe" ] || { echo "win32-host-shot: run make build-windows first" >&2; exit 1; }
[ -f "$WINEPREFIX/system.reg" ] || make -C "$root" build/windows/wine/system.reg

# Wine opens Unix paths given to its programs on its Z: drive.
"$wine" "$build/zumeld.exe" generate --size 512x384 --seed 7 -o "$map" >/dev/null

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
host=
cleanup() {
  [ -n "$host" ] && kill "$host" 2>/dev/null || true
  "$wineserver" -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
sleep 2
DISPLAY=$display "$wine" "$build/zumeld-win32-host.exe" "$map" --zoom 2 --keys "$keys" &
host=$!
sleep "${SHOT_DELAY:-8}"
import -display "$display" -window root -crop 660x520+0+0 "$out"
echo "$out"
