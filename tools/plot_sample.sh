#!/usr/bin/env bash
# Draws a light curve from lcdump's own text output: flux against JD with
# error bars, the first night on its own, and the points folded on the
# star's period.
#
#   tools/plot_sample.sh LCDUMP MEASUREMENTFILE OUTPUT.png [PERIOD [EPOCH]]
#
# PERIOD (days) and EPOCH (JD of phase 0) default to those of the bundled
# sample, a pulsating star with a period of 0.5667 d.
set -euo pipefail

if [ $# -lt 3 ] || [ $# -gt 5 ]; then
  echo "usage: $0 LCDUMP MEASUREMENTFILE OUTPUT.png [PERIOD [EPOCH]]" >&2
  exit 2
fi
lcdump=$1
input=$2
output=$3
period=${4:-0.5667}
epoch=${5:-2459000.5}

if ! command -v gnuplot >/dev/null 2>&1; then
  echo "$0: gnuplot is needed; on Debian: sudo apt-get install gnuplot-nox" >&2
  exit 1
fi

data=$(mktemp)
trap 'rm -f "$data"' EXIT
# Columns after the count line: 1 JD, 3 flux1, 4 err1.
"$lcdump" -in "$input" | tail -n +2 > "$data"

gnuplot <<EOF
set terminal pngcairo size 1000,800 font "Sans,11"
set output "$output"
stats "$data" using 1 nooutput
first_jd = STATS_min
day0 = floor(first_jd - 0.5) + 0.5
period = $period
epoch = $epoch
phase(jd) = (jd - epoch) / period - floor((jd - epoch) / period)

set multiplot title "$(basename "$input"): $(wc -l < "$data") measurements, flux1 with err1 as error bars"
set grid
set key off
set bars small
set offsets graph 0, graph 0, graph 0.05, graph 0.05
set ylabel "flux1 (counts)"
style = "pointtype 7 pointsize 0.3 linecolor rgb '#1f5fa8'"

set origin 0, 0.5
set size 1, 0.47
set title "all nights"
set xlabel sprintf("JD - %.1f", day0)
plot "$data" using (\$1 - day0):3:4 with yerrorbars @style

# One night on its own, where the error bars can be seen.
set origin 0, 0
set size 0.36, 0.5
set title "the first night"
night_end = first_jd + 0.25
stats "$data" using (\$1 < night_end ? \$3 - \$4 : NaN) nooutput
night_low = STATS_min
stats "$data" using (\$1 < night_end ? \$3 + \$4 : NaN) nooutput
night_high = STATS_max
margin = 0.1 * (night_high - night_low)
set xrange [first_jd - day0 - 0.01 : night_end - day0]
set yrange [night_low - margin : night_high + margin]
set xtics 0.05
plot "$data" using (\$1 - day0):3:4 with yerrorbars @style

set origin 0.36, 0
set size 0.64, 0.5
set title sprintf("folded on the period of %g d (shown twice)", period)
set xlabel "phase"
set xrange [0:2]
set autoscale y
set xtics 0.25
set ylabel ""
plot "$data" using (phase(\$1)):3:4 with yerrorbars @style, \
     "$data" using (phase(\$1) + 1):3:4 with yerrorbars @style

unset multiplot
EOF
echo "wrote $output"
