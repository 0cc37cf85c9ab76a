#!/usr/bin/env bash
# atshost --version names the project's version; a plug-in that implements
# another plug-in interface version is refused with status 2, a message that
# names the version it gave, and no files written.
# Usage: version_test.sh ATSHOST VERSION OTHER_VERSION_PLUGIN WORK_DIR
set -uo pipefail
atshost=$1 version=$2 other=$3 work=$4
rm -rf "$work"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

out=$("$atshost" --version 2>&1); status=$?
[ "$status" = 0 ] || fail "--version: status $status"
[ "$out" = "atshost $version" ] || fail "--version printed '$out', wanted 'atshost $version'"

out=$("$atshost" --plugin "$other" drive --out "$work/out" 2>&1); status=$?
[ "$status" = 2 ] || fail "another interface version: status $status, wanted 2; output: $out"
echo "$out" | grep -q 'implements plug-in interface version 0x10000 (65536)' ||
  fail "the refusal does not name the version given: $out"
[ -e "$work/out" ] && fail "output written for a refused plug-in"

if [ "$failures" -ne 0 ]; then echo "$failures checks failed" >&2; exit 1; fi
echo "atshost versions: all checks passed"
