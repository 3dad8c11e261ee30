#!/bin/sh
# The reactos suite: serial-send.exe on a Windows kernel, ReactOS (an
# independent NT 5.2 kernel, kernel32, msvcrt and serial driver), with its
# serial driver on QEMU's 16550 UART. One boot runs every case. Each exe has
# an image of its own, named by ARCH:
#   i386   the 32-bit exe, on QEMU's Pentium (P5), the oldest CPU Windows XP
#          runs on
#   amd64  the 64-bit exe, on QEMU's qemu64, ReactOS for x86-64, which runs
#          64-bit programs only
#   usage: run.sh ARCH EXE HELPERS IMAGE WORK
# EXE is the release tree's serial-send.exe for ARCH, HELPERS the directory
# of the guest's helpers built for ARCH (guest/), IMAGE an installed ReactOS
# for ARCH (its README says how it was made), WORK where everything of the
# run goes. Every line of the result names the exe and the image.
#
# The guest boots from a throwaway overlay of IMAGE and runs autorun.cmd from
# a test disk made here (D:, FAT16). ReactOS gives serial devices to the first
# two UARTs only: COM1 carries the results back, COM2 (\Device\Serial1) is
# the port under test, named COM3 by the namecom3 helper after the first case.
# Both go to files here. The frame the driver set is read from QEMU's trace
# event serial_update_parameters: the speed, data bits, parity and stop bits
# of the UART's registers, as QEMU hands them to a host tty behind the port
# (a pseudo-terminal would keep only the speed and stop bits). It names no
# port, but only COM2 is set once the cases start, and the "<" of each case's
# mark (serial_write of 0x3c to the data register) tells the cases apart. The
# guest cannot power off (its README: the system stops at a shutdown), so
# QEMU (under timeout, should the guest hang) is ended from here once the
# guest has said @done.
set -eu
arch=$1 exe=$2 helpers=$3 image=$4 work=$5
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/support/lib.sh
. "$here/../support/lib.sh"

# What differs between the images: the words for them, and QEMU's machine
# (and, below, whether the programs must be Pentium code).
case $arch in
i386) on="the 32-bit exe on ReactOS i386" qemu_system=qemu-system-i386 memory=256M cpu=pentium ;;
amd64) on="the 64-bit exe on ReactOS amd64" qemu_system=qemu-system-x86_64 memory=512M cpu=qemu64 ;;
*) fail "no image for ARCH \"$arch\" (i386 or amd64)" ;;
esac
name="reactos ($on)"
variable=SERIAL_SEND_REACTOS_$(echo "$arch" | tr '[:lower:]' '[:upper:]')_IMAGE

# Every program the guest runs.
set -- "$exe" "$helpers/hold.exe" "$helpers/line.exe" "$helpers/namecom3.exe" \
    "$helpers/noprompt.exe"
for program; do
    [ -f "$program" ] || fail "$program is missing: the release build makes it with MinGW-w64," \
        "which scripts/lib/packages.sh installs"
done
# Where no image can be had, one switch turns the suite off.
off="or turn the reactos suite off with -DSERIAL_SEND_REACTOS=OFF"
off="$off (scripts/test: SERIAL_SEND_REACTOS=OFF in its environment)"
[ -n "$image" ] || cannot_run "no ReactOS $arch image: configure with -D$variable=PATH (scripts/test" \
    "does, from ../shared/reactos/reactos-$arch.qcow2 beside the clone, when it is there; docs/testing.md" \
    "says what it is), $off"
[ -r "$image" ] || cannot_run "the ReactOS image $image ($variable) is not there; point $variable at" \
    "one, $off"
PATH=$PATH:/usr/sbin:/sbin
for tool in "$qemu_system" qemu-img sfdisk mkfs.fat mcopy; do
    need "$tool"
done
# The 32-bit guest's CPU is a Pentium: a program with an instruction it
# lacks, in its start-up code too, would die there with 0xC000001D. Said
# here, before a boot, naming the program and the instruction.
if [ "$arch" = i386 ]; then
    need i686-w64-mingw32-objdump
    lacks=$(sh "$here/../support/pentium.sh" "$@" 2>&1) ||
        fail "the guest's CPU, a Pentium, would stop these programs with 0xC000001D," \
            "an illegal instruction (cmake/pentium.cmake builds them for it):" "$lacks"
