#!/bin/sh
# The Wine prefix of the Wine runs, made once per suite (CTest fixture
# wine_prefix):
#   wine-prefix.sh setup     a fresh prefix at $WINEPREFIX (of $WINEARCH, win64
#                            or win32), its wineserver left running
#                            (persistent) for the runs
#   wine-prefix.sh cleanup   stop that wineserver and every Wine process of it
# Environment: WINEPREFIX, WINEARCH, WINEDEBUG, WINEDLLOVERRIDES, WINE (the
# loader), WINESERVER, SERIAL_SEND_EXE (build/<preset>/serial-send.exe).
#
# WINEDLLOVERRIDES switches off mountmgr.sys: the mount manager would map the
# machine's serial devices (and the registry's Software\Wine\Ports) to
# dosdevices/comN links, taking COM3 on a machine with three serial ports, and
# it rewrites those links whenever Wine starts. Without it, COM3 is exactly
# what vcom --link puts at dosdevices/com3, or nothing.
#
# Everything Wine starts writes to files under the prefix's parent, never to
# this script's stdout or stderr: its helper processes outlive the script, and
# CTest would wait for them to close its pipes.
set -eu
unset DISPLAY WAYLAND_DISPLAY # headless: no window may open, none is needed

fail() {
    echo "wine-prefix.sh: $*" >&2
    exit 1
}

case ${1-} in
setup)
    preset=$(basename "$(dirname "$SERIAL_SEND_EXE")")
    [ -f "$SERIAL_SEND_EXE" ] || fail "$SERIAL_SEND_EXE is missing; build it first:" \
        "cmake --preset $preset && cmake --build --preset $preset"
    for tool in "$WINE" "$WINESERVER"; do
        [ -x "$tool" ] || fail "$tool not found; install wine, wine64 and wine32 (scripts/lib/packages.sh)"
    done
    logs=$(dirname "$WINEPREFIX")
    if [ -d "$WINEPREFIX" ]; then
        "$WINESERVER" -k >/dev/null 2>&1 || :
        rm -rf "$WINEPREFIX"
    fi
    mkdir -p "$WINEPREFIX"
    # Persistent, so the runs do not each start a server and wait for it.
    # Its own output is dropped: it opens COM3 for the program without
    # O_NOCTTY, so each pseudo-terminal becomes its controlling terminal, and
    # the hangup when vcom closes it makes the server dump all its objects.
    "$WINESERVER" --persistent </dev/null >/dev/null 2>&1
    if ! "$WINE" wineboot --init </dev/null >"$logs/wineboot.log" 2>&1; then
        cat "$logs/wineboot.log" >&2
        fail "wineboot --init failed in $WINEPREFIX"
    fi
    ports=$(cd "$WINEPREFIX/dosdevices" && ls -d com* 2>/dev/null || :)
    [ -z "$ports" ] || fail "Wine mapped serial ports of its own: $ports"
    ;;
cleanup)
    "$WINESERVER" -k >/dev/null 2>&1 || :
    ;;
*)
    fail "usage: wine-prefix.sh setup|cleanup"
    ;;
esac
