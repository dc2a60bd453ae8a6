#!/usr/bin/env bash
# Usage: windows_parity.sh LINUX_LCDUMP WINDOWS_EXE
#        RUNNER="qemu-s390x -L /usr/s390x-linux-gnu" windows_parity.sh LINUX_LCDUMP OTHER_LCDUMP
# Dumps the same files with the Linux build and with the Windows build run
# under wine; every case must give the same stdout, stderr and exit status,
# byte for byte. Windows is where text-mode I/O turns "\n" into "\r\n" on
# output and stops input at 0x1A or folds "\r\n" into "\n", so the inputs hold
# those bytes on purpose.
# WINE (default /usr/lib/wine/wine64) and WINEPREFIX (default: wineprefix
# beside the .exe) may be set. With RUNNER set, the second build runs through
# that command instead of wine: the same cases then check a build for another
# processor (a big-endian one, say) under qemu-user against this machine's.
# With PLATFORM_CHECKS="LINUX_CHECK OTHER_CHECK", the platform layer's own
# checks run on both sides too (an existing name refused by the exclusive
# create, not truncated; renames that do not replace): both must pass, with
# the same lines.
set -u
if [ $# -ne 2 ]; then
  echo "usage: $0 LINUX_LCDUMP WINDOWS_EXE" >&2
  exit 2
fi
linux=$(realpath "$1")
exe=$(realpath "$2")
read -r linux_check other_check <<<"${PLATFORM_CHECKS:-}"
if [ -n "${linux_check:-}" ]; then
  linux_check=$(realpath "$linux_check") other_check=$(realpath "$other_check")
fi
sample=$(realpath "$(dirname "$0")/../examples/sample.lc")
wine=${WINE:-/usr/lib/wine/wine64}
read -ra runner <<<"${RUNNER:-$wine}"
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$(dirname "$exe")/wineprefix}

tmp=$(mktemp -d)
# The wineserver of this prefix would otherwise linger a few seconds.
trap '[ -n "${RUNNER:-}" ] || /usr/lib/wine/wineserver -k >/dev/null 2>&1; rm -rf "$tmp"' EXIT
# Relative names from here on, so that messages naming a file match.
cd "$tmp" || exit 2

cp "$sample" sample.lc
mkdir adir
python3 - <<'EOF' || exit 2
import struct

def record(jd_bits, obs, floats, nuse, pix_bits):
    # Bit patterns, not values: a sign on NaN or a subnormal must survive.
    return struct.pack('<Qi5IiI', jd_bits, obs, *floats, nuse, pix_bits)

def count(n):
    return struct.pack('<i', n)

def d(x):
    return struct.unpack('<Q', struct.pack('<d', x))[0]

def f(x):
    return struct.unpack('<I', struct.pack('<f', x))[0]

plain = record(d(2455000.5), 7, [f(1.25), f(0.5), f(100.0), f(0.25), f(1.0)], 3, f(12.5))
specials = [
    record(0, 0, [0x80000000, 0x7FC00000, 0xFFC00000, 0x7F800000, 0xFF800000], 0, 0x00000001),
    record(0x8000000000000000, -2**31, [0x007FFFFF, 0x807FFFFF, 0x7F7FFFFF, 0xFF7FFFFF, 0x80000001], 2**31 - 1, 0x00000000),
    record(0x7FF8000000000000, 0, [0] * 5, 0, 0),
    record(0xFFF8000000000000, 0, [0] * 5, 0, 0),
    record(0x7FF0000000000000, 0, [0] * 5, 0, 0),
    record(0xFFF0000000000000, 0, [0] * 5, 0, 0),
    record(0x0000000000000001, 0, [0] * 5, 0, 0),
    record(0x800FFFFFFFFFFFFF, 0, [0] * 5, 0, 0),
    record(0x7FEFFFFFFFFFFFFF, 0, [0] * 5, 0, 0),
]
# 0x1A ends text-mode input on Windows and "\r\n" reads back as "\n": in the
# middle of ints, floats and a double.
ctrl = [
    record(d(2455000.5), 0x000A0D1A, [0x3F0A0D1A, f(0.5), f(1.0), f(2.0), f(3.0)], 1, f(1.0)),
    record(0x41000A0D1A0D0A1A, 5, [f(1.0)] * 5, 0x1A0D0A00, 0x1A0A0D3F),
]
# Enough records for the period search to take its gridded sums.
wide = b''.join(record(d(2455000.5 + 0.013 * i + 0.4 * (i % 7)), i,
                       [f(1000 + 50 * ((i * 7919) % 113) / 113.0), f(5 + (i % 5)), f(100.0), f(0.25), f(1.0)], 3, f(12.5))
                for i in range(3000))
