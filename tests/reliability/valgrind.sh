#!/bin/sh
# One end-to-end send under valgrind memcheck, every error and every leak
# fatal.
#   valgrind.sh VCOM PROGRAM DIR
set -eu
vcom=$1 program=$2 dir=$3
# shellcheck source=tests/reliability/lib.sh
. "$(dirname "$0")/lib.sh"
need_port "$vcom"
need valgrind

mkdir -p "$dir"
rm -f "$dir/report" "$dir/valgrind.log"
status=0
"$vcom" --report "$dir/report" -- valgrind -q --error-exitcode=99 --leak-check=full \
    --show-leak-kinds=all --errors-for-leak-kinds=all --track-origins=yes --vgdb=no \
    --log-file="$dir/valgrind.log" "$program" >"$dir/out" || status=$?
[ "$status" = 0 ] || fail "status $status; valgrind says: $(cat "$dir/valgrind.log")"
[ "$(cat "$dir/out")" = "$(printf %b "$report_sent")" ] ||
    fail "printed: $(cat "$dir/out")"
[ "$(value received "$dir/report")" = 52 ] || fail "received $(value received "$dir/report")"
[ "$(value reopen "$dir/report")" = ok ] || fail "port still taken afterwards"
figure "memcheck clean (no error, no leak) on $program, $(elapsed) s"
