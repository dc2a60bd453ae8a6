#!/usr/bin/env bash
# Installs a configured build under a fresh prefix, one the build directory
# was not configured with, stripped as make install does it, and checks that
# the program and its manual page land there, that the program carries no
# symbol table, and that it works on its own; then that make uninstall, with
# DESTDIR honoured, removes them again.
#
#   install_check.sh CMAKE BUILDDIR SAMPLE SOURCEDIR
set -u

if [ $# -ne 4 ]; then
  echo "usage: $0 CMAKE BUILDDIR SAMPLE SOURCEDIR" >&2
  exit 2
fi
cmake=$1
builddir=$2
sample=$3
sourcedir=$4

prefix=$(mktemp -d)
# The install below rewrites the build directory's list of installed files;
# the one a make install left there is put back (or none), so that its make
# uninstall still removes what it installed.
manifest=$builddir/install_manifest.txt
[ -f "$manifest" ] && cp "$manifest" "$prefix/manifest.saved"
restore() {
  if [ -f "$prefix/manifest.saved" ]; then cp "$prefix/manifest.saved" "$manifest"; else rm -f "$manifest"; fi
  rm -rf "$prefix"
}
trap restore EXIT
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

# Under another DESTDIR there is nothing of this install to remove.
uninstall() { make -s -C "$sourcedir" uninstall BUILD="$builddir" DESTDIR="$1" > "$prefix/uninstall.log" 2>&1; }
uninstall "$prefix/elsewhere" || { cat "$prefix/uninstall.log"; fail "make uninstall DESTDIR=... failed"; }
[ -x "$program" ] && [ -f "$page" ] || fail "make uninstall with another DESTDIR removed this install"
uninstall "" || { cat "$prefix/uninstall.log"; fail "make uninstall failed"; }
[ ! -e "$program" ] && [ ! -e "$page" ] || fail "make uninstall left $program or $page"

echo "installed bin/lcdump and share/man/man1/lcdump.1 under a fresh prefix; the program runs; make uninstall removed them"
