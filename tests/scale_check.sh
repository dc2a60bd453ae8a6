#!/usr/bin/env bash
# Runs the README's recipes for many files as printed there, on 1,000 files
# of different lengths (names with blanks, in two directories), one of them
# cut short: lcdump -list in one process, the xargs recipe, GNU parallel on
# this machine and over ssh to an sshd started here on 127.0.0.1, and
# examples/lcdump-array.sbatch as a four-task array under a one-node Slurm
# (munged, slurmctld and slurmd started here, on their own configuration).
# Each run must leave every good file's dump, as lcdump -in prints it, under
# its final name and nothing else, name the bad file with lcdump's own line
# and end with a non-zero status; under Slurm, the bad file's task must be
# FAILED and the others COMPLETED. A daemon that does not start is a failure.
# The survey recipe's -stats table must hold each good file's row.
#
#   scale_check.sh LCDUMP
set -u
if [ $# -ne 1 ]; then
  echo "usage: $0 LCDUMP" >&2
  exit 2
fi
lcdump=$(realpath "$1")
bindir=$(dirname "$lcdump")
source=$(cd "$(dirname "$0")/.." && pwd)
export PATH="$bindir:$PATH"
scratch=$(mktemp -d)
daemons=()
# The daemons started here, by their process ids, then the scratch directory.
stop() {
  local pid
  for pid in "${daemons[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  daemons=()
}
trap 'stop; rm -rf "$scratch"' EXIT
# munged wants every directory above its socket open to all (execute).
chmod 711 "$scratch"
cd "$scratch" || exit 2
# parallel's notice about citing it, once per user, is not what is checked.
export HOME=$scratch
mkdir -p .parallel && touch .parallel/will-cite

# File n holds the sample's first (7n mod 250) + 1 records. One perl for
# them all: a process per file costs more here than the conversion.
mkdir -p "data/night 1" "data/night 2"
perl -e 'binmode STDIN; local $/; my $records = substr(<STDIN>, 4);
  for my $n (1 .. 1000) {
    my $r = 7 * $n % 250 + 1;
    open(my $out, ">:raw", sprintf("data/night %d/lc %d.lc", $n % 2 + 1, $n)) or die "$!\n";
    print $out pack("V", $r), substr($records, 0, 40 * $r);
    close($out) or die "$!\n";
  }' < "$source/examples/sample.lc" || exit 2
bad="data/night 2/lc 57.lc"
truncate -s -7 "$bad"
find data -name '*.lc' | sort > files.txt
# The expected outputs, beside the files (expected/data) and in one
# directory (expected/flat), from lcdump -in.
mkdir -p "expected/data/night 1" "expected/data/night 2" expected/flat
while IFS= read -r f; do
  [ "$f" = "$bad" ] || lcdump -in "$f" > "expected/${f%.lc}.txt"
done < files.txt
find expected/data -name '*.txt' -exec cp -t expected/flat {} +

# The one ```sh block of the README that contains $1.
recipe() {
  awk -v want="$1" '/^```sh$/ { block = ""; inside = 1; next }
    inside && /^```$/ { inside = 0; if (index(block, want)) { print block; n++ } next }
    inside { block = block $0 "\n" }
    END { exit n != 1 }' "$source/README.md"
}

passed=0 failed=0
result() {
  if [ $# -eq 1 ]; then
    echo "PASS $1"
    passed=$((passed + 1))
  else
    echo "FAIL $1: $2"
    failed=$((failed + 1))
  fi
}
# check NAME STATUS LOG [OUTDIR [EXPECTED]]: the outputs of one run, beside
# the files or in OUTDIR (laid out as EXPECTED, by default expected/flat),
# with the messages in LOG; then a clean slate for the next.
check() {
  local problems=() differences
  [ "$2" -ne 0 ] || problems+=("exit status 0")
  grep -qF "$bad: " "$3" || problems+=("$bad not named")
  if [ $# -ge 4 ]; then
    differences=$(diff -r -x '*.lc' "${5:-expected/flat}" "$4" 2>&1)
    [ -z "$(find data -type f ! -name '*.lc')" ] || problems+=("files left beside the inputs")
  else
    differences=$(diff -r -x '*.lc' expected/data data 2>&1)
  fi
  [ -z "$differences" ] || problems+=("$(echo "$differences" | head -n 3 | tr '\n' ';')")
  if [ ${#problems[@]} -eq 0 ]; then result "$1"; else result "$1" "${problems[*]}"; fi
  find data -type f ! -name '*.lc' -delete
  rm -rf out
}
# run_recipe WORD: the README's recipe that contains WORD, run by bash.
run_recipe() {
  local script
  if ! script=$(recipe "$1"); then
    result "README recipe with '$1'" "not one recipe with it in README.md"
    return
  fi
  bash -c "$script" > out.log 2> err.log
  check "README recipe with '$1'" $? err.log "${@:2}"
}

# A TCP port of 127.0.0.1 that nothing listens on.
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 40000))
    (exec 3<> "/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
}
# started WHAT PID LOG TEST: waits up to 30 s for TEST to succeed while PID
# lives; otherwise says in one line that WHAT did not start, with the last
# line of its LOG (where its standard error goes too).
started() {
  local i
  for i in $(seq 1 60); do
    eval "$4" >/dev/null 2>&1 && return 0
    kill -0 "$2" 2>/dev/null || break
    sleep 0.5
  done
  result "$1 started" "$1 did not start: $(tail -n 1 "$3" 2>/dev/null)"
  return 1
}

# -mirror keeps the survey's directories under out/.
run_recipe '-list - -outdir' out/data expected/data
run_recipe 'xargs -0'
run_recipe 'parallel --pipe -N 500 lcdump'

# The survey table: the header, then every good file's row as lcdump -in
# -stats (with -period where the recipe asks for it) gives it; the bad file
# named.
cp -r data survey
period=()
script=$(recipe 'lcdump -list - -stats') && [[ $script == *-period* ]] && period=(-period)
while IFS= read -r f; do
  [ "$f" = "$bad" ] || lcdump -in "survey/${f#data/}" -stats "${period[@]}" | tail -n +2
done < files.txt | sort > expected/rows.csv
if script=$(recipe 'lcdump -list - -stats'); then
  bash -c "$script" 2> err.log
  status=$? problems=()
  [ $status -ne 0 ] || problems+=("exit status 0")
  grep -qF "survey/${bad#data/}: " err.log || problems+=("$bad not named")
  [ "$(head -n 1 survey.csv)" = "$(lcdump -list /dev/null -stats "${period[@]}")" ] || problems+=("no header row")
  cmp -s <(tail -n +2 survey.csv | sort) expected/rows.csv || problems+=("rows differ")
  if [ ${#problems[@]} -eq 0 ]; then result "README recipe with -stats"; else result "README recipe with -stats" "${problems[*]}"; fi
else
  result "README recipe with -stats" "not one recipe with it in README.md"
fi

# GNU parallel over ssh, to an sshd of this run's own with its own keys;
# nothing touches ~/.ssh. The recipe's node1 and node2 both lead to it.
ssh_check() {
  local dir=$scratch/ssh port logins
  mkdir -p "$dir"
  if ! ssh-keygen -q -t ed25519 -N '' -f "$dir/host_key" ||
    ! ssh-keygen -q -t ed25519 -N '' -f "$dir/client_key"; then
    result "ssh keys" "ssh-keygen made none"
    return
  fi
  cp "$dir/client_key.pub" "$dir/authorized_keys"
  echo "lcdump-check $(cat "$dir/host_key.pub")" > "$dir/known_hosts"
  port=$(free_port)
  # StrictModes would refuse the keys under /tmp, which all may write to;
  # the hosts of the recipe have lcdump installed, this one in $bindir.
  cat > "$dir/sshd_config" <<EOF
ListenAddress 127.0.0.1
Port $port
HostKey $dir/host_key
PidFile $dir/sshd.pid
AuthorizedKeysFile $dir/authorized_keys
StrictModes no
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
SetEnv PATH=$bindir:/usr/local/bin:/usr/bin:/bin
EOF
  cat > "$dir/ssh_config" <<EOF
Host node1 node2
  HostName 127.0.0.1
  Port $port
  HostKeyAlias lcdump-check
  UserKnownHostsFile $dir/known_hosts
  GlobalKnownHostsFile /dev/null
  StrictHostKeyChecking yes
  IdentityFile $dir/client_key
  IdentitiesOnly yes
  IdentityAgent none
  BatchMode yes
EOF
  # sshd's privilege separation directory, which Debian's service makes at boot.
  mkdir -p /run/sshd
  /usr/sbin/sshd -D -f "$dir/sshd_config" -E "$dir/sshd.log" 2>> "$dir/sshd.log" &
  daemons+=($!)
  started sshd $! "$dir/sshd.log" "ssh -F '$dir/ssh_config' node1 true" || return
  logins=$(grep -c 'Accepted publickey' "$dir/sshd.log")
  PARALLEL_SSH="ssh -F $dir/ssh_config" run_recipe '-S node1,node2'
  [ "$(grep -c 'Accepted publickey' "$dir/sshd.log")" -gt "$logins" ] ||
    result "parallel -S over ssh" "sshd saw no login from the recipe"
}
ssh_check
stop

# One-node Slurm on a configuration of this run's own, authenticated by a
# munged of its own; examples/lcdump-array.sbatch as tasks 0-3.
slurm_check() {
  local dir=$scratch/slurm jobid status task line state want
  mkdir -p "$dir/state" "$dir/spool" "$dir/munge"
  dd if=/dev/urandom bs=1 count=1024 of="$dir/munge/munge.key" 2>/dev/null
  chmod 0400 "$dir/munge/munge.key"
  munged -F --socket="$dir/munge/socket" --key-file="$dir/munge/munge.key" \
    --log-file="$dir/munge/munged.log" --pid-file="$dir/munge/munged.pid" \
    --seed-file="$dir/munge/munged.seed" 2>> "$dir/munge/munged.log" &
  daemons+=($!)
  started munged $! "$dir/munge/munged.log" "[ -S '$dir/munge/socket' ]" || return
  # Job records stay an hour (MinJobAge), so that scontrol still shows each
  # task's state without an accounting database.
  cat > "$dir/slurm.conf" <<EOF
ClusterName=lcdump-check
SlurmctldHost=localhost
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$dir/munge/socket
MpiDefault=none
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SchedulerType=sched/builtin
ReturnToService=2
MinJobAge=3600
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
NodeName=localhost NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=check Nodes=localhost Default=YES MaxTime=INFINITE State=UP
EOF
  export SLURM_CONF=$dir/slurm.conf
  slurmctld -D -f "$SLURM_CONF" 2>> "$dir/slurmctld.log" &
  daemons+=($!)
  started slurmctld $! "$dir/slurmctld.log" "scontrol ping | grep -q UP" || return
  slurmd -D -f "$SLURM_CONF" -N localhost 2>> "$dir/slurmd.log" &
  daemons+=($!)
  started slurmd $! "$dir/slurmd.log" "sinfo -h -N -o %t | grep -qx idle" || return
  jobid=$(timeout 120 sbatch --parsable --wait --array=0-3 "$source/examples/lcdump-array.sbatch" files.txt)
  status=$?
  jobid=${jobid%%;*}
  # The bad file is on line L of the list, so task (L - 1) mod 4 has it.
  line=$(grep -nxF "$bad" files.txt | cut -d: -f1)
  for task in 0 1 2 3; do
    state=$(scontrol -o show job "${jobid}_$task" | grep -o 'JobState=[A-Z_]*')
    want=JobState=COMPLETED
    [ "$task" -ne $(((line - 1) % 4)) ] || want=JobState=FAILED
    if [ "$state" = "$want" ]; then result "array task $task $want"; else result "array task $task $want" "${state:-no record}"; fi
  done
  check "examples/lcdump-array.sbatch as array tasks 0-3" "$status" "lcdump-${jobid}_$(((line - 1) % 4)).log"
}
slurm_check
stop
echo "$passed passed, $failed failed in $SECONDS s"
[ "$failed" -eq 0 ]
