#!/usr/bin/env bash
# atshost meets whatever a user gives it. One row a case: the status and a
# piece of the message wanted, the input file's text (printf format, written
# to in.EXT; '-' for none) and the arguments, where '@' is that file. Every
# refusal (status 2) must leave its output folder unwritten; every run must
# end (a timeout is a failure) with a complete chart.
# Usage: bad_inputs.sh ATSHOST NATIVE_LIBRARY WORK_DIR [WINDOWS_DLL]
set -uo pipefail
atshost=$1 library=$2 work=$3 dll=${4:-}
tests=$(cd "$(dirname "$0")/../../tests" && pwd)  # the PE reader the DLL checks share
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0 n=0
kMessageMax=400
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# row STATUS MESSAGE-ERE EXT TEXT -- ARGS...
row() {
  local want=$1 pattern=$2 ext=$3 text=$4; shift 5
  n=$((n + 1))
  local file="$work/in$n.$ext" out="$work/out$n" args=()
  [ "$text" = - ] || printf -- "$text" > "$file"
  for a in "$@"; do args+=("${a//@/$file}"); done
  [[ " $* " == *" --out "* ]] || args+=(--out "$out")
  local existed=0 got status
  [ -e "$out" ] && existed=1
  got=$(timeout 60 "$atshost" "${args[@]}" 2>&1); status=$?
  [ "$status" = "$want" ] || fail "row $n ($*): status $status, wanted $want: ${got:0:300}"
  # What reaches the terminal is escaped, and a refusal is a short message.
  [[ $got != *$'\e'* ]] || fail "row $n: a raw escape byte in: $got"
  [ "$want" != 2 ] || [ "${#got}" -le "$kMessageMax" ] || fail "row $n: a ${#got}-byte message"
  grep -Eq -- "$pattern" <<< "$got" || fail "row $n ($*): no '$pattern' in: ${got:0:300}"
  if [ "$want" = 2 ] && [ "$existed" = 0 ] && [ -e "$out" ]; then fail "row $n: refused, but $out was written"; fi
  if [ "$want" != 2 ] && [ -e "$out" ]; then
    tail -n 1 "$out"/*.svg | grep -q '</svg>' || fail "row $n: the chart is not complete"
  fi
}

mkdir folder
printf 'not a library' > garbage.so
head -c 3000 "$library" > truncated.so
truncate -s 65M huge.txt
printf 'frame\n' > x.csv
printf 'advance 10000 speed=1' > many.txt
for _ in $(seq 10001); do echo 'horn 1'; done > events.txt

# Encodings and line ends: what editors write works; what is not text is
# refused, and the message shows its bytes escaped.
row 0 '2 frames'                  txt '\xef\xbb\xbfvehicle brake-notches=8\r\nframe\r\nframe\r\n' -- replay @
row 0 '3 frames'                  txt 'frame\rframe time=20\rframe time=40\r' -- replay @
row 2 'in[0-9]+.txt:2: control character \\x00' txt 'frame\nfr\0ame\n' -- replay @
row 2 ':1: control character \\x1B' txt '\x1b[31mred\n' -- replay @
row 2 "unknown command 'x\\\\xC3\\\\xFF'" txt 'x\xc3\xff\n' -- replay @
row 2 "unknown command 'a\\\\u200Bb'" txt 'a\xe2\x80\x8bb\n' -- replay @
row 2 'is UTF-16 text'            txt '\xff\xfef\0r\0' -- replay @
# A quoted word is cut, saying its length; names are escaped everywhere, the
# closing line included; a file for the other command says which reads it.
big=$(head -c 5000000 /dev/zero | tr '\0' 1)
row 2 "malformed number '1{60}…' \\(5000001 bytes\\) for speed" txt "frame speed=${big}x\n" -- replay @
row 2 "unknown command '\\\\u202Eevil'" txt '\xe2\x80\xaeevil\n' -- replay @
row 0 'wrote .*/w\\x0Ax\\x1B\[0m/in[0-9]+.csv, ' txt 'frame\n' -- replay @ --out "$work/w"$'\n'"x"$'\e'"[0m"
row 2 "is a route, which 'atshost drive' reads" route 'station 300\n' -- replay @
row 2 "is a scenario, which 'atshost replay' reads" txt 'frame\nadvance 3\n' -- drive @
row 2 "is a scenario, which 'atshost replay' reads; 'atshost check'" txt 'frame\nadvance 3\n' -- check @
row 2 "unknown option '--bogus'"  - - -- --bogus drive
row 2 "unknown option '--colour'" - - -- drive --colour
row 2 "unexpected argument 'second.route'" - - -- drive first.route second.route
# Files that are not files, or too big to be scenarios.
row 2 'is a folder, not a file'   - - -- replay folder
row 2 'is a folder, not a file'   - - -- drive folder
row 2 'is a device, not a file'   - - -- drive /dev/zero
row 2 'larger than 64 MiB'        - - -- replay huge.txt
row 0 '1 frames'                  - - -- replay <(printf 'frame\n')
# Values the manual allows for a frame run through and chart.
row 0 '6 frames'                  txt 'frame speed=inf\nadvance 5\n' -- replay @
grep -q 'off the scale' out$n/in$n.svg || fail "row $n: the chart does not say what it left out"
row 0 '6 frames'                  txt 'frame speed=1e308\nadvance 5 speed=-1e308\n' -- replay @
row 0 '3 frames'                  txt 'frame location=nan\nframe location=inf\nframe location=-1e308 speed=inf\n' -- --chart-x distance replay @
row 0 '4 frames'                  txt 'frame time=100\nbrake 99\npower -7\nframe time=-5\nadvance 2 dt=-20\n' -- replay @
# Bounds of a run.
row 2 ':1: frame count must be 1 to 1000000' txt 'advance 1000001\n' -- replay @
row 2 ':2: the scenario runs more than 1000000 frames' txt 'advance 1000000\nframe\n' -- replay @
row 2 ':10001: more than 10000 events between two frames' - - -- replay events.txt
row 2 'more than 1000000 frames'  route 'start dt=1\nend time=3600\n' -- drive @
# Route mistakes.
row 2 ':2: the station at 50 m is not ahead of the start at 100 m' route 'start location=100\nstation 50\n' -- drive @
row 2 ":3: a second station at 300 m \\(the first is line 1\\)" route 'station 300\nstation 400\nstation 300\n' -- drive @
row 2 ":2: a second 'end' line \\(the first is line 1\\)" route 'end time=10\nend time=20\n' -- drive @
row 2 ':1: time must not be negative' route 'at -1 s key 10\n' -- drive @
row 2 ':2: depart must be 0 to 4 for this vehicle' route 'vehicle power-notches=4\nstation 300 depart=5\n' -- drive @
row 2 ':1: brake must be 0 to 9 \(emergency\) for this vehicle, not 10' route 'at 1 s brake 10\n' -- drive @
row 2 ':1: power must be 0 to 2 for this vehicle' route 'at 1 s power 3\nvehicle power-notches=2\n' -- drive @
row 2 ':1: start brake must be 0 to 5' route 'start brake=6\nvehicle brake-notches=4\n' -- drive @
row 2 ':1: emergency-decel must be 0.1 to 20 km/h/s, not 0' route 'model emergency-decel=0\n' -- drive @
row 2 ':1: mr-start must be below mr-stop' route 'model mr-start=900\n' -- drive @
row 2 ':1: max-accel must be 0 to 20 km/h/s, not 1e308' route 'model max-accel=1e308\n' -- drive @
row 2 ':1: bc-emergency must not be below bc-service' route 'model bc-service=500\n' -- drive @
row 2 ':1: end location 0 m is not ahead of the start' route 'end location=0\n' -- drive @
# The careful driver's fields, and check: refused as drive refuses.
row 2 ":1: limits must be 'keep' or 'ignore'" route 'driver limits=some\n' -- drive @
row 2 ':1: margin and cruise are the careful driver.s: give limits=keep' route 'driver margin=2\n' -- drive @
row 2 ':1: margin must be 0 to 20 km/h' route 'driver limits=keep margin=25\n' -- drive @
row 2 ":1: cruise must be 'hold' or 'coast'" route 'driver limits=keep cruise=fast\n' -- check @
row 2 ":1: unknown command 'bogus'" route 'bogus\n' -- check @
row 2 "would overwrite the input '.*in[0-9]+.csv'" csv 'station 300\n' -- check @ --out "$work"
row 2 "plug-in library 'folder' is a folder, not a library" route 'station 300\n' -- --plugin folder check @
# Libraries: checked before the system loader maps them.
row 2 "plug-in library 'folder' is a folder, not a library" - - -- --plugin folder drive
row 2 'not a valid library: the file is cut short: it has 3000 bytes' - - -- --plugin truncated.so drive
row 2 'not a valid library: it is neither an ELF shared library nor a Windows DLL' - - -- --plugin garbage.so drive
# Outputs: checked before anything runs, never over an input.
row 2 "would overwrite the input 'x.csv'" - - -- replay x.csv --out .
row 2 "--out '.*x.csv' is not a folder" - - -- replay x.csv --out x.csv
mkdir -p "out$((n + 1))/in$((n + 1)).svg"
row 2 "output '.*in$((n + 1)).svg' exists and is not a file" txt 'frame\n' -- replay @
[ -e "out$n/in$n.csv" ] && fail "row $n: the trace was written although the chart could not be"
rm -rf "out$n"
# Careless routes: empty or with nothing to drive, a scenario given to check,
# a type 9 beacon without its limit, a name left open; units attached or
# spaced alike.
row 2 'in[0-9]+.route: the route is empty: nothing to drive' route '# only a comment\n' -- check @
row 2 'nothing to drive: no .at. action, beacon or station' route 'start doors=closed\nend location=100\n' -- drive @
row 2 "is a scenario, which 'atshost replay' reads; 'atshost check' reads a route" txt 'frame\ninitialize\n' -- check @
row 2 ':1: a type 9 beacon needs optional=N' route 'beacon 400 type=9\nat 1 s key 10\n' -- check @
row 2 ':1: a type 9 beacon needs optional=N' txt 'beacon type=9\nframe\n' -- replay @
row 2 ':1: name=" has no closing quote' route 'station 400 name="Mill Lane\n' -- drive @
row 2 ':1: clear-after is for a stop signal' route 'beacon 400 type=0 signal=3 clear-after=5\n' -- drive @
row 0 'reached the end' route 'at 1s key 10\nbeacon 400m type=0 signal=3\nbeacon 500 m type=0 signal=2\nend time=5\n' -- drive @

# Help: the file syntax and the exit statuses.
row 0 'Exit status'               - - -- help
row 0 'advance N \[dt=MS\]'       - - -- replay --help
row 0 'station M \[open=20\]'     - - -- drive --help

# The Windows DLL under emulation: cut short, it is refused; faulting in a
# call, the message names the entry point and the frame, and what ran before
# the fault is kept.
if [ -n "$dll" ] && [ -f "$dll" ]; then
  head -c 20000 "$dll" > truncated.dll
  row 2 'not a valid library: the file is cut short: it has 20000 bytes' - - -- --plugin truncated.dll drive
  PYTHONPATH=$tests python3 - "$dll" faulting.dll <<'PY'
# The DLL with an invalid instruction (ud2) at the start of KeyDown.
import sys
from pe_image import Image
data = bytearray(open(sys.argv[1], "rb").read())
image = Image(bytes(data))
at = image.offset(image.exports()[1]["KeyDown"])
data[at:at + 2] = b"\x0f\x0b"
open(sys.argv[2], "wb").write(data)
PY
  row 3 'failed in KeyDown after frame 1: .*; .*in[0-9]+.csv, .*in[0-9]+.svg and .*in[0-9]+.html hold the 2 frames before it' \
    txt 'frame\nframe\nkey 10\nframe\n' -- --plugin faulting.dll replay @
  [ "$(wc -l < "out$n/in$n.csv")" = 3 ] || fail "row $n: the trace does not end at the fault"
  row 3 'failed in KeyDown before the first frame: .*nothing written' txt 'key 10\nframe\n' -- \
    --plugin faulting.dll replay @
  [ -e "out$n/in$n.csv" ] && fail "row $n: an empty trace was left behind"
  # A drive of check whose plug-in fails ends the check with status 3 and
  # the fault named; no later drive runs (a DLL runs one drive at a time).
  row 3 'thin driving: the plug-in failed in KeyDown: .*the check stopped there, after 1 of 6 drives$' route 'at 1 s key 10\nend time=5\n' -- \
    --plugin faulting.dll check @
fi

if [ "$failures" -ne 0 ]; then echo "$failures of $n rows failed" >&2; exit 1; fi
echo "atshost bad inputs: all $n rows as expected"
