#!/usr/bin/env bash
# make dist-check: clones the current commit twice, into folders of different names and lengths, runs
# `make dist` in each a few seconds apart, and compares the programs and the zips byte for byte.
#   DIST_CHECK_FRESH=1  each clone also builds GoogleTest and libjpeg itself (slower); by default both
#                       start from a copy of this tree's .cache/mingw, checked first to hold no path of it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

fail() { echo "dist-check: $*" >&2; exit 1; }

commit=$(git rev-parse HEAD)
[ -z "$(git status --porcelain --untracked-files=no)" ] \
  || echo "dist-check: note: uncommitted changes are not checked; checking $commit" >&2

if [ "${DIST_CHECK_FRESH:-0}" != 1 ]; then
  # The copied libraries are linked into the programs: a path of the tree they were built in (this one, or
  # the one .cache was copied from) would be in both builds alike and go unnoticed.
  for lib in .cache/mingw/lib/*.a; do
    ! grep -qaE "$root|/\.cache/" "$lib" || fail "$lib holds a build path; run with DIST_CHECK_FRESH=1"
  done
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrino-dist-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
clones=("$work/a" "$work/second/clone-b")

for clone in "${clones[@]}"; do
  echo "dist-check: building $commit in $clone" >&2
  git clone -q --no-checkout "$root" "$clone"
  git -C "$clone" checkout -q --detach "$commit"
  if [ "${DIST_CHECK_FRESH:-0}" != 1 ]; then
    mkdir -p "$clone/.cache"
    cp -a .cache/mingw "$clone/.cache/"
  fi
  make -C "$clone" --no-print-directory dist >"$clone.log" 2>&1 || { tail -n 30 "$clone.log" >&2; fail "make dist failed in $clone"; }
  # A second apart at least, so that any time that slips into the bytes shows.
  sleep 2
done

a=${clones[0]}/build/dist
b=${clones[1]}/build/dist
zip=$(cd "$a" && ls ./*.zip)
zip=${zip#./}
[ -f "$b/$zip" ] || fail "the second build made no $zip"
stage=${zip%.zip}
status=0
for file in Kestrino.exe kestrino-cli.exe README.txt SHA256SUMS; do
  if cmp -s "$a/$stage/$file" "$b/$stage/$file"; then echo "same:   $file"
  else echo "DIFFER: $file"; status=1; fi
done
sum_a=$(sha256sum "$a/$zip" | cut -d' ' -f1)
sum_b=$(sha256sum "$b/$zip" | cut -d' ' -f1)
echo "$zip"
echo "  ${clones[0]}: $sum_a"
echo "  ${clones[1]}: $sum_b"
[ "$sum_a" = "$sum_b" ] || { echo "DIFFER: $zip"; status=1; }

# Nothing else in the zip, and the sums inside it hold.
entries=$(unzip -Z1 "$a/$zip" | tr '\n' ' ')
[ "$entries" = "Kestrino.exe kestrino-cli.exe README.txt SHA256SUMS " ] \
  || { echo "dist-check: the zip holds: $entries" >&2; status=1; }
mkdir "$work/unzipped"
unzip -q "$a/$zip" -d "$work/unzipped"
(cd "$work/unzipped" && sha256sum --quiet -c SHA256SUMS) || status=1

for clone in "${clones[@]}"; do
  for exe in "$clone"/build/dist/"$stage"/*.exe; do
    if { strings -a "$exe"; strings -a -el "$exe"; } | grep -E -q "$work|$root|/tmp/|/work/|/home/"; then
      echo "dist-check: $exe holds a build path" >&2; status=1
    fi
  done
done

[ $status -eq 0 ] && echo "dist-check: the two builds are byte-identical" || echo "dist-check: FAILED" >&2
exit $status
