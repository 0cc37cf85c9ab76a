#!/usr/bin/env bash
# The run charts (NAME.svg) and cab views (NAME.html) of the built-in demo and
# the example routes, and a route's check page (NAME-check.html), compared
# byte for byte with the copies kept in
# tests/golden/charts/: a change to how a run is drawn or shown is seen, and
# made on purpose, never by the way.
#
#   tests/golden_charts.sh ATSHOST WORK_DIR            compare (the CTest test)
#   tests/golden_charts.sh ATSHOST WORK_DIR --update   write the kept copies anew
#
# Each run is made from the source folder with the file named as the manual
# names it (scenarios/station.route), since the chart's title shows it.
set -uo pipefail
atshost=$1 work=$2 mode=${3:-}
here=$(cd "$(dirname "$0")/.." && pwd)
golden=$here/tests/golden/charts
cd "$here" || exit 1
rm -rf "$work" && mkdir -p "$work"

# NAME, the command that draws it and the files it keeps. Each run writes
# into a folder of its own: a check writes its worst drive's files too.
runs=(
  "demo|drive|demo.svg demo.html"
  "careful|drive scenarios/careful.route|careful.svg careful.html"
  "signals|drive scenarios/signals.route|signals.svg signals.html"
  "station|drive scenarios/station.route|station.svg station.html"
  "station-check|check scenarios/station.route|station-check.html"
)

failures=0
for run in "${runs[@]}"; do
  name=${run%%|*} rest=${run#*|}
  command=${rest%%|*} files=${rest#*|}
  mkdir -p "$work/$name"
  # shellcheck disable=SC2086  # the command is words
  if ! "$atshost" --quiet $command --out "$work/$name" >"$work/$name.log" 2>&1; then
    echo "FAIL: atshost $command: $(cat "$work/$name.log")" >&2
    failures=$((failures + 1))
    continue
  fi
  # shellcheck disable=SC2086  # the files are words
  for file in $files; do
    if [ "$mode" = --update ]; then
      mkdir -p "$golden" && cp "$work/$name/$file" "$golden/$file"
    elif ! cmp -s "$golden/$file" "$work/$name/$file"; then
      echo "FAIL: $file differs from tests/golden/charts/$file (atshost $command):" >&2
      diff "$golden/$file" "$work/$name/$file" | head -n 20 >&2
      echo "  (if the change is meant: tests/golden_charts.sh ATSHOST DIR --update)" >&2
      failures=$((failures + 1))
    fi
  done
done
if [ "$failures" -ne 0 ]; then exit 1; fi
if [ "$mode" = --update ]; then
  echo "golden charts: ${#runs[@]} runs written to tests/golden/charts/"
else
  echo "golden charts: ${#runs[@]} runs' charts, cab views and check page as kept"
fi
