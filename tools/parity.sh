#!/usr/bin/env bash
# Builds lcdump at revision REV of this repository (Release, in a scratch
# directory) and from the working tree, then runs both on the same command
# lines and compares what they print, byte for byte: standard output,
# standard error and exit status. The inputs are the bundled sample, 100,000
# records of random bits, and the sample cut short. Prints one line per
# comparison; the status is 1 if any differed, and then the scratch
# directory, inputs and outputs, is kept for a look.
#
#   tools/parity.sh REV      (BUILD=... names the working tree's build
#                             directory, build by default; it is configured,
#                             Release, where it is not yet)
set -uo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 REV" >&2
  exit 2
fi
rev=$1
cd "$(dirname "$0")/.." || exit 2
top=$PWD
build=${BUILD:-build}
commit=$(git rev-parse --verify --quiet "$rev^{commit}") || {
  echo "parity: $rev names no commit of this repository" >&2
  exit 2
}

scratch=$(mktemp -d)
keep=0
trap '[ $keep -eq 1 ] || rm -rf "$scratch"' EXIT
mkdir "$scratch/src" "$scratch/old" "$scratch/new" "$scratch/in" "$scratch/out"

# build WHAT SOURCE BUILD_DIR: configures (if need be) and builds the lcdump
# target, its messages in the scratch directory unless it fails.
build() {
  local log=$scratch/build-$1.log
  if { [ -f "$3/CMakeCache.txt" ] || cmake -S "$2" -B "$3" -DCMAKE_BUILD_TYPE=Release; } > "$log" 2>&1 &&
     cmake --build "$3" --target lcdump -j2 >> "$log" 2>&1; then
    return 0
  fi
  tail -n 30 "$log" >&2
  echo "parity: building $1 failed" >&2
  exit 2
}
git archive "$commit" | tar -x -C "$scratch/src" || exit 2
build "$rev" "$scratch/src" "$scratch/build"
build "the working tree" "$top" "$build"
# Both run as lcdump, found on the PATH, so that no message can tell them
# apart by how they were called.
cp "$scratch/build/lcdump" "$scratch/old/lcdump"
cp "$build/lcdump" "$scratch/new/lcdump"

# The inputs, named relative to the directory the runs start in, so that the
# names in messages are the same for both. The random records' count is
# little-endian, as the file's format has it: 100,000 is 0x000186a0.
cd "$scratch/in" || exit 2
cp "$top/examples/sample.lc" sample.lc
{ printf '\xa0\x86\x01\x00'; head -c 4000000 /dev/urandom; } > random.lc
head -c 100 sample.lc > short.lc

# fits_data FILE: the data unit of the table that -fits wrote to FILE, after
# two headers (the primary HDU's, which has no data, and the table's), each
# ending with the block that holds its END card; nothing where there is no
# such header, as when the run failed.
fits_data() {
  local block=0 headers=0 size
  size=$(stat -c %s "$1")
  while [ $headers -lt 2 ] && [ $((block * 2880)) -lt "$size" ]; do
    dd if="$1" bs=2880 skip=$block count=1 2> /dev/null | fold -w 80 | grep -xE 'END {77}' > /dev/null && headers=$((headers + 1))
    block=$((block + 1))
  done
  [ $headers -eq 2 ] && tail -c +$((block * 2880 + 1)) "$1"
}

compared=0 differing=0
# compare KIND ARGS...: lcdump ARGS, standard input from the file $stdin
# (/dev/null unless set), by both builds, and one line on whether they agree.
# KIND is text, where standard output is compared whole, or fits, where only
# its data unit is: the header names the program's version. Where $unlike
# is stdout or stderr, that part is not compared, and $note says why.
compare() {
  local kind=$1 which what=()
  shift
  for which in old new; do
    PATH="$scratch/$which:$PATH" lcdump "$@" < "${stdin:-/dev/null}" > "$scratch/out/$which.out" 2> "$scratch/out/$which.err"
    echo $? > "$scratch/out/$which.status"
    if [ "$kind" = fits ]; then
      fits_data "$scratch/out/$which.out" > "$scratch/out/$which.data"
    fi
  done
  local stdout=out
  [ "$kind" = fits ] && stdout=data
  [ "${unlike:-}" = stdout ] || cmp -s "$scratch/out/old.$stdout" "$scratch/out/new.$stdout" || what+=("stdout")
  [ "${unlike:-}" = stderr ] || cmp -s "$scratch/out/old.err" "$scratch/out/new.err" || what+=("stderr")
  cmp -s "$scratch/out/old.status" "$scratch/out/new.status" ||
    what+=("status $(cat "$scratch/out/old.status") against $(cat "$scratch/out/new.status")")
  compared=$((compared + 1))
  if [ ${#what[@]} -eq 0 ]; then
    echo "same     lcdump${*:+ $*}${note:-}"
  else
    differing=$((differing + 1))
    # Kept under the comparison's number, for a look afterwards.
    for which in old new; do
      for part in out err status; do
        mv "$scratch/out/$which.$part" "$scratch/out/$compared.$which.$part"
      done
    done
    local list
    list=$(printf '%s, ' "${what[@]}")
    echo "DIFFERS  lcdump${*:+ $*} (${list%, })${note:-}"
  fi
}

# compare_since COMMIT PART WHY KIND ARGS...: compare KIND ARGS..., but
# where REV does not hold COMMIT, which changed PART (stdout or stderr) of
# that output on purpose, all but that part, the line saying why.
compare_since() {
  local since=$1 part=$2 why=$3
  shift 3
  if git -C "$top" merge-base --is-ancestor "$since" "$commit" 2> /dev/null; then
    compare "$@"
  else
    unlike=$part note=" ($part not compared: $why, since $since)" compare "$@"
  fi
}

for input in sample.lc random.lc; do
  for form in "" -csv -exact "-csv -exact" -stats; do
    # shellcheck disable=SC2086 # the form's words, split
    compare text -in "$input" $form
  done
  compare fits -in "$input" -fits
done
# Command lines that fail, and the help; -version is left out, since the
# version may differ from REV's on purpose. The usage line and the help name
# -mirror and -force, which came with 77081f4.
mirror=77081f4
compare_since $mirror stderr "the usage line names -mirror and -force" text
compare_since $mirror stdout "the help names -mirror and -force" text -help
compare text -in missing.lc
compare text -in short.lc
stdin=short.lc compare text -in -
compare text -in sample.lc -fits -csv
compare text -in sample.lc -stats -exact
compare text -in sample.lc -fit

if [ $differing -ne 0 ]; then
  keep=1
  echo "parity with $rev: $differing of $compared differ; inputs and outputs in $scratch"
  exit 1
fi
echo "parity with $rev: all $compared the same"
