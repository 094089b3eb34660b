#!/usr/bin/env bash
# Runs a command on a virtual display of its own, with a wineserver that starts on that display and
# ends with the command. A wineserver that outlives its display makes every later window creation fail.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/.cache/wine-headless}"
export WINEDEBUG="${WINEDEBUG:--all}"
. "$root/scripts/wine-env.sh"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-$kestrino_wine_dll_overrides}"

wineserver -k 2>/dev/null
wineserver -w 2>/dev/null

fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
read -r -t 20 num <"$fifo" || { echo "wine-session: Xvfb did not start" >&2; rm -f "$fifo"; exit 1; }
rm -f "$fifo"
export DISPLAY=":$num"

cleanup() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$@"
