#!/usr/bin/env bash
# The command line as a user meets it: the built-in demo and the example route
# run and leave their files; bad input is refused with a message that names
# the problem, a non-zero status, and no files half-written.
# Usage: cli_test.sh ATSHOST PARTIAL_PLUGIN WORK_DIR
set -uo pipefail
atshost=$1 partial=$2 work=$3
here=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work" && mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# expect_status STATUS MESSAGE-REGEX -- ARGS...: runs atshost, checks both.
expect_status() {
  local want=$1 pattern=$2; shift 3
  local out status
  out=$("$atshost" "$@" 2>&1); status=$?
  [ "$status" = "$want" ] || fail "atshost $*: status $status, wanted $want; output: $out"
  echo "$out" | grep -Eq -- "$pattern" || fail "atshost $*: no '$pattern' in: $out"
}

# The demo: timeline on standard output, CSV, SVG and the cab view's page in
# the folder.
expect_status 0 'unit TRIPPED' -- drive --out "$work/demo"
[ -s "$work/demo/demo.csv" ] || fail "no demo.csv"
head -c 5 "$work/demo/demo.svg" | grep -q '<?xml' || fail "demo.svg is no XML file"
tail -n 1 "$work/demo/demo.svg" | grep -q '</svg>' || fail "demo.svg is not complete"
head -n 1 "$work/demo/demo.html" | grep -q '<!DOCTYPE html>' || fail "demo.html is no HTML page"
tail -n 1 "$work/demo/demo.html" | grep -q '</html>' || fail "demo.html is not complete"
rows=$(wc -l < "$work/demo/demo.csv")
[ "$rows" -gt 1000 ] || fail "demo.csv has only $rows lines"
grep -q $'\r' "$work/demo/demo.csv" && fail "demo.csv has carriage returns"
# Quiet: nothing on standard output.
[ -z "$("$atshost" drive --quiet --out "$work/quiet")" ] || fail "--quiet printed something"
cmp -s "$work/demo/demo.csv" "$work/quiet/demo.csv" || fail "two runs of the demo differ"

# The example route of the manual (docs/atshost.md).
expect_status 0 'IN STOP WINDOW' -- drive "$here/scenarios/station.route" --out "$work/route"
[ -s "$work/route/station.csv" ] || fail "no station.csv"
[ -s "$work/route/station.html" ] || fail "no station.html"

# Libraries that are missing or incomplete.
expect_status 2 "plug-in library '$work/none.so' does not exist" -- \
  --plugin "$work/none.so" drive --out "$work/none"
expect_status 2 'lacks 2 of the 16 entry points: Elapse, SetBeaconData' -- \
  --plugin "$partial" drive --out "$work/partial"
[ -e "$work/none" ] || [ -e "$work/partial" ] && fail "output written for a library that failed"

# Scenarios with errors name the file and the line, and run nothing.
printf 'vehicle brake-notches=8\nframe time=0\nbogus 3\n' > "$work/bad.txt"
expect_status 2 "bad.txt:3: unknown command 'bogus'" -- replay "$work/bad.txt" --out "$work/bad"
[ -e "$work/bad" ] && fail "output written for a scenario that failed to parse"
printf 'frame time=0 speed=fast\n' > "$work/bad2.txt"
expect_status 2 "bad2.txt:1: malformed number 'fast' for speed" -- replay "$work/bad2.txt"
printf 'at 5 s power\n' > "$work/bad.route"
expect_status 2 'bad.route:1: missing power value' -- drive "$work/bad.route"
expect_status 2 'cannot be read' -- replay "$work/missing.txt"

# A failed expectation: the run completes, the status says so.
printf 'frame time=0\nexpect brake=3\n' > "$work/expect.txt"
expect_status 1 'expect.txt:2: expected brake = 3, got 0' -- replay "$work/expect.txt" \
  --out "$work/expect"
[ -s "$work/expect/expect.csv" ] || fail "a run with failed expectations wrote no trace"

# Usage errors: no command shows the usage; what is wrong is named.
expect_status 2 'Usage: atshost' --
expect_status 2 'chart-x' -- --chart-x sideways drive

# Outputs are replaced whole. A name that is a link is replaced by the new
# file; the file it pointed to is left alone.
mkdir -p "$work/linked"
echo precious >"$work/precious"
ln -s ../precious "$work/linked/demo.csv"
expect_status 0 'wrote' -- drive --out "$work/linked"
[ "$(cat "$work/precious")" = precious ] || fail "an output written through a symbolic link"
[ -f "$work/linked/demo.csv" ] && [ ! -L "$work/linked/demo.csv" ] || fail "the linked output not replaced"
# A run stopped while it writes (as soon as its temporary files are there)
# leaves the previous outputs as they were: SIGTERM also takes its temporary
# files away; SIGKILL cannot, but replaces nothing either.
printf 'vehicle brake-notches=8\nframe\nadvance 999999 speed=30\n' >"$work/long.txt"
mkdir -p "$work/stopped"
for name in long.csv long.svg long.html; do echo "previous $name" >"$work/stopped/$name"; done
for signal in TERM KILL; do
  "$atshost" replay "$work/long.txt" --quiet --out "$work/stopped" &
  pid=$!
  for _ in $(seq 200); do
    compgen -G "$work/stopped/.long.*.tmp-*" >/dev/null && break
    sleep 0.05
  done
  kill -"$signal" "$pid" 2>/dev/null || fail "the long run ended before SIG$signal"
  wait "$pid" 2>/dev/null
  for name in long.csv long.svg long.html; do
    [ "$(cat "$work/stopped/$name")" = "previous $name" ] || fail "SIG$signal: $name was replaced"
  done
  [ "$signal" = KILL ] || ! compgen -G "$work/stopped/.long.*" >/dev/null ||
    fail "SIGTERM left temporary files: $(ls -A "$work/stopped")"
done
# The next run there takes away what the killed one left, and replaces all.
expect_status 0 'wrote' -- replay "$work/long.txt" --out "$work/stopped" --chart-x distance
[ -z "$(ls -A "$work/stopped" | grep -v '^long\.\(csv\|svg\|html\)$')" ] ||
  fail "temporary files left after the next run: $(ls -A "$work/stopped")"
[ "$(cat "$work/stopped/long.svg")" != "previous long.svg" ] || fail "the next run replaced nothing"
rm -rf "$work/stopped"  # a trace of 190 MB

if [ "$failures" -ne 0 ]; then echo "$failures checks failed" >&2; exit 1; fi
echo "atshost command line: all checks passed"
