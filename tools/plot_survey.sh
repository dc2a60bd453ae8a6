#!/usr/bin/env bash
# Draws a survey from lcdump -stats: each star's scatter (flux1_mad) against
# its brightness (flux1_median), on log axes. Steady stars lie on the locus
# the noise sets, flat where the sky's noise rules and rising as the square
# root of the flux where the star's own photons do; variable stars stand
# above it. Those whose scatter is more than twice their median err1 (a
# steady star's is about 0.67 times it, at any brightness) are drawn in red
# and named.
#
#   tools/plot_survey.sh LCDUMP SURVEYDIR OUTPUT.png   (every *.lc below SURVEYDIR)
#   tools/plot_survey.sh SURVEY.csv OUTPUT.png         (lcdump -stats output kept earlier)
set -euo pipefail

if [ $# -eq 3 ]; then
  lcdump=$1
  survey=$2
  output=$3
elif [ $# -eq 2 ]; then
  survey=$1
  output=$2
else
  echo "usage: $0 LCDUMP SURVEYDIR OUTPUT.png | $0 SURVEY.csv OUTPUT.png" >&2
  exit 2
fi

if ! command -v gnuplot >/dev/null 2>&1; then
  echo "$0: gnuplot is needed; on Debian: sudo apt-get install gnuplot-nox" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ $# -eq 3 ]; then
  csv=$work/survey.csv
  find "$survey" -name '*.lc' | sort | "$lcdump" -list - -stats > "$csv"
else
  csv=$survey
fi

# The columns after the name are numbers without commas, so they are
# counted from the end of the row, and a name with commas in it (quoted)
# does not shift them; the header row says where each is, with or without
# -period's three at the end. Out: median, MAD, err1 median, then the name
# without its directory, tab-separated; stars that cannot go on log axes
# are counted.
awk -F, -v data="$work/stars.tsv" '
  function number(s) { return s ~ /^[-+]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][-+]?[0-9]+)?$/ }
  NR == 1 {
    for (i = 1; i <= NF; i++) column[$i] = i
    if ($1 != "file" || !("flux1_median" in column) || !("flux1_mad" in column) || !("err1_median" in column)) {
      print "not lcdump -stats output: the first line is " $0 > "/dev/stderr"
      bad = 1
      exit 1
    }
    after = NF - 1  # the columns after the name
    from_end_median = NF - column["flux1_median"]
    from_end_mad = NF - column["flux1_mad"]
    from_end_err = NF - column["err1_median"]
    next
  }
  NF < after + 1 { next }  # a line of a name that holds a line break
  {
    median = $(NF - from_end_median); mad = $(NF - from_end_mad); err = $(NF - from_end_err)
    if (!number(median) || !number(mad) || !number(err) || median + 0 <= 0 || mad + 0 <= 0) {
      left_out++
      next
    }
    name = $0
    for (i = 0; i < after; i++) sub(/,[^,]*$/, "", name)
    if (name ~ /^".*"$/) { name = substr(name, 2, length(name) - 2); gsub(/""/, "\"", name) }
    sub(/.*\//, "", name)
    gsub(/\t/, " ", name)
    printf "%s\t%s\t%s\t%s\n", median, mad, err, name > data
    stars++
  }
  END {
    if (bad) exit 1
    if (left_out) printf "%d stars left out: no positive flux1_median and flux1_mad\n", left_out > "/dev/stderr"
    if (!stars) { print "no stars to draw" > "/dev/stderr"; exit 1 }
  }' "$csv"

stars=$(wc -l < "$work/stars.tsv")
marked=$(awk -F'\t' '$2 > 2 * $3' "$work/stars.tsv" | wc -l)

gnuplot <<EOF
set terminal pngcairo size 1000,700 font "Sans,11"
set output "$output"
set datafile separator "\t"
data = "$work/stars.tsv"

# The sky's share of the variance, in counts squared: what err1^2 holds
# beyond the star's own photons, its median over the survey.
stats data using (\$3**2 - \$1) nooutput
background = STATS_median
# The median absolute deviation of Gaussian noise is 0.6745 sigma.
locus(flux) = 0.6745 * sqrt(flux + background)
above(mad, err) = mad > 2 * err

set title "A survey of $stars stars: scatter against brightness, from lcdump -stats\n$marked stand above the noise (flux1\\\\_mad more than twice err1\\\\_median), in red"
set logscale xy
set format x "10^{%L}"
set format y "10^{%L}"
set xlabel "flux1 median (counts)"
set ylabel "flux1 median absolute deviation (counts)"
set grid
set key top left box opaque
set samples 400
plot data using 1:(above(\$2, \$3) ? NaN : \$2) with points pointtype 7 pointsize 0.6 linecolor rgb '#1f5fa8' \
       title "steady stars", \
     locus(x) with lines dashtype 2 linewidth 2 linecolor rgb '#555555' \
       title sprintf("noise alone: 0.6745 sqrt(flux1 %s %.0f)", background < 0 ? "-" : "+", abs(background)), \
     data using 1:(above(\$2, \$3) ? \$2 : NaN) with points pointtype 7 pointsize 1.0 linecolor rgb '#c0282d' \
       title "variable stars", \
     data using 1:(above(\$2, \$3) ? \$2 : NaN):4 with labels left offset char 0.8, 0 font ",9" noenhanced \
       textcolor rgb '#c0282d' notitle
EOF
echo "wrote $output: $stars stars, $marked above the noise"
