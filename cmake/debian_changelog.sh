#!/bin/sh
# Writes CHANGELOG.md, kept in the Keep a Changelog form, as a Debian
# changelog: what a native package's changelog.gz must be. A dated release
# becomes an entry, its headings lines of their own and its items starred;
# an undated section (Unreleased) is left out. Keep a Changelog records the
# day, a Debian changelog the second, and each entry must be later than the
# one before it: releases of one day are stamped an hour apart from
# midnight, in their order.
#
#   debian_changelog.sh CHANGELOG.md "NAME <ADDRESS>" > changelog
set -eu
LC_ALL=C awk -v maintainer="$2" '
BEGIN { release = "^## \\[[^]]+\\] - [0-9]+-[0-9]+-[0-9]+$" }
function finish() {
  if (version == "") return
  # The first reading counted the day'"'"'s releases; this is its n-th newest.
  command = sprintf("date -u -R -d \"%s %02d:00\"", date, --releases[date])
  command | getline stamp
  close(command)
  printf "\n -- %s  %s\n", maintainer, stamp
  version = ""
}
NR == FNR {
  if ($0 ~ release) releases[substr($0, length($0) - 9)]++
  next
}
/^## / {
  finish()
  if ($0 ~ release) {
    split($0, part, /[][]/)
    version = part[2]
    date = substr($0, length($0) - 9)
    if (entries++) print ""
    printf "lcdump (%s) unstable; urgency=medium\n", version
  }
  next
}
version == "" { next }
/^### / { printf "\n  %s:\n", substr($0, 5); next }
/^- / { print "  * " substr($0, 3); next }
/^  / { print "  " $0; next }
END { finish() }
' "$1" "$1"
