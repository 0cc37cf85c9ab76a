#!/usr/bin/env bash
# Runs a Windows program under Wine, headless or on a display, for CTest and
# for tools that compare what Windows programs print (the headless host's
# traces).
#
#   run_wine.sh [--prefix DIR] --init
#       Creates the scratch Wine prefix, unless it is complete already. Takes
#       a while and a lot of disk the first time, so CTest does it once, as a
#       fixture (test wine_prefix); tests that run programs require it.
#   run_wine.sh [--arch win32|win64] [--x11] [--prefix DIR] [--cwd DIR]
#               [--timeout SECONDS] PROGRAM [ARG...]
#       Runs PROGRAM (a Windows .exe, by its Linux path) with ARGs in that
#       prefix, from the directory --cwd (default: the current one), with its
#       standard input empty and its output passed through. Exits with the
#       program's own status; 124 if it ran out of time (default 120 s).
#
# One prefix serves every run: a 64-bit one (WINEARCH=win64), in which Wine's
# 32-bit loader runs 32-bit programs beside the 64-bit ones, as 64-bit Windows
# does. --arch win32 (the default) runs a 32-bit program, win64 a 64-bit one.
# A prefix holds a copy of Wine's own DLLs for each architecture, several
# hundred MB; one per machine, rather than one per architecture and driver,
# keeps the cache small and sets up once.
#
# The prefix (--prefix, by default) is one per machine, not per build folder:
# ${ATS_CACHE_DIR:-${XDG_CACHE_HOME:-~/.cache}/atsvorlan800}/wine-VERSION,
# shared by every clone and set up once for each Wine version. A lock beside
# it lets any number of headless runs use it at once but none while it is set
# up or while an --x11 run has it.
#
# Headless (the default): no display is used. --x11 runs the program with
# Wine's X11 driver on the display in DISPLAY (a virtual one:
# tests/run_xvfb.sh starts it). Wine picks its display driver when a prefix's
# server starts its desktop, and keeps it while that server lives; so an
# --x11 run takes the prefix alone, waits for any server left by headless
# runs to end before it starts, and for its own to end before it exits, so
# that the next run starts a server with its own driver and no Wine process
# outlives the display. The prefix is set up for a display with no window
# manager: Wine draws the windows' frames itself, and hiding a window does not
# wait for a manager to answer.
#
# In CMake, for example:
#   add_test(NAME my_test COMMAND bash ${PROJECT_SOURCE_DIR}/tests/run_wine.sh
#            --cwd ${ATS_WIN32_DIR}
#            ${ATS_WIN32_DIR}/tests/win32/some.exe ATSVorlan800.dll)
#   set_tests_properties(my_test PROPERTIES FIXTURES_REQUIRED wine_prefix
#                        SKIP_RETURN_CODE 77 TIMEOUT 300)
#
# No dialog asks to install Mono or Gecko, and Wine's own diagnostics are off.
# When Wine cannot run the programs here it says why and exits 77, which
# CTest reports as skipped, never as passed.
#
# 64-bit programs need no 32-bit process at all, so they run on machines whose
# kernel refuses 32-bit programs too: Wine's 64-bit loader is started
# directly, never through the `wine` front end (which prefers the 32-bit
# loader whenever it is installed, and so fails there with "Exec format
# error"). Setting up the prefix tries to start the 32-bit half of its
# set-up; where that cannot run, Wine says it could not open
# syswow64\rundll32.exe and carries on, and 64-bit programs are unaffected.
set -uo pipefail

kSkip=77
kTimedOut=124

prefix="" cwd="" init=0 limit=120 arch=win32 x11=0
while [ $# -gt 0 ]; do
  case $1 in
    --arch) arch=$2; shift 2 ;;
    --prefix) prefix=$2; shift 2 ;;
    --cwd) cwd=$2; shift 2 ;;
    --timeout) limit=$2; shift 2 ;;
    --init) init=1; limit=480; shift ;;
    --x11) x11=1; shift ;;
    --) shift; break ;;
    -*) echo "run_wine.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
