#!/bin/sh
# Hostile argument vectors change nothing: a few hundred seeded random
# vectors (empty, 100 KiB, not UTF-8, option-like, format strings), each run
# must print the normal report, exit 0 and put exactly one R on the line.
#   args.sh VCOM STRESS PROGRAM DIR
set -eu
vcom=$1 stress=$2 program=$3 dir=$4
. "$(dirname "$0")/lib.sh"
need_port "$vcom"

mkdir -p "$dir"
total=0 tally=""
for seed in 1 2 3; do
    count=100
    rm -f "$dir/report"
    status=0
    "$vcom" --report "$dir/report" -- "$stress" args "$seed" "$count" "$program" >"$dir/out" ||
        status=$?
    [ "$status" = 0 ] || fail "seed $seed: status $status: $(cat "$dir/out")"
    [ "$(value count "$dir/report")" = "$count" ] ||
        fail "seed $seed: $count runs, the port received $(value count "$dir/report") bytes"
    [ "$(value received "$dir/report")" = "$(r_bytes "$count")" ] ||
        fail "seed $seed: received $(value received "$dir/report")"
    [ "$(value reopen "$dir/report")" = ok ] || fail "seed $seed: port still taken afterwards"
    total=$((total + count))
    tally="$tally; seed $seed: $(cat "$dir/out")"
done
figure "$total argument vectors tried, all alike$tally; $(elapsed) s"
