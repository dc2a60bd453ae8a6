#!/usr/bin/env bash
# Replays the terminal sessions of a README: in every ```console block, a line
# starting with "$ " is a command, continued on the lines right below it that
# start with "> ", and the lines below those, up to the next command, are what
# it must print (standard error included, as a terminal shows it). The
# commands run one after another in a scratch directory that sees the
# repository's examples/, with the built lcdump first on the PATH.
#
#   readme_examples.sh BINDIR SOURCEDIR
set -u

if [ $# -ne 2 ]; then
  echo "usage: $0 BINDIR SOURCEDIR" >&2
  exit 2
fi
bindir=$(cd "$1" && pwd)
sourcedir=$(cd "$2" && pwd)
readme=$sourcedir/README.md

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
ln -s "$sourcedir/examples" "$scratch/examples"

commands=0
failures=0

check() {
  local command=$1 expected=$2 actual
  commands=$((commands + 1))
  actual=$(cd "$scratch" && PATH="$bindir:$PATH" bash -c "$command" 2>&1 < /dev/null)
  if [ "$actual" != "$expected" ]; then
    failures=$((failures + 1))
    echo "README command failed: \$ $command"
    diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") | sed 's/^/    /'
  fi
}

in_block=0
command=""
pending=0
expected=""
while IFS= read -r line || [ -n "$line" ]; do
  if [ $in_block -eq 0 ]; then
    [ "$line" = '```console' ] && in_block=1
    continue
  fi
  if [ "$line" = '```' ] || [[ $line == '$ '* ]]; then
    # $(...) drops trailing newlines, so the expected text does too.
    [ $pending -eq 1 ] && check "$command" "${expected%$'\n'}"
    pending=0
    expected=""
    if [ "$line" = '```' ]; then
      in_block=0
    else
      command=${line#'$ '}
      pending=1
    fi
  elif [[ $line == '> '* ]] && [ $pending -eq 1 ] && [ -z "$expected" ]; then
    command+=$'\n'${line#'> '}
  else
    expected+=$line$'\n'
  fi
done < "$readme"

if [ $in_block -eq 1 ]; then
  echo "README ends inside a console block"
  exit 1
fi
if [ $commands -eq 0 ]; then
  echo "no console examples found in $readme"
  exit 1
fi
echo "$((commands - failures)) of $commands README commands printed what the README shows"
[ $failures -eq 0 ]
