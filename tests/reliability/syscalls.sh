#!/bin/sh
# serial-send reads no configuration, environment or file and opens nothing
# but the port. Proven on every system call of whole runs of the statically
# linked program under strace (classes %file and %desc, in one trace):
#   - the calls that name a path are exactly: the
#     program's own execve, one open of /dev/ttyS2, fstat of stdout (an empty
#     path on descriptor 1) and the C library's start-up readlink of
#     /proc/self/exe (a static glibc notes where it lives; nothing is read);
#   - the calls on descriptors touch only the port and stdout,
#     and none of them reads: only openat, flock, ioctl, fcntl, write,
#     newfstatat and close appear;
#   - an empty environment and one full of variables a program might consult
#     (locale, time zone, home, loader, port names) give the same calls and
#     the same output, so nothing in the environment is acted on.
# The same checks must reject the dynamically linked build, which opens the
# loader cache and the C library: proof that they can fail.
#   syscalls.sh VCOM PROGRAM DYNAMIC DIR
set -eu
vcom=$1 program=$2 dynamic=$3 dir=$4
# shellcheck source=tests/reliability/lib.sh
. "$(dirname "$0")/lib.sh"
need_port "$vcom"
need strace

hostile="LANG=de_DE.UTF-8 LC_ALL=ja_JP.EUC-JP LANGUAGE=fr:de LOCPATH=/nonexistent
NLSPATH=/nonexistent/%N TZ=Europe/Berlin TZDIR=/nonexistent HOME=/nonexistent
TMPDIR=/nonexistent PATH=/nonexistent TERM=vt100 COLUMNS=1 POSIXLY_CORRECT=1
LD_PRELOAD=/nonexistent/preload.so LD_LIBRARY_PATH=/nonexistent GCONV_PATH=/nonexistent
HOSTALIASES=/etc/passwd XDG_CONFIG_HOME=/nonexistent COM3=/dev/null SERIAL_PORT=COM1
SERIAL_SEND_PORT=/dev/ttyS0 SERIAL_SEND_CONFIG=/etc/passwd BAUD=9600 WINEPREFIX=/nonexistent"

# trace NAME PROGRAM [VAR=VALUE...]: one run under strace, with only the
# variables given; the trace goes to $dir/NAME.trace, stdout to $dir/NAME.out.
trace() {
    t_name=$1 t_prog=$2
    shift 2
    options=""
    for v in "$@"; do
        options="$options -E $v"
    done
    set -f
    set -- $options
    set +f
    rm -f "$dir/$t_name.trace" "$dir/$t_name.report"
    status=0
    "$vcom" --report "$dir/$t_name.report" -- env -i strace -f -qq -o "$dir/$t_name.trace" \
        -e trace=%file,%desc "$@" "$t_prog" >"$dir/$t_name.out" || status=$?
    [ "$status" = 0 ] || fail "$t_name: status $status"
}

# check TRACE PROGRAM: prints every call that names a path other than the
# allowed ones, reads, or works on a descriptor other than the port's or
# stdout's; fails when there is any.
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

# normal TRACE: the trace without what changes from run to run (process
# ids, addresses, the count of environment variables, sizes).
normal() {
    sed -e 's/^[0-9]* *//' -e 's/0x[0-9a-f]*/0x/g' -e 's,/\* [0-9]* vars \*/,/* vars */,' \
        -e 's/st_size=[0-9]*/st_size=/' "$1"
}

mkdir -p "$dir"
trace empty "$program"
trace hostile "$program" $hostile
calls=0
for run in empty hostile; do
    [ "$(cat "$dir/$run.out")" = "$(printf %b "$report_sent")" ] ||
        fail "$run: printed $(cat "$dir/$run.out")"
    [ "$(value received "$dir/$run.report")" = 52 ] ||
        fail "$run: received $(value received "$dir/$run.report")"
    check "$dir/$run.trace" "$program" >"$dir/$run.findings" ||
        fail "$run: more than the port and stdout:$(printf '\n')$(cat "$dir/$run.findings")"
    calls=$((calls + $(wc -l <"$dir/$run.trace")))
done
normal "$dir/empty.trace" >"$dir/empty.normal"
normal "$dir/hostile.trace" >"$dir/hostile.normal"
cmp -s "$dir/empty.normal" "$dir/hostile.normal" ||
    fail "the environment changed the calls:$(printf '\n')$(diff "$dir/empty.normal" "$dir/hostile.normal")"

# The control: the dynamically linked build, which opens the loader cache
# and reads the C library, must be caught.
trace control "$dynamic"
if check "$dir/control.trace" "$dynamic" >"$dir/control.findings"; then
    fail "the check let the dynamically linked build through"
fi
grep -q '"/etc/ld.so.cache"' "$dir/control.findings" ||
    fail "the check missed the loader cache: $(cat "$dir/control.findings")"
grep -q '^  read(' "$dir/control.findings" ||
    fail "the check missed the loader's reads: $(cat "$dir/control.findings")"

figure "$calls system calls traced in 2 runs (2 environments), only /dev/ttyS2 opened," \
    "nothing read, same calls in both environments; control caught with" \
    "$(wc -l <"$dir/control.findings") findings; $(elapsed) s"