fi
image=$(cd "$(dirname "$image")" && pwd)/${image##*/}

rm -rf "$work"
mkdir -p "$work"
# The test disk: one FAT16 partition from 1 MiB (ReactOS mounts no disk
# without a partition table).
truncate -s 16M "$work/test.img"
echo 'start=2048, type=6' | sfdisk -q "$work/test.img"
mkfs.fat -F 16 --offset 2048 "$work/test.img" 15360 >/dev/null
sed 's/$/\r/' "$here/autorun.cmd" >"$work/autorun.cmd"
mcopy -i "$work/test.img@@1M" "$@" "$work/autorun.cmd" ::/

# boot: one boot of the guest, on a fresh overlay, until it has said @done
# on COM1, QEMU has ended, the i386 kernel has stopped (it reports an
# exception on COM2 and then waits for a debugger that never comes), or it
# has run 300 s.
boot() {
    rm -f "$work/com1" "$work/com2" "$work/trace"
    qemu-img create -q -f qcow2 -b "$image" -F qcow2 "$work/run.qcow2"
    timeout 300 "$qemu_system" -machine pc -accel tcg -m "$memory" \
        -cpu "$cpu" -display none -monitor none -nic none -no-reboot -boot c \
        -drive "file=$work/run.qcow2,format=qcow2,if=ide,index=0" \
        -drive "file=$work/test.img,format=raw,if=ide,index=1" \
        -serial "file:$work/com1" -serial "file:$work/com2" \
        -trace serial_update_parameters -trace serial_write -D "$work/trace" \
        >"$work/qemu.log" 2>&1 &
    qemu=$!
    t0=$(date +%s)
    until grep -q '^@done' "$work/com1" 2>/dev/null; do
        kill -0 $qemu 2>/dev/null || break
        if grep -aq KdSendPacket "$work/com2" 2>/dev/null; then break; fi
        sleep 1
    done
    kill $qemu 2>/dev/null || :
    wait $qemu || :
    rm -f "$work/run.qcow2"
    echo "$name: the guest ran for $(($(date +%s) - t0)) s"
}
qemu=""
trap '[ -z "$qemu" ] || kill $qemu 2>/dev/null || :' EXIT
trap 'exit 1' INT TERM HUP
boot
# A guest that stopped before the first case marked the line never got to
# run serial-send: ReactOS failed to start, which says nothing of the exe.
# It gets one more boot.
if ! grep -q '^@done' "$work/com1" && ! grep -aqF '<no-com3>' "$work/com2"; then
    echo "$name: the guest stopped before the first case; booting it once more. COM2 said:"
    sed 's/^/    /' "$work/com2"
    boot
fi
trap - EXIT

ok() { echo "ok $on: $1"; }
not_ok() { echo "FAIL $on: $1: expected $2, saw $3"; }
show() { cat -A "$1" | tr -d '\n'; }
results=$work/results
: >"$results"
if ! grep -q '^@done' "$work/com1"; then
    {
        echo "FAIL $on: guest: expected it to run every case and say @done; the end of COM1," \
            "of COM2 (the port under test) and of QEMU's output:"
        tail -n 15 "$work/com1" "$work/com2" "$work/qemu.log" 2>&1 | sed 's/^/    /'
    } >>"$results"
fi

# out NAME: what the run NAME printed, the bytes between "@out NAME" and
# "@end NAME STATUS"; status NAME: its STATUS (%ERRORLEVEL%).
out() {
    awk -v n="$1" '$0 == "@out " n "\r" { on = 1; next }
        on { i = index($0, "@end " n " "); if (i) { printf "%s", substr($0, 1, i - 1); exit } print }' \
        "$work/com1"
}
status() {
    sed -n "s/^.*@end $1 \\(-\\{0,1\\}[0-9]*\\)\\r\$/\\1/p" "$work/com1"
}

# explain STATUS: a status as %ERRORLEVEL% reads it (signed), and, when it is
# one of Windows' own, as Windows shows it with what it means: the status a
# program ends with when it faults or the loader refuses it. A Pentium that
# meets a CMOV says "-1073741795 (0xC000001D, an illegal instruction)".
# ReactOS's loader ends a program it refuses with 128 and prints nothing
# (measured on both images: an exe importing GetTickCount64, which their
# kernel32 lacks, and one importing from a DLL that is not there).
explain() {
    case $1 in
    128) echo "128 (ReactOS's status for a program its loader refused: a DLL or a function" \
        "it imports is missing, where Windows says 0xC0000135 or 0xC0000139)" && return ;;
    -[0-9]?????????) ;;
    *) echo "$1" && return ;;
    esac
    set -- "$1" "$(printf 0x%X $(($1 + 4294967296)))"
    case $2 in
    0x80000003) why="a breakpoint" ;;
    0xC0000005) why="an access violation" ;;
    0xC000001D) why="an illegal instruction" ;;
    0xC0000094) why="an integer division by zero" ;;
    0xC0000096) why="a privileged instruction" ;;
    0xC00000FD) why="a stack overflow" ;;
    0xC000007B) why="an invalid image: the loader refused the program or a DLL of it" ;;
    0xC0000135) why="a DLL not found: the loader refused a program importing from it" ;;
    0xC0000139) why="an entry point not found: the program imports a function its DLL lacks" ;;
    0xC0000142) why="a DLL of the program failed to initialize" ;;
    0xC0000409) why="a stack buffer overrun the program found in itself" ;;
    *) why="an NTSTATUS not named here" ;;
    esac
    echo "$1 ($2, $why)"
}

