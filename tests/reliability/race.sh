#!/bin/sh
# One round of the race (race_test.cpp), run inside vcom: COPIES copies of
# PROGRAM started at the same instant against its port, in the current
# directory. Each must either send or be refused, exactly as serial-send
# reports either; prints "sent=K refused=M".
#   race.sh PROGRAM COPIES
set -eu
# shellcheck source=tests/support/lib.sh
. "$(dirname "$0")/../support/lib.sh"

program=$1 copies=$2
sent=$(report sent) refused=$(report cannot_open)
# Every copy waits in its open of a FIFO, which returns for all of them once
# it is opened for writing.
rm -f gate
mkfifo gate
i=0 pids=""
while [ "$i" -lt "$copies" ]; do
    i=$((i + 1))
    sh -c 'exec <"$1" "$0"' "$program" gate >"$i.out" 2>"$i.err" &
    pids="$pids $!"
done
exec 3>gate # every copy goes now
i=0 sends=0 refusals=0
for pid in $pids; do
    i=$((i + 1)) status=0
    wait "$pid" || status=$?
    quiet=$([ -s "$i.err" ] || echo yes)
    if [ "$quiet" ] && [ "$status" = 0 ] && printf %b "$sent" | cmp -s - "$i.out"; then
        sends=$((sends + 1))
    elif [ "$quiet" ] && [ "$status" = 255 ] && printf %b "$refused" | cmp -s - "$i.out"; then
        refusals=$((refusals + 1))
    else
        fail "neither sent nor refused: status $status, stdout '$(cat "$i.out")'," \
            "stderr '$(cat "$i.err")'"
    fi
done
echo "sent=$sends refused=$refusals"
