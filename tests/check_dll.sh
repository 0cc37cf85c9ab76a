#!/usr/bin/env bash
# Checks the product DLL as a host sees it: exactly the 32 export names (the 16
# plain ones and the 16 decorated ones the platform compiler gives the
# declarations), each decorated name at the same address as its plain one, the
# export directory's own name, only Windows system DLLs imported (and from
# DINPUT8 and USER32 only the keyboard watch's two functions), stripped.
#
# Usage: check_dll.sh DLL SOURCE_DIR [win32|win64]
#   win32 (the default): the 32-bit DLL, whose decorated names are those of
#   __stdcall declarations; win64: the 64-bit DLL, decorated as a 64-bit build
#   decorates the same declarations.
set -euo pipefail
dll=$1 src=$2 arch=${3:-win32}
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

plain="Load Dispose GetPluginVersion SetVehicleSpec Initialize Elapse SetPower SetBrake
SetReverser KeyDown KeyUp HornBlow DoorOpen DoorClose SetSignal SetBeaconData"
printf '%s\n' $plain > "$tmp/plain"
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

# Imports: Windows system DLLs only (their names compare without case, as
# Windows does). Beyond the C runtime's, the module imports exactly two
# functions: DirectInput8Create for the keyboard watch and MessageBoxW for its
# warning box.
allowed='^(KERNEL32|USER32|MSVCRT|DINPUT8|ADVAPI32|NTDLL)\.DLL$'
awk '/DLL Name:/ {dll = toupper($3); print dll > "/dev/stderr"; next}
     /^\t[0-9a-f]+\t/ && dll != "" {print dll, $3}' "$tmp/p" 2> "$tmp/imports" > "$tmp/imported"
while read -r d; do
  [[ "$d" =~ $allowed ]] || fail "imports non-system DLL $d"
done < "$tmp/imports"
for d in DINPUT8.DLL USER32.DLL; do
  case $d in DINPUT8.DLL) want=DirectInput8Create ;; USER32.DLL) want=MessageBoxW ;; esac
  got=$(awk -v d="$d" '$1==d{print $2}' "$tmp/imported" | tr '\n' ' ')
  [ "$got" = "$want " ] || fail "expected exactly $want from $d, found: ${got:-nothing}"
done
echo "imports: $(tr '\n' ' ' < "$tmp/imports")"

# Stripped: no symbol table.
$objdump -t "$dll" | grep -q '^no symbols' || fail "DLL is not stripped"
echo "ok: 32 exports, system imports only, stripped"
