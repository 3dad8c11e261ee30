#!/bin/sh
# serial-send reads no configuration or file and opens nothing but the port,
# shown on every call of a whole run of the static program under strace
# (classes %file and %desc): the only calls that name a path are its own
# execve, one open of /dev/ttyS2, fstat of stdout and the C library's
# start-up readlink of /proc/self/exe; those on descriptors touch only the
# port and stdout, and none reads. Standard output is a file, which the C
# library buffers whole: the report is written at exit, after the port's
# close, as the manual says. The dynamically linked build, which opens the
# loader cache and reads the C library, must fail the same check.
#   syscalls.sh VCOM PROGRAM DYNAMIC DIR
set -eu
vcom=$1 program=$2 dynamic=$3 dir=$4
# shellcheck source=tests/support/lib.sh
. "$(dirname "$0")/../support/lib.sh"
need strace

# trace NAME PROGRAM: one run under strace, with an empty environment, into
# $dir/NAME.trace; its stdout in $dir/NAME.out.
trace() {
    status=0
    "$vcom" -- env -i strace -f -qq -o "$dir/$1.trace" -e trace=%file,%desc "$2" \
        >"$dir/$1.out" 2>"$dir/$1.err" || status=$?
    [ "$status" != 77 ] || cannot_run "$(cat "$dir/$1.err")"
    [ "$status" = 0 ] || fail "$1: status $status: $(cat "$dir/$1.err")"
}

# check TRACE PROGRAM: prints every call but the allowed ones; fails when
# there is any.
check() {
    awk -v prog="$2" '
    { sub(/^[0-9]+ +/, "") }
    /^(\+\+\+|---) / { next }
    {
        call = $0; sub(/\(.*/, "", call)
        fd = $0; sub(/^[a-z0-9_]+\(/, "", fd); sub(/[,)].*/, "", fd)
        if (call == "execve" && !exec && index($0, "execve(\"" prog "\", ") == 1) { exec = 1; next }
        if (call == "openat" && port == "" && index($0, "openat(AT_FDCWD, \"/dev/ttyS2\", ") == 1 &&
            match($0, /= [0-9]+$/)) { port = substr($0, RSTART + 2); next }
        if (call == "readlink" && index($0, "readlink(\"/proc/self/exe\", ") == 1) next
        if (call == "newfstatat" && $0 ~ /^newfstatat\(1, "", .*, AT_EMPTY_PATH\) = 0$/) next
        if (call == "close" && port != "" && fd == port) closed = 1
        if (call == "write" && fd == "1" && !closed) { print "  before the port was closed: " $0; bad = 1 }
        if (call ~ /^(flock|ioctl|fcntl|write|close)$/ && port != "" && fd == port) next
        if (call ~ /^(ioctl|write)$/ && fd == "1") next
        print "  " $0; bad = 1
    }
    END {
        if (!exec) { print "  no execve of " prog; bad = 1 }
        if (port == "") { print "  no open of /dev/ttyS2"; bad = 1 }
        exit bad
    }' "$1"
}

mkdir -p "$dir"
trace run "$program"
[ "$(cat "$dir/run.out")" = "$(printf %b "$(report sent)")" ] || fail "printed $(cat "$dir/run.out")"
check "$dir/run.trace" "$program" >"$dir/run.findings" ||
    fail "more than the port and stdout:$(printf '\n')$(cat "$dir/run.findings")"

trace control "$dynamic"
if check "$dir/control.trace" "$dynamic" >"$dir/control.findings"; then
    fail "the check let the dynamically linked build through"
fi
grep -q '"/etc/ld.so.cache"' "$dir/control.findings" ||
    fail "the check missed the loader cache: $(cat "$dir/control.findings")"
grep -q '^  read(' "$dir/control.findings" ||
    fail "the check missed the loader's reads: $(cat "$dir/control.findings")"

echo "syscalls: $(wc -l <"$dir/run.trace") system calls traced, only /dev/ttyS2 opened," \
    "nothing read; control caught with $(wc -l <"$dir/control.findings") findings"
