#!/usr/bin/env bash
# Runs a command with a small, nearly full-able file system mounted for the
# tests that need a real "disk full" (KESTRINO_SMALL_DISK). Without the right
# to mount, the command runs without it and those tests are skipped.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/build/small-disk"
mkdir -p "$dir"
mounted=0
if mountpoint -q "$dir" || mount -t tmpfs -o size=256k kestrino-small-disk "$dir" 2>/dev/null; then
  mounted=1
  export KESTRINO_SMALL_DISK="$dir"
fi
"$@"
rc=$?
[ $mounted -eq 1 ] && umount "$dir" 2>/dev/null
exit $rc
