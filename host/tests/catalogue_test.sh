#!/usr/bin/env bash
# The pages' catalogue refuses what would show wrong words: a key one
# language lacks, "{name}" places that differ between languages, a word that
# is not text. Each row: en.json, ja.json, and what the
# build must say ('-' for nothing: it must pass).
#   catalogue_test.sh SOURCE_DIR WORK_DIR
set -uo pipefail
case ${2:-} in
  '' | /) echo "usage: $0 SOURCE_DIR WORK_DIR (a scratch folder of its own)" >&2; exit 2 ;;
esac
src=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
failures=0 row=0
while IFS='|' read -r en ja says; do
  row=$((row + 1))
  dir=$work/$row && mkdir -p "$dir/words"
  printf '%s\n' "$en" >"$dir/words/en.json"
  printf '%s\n' "$ja" >"$dir/words/ja.json"
  out=$(cmake -DCATALOGUE_DIR="$dir/words" -DCATALOGUE_OUTPUT="$dir/all.json" \
    -P "$src/cmake/catalogue.cmake" 2>&1)
  status=$?
  if [ "$says" = - ]; then
    [ "$status" -eq 0 ] || { echo "row $row: refused: $out"; failures=$((failures + 1)); }
  elif [ "$status" -eq 0 ] || [[ $out != *"$says"* ]]; then
    echo "row $row: wanted a refusal saying '$says', got status $status: $out"
    failures=$((failures + 1))
  fi
done <<'ROWS'
{"a": "x {n}", "b": "y"}|{"b": "い", "a": "あ {n}"}|-
{"a": "x", "b": "y"}|{"a": "あ"}|ja.json lacks "b"
{"a": "x {n}"}|{"a": "あ {m}"}|"a" fills {m} in ja.json but {n} in en.json
{"a": "x", "b": 3}|{"a": "あ", "b": "い"}|"b" in en.json is NUMBER, not a text
ROWS
[ "$failures" -eq 0 ] && echo "catalogue: every row as wanted"
exit "$failures"