case $arch in win32 | win64) ;; *) echo "run_wine.sh: --arch is win32 or win64" >&2; exit 2 ;; esac
[ "$init" -eq 1 ] || [ $# -gt 0 ] || { echo "run_wine.sh: no program given" >&2; exit 2; }

skip() {
  echo "SKIPPED: $*" >&2
  exit "$kSkip"
}

# Can Wine run the programs here? Each way it cannot is named, with the
# package that brings what is missing. The prefix is a 64-bit one, so every
# run needs the 64-bit loader, which also sets it up.
loader64=/usr/lib/wine/wine64
[ -x "$loader64" ] ||
  skip "Wine has no 64-bit loader (Debian package wine64; scripts/bootstrap installs it)"
answer=$("$loader64" --version 2>&1) || skip "$loader64 --version fails: $answer"
if [ "$arch" = win64 ] || [ "$init" -eq 1 ]; then
  loader=$loader64
  # Programs Wine starts from a 64-bit program are started by this loader too.
  export WINELOADER=$loader64
else
  command -v wine >/dev/null 2>&1 ||
    skip "Wine is not installed (Debian packages wine and wine32:i386; scripts/bootstrap installs them)"
  if [ ! -e /usr/lib/wine/wine ]; then
    skip "Wine has no 32-bit loader (Debian package wine32:i386 is missing, which apt" \
      "could not supply here): the 32-bit Wine tests are skipped; the emulator still" \
      "proves the 32-bit DLL"
  fi
  if ! answer32=$(wine --version 2>&1); then
    if [[ $answer32 == *"Exec format error"* ]]; then
      skip "this machine's kernel does not run 32-bit (i386) Linux programs, which wine32:i386 is made of (${answer32##*: })"
    fi
    skip "wine --version fails: $answer32"
  fi
  loader=wine
fi

if [ -z "$prefix" ]; then
  cache=${ATS_CACHE_DIR:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/atsvorlan800}
  prefix=$cache/$(printf '%s' "${answer%% *}" | tr -c 'A-Za-z0-9._\n-' '_')
fi
# Wine takes only an absolute prefix.
prefix=$(realpath -m "$prefix")
ready=$prefix/.ats-prefix-ready
export WINEPREFIX=$prefix
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko install prompts
unset WAYLAND_DISPLAY
if [ "$x11" -eq 0 ] || [ "$init" -eq 1 ]; then
  unset DISPLAY
elif [ -z "${DISPLAY:-}" ]; then
  echo "run_wine.sh: --x11 needs a display in DISPLAY" >&2
  exit 2
fi

# A wine server started here, detached from this script's output: otherwise it
# would inherit CTest's pipes and outlive the test holding them open. If one
# already serves the prefix, this one leaves at once.
start_server() { wineserver -p3 </dev/null >/dev/null 2>&1 9>&- || true; }

# Gives up on a hung program: stops the prefix's server and everything in it.
timed_out() {
  echo "run_wine.sh: $1 did not finish within ${limit} s" >&2
  wineserver -k >/dev/null 2>&1 || true
  exit "$kTimedOut"
}

mkdir -p "$(dirname "$prefix")"
exec 9>>"$prefix.lock"
if [ "$init" -eq 1 ]; then
  flock 9  # one set-up at a time, and no program running meanwhile
  if [ -e "$ready" ]; then
    echo "wine prefix ready: $prefix ($answer, set up earlier)"
    exit 0
  fi
  start_server
  timeout --kill-after=10 "$limit" "$loader" wineboot --init </dev/null
  status=$?
  [ "$status" -eq 124 ] || [ "$status" -eq 137 ] && timed_out "wineboot --init"
  if [ "$status" -eq 0 ]; then
    "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null
    status=$?
  fi
  wineserver -w  # the prefix is complete on disk once its server is gone
  [ "$status" -eq 0 ] || exit "$status"
  : >"$ready"
  echo "wine prefix ready: $prefix ($answer, $(du -sh "$prefix" | cut -f1))"
  exit 0
fi

if [ "$x11" -eq 0 ]; then flock -s 9; else flock 9; fi
[ -e "$ready" ] || { echo "run_wine.sh: the prefix $prefix is not set up (run --init)" >&2; exit 2; }
# A server keeps the display driver it started with. An X11 run holds the
# prefix alone, so it ends any server headless runs left (one lingers a few
# seconds) and starts its own; and it ends its own server when its program
# is done (Wine's desktop process would keep it alive), so that no headless
# run ever joins a server whose display is about to go away, which kills
# that run's program.
end_server() { wineserver -k >/dev/null 2>&1 || true; timeout 30 wineserver -w; }
[ "$x11" -eq 0 ] || end_server

[ -f "$1" ] || { echo "run_wine.sh: no program at $1" >&2; exit 2; }
program=$(realpath "$1")  # as given, before --cwd moves away
shift
[ -z "$cwd" ] || cd "$cwd" || exit 2
start_server
timeout --kill-after=10 "$limit" "$loader" "$program" "$@" </dev/null
status=$?
[ "$status" -eq 124 ] || [ "$status" -eq 137 ] && timed_out "$program"
[ "$x11" -eq 0 ] || end_server
exit "$status"
