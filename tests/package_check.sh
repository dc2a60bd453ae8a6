#!/usr/bin/env bash
# Uses the three packages as their users would, against LCDUMP, the plain
# build: lintian on the .deb, which must say nothing worse than info; the
# .deb installed with dpkg (as root), then its program, manual page and demo
# dump, then removed without a trace; the zip unpacked, its lcdump.exe under
# wine dumping its own sample as LCDUMP does and passing the parity cases;
# the source archive made again with an untracked file in the tree, which
# must hold exactly what git ls-files lists; the source archive unpacked
# where git is not to be had, built and tested.
#
#   package_check.sh LCDUMP PKG_BUILD WIN_BUILD
set -u
if [ $# -ne 3 ]; then
  echo "usage: $0 LCDUMP PKG_BUILD WIN_BUILD" >&2
  exit 2
fi
lcdump=$(realpath "$1")
source=$(cd "$(dirname "$0")/.." && pwd)
version=$("$lcdump" --version) version=${version#lcdump }
pkg_build=$(realpath "$2")
deb=$pkg_build/lcdump_${version}_$(dpkg --print-architecture).deb
tarball=$pkg_build/lcdump-$version.tar.gz
zip=$(realpath "$3")/lcdump-$version-win64.zip
export WINEDEBUG=-all WINEPREFIX=$(realpath "$3")/wineprefix
wine=${WINE:-/usr/lib/wine/wine64}

scratch=$(mktemp -d)
# A file git does not track, left in the source tree while the archive is made.
stray=$source/src/untracked-$$.cpp
trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1; rm -rf "$scratch" "$stray"' EXIT
(cd "$source" && "$lcdump" -file examples/sample.opt) > "$scratch/demo" || exit 2

lintian_check() {
  lintian --fail-on error,warning --display-info "$deb" 2>&1 | grep -v '^running with root privileges' | tee "$scratch/lintian"
  [ "${PIPESTATUS[0]}" -eq 0 ] && ! grep -q '^[EW]:' "$scratch/lintian" || return 1
  [ -s "$scratch/lintian" ] || echo "lintian $(lintian --print-version): no tag on $(basename "$deb")"
}

dpkg_check() {
  [ "$(id -u)" -eq 0 ] || { echo "dpkg -i needs root"; return 1; }
  # A user's own lcdump is not replaced; CI's machines hold none worth keeping.
  if dpkg-query -W -f '${Status}\n' lcdump 2>/dev/null | grep -q ' installed$'; then
    [ "${CI:-}" = true ] || { echo "lcdump is installed already; dpkg -r lcdump first"; return 1; }
    dpkg -r lcdump >/dev/null || return 1
  fi
  dpkg -i "$deb" >/dev/null || return 1
  local files ok=0 path
  files=$(dpkg -L lcdump)
  [ "$(/usr/bin/lcdump --version)" = "lcdump $version" ] || { echo "installed lcdump --version: $(/usr/bin/lcdump --version)"; ok=1; }
  man -aw lcdump | grep -qx /usr/share/man/man1/lcdump.1.gz || { echo "man -w lcdump finds: $(man -aw lcdump)"; ok=1; }
  (cd "$source" && /usr/bin/lcdump -file examples/sample.opt) | cmp - "$scratch/demo" || ok=1
  dpkg -r lcdump >/dev/null || return 1
  # What is left must be a directory that some other package owns too.
  while IFS= read -r path; do
    if [ -e "$path" ] && { [ ! -d "$path" ] || ! dpkg -S "$path" >/dev/null 2>&1; }; then
      echo "left behind by dpkg -r: $path"
      ok=1
    fi
  done <<<"$files"
  path=$(dpkg-query -W -f '${db:Status-Status}' lcdump 2>/dev/null)
  [ -z "$path" ] || [ "$path" = not-installed ] || { echo "after dpkg -r, lcdump is $path"; ok=1; }
  [ $ok -ne 0 ] || echo "installed: lcdump $version, its page and demo dump; removed: nothing left"
  return $ok
}

zip_check() {
  unzip -q "$zip" -d "$scratch/zip" || return 1
  local dir=$scratch/zip/lcdump-$version-win64
  diff <(cd "$dir" && find . -type f | LC_ALL=C sort) <(printf './%s\n' CHANGELOG.txt LICENSE.txt README.txt \
    examples/sample.lc examples/sample.opt lcdump.exe lcdump.html) || return 1
  WINE=$wine "$source/tests/windows_parity.sh" "$lcdump" "$dir/lcdump.exe" > "$scratch/parity" ||
    { cat "$scratch/parity"; return 1; }
  echo "lcdump.exe from the zip, parity cases: $(tail -n 1 "$scratch/parity")"
  (cd "$dir" && "$wine" lcdump.exe -file examples/sample.opt) | cmp - "$scratch/demo"
}

archive_files_check() {
  local tracked
  tracked=$(git -C "$source" ls-files | LC_ALL=C sort) && [ -n "$tracked" ] ||
    { echo "git ls-files lists nothing in $source: the archive is checked in a git checkout"; return 1; }
  echo 'int stray;' > "$stray"
  (cd "$pkg_build" && cpack --config CPackSourceConfig.cmake -B "$scratch/archive") > "$scratch/cpack.log" 2>&1 ||
    { tail -n 5 "$scratch/cpack.log"; return 1; }
  rm -f "$stray"
  diff <(printf '%s\n' "$tracked") <(tar tzf "$scratch/archive/lcdump-$version.tar.gz" | grep -v '/$' |
    sed "s|^lcdump-$version/||" | LC_ALL=C sort) || return 1
  echo "lcdump-$version.tar.gz, made with $(basename "$stray") in src/: the $(wc -l <<<"$tracked") files of git ls-files"
}

tarball_check() {
  mkdir "$scratch/src" "$scratch/nogit"
  tar xzf "$tarball" -C "$scratch/src" || return 1
  printf '#!/bin/sh\necho "git was called" >&2\nexit 1\n' > "$scratch/nogit/git"
  chmod +x "$scratch/nogit/git"
  cd "$scratch/src/lcdump-$version" || return 1
  # The README's build, then the quick tests, with no make settings of ours.
  if ! env -u MAKEFLAGS -u MAKELEVEL -u MFLAGS PATH="$scratch/nogit:$PATH" \
      bash -c 'make && ./build/lcdump -file examples/sample.opt > demo && make test' > build.log 2>&1; then
    tail -n 30 build.log
    return 1
  fi
  cmp demo "$scratch/demo" && tail -n 3 build.log | grep 'tests passed'
}

passed=0 failed=0
for check in lintian_check dpkg_check zip_check archive_files_check tarball_check; do
  if output=$($check 2>&1); then
    echo "PASS $check"
    passed=$((passed + 1))
  else
    echo "FAIL $check"
    failed=$((failed + 1))
  fi
  [ -z "$output" ] || printf '%s\n' "$output" | sed 's/^/    /'
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
