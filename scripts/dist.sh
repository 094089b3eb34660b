#!/usr/bin/env bash
# make dist: builds the two Windows programs from a clean state (preset dist: Release, stripped, no time
# stamps, no build paths) and packs build/dist/kestrino-<version>-win64.zip with the same bytes every time
# for the same commit: fixed entry order, times (the commit's) and permissions.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=build/dist-build
out=build/dist
programs=(Kestrino.exe kestrino-cli.exe)

fail() { echo "dist: $*" >&2; exit 1; }

# The zip's times: SOURCE_DATE_EPOCH when set, else the commit's time.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) \
    || fail "not a git clone: set SOURCE_DATE_EPOCH to the time the zip's entries should carry"
fi
[ -z "$(git status --porcelain --untracked-files=no 2>/dev/null)" ] \
  || echo "dist: note: the work tree has uncommitted changes; the zip holds them, its times are the last commit's" >&2

rm -rf "$build" "$out"
cmake --preset dist >/dev/null
cmake --build --preset dist --target Kestrino kestrino-cli

version=$(sed -n 's/^#define KESTRINO_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/kestrino_version.h")
[ -n "$version" ] || fail "no version in $build/generated/kestrino_version.h"

# What a user receives must stand alone: no time stamp, the hardening flags, system DLLs only, no paths of
# the machine that built it.
system_dlls='^(KERNEL32|USER32|GDI32|COMCTL32|comdlg32|SHELL32|ADVAPI32|ole32|msvcrt)\.dll$'
for exe in "${programs[@]}"; do
  headers=$(TZ=UTC x86_64-w64-mingw32-objdump -p "$build/bin/$exe")
  grep -q '^Time/Date[[:space:]]*Thu Jan  1 00:00:00 1970$' <<<"$headers" || fail "$exe carries a link time stamp"
  grep -q '^DllCharacteristics[[:space:]]*00000160$' <<<"$headers" \
    || fail "$exe: DllCharacteristics is not 0x160 (high-entropy VA, dynamic base, NX)"
  foreign=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | grep -Eiv "$system_dlls" || true)
  [ -z "$foreign" ] || fail "$exe imports DLLs that Windows does not ship: $foreign"
  ! x86_64-w64-mingw32-objdump -h "$build/bin/$exe" | grep -q '\.debug_' || fail "$exe has debug sections"
  paths=$(strings -a "$build/bin/$exe"; strings -a -el "$build/bin/$exe")
  ! grep -qF "$root" <<<"$paths" || fail "$exe contains the build folder's path $root"
done

name=kestrino-$version-win64
stage=$out/$name
mkdir -p "$stage"
for exe in "${programs[@]}"; do cp "$build/bin/$exe" "$stage/"; done
# Windows users open it in Notepad: CR LF.
sed 's/\r*$/\r/' assets/README.txt >"$stage/README.txt"
(cd "$stage" && sha256sum "${programs[@]}" >SHA256SUMS)

chmod 0644 "$stage"/*
touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*
zip_path=$out/$name.zip
# -X: no owner or extra time fields; -D: no folder entries. The zip keeps local times: pin the zone.
(cd "$stage" && TZ=UTC zip -q -X -D -9 "$root/$zip_path" "${programs[@]}" README.txt SHA256SUMS)

echo "zip:     $root/$zip_path"
echo "SHA-256: $(sha256sum "$zip_path" | cut -d' ' -f1)"