files = {
    'wide.lc': count(3000) + wide,
    'zero.lc': count(0),
    'truncated.lc': count(3) + plain + plain[:17],
    'negative.lc': count(-5) + plain,
    'short.lc': b'\x02\x00',
    'special.lc': count(len(specials)) + b''.join(specials),
    'ctrl.lc': count(len(ctrl)) + b''.join(ctrl),
    'star.csv': b'JD,obsID,flux1\n2455000.5,7,1.25\n',
    'star.lc.gz': b'\x1f\x8b\x08\x00' + bytes(60),
    'names.txt': b'sample.lc\r\ntruncated.lc\r\n\r\nzero.lc\r\n',
    'stats.txt': b'sample.lc\nspecial.lc\nzero.lc\ntruncated.lc\nctrl.lc\n',
    'periods.txt': b'sample.lc\nwide.lc\nspecial.lc\nzero.lc\n',
    'mirror.txt': b'./sample.lc\r\nadir/../zero.lc\r\n',
}
for name, data in files.items():
    with open(name, 'wb') as out:
        out.write(data)
EOF

# name | arguments | file piped to standard input (empty: none) | directory
# of a -list run's outputs, made afresh with an earlier sample.txt in it,
# whose files count as standard output too
cases=(
  "sample|-in sample.lc|"
  "sample, -exact|-in sample.lc -exact|"
  "zero count|-in zero.lc|"
  "truncated|-in truncated.lc|"
  "negative count|-in negative.lc|"
  "2-byte file|-in short.lc|"
  "special values|-in special.lc|"
  "special values, -csv -exact|-in special.lc -csv -exact|"
  "the help|--help|"
  "0x1A 0x0D 0x0A|-in ctrl.lc|"
  "missing file|-in nosuch.lc|"
  "directory|-in adir|"
  "sample on stdin|-in -|sample.lc"
  "0x1A 0x0D 0x0A on stdin|-in -|ctrl.lc"
  "-fits sample|-in sample.lc -fits|"
  "-fits zero count|-in zero.lc -fits|"
  "-fits special values|-in special.lc -fits|"
  "-fits 0x1A 0x0D 0x0A on stdin|-in - -fits|ctrl.lc"
  "-fits truncated|-in truncated.lc -fits|"
  "-fits with -csv|-in sample.lc -fits -csv|"
  "CSV named as input|-in star.csv|"
  "gzip named as input|-in star.lc.gz|"
  "truncated on stdin|-in -|truncated.lc"
  "CSV on stdin|-in -|star.csv"
  "a switch misspelt|-in sample.lc -fit|"
  "a bare name after a switch|--csv sample.lc|"
  "-list, a file failing, an output not replaced|-list names.txt -outdir outd||outd"
  "-list -force, an output replaced|-list names.txt -outdir outd -force||outd"
  "-list -mirror, a name with ..|-list mirror.txt -outdir outd -mirror -force||outd"
  "-list -fits|-list names.txt -fits -outdir outd||outd"
  "-list - -exact|-list - -exact -outdir outd|names.txt|outd"
  "-list -stats|-list stats.txt -stats|"
  "-list -stats -period|-list periods.txt -stats -period|"
  "-list -stats -period -fits|-list periods.txt -stats -period -fits|"
  "-periodogram sample|-in sample.lc -periodogram|"
  "-periodogram 3,000 records|-in wide.lc -periodogram|"
  "-svg sample|-in sample.lc -svg|"
  "-svg 3,000 records|-in wide.lc -svg|"
  "-svg -fold sample|-in sample.lc -svg -fold 0.5667|"
  "-list -report, a file failing|-list names.txt -report outd||outd"
)

