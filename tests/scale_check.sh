#!/usr/bin/env bash
# Runs the README's recipes for many files, as printed there (xargs, GNU
# parallel), and the Slurm script as three array tasks, on 100 files of
# different lengths (names with blanks, in two directories), one of them cut
# short. Each run must leave every good file's complete dump under its final
# name, name the bad file on standard error, end with a non-zero status, and
# leave neither output nor temporary file for the bad one.
#
#   scale_check.sh LCDUMP
set -u
if [ $# -ne 1 ]; then
  echo "usage: $0 LCDUMP" >&2
  exit 2
fi
lcdump=$(realpath "$1")
source=$(cd "$(dirname "$0")/.." && pwd)
export PATH="$(dirname "$lcdump"):$PATH"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 2
# parallel's notice about citing it, once per user, is not what is checked.
export HOME=$scratch
mkdir -p .parallel && touch .parallel/will-cite

# File n holds the sample's first n records.
mkdir -p "data/night 1" "data/night 2"
for n in $(seq 1 100); do
  name="data/night $((n % 2 + 1))/lc $n.lc"
  { printf "\\x$(printf %02x "$n")\\0\\0\\0"; tail -c +5 "$source/examples/sample.lc" | head -c $((40 * n)); } > "$name"
done
bad="data/night 2/lc 57.lc"
truncate -s -7 "$bad"
find data -name '*.lc' | sort > files.txt

# The ```sh block of the README that contains $1.
recipe() {
  awk -v want="$1" '/^```sh$/ { block = ""; inside = 1; next }
    inside && /^```$/ { inside = 0; if (index(block, want)) print block; next }
    inside { block = block $0 "\n" }' "$source/README.md"
}

passed=0 failed=0
# check NAME STATUS: the outputs of one run, then a clean slate for the next.
check() {
  local problems=()
  [ "$2" -ne 0 ] || problems+=("exit status 0")
  grep -qF "not converted: $bad" err || problems+=("$bad not reported")
  while IFS= read -r f; do
    if [ "$f" = "$bad" ]; then
      [ ! -e "${f%.lc}.txt" ] || problems+=("output of the bad file")
    else
      lcdump -in "$f" | cmp -s - "${f%.lc}.txt" || problems+=("${f%.lc}.txt")
    fi
  done < files.txt
  [ -z "$(find data -name '*.tmp')" ] || problems+=("temporary files left")
  if [ ${#problems[@]} -eq 0 ]; then
    echo "PASS $1"
    passed=$((passed + 1))
  else
    echo "FAIL $1: ${problems[*]:0:5}"
    failed=$((failed + 1))
  fi
  find data -name '*.txt' -delete
}

for want in 'xargs -0' 'parallel -0'; do
  script=$(recipe "$want")
  [ -n "$script" ] || { echo "FAIL no recipe with '$want' in README.md"; failed=$((failed + 1)); continue; }
  bash -c "$script" > out 2> err
  check "README recipe with $want" $?
done

status=0
for task in 0 1 2; do
  SLURM_ARRAY_TASK_COUNT=3 SLURM_ARRAY_TASK_ID=$((task + 4)) SLURM_ARRAY_TASK_MIN=4 \
    bash "$source/examples/lcdump-array.sbatch" files.txt >> out 2>> err || status=$?
done
check "examples/lcdump-array.sbatch as three array tasks" $status
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
