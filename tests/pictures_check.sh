#!/usr/bin/env bash
# The README's pictures of the bundled survey, doc/survey.svg and
# doc/survey-top.svg, drawn again as make plot draws them and compared byte
# for byte, so that a change to what lcdump draws cannot leave them stale;
# and doc/survey.svg, cut out of the -report page, read by xmllint and
# rendered by rsvg-convert as a picture on its own.
#
#   pictures_check.sh LCDUMP MAKE_SURVEY SOURCEDIR
set -u

if [ $# -ne 3 ]; then
  echo "usage: $0 LCDUMP MAKE_SURVEY SOURCEDIR" >&2
  exit 2
fi
lcdump=$1
make_survey=$2
sourcedir=$3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
bash "$sourcedir/tools/survey_pictures.sh" "$lcdump" "$make_survey" "$scratch" || exit 1
failed=0
for name in survey.svg survey-top.svg; do
  if cmp "$scratch/$name" "$sourcedir/doc/$name"; then
    echo "doc/$name is what lcdump draws now"
  else
    echo "doc/$name is not what lcdump draws now: make plot draws it again"
    failed=1
  fi
done
xmllint --noout "$sourcedir/doc/survey.svg" || failed=1
rsvg-convert "$sourcedir/doc/survey.svg" -o "$scratch/survey.png" || failed=1
exit $failed
