#!/bin/sh
# /init of the QEMU guest that run.sh boots. It runs serial-send on
# /dev/ttyS2 (COM3), driven by the kernel's own 8250 driver, and prints one
# line per check, "ok NAME" or "FAIL NAME: expected ..., saw ...", then
# "@done". The frame is read back from the guest's driver (stty -a), never
# from the host side of the line.
#
# uart=com3 on the kernel command line: a UART is behind ttyS2, its host
# side is a pipe. Each check first sends "<NAME>" on the line, so the host can
# tell which check sent which bytes; "@send xoff" and "@send xon" on the
# console ask the host to send that byte and then "!" into ttyS2.
# uart=none: ttyS2 is a node with no UART; ttyS3 is a UART whose line never
# has carrier.
/bin/busybox mount -t devtmpfs dev /dev
exec </dev/console >/dev/console 2>&1
/bin/busybox mount -t proc proc /proc
/bin/busybox --install -s /bin
PATH=/bin
port=/dev/ttyS2
# shellcheck source=tests/support/lib.sh
. /support/lib.sh
report_sent=$(report sent) report_cannot_open=$(report cannot_open)

# The descriptor on 3 keeps the port open from check to check, as a program
# watching the line would: the terminal's state (XOFF received, TIOCEXCL)
# then outlives each run, so what a run leaves behind shows in the next.
exec 3<>$port

ok() { echo "ok $1"; }
not_ok() { echo "FAIL $1: expected $2, saw $3"; }
show() { cat -A "$1" | tr -d '\n'; }

# expect NAME OUTPUT STATUS COMMAND...: checks what COMMAND prints (both
# streams, cat -A form) and its exit status.
expect() {
    name=$1 want=$2 want_status=$3
    shift 3
    "$@" >/tmp/out 2>&1 3>&-
    status=$?
    printf %b "$want" >/tmp/want
    if cmp -s /tmp/want /tmp/out && [ "$status" = "$want_status" ]; then
        ok "$name"
    else
        not_ok "$name" "status $want_status, output '$(show /tmp/want)'" \
            "status $status, output '$(show /tmp/out)'"
    fi
}

# The line as another program left it: 9600 7O2, cooked, receiver off, modem
# lines watched, hardware and XON/XOFF flow control with its own characters.
start() {
    stty -F $port 9600 cs7 parenb parodd cstopb -cread -clocal crtscts ixon \
        start ^A stop ^B opost icanon echo isig
}

# check_frame NAME: the line is at 115200 8N1 in raw mode with start()'s flow
# control kept.
frame_wants='speed 115200 baud;cs8;-parenb;-cstopb;-opost;-icanon;-echo;-isig;cread;clocal;crtscts;ixon;start = ^A;stop = ^B'
check_frame() {
    line=" $(stty -F $port -a 2>/dev/null | tr ';\n' '  ' | tr -s ' ') " lacks=""
    IFS=';'
    for w in $frame_wants; do
        case $line in *" $w "*) ;; *) lacks="${lacks}[$w] " ;; esac
    done
    unset IFS
    if [ -z "$lacks" ]; then ok "$1"; else not_ok "$1" "the line at $frame_wants" "it lacks $lacks"; fi
}

