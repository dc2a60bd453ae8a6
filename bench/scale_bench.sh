#!/usr/bin/env bash
# Files per second when converting many files: FILES copies of the bundled
# sample (10,000 by default), each to NAME.txt through a temporary name, once
# by a shell loop and once by the README's xargs recipe at -P2; ROUNDS
# rounds of both in turn (3 by default), medians shown. The files live in a
# temporary directory that is read from the page cache after the first round.
#
#   scale_bench.sh LCDUMP [FILES [ROUNDS]]
set -u
if [ $# -lt 1 ] || [ $# -gt 3 ]; then
  echo "usage: $0 LCDUMP [FILES [ROUNDS]]" >&2
  exit 2
fi
lcdump=$(realpath "$1")
files=${2:-10000}
rounds=${3:-3}
source=$(cd "$(dirname "$0")/.." && pwd)
export PATH="$(dirname "$lcdump"):$PATH"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2

python3 - "$source/examples/sample.lc" "$files" <<'EOF' || exit 2
import os, sys
sample = open(sys.argv[1], 'rb').read()
os.mkdir('data')
for i in range(int(sys.argv[2])):
    with open('data/lc%06d.lc' % i, 'wb') as out:
        out.write(sample)
EOF

# A loop doing what the recipe does, one file after another, in the same
# shell as the recipe's (sh), so that only running two at a time differs.
serial_loop='
for f in data/*.lc; do
  if lcdump -in "$f" > "${f%.lc}.txt.tmp"; then
    mv -f "${f%.lc}.txt.tmp" "${f%.lc}.txt"
  else
    rm -f "${f%.lc}.txt.tmp"; echo "not converted: $f" >&2
  fi
done'
# The README's recipe, as printed there, two at a time.
xargs_recipe=$(awk '/^```sh$/ { block = ""; inside = 1; next }
  inside && /^```$/ { inside = 0; if (index(block, "xargs -0")) print block; next }
  inside { block = block $0 "\n" }' "$source/README.md")
xargs_recipe=${xargs_recipe//-P\"\$(nproc)\"/-P2}
case $xargs_recipe in *-P2*) ;; *) echo "no xargs -P recipe in README.md" >&2; exit 2 ;; esac

# run serial|xargs: one round of either, every output checked, its time kept.
declare -A times
run() {
  local start end
  rm -f data/*.txt
  start=${EPOCHREALTIME/[.,]/}
  if [ "$1" = serial ]; then sh -c "$serial_loop"; else sh -c "$xargs_recipe"; fi || exit 1
  end=${EPOCHREALTIME/[.,]/}
  [ "$(find data -name '*.txt' | wc -l)" -eq "$files" ] || { echo "$1 left outputs missing" >&2; exit 1; }
  times[$1]+="$((end - start)) "
}
load=$(cut -d' ' -f1-3 /proc/loadavg)
for ((round = 0; round < rounds; round++)); do
  run serial
  run xargs
done

median() { tr ' ' '\n' | grep . | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'; }
echo "$files copies of examples/sample.lc ($(stat -c %s "$source/examples/sample.lc") bytes, 278 records), median of $rounds rounds"
echo "$(nproc) cores: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), load average before: $load, after: $(cut -d' ' -f1-3 /proc/loadavg)"
for how in serial xargs; do
  us=$(median <<<"${times[$how]}")
  label=$([ $how = serial ] && echo "serial loop" || echo "xargs -P2")
  awk -v label="$label" -v us="$us" -v n="$files" \
    'BEGIN { printf "%-12s %7.2f s  %6.0f files/s  %6.3f ms a file\n", label, us / 1e6, n * 1e6 / us, us / n / 1e3 }'
done
awk -v a="$(median <<<"${times[serial]}")" -v b="$(median <<<"${times[xargs]}")" \
  'BEGIN { printf "xargs -P2 / serial loop: %.2f times the files a second\n", a / b }'
