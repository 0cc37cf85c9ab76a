#!/usr/bin/env bash
# Checks that a product DLL stays lean: at most 64 KiB, and importing nothing
# beyond the short list below, so that no unused runtime machinery (C++
# exceptions, iostreams, locales, code-page conversion) creeps back in. The
# list names Windows system DLLs only, so the DLL needs nothing else to load;
# and the keyboard watch's two functions must be among the imports.
# Usage: check_dll_lean.sh DLL OBJDUMP
set -euo pipefail
dll=$1 objdump=$2
max_bytes=$((64 * 1024))
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$dll" ] || fail "no DLL at $dll"

size=$(stat -c %s "$dll")
[ "$size" -le "$max_bytes" ] || fail "$dll is $size bytes, above $max_bytes"

# DLL!function pairs, DLL names in upper case (Windows compares them without case).
# The keyboard watch calls DirectInput8Create, GetModuleHandleW, MessageBoxW and
# exit; the heap functions malloc and free. Everything else is called by the C
# runtime's start-up and shut-down code that every MinGW-w64 DLL carries: the
# list of functions to run at unload (calloc, realloc, _lock, _unlock,
# _initterm), the relocations it patches at load (VirtualQuery,
# VirtualProtect, strncmp, strlen, and its error report through _iob or
# __iob_func, fwrite, vfprintf, abort), the thread-storage callbacks (the
# critical sections, TlsGetValue, GetLastError, Sleep, _amsg_exit) and, in the
# 32-bit DLL, the registration of unwind tables with a shared libgcc if one is
# loaded (GetModuleHandleA, LoadLibraryA, GetProcAddress, FreeLibrary).
allowed="
DINPUT8.DLL!DirectInput8Create
USER32.DLL!MessageBoxW
KERNEL32.DLL!GetModuleHandleW
KERNEL32.DLL!DeleteCriticalSection
KERNEL32.DLL!EnterCriticalSection
KERNEL32.DLL!InitializeCriticalSection
KERNEL32.DLL!LeaveCriticalSection
KERNEL32.DLL!GetLastError
KERNEL32.DLL!Sleep
KERNEL32.DLL!TlsGetValue
KERNEL32.DLL!VirtualProtect
KERNEL32.DLL!VirtualQuery
KERNEL32.DLL!GetModuleHandleA
KERNEL32.DLL!LoadLibraryA
KERNEL32.DLL!GetProcAddress
KERNEL32.DLL!FreeLibrary
MSVCRT.DLL!exit
MSVCRT.DLL!malloc
MSVCRT.DLL!free
MSVCRT.DLL!calloc
MSVCRT.DLL!realloc
MSVCRT.DLL!_lock
MSVCRT.DLL!_unlock
MSVCRT.DLL!_initterm
MSVCRT.DLL!_amsg_exit
MSVCRT.DLL!abort
MSVCRT.DLL!_iob
MSVCRT.DLL!__iob_func
MSVCRT.DLL!fwrite
MSVCRT.DLL!vfprintf
MSVCRT.DLL!strlen
MSVCRT.DLL!strncmp
"

imported=$("$objdump" -p "$dll" | awk '
  /DLL Name:/ { dll = toupper($3); next }
  /^\t[0-9a-f]+\t/ && dll != "" { print dll "!" $3 }')
[ -n "$imported" ] || fail "no imports found in $dll"
extra=""
for f in $imported; do
  grep -qxF "$f" <<<"$allowed" || extra="$extra $f"
done
[ -z "$extra" ] || fail "$dll imports functions outside the allowed list:$extra"
for f in DINPUT8.DLL!DirectInput8Create USER32.DLL!MessageBoxW; do
  grep -qxF "$f" <<<"$imported" || fail "$dll does not import $f"
done
echo "ok: $size bytes, $(wc -w <<<"$imported") imports, all allowed"
