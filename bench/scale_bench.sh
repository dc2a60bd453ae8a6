#!/usr/bin/env bash
# Files per second when converting many files, one core, outputs kept:
# FILES copies of the bundled sample (2,000 by default), converted by the
# per-file safe recipe (lcdump -in, a temporary name, mv) and by one
# lcdump -list, as text and as FITS, against cat of the same files, and
# summarised by one lcdump -list - -stats into one table; ROUNDS rounds (3
# by default), medians shown. Then the peak memory of one -list over
# MEMORY_FILES files (10,000) against lcdump -in on the largest of them.
#
#   scale_bench.sh LCDUMP [FILES [ROUNDS [MEMORY_FILES]]]
set -u
if [ $# -lt 1 ] || [ $# -gt 4 ]; then
  echo "usage: $0 LCDUMP [FILES [ROUNDS [MEMORY_FILES]]]" >&2
  exit 2
fi
lcdump=$(realpath "$1")
files=${2:-2000}
rounds=${3:-3}
memory_files=${4:-10000}
source=$(cd "$(dirname "$0")/.." && pwd)
export PATH="$(dirname "$lcdump"):$PATH"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2

# FILES copies of the sample in data/, MEMORY_FILES in many/, the last of
# them ten times the sample's length.
python3 - "$source/examples/sample.lc" "$files" "$memory_files" <<'PY' || exit 2
import os, struct, sys
sample = open(sys.argv[1], 'rb').read()
for folder, n in (('data', int(sys.argv[2])), ('many', int(sys.argv[3]))):
    os.mkdir(folder)
    for i in range(n):
        with open('%s/lc%06d.lc' % (folder, i), 'wb') as out:
            out.write(sample)
records = sample[4:] * 10
with open('many/lc%06d.lc' % (int(sys.argv[3]) - 1), 'wb') as out:
    out.write(struct.pack('<i', len(records) // 40) + records)
PY
find data -name '*.lc' | sort > list.txt

# The per-file recipe, one file after another.
per_file='
while IFS= read -r f; do
  if lcdump -in "$f" $FORM > "${f%.lc}.$EXT.tmp"; then
    mv -f "${f%.lc}.$EXT.tmp" "${f%.lc}.$EXT"
  else
    rm -f "${f%.lc}.$EXT.tmp"; echo "not converted: $f" >&2
  fi
done < list.txt'

declare -A times
# run NAME EXT FORM COMMAND: one round, on one core, every output there.
run() {
  local name=$1 ext=$2 start end
  shift 2
  find data -name "*.$ext" -delete
  start=${EPOCHREALTIME/[.,]/}
  taskset -c 0 env FORM="$1" EXT="$ext" sh -c "$2" || { echo "$name failed" >&2; exit 1; }
  end=${EPOCHREALTIME/[.,]/}
  [ "$ext" = none ] || [ "$(find data -name "*.$ext" | wc -l)" -eq "$files" ] ||
    { echo "$name left outputs missing" >&2; exit 1; }
  times[$name]+="$((end - start)) "
}
load=$(cut -d' ' -f1-3 /proc/loadavg)
for ((round = 0; round < rounds; round++)); do
  run "per-file, text" txt "" "$per_file"
  run "per-file, FITS" fits "-fits" "$per_file"
  run "-list, text" txt "" 'lcdump -list list.txt'
  run "-list, FITS" fits "-fits" 'lcdump -list list.txt -fits'
  run "-list, -stats" none "" 'lcdump -list - -stats < list.txt > table'
  [ "$(wc -l < table)" -eq $((files + 1)) ] || { echo "-list, -stats left rows missing" >&2; exit 1; }
  run "cat" none "" 'xargs cat < list.txt > /dev/null'
done

median() { tr ' ' '\n' | grep . | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'; }
echo "$files copies of examples/sample.lc ($(stat -c %s "$source/examples/sample.lc") bytes, 278 records), one core, median of $rounds rounds"
echo "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), load average before: $load, after: $(cut -d' ' -f1-3 /proc/loadavg)"
for how in "per-file, text" "-list, text" "per-file, FITS" "-list, FITS" "-list, -stats" "cat"; do
  awk -v label="$how" -v us="$(median <<<"${times[$how]}")" -v n="$files" \
    'BEGIN { printf "%-16s %7.2f s  %7.0f files/s\n", label, us / 1e6, n * 1e6 / us }'
done
for form in text FITS; do
  awk -v form="$form" -v a="$(median <<<"${times[per-file, $form]}")" -v b="$(median <<<"${times[-list, $form]}")" \
    'BEGIN { printf "-list / per-file, %s: %.1f times the files a second\n", form, a / b }'
done
# A table of summaries should cost no more than converting the same files.
awk -v a="$(median <<<"${times[-list, text]}")" -v b="$(median <<<"${times[-list, -stats]}")" \
  'BEGIN { printf "-list -stats / -list, text: %.2f times the files a second (at least 1: %s)\n",
             a / b, (a >= b ? "yes" : "no") }'

# Peak memory: -list keeps one file's records at a time.
find many -name '*.lc' | sort > many.txt
largest=$(ls -S many/*.lc | head -1)
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
one=$(peak lcdump -in "$largest" -fits)
all=$(peak lcdump -list many.txt -fits)
echo "peak memory, -fits: lcdump -in on the largest file $one KiB; -list over $memory_files files $all KiB ($((all - one)) KiB more)"
