#!/usr/bin/env bash
# Runs a command with a virtual X display of its own: an Xvfb server on the
# first free display number, 1024x768 at 24 bits, local connections only,
# stopped again when the command ends. For the Wine tests that need a real
# window system (the keyboard watch's warning box) on a machine with no screen.
#
#   run_xvfb.sh COMMAND [ARG...]
#
# Exits with the command's status. When no display can be started it says why
# and exits 77, which CTest reports as skipped, never as passed.
set -uo pipefail

kSkip=77
kStartSeconds=20

skip() {
  echo "SKIPPED: $*" >&2
  exit "$kSkip"
}

[ $# -gt 0 ] || { echo "run_xvfb.sh: no command given" >&2; exit 2; }
command -v Xvfb >/dev/null 2>&1 ||
  skip "no virtual display: Xvfb is not installed (Debian package xvfb; scripts/bootstrap installs it)"

work=$(mktemp -d)
server=""
stop() {
  [ -z "$server" ] || { kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; }
  rm -rf "$work"
}
trap stop EXIT

# Xvfb picks the display number itself and writes it to the descriptor once it
# accepts connections, so parallel runs never race for one.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" \
  </dev/null >/dev/null 2>"$work/log" &
server=$!
for ((i = 0; i < kStartSeconds * 10; i++)); do
  [ -s "$work/display" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
number=$(tr -dc 0-9 <"$work/display")
if [ -z "$number" ]; then
  why=$(tail -n 3 "$work/log" | tr '\n' ' ')
  skip "no virtual display: Xvfb did not start within ${kStartSeconds} s (${why:-no message})"
fi
export DISPLAY=:$number
"$@"
