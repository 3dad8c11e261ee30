#!/bin/sh
# Many copies of serial-send started at the same instant against one port:
# each either sends (status 0) or is refused (status 255), the device gets
# exactly one R per send and nothing else, and the port is free afterwards.
# Rounds go on until the race has been lost by someone in several of them,
# so the test proves it exercised the lock, not a queue of lone runs.
#   race.sh VCOM PROGRAM DIR
# One round, run by the above inside vcom (prints "sent=K refused=M"):
#   race.sh round PROGRAM DIR COPIES
set -eu
# shellcheck source=tests/reliability/lib.sh
. "$(dirname "$0")/lib.sh"

if [ "$1" = round ]; then
    program=$2 dir=$3 copies=$4
    # Every copy waits in its open of a FIFO, which returns for all of them
    # once it is opened for writing.
    rm -f "$dir/gate"
    mkfifo "$dir/gate"
    i=0 pids=""
    while [ "$i" -lt "$copies" ]; do
        i=$((i + 1))
        sh -c 'exec <"$1" "$0"' "$program" "$dir/gate" >"$dir/$i.out" 2>"$dir/$i.err" &
        pids="$pids $!"
    done
    exec 3>"$dir/gate" # every copy goes now
    i=0 sends=0 refusals=0
    for pid in $pids; do
        i=$((i + 1)) status=0
        wait "$pid" || status=$?
        quiet=$([ -s "$dir/$i.err" ] || echo yes)
        if [ "$quiet" ] && [ "$status" = 0 ] && printf %b "$report_sent" | cmp -s - "$dir/$i.out"; then
            sends=$((sends + 1))
        elif [ "$quiet" ] && [ "$status" = 255 ] &&
            printf %b "$report_cannot_open" | cmp -s - "$dir/$i.out"; then
            refusals=$((refusals + 1))
        else
            fail "neither sent nor refused: status $status, stdout '$(cat "$dir/$i.out")'," \
                "stderr '$(cat "$dir/$i.err")'"
        fi
    done
    echo "sent=$sends refused=$refusals"
    exit 0
fi

vcom=$1 program=$2 dir=$3
need_port "$vcom"

copies=40 min_rounds=5 max_rounds=25 want_contended=3
mkdir -p "$dir"
round=0 contended=0 sent_total=0 refused_total=0
while [ "$round" -lt "$max_rounds" ] &&
    { [ "$round" -lt "$min_rounds" ] || [ "$contended" -lt "$want_contended" ]; }; do
    round=$((round + 1))
    rm -f "$dir/report"
    status=0
    "$vcom" --report "$dir/report" -- sh "$0" round "$program" "$dir" "$copies" >"$dir/out" ||
        status=$?
    [ "$status" = 0 ] || fail "round $round: status $status: $(cat "$dir/out")"
    sent=$(sed -n 's/^sent=\([0-9]*\) refused=.*/\1/p' "$dir/out")
    refused=$(sed -n 's/^sent=[0-9]* refused=\([0-9]*\)$/\1/p' "$dir/out")
    [ -n "$sent" ] && [ -n "$refused" ] || fail "round $round: no tally: $(cat "$dir/out")"
    [ $((sent + refused)) = "$copies" ] || fail "round $round: $sent + $refused runs of $copies"
    [ "$sent" -ge 1 ] || fail "round $round: every copy was refused, the port was never free"
    [ "$(value count "$dir/report")" = "$sent" ] ||
        fail "round $round: $sent sends, the port received $(value count "$dir/report") bytes"
    [ "$(value received "$dir/report")" = "$(r_bytes "$sent")" ] ||
        fail "round $round: received $(value received "$dir/report")"
    for setting in $set_line; do
        case " $(value after "$dir/report") " in
        *" $setting "*) ;;
        *) fail "round $round: line left without $setting: $(value after "$dir/report")" ;;
        esac
    done
    [ "$(value reopen "$dir/report")" = ok ] || fail "round $round: port still taken afterwards"
    sent_total=$((sent_total + sent))
    refused_total=$((refused_total + refused))
    [ "$refused" -gt 0 ] && contended=$((contended + 1))
done
[ "$contended" -ge "$want_contended" ] ||
    fail "a copy was refused in only $contended of $round rounds: either the port is" \
        "not taken exclusively or the copies never overlapped"
figure "$round rounds of $copies simultaneous runs ($((round * copies)) runs):" \
    "$sent_total sent, $refused_total refused, $contended rounds contended, $(elapsed) s"
