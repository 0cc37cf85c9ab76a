#!/usr/bin/env bash
# Two builds from clean trees in different folders give the same bytes: the
# two DLLs, built alone from two copies of the sources, and the release
# package made from each copy.
# Usage: reproducible.sh SOURCE_DIR WORK_DIR
# Exits 77 (skipped) when a Windows toolchain file of the tree is missing.
set -euo pipefail
src=$1 work=$2
product=ATSVorlan800
declare -A toolchain=([win32]=mingw-i686.cmake [win64]=mingw-x86_64.cmake)
for build in win32 win64; do
  if [ ! -f "$src/cmake/${toolchain[$build]}" ]; then
    echo "SKIPPED: no cmake/${toolchain[$build]} in this tree, so no $build DLL to compare"
    exit 77
  fi
done

rm -rf "$work"
# Different names and depths, so that a build folder or source path left in a
# file would show.
trees=("$work/one/src" "$work/second/copy/of/the/tree")
for tree in "${trees[@]}"; do
  mkdir -p "$tree"
  # The tree as a fresh clone has it: tracked and new files, nothing ignored.
  (cd "$src" && git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    xargs -0 cp --parents -t "$tree")
  # Each build from its preset, into the copy's build/win32 and build/win64;
  # CMake's output is shown only when it fails.
  for build in win32 win64; do
    (cd "$tree" && cmake --preset "$build" -DBUILD_TESTING=OFF >"$work/configure.log" 2>&1) ||
      { cat "$work/configure.log" >&2; exit 1; }
    cmake --build "$tree/build/$build" --target "$product" -j 2 > /dev/null
  done
  "$tree/scripts/dist" --out "$tree/dist" > /dev/null
done

a=${trees[0]} b=${trees[1]} failures=0
for file in build/win32/$product.dll build/win64/$product.dll dist/$product-*.zip; do
  left=$(cd "$a" && echo $file) right=$(cd "$b" && echo $file)
  if cmp "$a/$left" "$b/$right"; then
    echo "same bytes: $left ($(sha256sum < "$a/$left" | cut -c1-16)...)"
  else
    echo "FAIL: $left differs between the two builds" >&2
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] && rm -rf "$work"
exit "$failures"
