#!/usr/bin/env bash
# The run charts (NAME.svg) and cab views (NAME.html) of the built-in demo and
# the example routes, compared byte for byte with the copies kept in
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

# NAME and the command that draws it.
runs=(
  "demo|drive"
  "careful|drive scenarios/careful.route"
  "signals|drive scenarios/signals.route"
  "station|drive scenarios/station.route"
)

failures=0
for run in "${runs[@]}"; do
  name=${run%%|*} command=${run#*|}
  # shellcheck disable=SC2086  # the command is words
  if ! "$atshost" --quiet $command --out "$work" >"$work/$name.log" 2>&1; then
    echo "FAIL: atshost $command: $(cat "$work/$name.log")" >&2
    failures=$((failures + 1))
    continue
  fi
  for file in "$name.svg" "$name.html"; do
    if [ "$mode" = --update ]; then
      mkdir -p "$golden" && cp "$work/$file" "$golden/$file"
    elif ! cmp -s "$golden/$file" "$work/$file"; then
      echo "FAIL: $file differs from tests/golden/charts/$file (atshost $command):" >&2
      diff "$golden/$file" "$work/$file" | head -n 20 >&2
      echo "  (if the change is meant: tests/golden_charts.sh ATSHOST DIR --update)" >&2
      failures=$((failures + 1))
    fi
  done
done
if [ "$failures" -ne 0 ]; then exit 1; fi
if [ "$mode" = --update ]; then
  echo "golden charts: ${#runs[@]} runs written to tests/golden/charts/"
else
  echo "golden charts: ${#runs[@]} runs' charts and cab views as kept"
fi
