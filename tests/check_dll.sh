#!/usr/bin/env bash
# Checks the product DLL as a host sees it: exactly the 32 export names (the 16
# plain ones and the 16 decorated ones the platform compiler gives the
# declarations), each decorated name at the same address as its plain one, the
# export directory's own name, stripped. What it imports is checked with its
# size by check_dll_lean.sh.
#
# The plain names come from the build (ENTRY_POINTS, written from
# plugin/entry_points.h, the list the DLL's module-definition file is made
# from). The decorated names do not: they are what clang, targeting the
# platform compiler's ABI, gives the declarations in tests/decorated_names.cpp,
# which are written out independently of that list. So the DLL's export table,
# linked from the module-definition file that the list's DECORATION column
# made, matching them name for name is what proves that column right.
#
# Usage: check_dll.sh DLL SOURCE_DIR ENTRY_POINTS [win32|win64]
#   ENTRY_POINTS: the plain names, one to a line.
#   win32 (the default): the 32-bit DLL, whose decorated names are those of
#   __stdcall declarations; win64: the 64-bit DLL, decorated as a 64-bit build
#   decorates the same declarations.
set -euo pipefail
dll=$1 src=$2 names=$3 arch=${4:-win32}
case $arch in
  win32) objdump=i686-w64-mingw32-objdump target=i686-pc-windows-msvc ;;
  win64) objdump=x86_64-w64-mingw32-objdump target=x86_64-pc-windows-msvc ;;
  *) echo "check_dll.sh: unknown architecture $arch" >&2; exit 2 ;;
esac
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$dll" ] || fail "no DLL at $dll"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

$objdump -p "$dll" > "$tmp/p"
python3 "$src/tests/pe_exports.py" "$dll" > "$tmp/exports"
[ "$(awk '$1=="DLLNAME"{print $2}' "$tmp/exports")" = ATSVorlan800.dll ] ||
  fail "export directory does not name ATSVorlan800.dll"
awk '$1!="DLLNAME"{print $1}' "$tmp/exports" | sort > "$tmp/names"

[ -f "$names" ] || fail "no list of entry points at $names"
plain=$(cat "$names")
printf '%s\n' $plain > "$tmp/plain"
[ "$(wc -l < "$tmp/plain")" -eq 16 ] || fail "$names does not name 16 entry points"
# The decorated names, from the declarations compiled for the platform ABI.
# (x64 has a single calling convention: there __stdcall is ignored, silently.)
clang++ --target=$target -Wno-ignored-attributes -I"$src" -c "$src/tests/decorated_names.cpp" -o "$tmp/d.obj"
llvm-nm "$tmp/d.obj" | awk '$2=="T"{print $3}' > "$tmp/decorated"
[ "$(wc -l < "$tmp/decorated")" -eq 16 ] || fail "expected 16 decorated declarations"
sort "$tmp/plain" "$tmp/decorated" > "$tmp/expected"
diff -u "$tmp/expected" "$tmp/names" || fail "export names differ (expected vs DLL)"

# Each decorated ?atsX@@... leads to the same function as the plain X.
for p in $plain; do
  a=$(awk -v n="$p" '$1==n{print $2}' "$tmp/exports")
  b=$(awk -v n="?ats$p@@" 'index($1,n)==1{print $2}' "$tmp/exports")
  [ -n "$a" ] && [ "$a" = "$b" ] || fail "$p and its decorated name lead to different addresses ($a, $b)"
done

# Stripped: no symbol table.
$objdump -t "$dll" | grep -q '^no symbols' || fail "DLL is not stripped"
echo "ok: 32 exports, stripped"
