#!/usr/bin/env bash
# The checks of make lint that need no build: the sources' layout against
# .clang-format, two rules on what src/ may print and return, and two on the
# shape of the code (no file of src/ over 300 lines, no OutputForm filled by
# position). Each failing check prints the lines it objects to; the status
# is 1 if any did.
#
#   tools/lint.sh            (from the top of the tree; CLANG_FORMAT=... to
#                             name another clang-format than the one on PATH)
set -uo pipefail
# report runs at the end of pipelines and must set failed in this shell.
shopt -s lastpipe
# A directory without headers gives no name rather than its pattern.
shopt -s nullglob
cd "$(dirname "$0")/.."

# The C++ sources of the tree.
sources=(src/*.cpp src/*.h tests/*.cpp tests/*.h bench/*.cpp bench/*.h fuzz/*.cpp fuzz/*.h tools/*.cpp tools/*.h)

failed=0
# report WHAT: for the lines read from standard input, if there are any,
# prints WHAT and those lines, and marks the run failed.
report() {
  local found
  found=$(cat)
  [ -z "$found" ] && return 0
  echo "lint: $1:"
  echo "$found"
  failed=1
}
# complain WHAT: reports WHAT for the FILE:LINE:... lines read from standard
# input, each shown as the source has it.
complain() {
  local file line rest
  while IFS=: read -r file line rest; do
    echo "$file:$line: $(sed -n "${line}p" "$file")"
  done | report "$1"
}

# The layout. .clang-format is written for clang-format 14; other versions
# lay a few constructs out differently.
clang_format=${CLANG_FORMAT:-clang-format}
if ! "$clang_format" --dry-run --Werror "${sources[@]}" < /dev/null; then
  echo "lint: the layout differs from .clang-format ($("$clang_format" --version)): $clang_format -i FILE mends it"
  failed=1
fi

# code FILE...: FILE:LINE:TEXT for every line, with string and character
# literals emptied and // comments dropped, so that the rules below look at
# code only.
code() {
  local file
  for file in "$@"; do
    sed -E -e "s/\"([^\"\\\\]|\\\\.)*\"|'([^'\\\\]|\\\\.)*'/\"\"/g" -e 's://.*$::' "$file" |
      grep -n '' | sed "s|^|$file:|"
  done
}
# Every file in src/ but those named.
src_but() {
  local file
  for file in src/*.cpp src/*.h; do
    [[ " $* " == *" $file "* ]] || echo "$file"
  done
}

# A file name reaches the terminal only through write_message and write_name
# in src/diagnostics.cpp, which escape control characters and broken UTF-8 so
# that no name can break a message line or send the terminal a control
# sequence. Elsewhere in src/, no printf-family, puts-family, fwrite or perror
# call may mention a variable or member whose name holds "name", "path" or
# "file" (text put together with snprintf could reach the terminal unescaped
# as well), and iostreams are not used to print at all. The check reads one
# line at a time: a call split over lines is looked at line by line.
code $(src_but src/diagnostics.cpp) |
  grep -E '\b(v?f?printf|v?sn?printf|f?puts|fwrite|perror)[[:space:]]*\(' |
  grep -P '^[^:]*:[0-9]*:.*\b(?!write_name\b|write_message\b)\w*(name|path|file)\w*\b' |
  complain "a file name printed without write_message or write_name (src/diagnostics.cpp)"
code $(src_but) | grep -E '\bstd::(cout|cerr|clog)\b' |
  complain "iostreams print in src/; use the stdio streams and the message functions"

# Every run that cannot complete exits with FAILURE_STATUS, defined once in
# src/diagnostics.h: no literal status in an exit call, no EXIT_FAILURE, and
# no function returns a literal positive integer (a status would hide there;
# main returns what run_lcdump returns). -1, the "none" of lookups, is no
# exit status and stays allowed.
code $(src_but src/diagnostics.h) |
  grep -E '\b(exit|_Exit|quick_exit)[[:space:]]*\(' | grep -v 'FAILURE_STATUS' |
  complain "an exit status other than FAILURE_STATUS"
code $(src_but src/diagnostics.h) |
  grep -E '\bEXIT_(FAILURE|SUCCESS)\b|\breturn[[:space:](]+[1-9][0-9]*[[:space:])]*;' |
  complain "a literal exit status; return FAILURE_STATUS (src/diagnostics.h)"

# The shape of the code. A file of src/ over 300 lines is a module doing
# more than one job, to be split by job; its lines are counted as an editor
# shows them, a last line without a newline too.
for file in src/*.cpp src/*.h; do
  awk -v file="$file" 'END { if (NR > 300) print file ": " NR " lines" }' "$file"
done | report "a file of src/ over 300 lines; split it by job"

# An OutputForm is made from its form's row and given its modifiers by name:
# OutputForm form(find_form("csv")); form.exact = true;. A braced
# initialiser with anything in it (OutputForm{...}, OutputForm form{...},
# OutputForm form = {...}) fills the members in order, so that a member
# added or moved silently changes what it means. An empty OutputForm{} is
# the default form, and struct OutputForm { its definition.
code "${sources[@]}" |
  grep -P '(?<!struct )(?<!class )\bOutputForm(\s+(const\s+)?\w+)?\s*(=\s*)?\{\s*([^\s}]|$)' |
  complain "an OutputForm filled by position; make it from its row, OutputForm form(find_form(\"csv\")), and name its modifiers, form.exact = true"

exit $failed
