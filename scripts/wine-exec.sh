#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's prefix (the emulator CTest uses).
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/.cache/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
. "$root/scripts/wine-env.sh"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-$kestrino_wine_dll_overrides}"
exec wine "$@"
