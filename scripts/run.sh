#!/usr/bin/env bash
# `make run`: opens Kestrino. With a display, on it, under Wine. Without one, on a
# virtual display: Builder is pressed, the list saved and the window pictured.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/build/windows/bin"

if [ -n "${DISPLAY:-}" ]; then
  exec "$root/scripts/wine-exec.sh" "$bin/Kestrino.exe"
fi

list="$root/build/kestrino-list.txt"
shot="$root/build/kestrino-window.png"
bmp="$root/build/kestrino-window.bmp"
rm -f "$list" "$shot" "$bmp"
"$root/scripts/wine-session.sh" bash -c '
  set -e
  win() { winepath -w "$1" 2>/dev/null; }
  "$0/scripts/wine-exec.sh" "$1/Showcase.exe" "$(win "$1/Kestrino.exe")" "$(win "$2")" "$(win "$3")"
' "$root" "$bin" "$list" "$bmp"
/usr/bin/convert "$bmp" "$shot"
rm -f "$bmp"
echo "Kestrino ran on a virtual display and ended with exit code 0."
echo "Screenshot: $shot"
echo "Saved list: $list"
