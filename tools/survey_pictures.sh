#!/usr/bin/env bash
# Draws the README's two pictures of the bundled survey with lcdump alone:
# DIR/survey.svg, the diagram of -report's page (flux1_chi2dof against
# flux1_median) as a picture of its own, and DIR/survey-top.svg, the -svg
# picture of star0282, the survey's first star by flux1_chi2dof.
#
#   tools/survey_pictures.sh LCDUMP MAKE_SURVEY DIR
#
# The survey is written and read as survey/ in a scratch directory: the
# pictures name their stars as the list spells them, so a fixed relative
# name gives the same bytes on every run, wherever it runs.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 LCDUMP MAKE_SURVEY DIR" >&2
  exit 2
fi
lcdump=$(realpath "$1")
make_survey=$(realpath "$2")
out=$(realpath "$3")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
"$make_survey" survey > /dev/null
# The diagram draws its points in the list's order, and find lists them in
# whatever order the file system keeps them.
find survey -name '*.lc' | LC_ALL=C sort | "$lcdump" -list - -report report
# The page holds the diagram inline, from its <svg line to its </svg> line.
{
  echo '<?xml version="1.0" encoding="UTF-8"?>'
  awk '/^<svg / { inside = 1 } inside { print } inside && /^<\/svg>$/ { closed = 1; exit }
       END { if (!closed) { print "no <svg ...> ... </svg> block in report/index.html" > "/dev/stderr"; exit 1 } }' \
    report/index.html
} > survey.svg
"$lcdump" -in survey/star0282.lc -svg > survey-top.svg
# Only pictures drawn whole replace the ones in DIR.
cp survey.svg survey-top.svg "$out/"
