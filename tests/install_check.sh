#!/usr/bin/env bash
# Installs a configured build under a fresh prefix, one the build directory
# was not configured with, stripped as make install does it, and checks that
# the program and its manual page land there, that the program carries no
# symbol table, and that it works on its own.
#
#   install_check.sh CMAKE BUILDDIR SAMPLE
set -u

if [ $# -ne 3 ]; then
  echo "usage: $0 CMAKE BUILDDIR SAMPLE" >&2
  exit 2
fi
cmake=$1
builddir=$2
sample=$3

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "$*"; exit 1; }

"$cmake" --install "$builddir" --prefix "$prefix/usr" --strip > "$prefix/install.log" 2>&1 ||
  { cat "$prefix/install.log"; fail "cmake --install failed"; }

program=$prefix/usr/bin/lcdump
page=$prefix/usr/share/man/man1/lcdump.1
[ -x "$program" ] || fail "no executable $program"
[ -f "$page" ] || fail "no manual page $page"
if command -v readelf >/dev/null 2>&1; then
  readelf -S "$program" | grep -q '\.symtab' && fail "installed lcdump is not stripped"
fi

usage=$("$program" 2>&1 >/dev/null)
status=$?
[ $status -eq 8 ] || fail "installed lcdump without arguments exited $status, not 8"
[[ $usage == "Usage: lcdump -in FILE "* ]] || fail "unexpected usage line: $usage"

# The page was configured with the version the program was built with.
version=$("$program" --version)
grep -q "^\.TH .*\"$version\"" "$page" || fail "the manual page's .TH line does not name $version"

count=$("$program" -in "$sample" | head -1)
lines=$("$program" -in "$sample" | wc -l)
[ "$lines" -eq $((count + 1)) ] || fail "installed lcdump wrote $lines lines for $count records"

echo "installed bin/lcdump and share/man/man1/lcdump.1 under a fresh prefix; the program runs"