# run NAME REPORT: the run NAME printed REPORT of reports.def with the exe's
# line ending, CR LF, and exited with its status. %ERRORLEVEL% reads the exit
# code as a signed number: the -1 that shows as 255 in a POSIX shell is -1
# there.
run() {
    printf %b "$(report "$2")" | sed 's/$/\r/' >"$work/want"
    out "$1" >"$work/got"
    want_status=$(report_status "$2")
    [ "$want_status" -le 127 ] || want_status=$((want_status - 256))
    got_status=$(status "$1")
    if cmp -s "$work/want" "$work/got" && [ "$got_status" = "$want_status" ]; then
        ok "$1"
    else
        not_ok "$1" "status $want_status, output '$(show "$work/want")'" \
            "status $(explain "${got_status:-none}"), output '$(show "$work/got")'"
    fi
}

# The frames QEMU's UART model was set to, one line each, after the number of
# the mark they follow: "3 baudrate=9600 parity='O' data=7 stop=2" (a write
# to the line control register with its top bit set makes the data register
# the divisor's low byte).
awk '/serial_write/ && / addr 0x03 / { divisor = $NF ~ /^0x[89a-f]/ }
    /serial_write/ && / addr 0x00 / && $NF == "0x3c" && !divisor { mark++ }
    /serial_update_parameters/ && mark { sub(/^.*serial_update_parameters /, ""); print mark, $0 }' \
    "$work/trace" >"$work/frames"
# frames NAME: the frames set after the mark of case NAME, before the next.
frames() {
    n=$(grep -ao '<[^>]*>' "$work/com2" | grep -nxF "<$1>" | cut -d: -f1)
    sed -n "s/^${n:-none} //p" "$work/frames"
}
# sent CASE: the UART's frames after the mark of CASE were the starting one
# (guest/line.c), then others, the last 115200 8N1.
sent() {
    seen=$(frames "$1")
    last=$(printf '%s\n' "$seen" | tail -n 1)
    if ! printf '%s\n' "$seen" | grep -qxF "baudrate=9600 parity='O' data=7 stop=2"; then
        not_ok "$1.frame" "the starting frame, 9600 7O2, set before the run" "it was not"
    elif [ "$last" = "baudrate=115200 parity='N' data=8 stop=1" ]; then
        ok "$1.frame"
    else
        not_ok "$1.frame" "the UART left at 115200 8N1" "${last:-nothing set}"
    fi
}

{
    # Each run of serial-send (autorun.cmd): the report it must print, and
    # whether the UART must be left at 115200 8N1 at the end of its case
    # (twice.2 ends twice). That flow control and the special characters stay
    # as they were cannot be shown here: ReactOS's serial driver keeps none
    # (guest/line.c). Where no run opened the port, "received" below shows
    # nothing sent; nothing set cannot fail there, as no program can set the
    # line of a port it could not open.
    while read -r run_name report frame; do
        run "$run_name" "$report"
        [ "$frame" = - ] || sent "${run_name%.*}"
    done <<EOF
no-com3   cannot_open -
success   sent        115200-8N1
held      cannot_open -
released  sent        115200-8N1
arguments sent        115200-8N1
twice.1   sent        -
twice.2   sent        115200-8N1
EOF
    # A helper that failed (autorun.cmd): its status, and its command.
    sed -n 's/\r$//; s/^@failed //p' "$work/com1" | while read -r got command; do
        echo "FAIL $on: helper: $command: ended with status $(explain "$got")"
    done

    # Every byte COM3's host side got, each case after its mark.
    want='<no-com3><success>R<held><released>R<arguments>R<twice>RR<end>'
    seen=$(cat -A "$work/com2")
    if [ "$seen" = "$want" ]; then
        ok "received ($want)"
    else
        not_ok received "COM3's host side to get '$want'" "'$seen' (cat -A)"
    fi
} >>"$results"

cat "$results"
failed=$(grep -c '^FAIL ' "$results" || true)
echo "$name: $(grep -c '^ok ' "$results" || true) passed, $failed failed"
[ "$failed" = 0 ]
