#!/bin/sh
# The uart suite: serial-send on the kernel's own 8250 UART driver, in QEMU
# guests booted from Debian's kernel with an initramfs made here (busybox,
# serial-send, ttyhold, tests/support/lib.sh and reports.def, and
# guest-init.sh as /init; no disk image).
#   usage: run.sh SERIAL_SEND TTYHOLD WORKDIR
# One guest has a UART behind ttyS2 (COM3) whose host side is a pair of pipes,
# not a terminal, so nothing on the way rewrites what the guest set; the other
# has none behind ttyS2, and one without carrier behind ttyS3. guest-init.sh
# runs the checks; this script answers its requests for XOFF and XON and
# checks the bytes COM3 sent.
set -eu
serial_send=$1 ttyhold=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)

# shellcheck source=tests/support/lib.sh
. "$here/../support/lib.sh"
missing() { cannot_run "no $1 (scripts/test installs it)"; }
command -v qemu-system-x86_64 >/dev/null 2>&1 || missing "qemu-system-x86_64 (Debian package qemu-system-x86)"
# The guest has no C library: its busybox must be the static one.
if [ ! -x /bin/busybox ] || ldd /bin/busybox >/dev/null 2>&1; then
    missing "a static /bin/busybox (Debian package busybox-static)"
fi
kernel=/vmlinuz
if [ ! -r "$kernel" ]; then
    for k in /boot/vmlinuz-*; do if [ -r "$k" ]; then kernel=$k; fi; done
fi
[ -r "$kernel" ] || missing "a kernel image in /vmlinuz or /boot (Debian package linux-image-amd64)"

rm -rf "$work"
mkdir -p "$work/root/bin" "$work/root/dev" "$work/root/proc" "$work/root/tmp" "$work/root/support"
cp /bin/busybox "$serial_send" "$ttyhold" "$work/root/bin/"
ln -s busybox "$work/root/bin/sh"
cp "$here/guest-init.sh" "$work/root/init"
chmod 755 "$work/root/init"
cp "$here/../support/lib.sh" "$here/../support/reports.def" "$work/root/support/"
(cd "$work/root" && find . | /bin/busybox cpio -o -H newc -R 0:0 2>/dev/null) >"$work/initrd"

# boot NAME UART_ARG QEMU_ARGS...: one guest, its console in NAME.console,
# its exit status in NAME.status once it is gone. TCG unless told otherwise.
boot() {
    name=$1 uart=$2
    shift 2
    status=0
    timeout 60 qemu-system-x86_64 -accel "${SERIAL_SEND_QEMU_ACCEL:-tcg}" -m 256 -nodefaults \
        -no-user-config -display none -no-reboot -kernel "$kernel" -initrd "$work/initrd" \
        -append "console=ttyS0 quiet panic=-1 uart=$uart" -serial "file:$work/$name.console" \
        "$@" >"$work/$name.log" 2>&1 || status=$?
    echo $status >"$work/$name.status"
}

mkfifo "$work/com3.in" "$work/com3.out"
# ttyS3 of the second guest: a UART whose host side has no modem lines, so its
# line never has carrier.
boot none none -serial null -chardev serial,id=nocarrier,path=/dev/null \
    -device isa-serial,index=3,chardev=nocarrier &
guests=$!
boot com3 com3 -serial null -chardev "pipe,id=com3,path=$work/com3" -serial chardev:com3 &
guests="$guests $!"
cat "$work/com3.out" >"$work/received" &
reader=$!
exec 4<>"$work/com3.in"

# The guest asks on its console; the byte goes to its ttyS2, then "!".
for request in xoff xon; do
    until grep -q "@send $request" "$work/com3.console" 2>/dev/null; do
        [ -e "$work/com3.status" ] && break 2
        sleep 0.1
    done
    case $request in
    xoff) printf '\023!' >&4 ;;
    xon) printf '\021!' >&4 ;;
    esac
done
# shellcheck disable=SC2086
wait $guests
: <>"$work/com3.out" # ends the reader if QEMU never opened the pipe
wait "$reader"

results=$work/results
for name in com3 none; do
    tr -d '\r' <"$work/$name.console" | grep -E '^(ok|FAIL) ' || true
    grep -q '^@done' "$work/$name.console" && continue
    echo "FAIL guest $name: expected it to finish its checks, saw exit status" \
        "$(cat "$work/$name.status"); the end of its console and of QEMU's output:"
    tail -n 15 "$work/$name.console" "$work/$name.log" | sed 's/^/    /'
done >"$results"

want='<a>R<b><e>RR<g>RH<end>'
seen=$(cat -A "$work/received")
if [ "$seen" = "$want" ]; then
    echo "ok received (COM3's host side got each check's bytes: $want)"
else
    echo "FAIL received: expected COM3's host side to get '$want', saw '$seen' (cat -A)"
fi >>"$results"

cat "$results"
failed=$(grep -c '^FAIL ' "$results" || true)
echo "uart: $(grep -c '^ok ' "$results" || true) passed, $failed failed"
[ "$failed" = 0 ]
