#!/usr/bin/env bash
# `make test`'s screen (scripts/test-stages) with a fake make and a fake
# ctest first on PATH: one line per stage and CTest's summary when all pass;
# a failing stage shows its log (for CTest, all but the passing tests) and
# stops the run with status 1, the fuzz run too, which runs beside the tests. Each row: the stage made to fail ('-' for
# none), the status wanted, text the screen must hold, and text it must not.
#   test_stages_test.sh SOURCE_DIR WORK_DIR
set -uo pipefail
# The scratch folder is emptied and given fake system commands: never run
# it on an empty or root path, where they would replace the real ones.
case ${2:-} in
  ''|/) echo "usage: $0 SOURCE_DIR WORK_DIR (a scratch folder of its own)" >&2; exit 2 ;;
esac
src=$1
work=$2
rm -rf "$work"
mkdir -p "$work/bin" "$work/scripts"
cp "$src/scripts/test-stages" "$work/scripts/"
printf '#!/bin/sh\nexit 0\n' >"$work/scripts/bootstrap"
cat >"$work/bin/make" <<'EOF2'
#!/bin/sh
target=$2
echo "make: Entering directory '/somewhere'"
echo "building $target"
[ "$target" != "$FAIL_AT" ] || { echo "error: $target broke"; exit 2; }
EOF2
cat >"$work/bin/ctest" <<'EOF2'
#!/bin/sh
mkdir -p build/native/Testing/Temporary
echo "SKIPPED: no 32-bit loader" >build/native/Testing/Temporary/LastTest.log
echo "SKIPPED: no 32-bit loader" >>build/native/Testing/Temporary/LastTest.log
echo "  1/2 Test  #1: quiet_one ........   Passed    0.01 sec"
if [ "$FAIL_AT" = tests ]; then
  echo "  2/2 Test  #2: loud_one .........***Failed    0.02 sec"
  echo "expected 3, got 4"
  echo "50% tests passed, 1 tests failed out of 2"
  exit 8
fi
echo "  2/2 Test  #2: loud_one .........   Passed    0.02 sec"
echo "100% tests passed, 0 tests failed out of 2"
EOF2
chmod +x "$work/bin"/* "$work/scripts"/*

failures=0
while IFS='|' read -r fail_at want_status must_say must_not_say; do
  out=$(cd "$work" && FAIL_AT=$fail_at PATH="$work/bin:$PATH" scripts/test-stages make 2>&1)
  status=$?
  fail() { echo "failing at $fail_at: $*"; echo "$out" | sed 's/^/  | /'; failures=$((failures + 1)); }
  [ "$status" = "$want_status" ] || fail "exit $status, wanted $want_status"
  # Patterns, with ~ for a blank.
  for text in $must_say; do pat=${text//\~/ }; [[ $out == *$pat* ]] || fail "does not say: $pat"; done
  for text in $must_not_say; do pat=${text//\~/ }; [[ $out != *$pat* ]] || fail "says: $pat"; done
done <<'EOF2'
-|0|lint~*~ok build~*~ok sanitizers~*~ok fuzz~*~ok tests~*~ok 100%~tests~passed 2~skipped:~no~32-bit~loader|Entering building FAILED
sanitize|1|build~*~ok sanitizers~*~FAILED error:~sanitize~broke building~sanitize|fuzz~*~ok tests~passed
lint|1|lint~*~FAILED error:~lint~broke|build~*~ok
fuzz-run|1|sanitizers~*~ok fuzz~*~FAILED error:~fuzz-run~broke|every~native 100%
tests|1|fuzz~*~ok tests~*~FAILED loud_one expected~3,~got~4 50%~tests~passed|quiet_one skipped:
EOF2
[ "$failures" -eq 0 ] && echo "make test's stages: all rows as wanted"
[ "$failures" -eq 0 ]
