#!/usr/bin/env bash
# scripts/bootstrap against a fake apt: apt-get, dpkg and dpkg-query first on
# PATH, keeping the "installed" packages as files in a scratch folder (a
# file's text: the names the package provides), and a fake npm. The fake's
# index update can fail (as while a mirror syncs) and it can refuse the i386
# package (its libraries lagging their amd64 twins), or every package; with
# the fault "provides", a Node.js that brings its own npm is installed and
# apt refuses Debian's npm beside it. Each row: the fake's faults, the bootstrap's arguments, the exit
# status wanted, text its messages must hold, what it must never ask apt or
# dpkg for, and what must (+) or must not (-) be installed afterwards.
#   bootstrap_test.sh SOURCE_DIR WORK_DIR
set -uo pipefail
# The scratch folder is emptied and given fake system commands: never run
# it on an empty or root path, where they would replace the real ones.
case ${2:-} in
  ''|/) echo "usage: $0 SOURCE_DIR WORK_DIR (a scratch folder of its own)" >&2; exit 2 ;;
esac
src=$1
work=$2
rm -rf "$work"
mkdir -p "$work/bin"

cat >"$work/bin/apt-get" <<'EOF'
#!/bin/sh
echo "apt-get $*" >>"$FAKE/calls"
case $1 in
  update)
    case $FAKE_FAULTS in *update*)
      echo "E: Failed to fetch http://mirror/i386/Packages  File has unexpected size (1 != 2). Mirror sync in progress?"
      exit 100 ;;
    esac ;;
  install)
    for p; do
      case $p in -*|install) continue ;; esac
      case "$FAKE_FAULTS $p" in
        *provides*" npm") echo "E: nodejs : Conflicts: npm"; exit 100 ;;
        *all*|*i386*":i386")
          echo "E: Unable to correct problems, you have held broken packages."; exit 100 ;;
      esac
    done
    for p; do case $p in -*|install) ;; *) : >"$FAKE/installed/$p" ;; esac; done ;;
esac
EOF
cat >"$work/bin/dpkg-query" <<'EOF'
#!/bin/sh
for p; do :; done
case $p in
  -f=*) # no package named: every installed one, with what it provides
    for f in "$FAKE/installed"/*; do [ -e "$f" ] && printf 'ii |%s\n' "$(cat "$f")"; done ;;
  *) [ -e "$FAKE/installed/$p" ] && printf 'install ok installed' || exit 1 ;;
esac
EOF
# npm ci into the copy of the tree the bootstrap runs from.
cat >"$work/bin/npm" <<'EOF'
#!/bin/sh
echo "npm $*" >>"$FAKE/calls"
mkdir -p node_modules && : >node_modules/.package-lock.json
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/bin/sh
echo "dpkg $*" >>"$FAKE/calls"
EOF
chmod +x "$work/bin"/*
# Each run's copy of the tree: the bootstrap and the lock file.
tree() {
  mkdir -p "$1/tree/scripts"
  cp "$src/scripts/bootstrap" "$1/tree/scripts/"
  cp "$src/package-lock.json" "$1/tree/"
  echo "$1/tree/scripts/bootstrap"
}

failures=0
row=0
# faults | arguments | status | must say | never asked of apt (regex) | afterwards
while IFS='|' read -r faults args want_status must_say must_not_ask after; do
  row=$((row + 1))
  export FAKE=$work/row$row FAKE_FAULTS=$faults
  mkdir -p "$FAKE/installed"
  bootstrap=$(tree "$FAKE")
  case $faults in *provides*) echo "nodejs-doc, npm (= 10.2.4)" >"$FAKE/installed/nodejs" ;; esac
  : >"$FAKE/calls"
  out=$(PATH="$work/bin:$PATH" ATS_CACHE_DIR=$FAKE/cache ATS_APT_RETRY_DELAY=0 \
    bash "$bootstrap" $args 2>&1)
  status=$?
  # A second run right after, a `demo` one between: nothing left to do but
  # repeat what was left out, without asking apt again.
  calls_before=$(wc -l <"$FAKE/calls")
  again=""
  case $after in *again*)
    PATH="$work/bin:$PATH" ATS_CACHE_DIR=$FAKE/cache bash "$bootstrap" demo 2>&1
    again=$(PATH="$work/bin:$PATH" ATS_CACHE_DIR=$FAKE/cache bash "$bootstrap" $args 2>&1)
  esac
  calls=$(cat "$FAKE/calls")
  fail() { echo "row $row ($faults / $args): $*"; echo "$out" | sed 's/^/  | /'; failures=$((failures + 1)); }
  [ "$status" = "$want_status" ] || fail "exit $status, wanted $want_status"
  [ -z "$must_say" ] || [[ "$out" == *$must_say* ]] || fail "does not say: $must_say"
  [ -z "$must_not_ask" ] || ! grep -qE "$must_not_ask" <<<"$calls" || fail "asked: $must_not_ask"
  for item in $after; do
    case $item in
      +*) [ -e "$FAKE/installed/${item#+}" ] || fail "${item#+} not installed" ;;
      -*) [ ! -e "$FAKE/installed/${item#-}" ] || fail "${item#-} installed" ;;
      tries=*) n=$(grep -c '^apt-get update' "$FAKE/calls")
               [ "$n" = "${item#tries=}" ] || fail "index update tried $n times" ;;
      npm=*) n=$(grep -c '^npm ci' "$FAKE/calls")
             [ "$n" = "${item#npm=}" ] || fail "npm ci ran $n times" ;;
      once) [ "$(grep -c 'left out' <<<"$out")" = 1 ] || fail "what was left out not said once" ;;
      again) [[ $again == *"left out wine32:i386"* ]] &&
               [ "$(wc -l <"$FAKE/calls")" = "$calls_before" ] || fail "second run: $again" ;;
    esac
  done
done <<'EOF'
update i386|test|0|left out wine32:i386|install.*cmake.*wine32|+cmake +chromium +xvfb -wine32:i386 tries=3 npm=1 again
update i386|test|0|the emulator still proves the 32-bit DLL||+wine64
update i386|test|0|warning: apt's index update failed 3 times||once
update i386|demo|0||i386|+g++-mingw-w64-i686 -chromium tries=3 npm=0
|test|0||left out|+wine32:i386 +clang tries=1 npm=1
update all|test|1|could not install the required packages||-cmake npm=0
all|demo|1|held broken packages|i386|-cmake tries=1
provides|test|0|installing|install.* npm\b|+cmake -npm npm=1
EOF

# --check asks only for the required packages: a machine without the 32-bit
# Wine still builds and runs the tests.
export FAKE=$work/check
mkdir -p "$FAKE/installed"
: >"$FAKE/calls"
FAKE_FAULTS=i386 PATH="$work/bin:$PATH" ATS_CACHE_DIR=$FAKE/cache ATS_APT_RETRY_DELAY=0 \
  bash "$(tree "$FAKE")" test >/dev/null 2>&1
PATH="$work/bin:$PATH" bash "$src/scripts/bootstrap" --check test ||
  { echo "--check test fails without the optional 32-bit Wine"; failures=$((failures + 1)); }
rm "$FAKE/installed/cmake"
! PATH="$work/bin:$PATH" bash "$src/scripts/bootstrap" --check demo ||
  { echo "--check demo passes without cmake"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] && echo "bootstrap: $row rows and the checks pass"
[ "$failures" -eq 0 ]
