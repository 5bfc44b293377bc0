#!/usr/bin/env bash
# tarvik-dump beside candump on a flooded vcan0: frames each one missed and CPU time per frame,
# in the same run. Needs CAN sockets, so it runs in the VM:
#   scripts/vmtest.sh -- bench/socketcan/flood.sh [BUILD_DIR] [FRAMES]
set -uo pipefail
build=${1:-build}
frames=${2:-1000000}
dump=$build/tools/tarvik-dump/tarvik-dump
[ -x "$dump" ] || { echo "flood: no $dump" >&2; exit 1; }
work=$(mktemp -d)
candump -d -L vcan0 > "$work/candump.log" 2> "$work/candump.err" &
cpid=$!
"$dump" --protocol socketcan --port vcan0 --format candump > "$work/dump.log" 2> "$work/dump.err" &
dpid=$!
sleep 3  # both listening
cangen vcan0 -g 0 -n "$frames" -I i -L 8 -D i
sleep 2
# CPU seconds so far (user + system), read before the stop: the flood is over by now.
tick=$(getconf CLK_TCK)
cpu() { awk -v t="$tick" '{ printf "%.2f", ($14 + $15) / t }' "/proc/$1/stat"; }
cc=$(cpu $cpid)
dc=$(cpu $dpid)
kill -INT $cpid $dpid
wait $cpid $dpid

c=$(wc -l < "$work/candump.log")
d=$(wc -l < "$work/dump.log")
echo "frames sent:        $frames"
echo "candump received:   $c (missed $((frames - c)))"
echo "tarvik-dump wrote:  $d (missed $((frames - d)))"
echo "CPU s candump:      $cc"
echo "CPU s tarvik-dump:  $dc"
awk -v a="$dc" -v b="$cc" 'BEGIN { if (b > 0) printf "CPU ratio tarvik-dump/candump: %.2f\n", a / b }'
tail -1 "$work/dump.err"
grep -i drop "$work/candump.err" | tail -1
rm -rf "$work"
[ $((frames - d)) -le $((frames - c)) ]
