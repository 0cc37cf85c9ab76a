#!/usr/bin/env bash
# make lint's gate: scripts/lint, with the tree's own configuration and tools,
# over a scratch tree of one C++ file and one page script. Each row: the file
# written, its text (\n for a new line), the status wanted and the texts the
# output must hold (~ for a blank): a clean tree passes; a C++ line clang-format would change,
# a script line Prettier would change and a script ESLint faults each fail,
# naming the file.
#   lint_test.sh SOURCE_DIR WORK_DIR
set -uo pipefail
src=$(realpath "$1")
work=$2
[ -x "$src/node_modules/.bin/prettier" ] ||
  { echo "lint_test: no $src/node_modules (scripts/bootstrap installs it)"; exit 1; }

failures=0
row=0
while IFS='|' read -r file text want_status must_say; do
  row=$((row + 1))
  tree=$work/row$row
  rm -rf "$tree"
  mkdir -p "$tree/scripts" "$tree/unit" "$tree/host/page"
  cp "$src/scripts/lint" "$tree/scripts/"
  cp "$src/.clang-format" "$src/.prettierrc.json" "$src/.prettierignore" "$src/.gitignore" \
    "$src/eslint.config.mjs" "$src/package.json" "$tree/"
  ln -s "$src/node_modules" "$tree/node_modules"
  git -C "$tree" init -q
  printf 'int Answer() { return 42; }\n' >"$tree/unit/answer.cpp"
  printf "'use strict';\n\nwindow.answer = 'forty-two';\n" >"$tree/host/page/answer.js"
  [ "$file" = - ] || printf "$text" >"$tree/$file"
  out=$("$tree/scripts/lint" 2>&1)
  status=$?
  wrong=""
  [ "$status" = "$want_status" ] || wrong="exit $status, wanted $want_status"
  for text in $must_say; do
    pat=${text//\~/ }
    [[ $out == *"$pat"* ]] || wrong="$wrong; does not say: $pat"
  done
  if [ -n "$wrong" ]; then
    echo "row $row ($file): $wrong"
    echo "$out" | sed 's/^/  | /'
    failures=$((failures + 1))
  fi
done <<'ROWS'
-||0|lint:~1~C++~files~and~2~scripts~and~style~sheets~clean
unit/answer.cpp|int Answer( ) {return 42;}\n|1|unit/answer.cpp C++~differs~from~.clang-format
host/page/answer.js|window.answer = "forty-two"\n|1|host/page/answer.js differ~from~Prettier's
host/page/answer.js|'use strict';\n\nlet unused = 1;\n|1|'unused'~is~assigned~a~value~but~never~used
ROWS
[ "$failures" -eq 0 ] && echo "lint: $row rows as wanted"
[ "$failures" -eq 0 ]
