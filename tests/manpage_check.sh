#!/usr/bin/env bash
# Formats a manual page with groff, warnings all on, and fails on any word
# groff says about it: a page that renders with warnings looks broken to
# someone somewhere. Given the program too, the page's usage line and -stats
# header row must be the ones it prints.
#
#   manpage_check.sh PAGE [LCDUMP]
set -u

if [ $# -ne 1 ] && [ $# -ne 2 ]; then
  echo "usage: $0 PAGE [LCDUMP]" >&2
  exit 2
fi
page=$1
if ! command -v groff >/dev/null 2>&1; then
  echo "groff is needed to check $page; on Debian: apt-get install groff-base"
  exit 1
fi
[ -r "$page" ] || { echo "can't read $page"; exit 1; }

warnings=$(groff -man -ww -z "$page" 2>&1)
status=$?
if [ $status -ne 0 ] || [ -n "$warnings" ]; then
  echo "groff -man -ww -z $page (status $status):"
  printf '%s\n' "$warnings"
  exit 1
fi
# mandoc's linter knows other pitfalls; it is used where it is installed.
if command -v mandoc >/dev/null 2>&1; then
  if ! lint=$(mandoc -T lint -W warning "$page" 2>&1) || [ -n "$lint" ]; then
    echo "mandoc -T lint $page:"
    printf '%s\n' "$lint"
    exit 1
  fi
fi
if [ $# -eq 2 ]; then
  usage=$(sed -n 's/^\.B "\(Usage: .*\)"$/\1/p' "$page" | sed -e 's/\\-/-/g' -e "s/\\\\(aq/'/g")
  [ "$usage" = "$("$2" 2>&1)" ] || { echo "$page shows the usage line: $usage"; exit 1; }
  header=$(grep '^file,records,' "$page")
  [ "$header" = "$("$2" -list /dev/null -stats)" ] || { echo "$page shows the -stats header: $header"; exit 1; }
fi
# The page must also say something: a file that lost its text renders cleanly.
lines=$(groff -man -Tutf8 "$page" 2>/dev/null | grep -c .)
if [ "$lines" -lt 50 ]; then
  echo "$page renders to only $lines lines"
  exit 1
fi
echo "$page renders without warnings ($lines lines)"