# run OUT_PREFIX COMMAND... : one case, stdin taken from $feed.
run() {
  local out=$1
  shift
  if [ -n "$feed" ]; then
    cat "$feed" | "$@" >"$out.out" 2>"$out.err"
  else
    "$@" </dev/null >"$out.out" 2>"$out.err"
  fi
  echo $? >"$out.status"
}

# run_case OUT_PREFIX COMMAND... : run, with the outputs of a -list run
# ($outdir) named and shown after its standard output.
run_case() {
  if [ -n "$outdir" ]; then
    rm -rf "$outdir" && mkdir "$outdir" && echo "an earlier output" >"$outdir/sample.txt"
  fi
  run "$@"
  if [ -n "$outdir" ]; then
    for f in "$outdir"/.* "$outdir"/*; do
      [ -f "$f" ] && { echo "== $f"; cat "$f"; } >>"$1.out"
    done
  fi
}

# The first start builds the prefix and talks about it; keep that out of the cases.
if [ -n "${RUNNER:-}" ]; then
  echo "$exe through $RUNNER"
else
  start=${EPOCHREALTIME//[.,]/}
  "$wine" cmd /c exit >/dev/null 2>&1 || { echo "wine does not start: $wine" >&2; exit 2; }
  # One server for every case, rather than one started and stopped for
  # each; the trap above stops it.
  /usr/lib/wine/wineserver -p >/dev/null 2>&1 || true
  ms=$(((${EPOCHREALTIME//[.,]/} - start) / 1000))
  printf 'wine ready in %d.%03ds\n' $((ms / 1000)) $((ms % 1000))
fi

passed=0 failed=0
if [ -n "${linux_check:-}" ]; then
  mkdir checks && (cd checks && "$linux_check" >../linux.checks && "${runner[@]}" "$other_check" >../other.checks)
  if [ $? -eq 0 ] && cmp -s linux.checks other.checks; then
    echo "PASS the platform layer's checks ($(tail -n 1 other.checks))"
    passed=$((passed + 1))
  else
    echo "FAIL the platform layer's checks"
    diff linux.checks other.checks | sed 's/^/    /'
    failed=$((failed + 1))
  fi
fi
for c in "${cases[@]}"; do
  IFS='|' read -r name args feed outdir <<<"$c"
  read -ra argv <<<"$args"
  run_case linux "$linux" "${argv[@]}"
  run_case win "${runner[@]}" "$exe" "${argv[@]}"
  # wine's own client once lost its server mid-run on a loaded machine
  # ("wine client error: …: Connection reset by peer"): that is wine
  # failing, not lcdump, so such a case runs once more.
  if [ -z "${RUNNER:-}" ] && grep -q '^wine client error' win.err; then
    echo "wine lost its server in $name: once more"
    run_case win "${runner[@]}" "$exe" "${argv[@]}"
  fi
  bad=()
  for part in out err status; do
    cmp -s "linux.$part" "win.$part" || bad+=("$part")
  done
  if [ ${#bad[@]} -eq 0 ]; then
    echo "PASS $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name (differs: ${bad[*]})"
    for part in "${bad[@]}"; do
      # Where the first difference is, in cat -A's notation (\r shows as ^M).
      found=$(cmp "linux.$part" "win.$part" 2>&1)
      read -r byte line < <(sed -n 's/.*byte \([0-9]*\), line \([0-9]*\).*/\1 \2/p' <<<"$found")
      line=${line:-1} byte=${byte:-1}
      # One side ended: the difference is the line after its last.
      case $found in *EOF*after*) line=$((line + 1)) byte=$((byte + 1)) ;; esac
      from=$((byte - $(head -n $((line - 1)) linux.$part | wc -c) - 40))
      [ "$from" -ge 1 ] || from=1
      for side in linux win; do
        text=$(sed -n "${line}p" "$side.$part" | cut -b "$from-$((from + 79))" | cat -A)
        printf '    %-5s %s:%s: %s\n' "$side" "$part" "$line" "${text:-(no such line)}"
      done
    done
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