# Whether word $1 of stty -a is one of what serial-send sets: the speed, the
# frame, flow control, binary mode and its three characters (c_cflag, c_iflag,
# then c_oflag, c_lflag and c_cc). The owned bits of
# compat/linux/dcb_termios.cpp, named here rather than read off its masks, so
# that a mask which takes in one bit too many shows.
owned() {
    case ${1#-} in
    speed=* | ispeed=* | ospeed=* | cs[5-8] | parenb | parodd | cmspar | cstopb | crtscts | cread | clocal) ;;
    brkint | parmrk | istrip | inlcr | igncr | icrnl | iuclc | ixany | imaxbel | inpck | ixon | ixoff) ;;
    opost | icanon | echo | echoe | echok | echonl | isig | iexten | start=* | stop=* | eof=*) ;;
    *) return 1 ;;
    esac
}
# The other words of stty -a, one a line ("-hupcl", "intr=^C", "min=1").
not_owned() {
    stty -F $port -a 2>/dev/null | sed 's/ = /=/g; s/speed \([0-9]*\) baud/speed=\1/g' | tr -s ' ;' '\n' |
        while read -r w; do owned "$w" || echo "$w"; done
}
# check_not_owned NAME: those words as they were when not_owned wrote them
# to /tmp/before.
check_not_owned() {
    not_owned >/tmp/after
    if [ -s /tmp/before ] && cmp -s /tmp/before /tmp/after; then
        ok "$1"
    else
        now=$(grep -vxF -f /tmp/before /tmp/after | tr '\n' ' ')
        was=$(grep -vxF -f /tmp/after /tmp/before | tr '\n' ' ')
        not_ok "$1" "the words of stty -a that serial-send does not own as they were" "${now}in place of $was"
    fi
}

# Asks the host for XOFF or XON and waits for the "!" after it (10 s at most:
# min 0 time 100). No stty while XOFF holds the line: it would wait for it.
from_host() {
    echo "@send $1"
    got=$(dd bs=1 count=1 <&3 2>/dev/null)
    [ "$got" = "!" ] || not_ok "$2" "$1 then '!' from the host" "'$(printf %s "$got" | cat -A)'"
}

mark() { printf '<%s>' "$1" >&3; }

case $(cat /proc/cmdline) in
*uart=com3*)
    mark a
    start
    not_owned >/tmp/before
    expect a.run "$report_sent" 0 serial-send
    check_frame a.frame
    check_not_owned a.rest

    # Run as root, which exclusive mode does not keep out: serial-send must
    # refuse a port another program made exclusive by itself.
    mark b
    ttyhold excl <&3
    expect b.excl "$report_cannot_open" 255 serial-send
    ttyhold nxcl <&3

    # XOFF holds the byte in the UART: the run waits for it to go out, is
    # interrupted, and must have given the port back.
    mark e
    stty -F $port ixon start ^Q stop ^S -icanon -echo cread min 0 time 100
    from_host xoff e.xoff
    expect e.interrupted '' 130 timeout -s INT 2 serial-send
    from_host xon e.xon
    expect e.next "$report_sent" 0 serial-send

    # Started as a session leader with no controlling terminal (by an init
    # system, by setsid), a run that let the port become its controlling
    # terminal would have it hung up at its exit: every other descriptor on
    # it dead, as descriptor 3 here, and DTR dropped. Descriptor 3's "H"
    # after the run must go out. Last, as a hang-up ends descriptor 3.
    mark g
    expect g.setsid "$report_sent" 0 setsid serial-send
    if printf H >&3; then
        ok g.other
    else
        not_ok g.other "descriptor 3 to take its 'H' after the run" "the write failing"
        exec 3<>$port # a new one, for <end> and the last close
    fi
    mark end
    ;;
*uart=none*)
    err=$(stty -F $port 2>&1)
    case $err in
    *'Input/output error'*) ok "d.setup (ttyS2 has no UART: $err)" ;;
    *) not_ok d.setup "stty on a ttyS2 without a UART to fail with an I/O error" "'$err'" ;;
    esac
    expect d.run "$report_cannot_open" 255 serial-send

    # ttyS3 presented as COM3, its modem lines minded: the open must not wait
    # for a carrier that never comes.
    mount --bind /dev/ttyS3 $port
    stty -F $port -clocal -crtscts
    expect f.no-carrier "$report_sent" 0 timeout 5 serial-send
    ;;
*) not_ok setup "uart=com3 or uart=none on the kernel command line" "$(cat /proc/cmdline)" ;;
esac

exec 3>&- # the last close: waits until every byte is out
echo @done
poweroff -f
