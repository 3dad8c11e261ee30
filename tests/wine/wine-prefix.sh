#!/bin/sh
# The Wine prefix of the Wine runs, made once per suite (CTest fixture
# wine_prefix):
#   wine-prefix.sh setup     a fresh prefix at $WINEPREFIX (of $WINEARCH, win64
#                            or win32), its wineserver left running
#                            (persistent) for the runs
#   wine-prefix.sh cleanup   stop that wineserver and every Wine process of
#                            it, and remove its socket directory
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
#
# Debian's wineserver keeps its socket in a directory $TMPDIR/wine-XXXXXX,
# named in $WINEPREFIX/wineserver, and leaves it behind: cleanup (and a
# setup that replaces an old prefix) stops the server and removes it.
set -eu
unset DISPLAY WAYLAND_DISPLAY # headless: no window may open, none is needed
# shellcheck source=tests/support/lib.sh
. "$(dirname "$0")/../support/lib.sh"

# Stops the prefix's wineserver and every Wine process of it, waits for them,
# and removes the server's socket directory.
stop() {
    "$WINESERVER" -k >/dev/null 2>&1 || :
    "$WINESERVER" -w >/dev/null 2>&1 || :
    if [ -f "$WINEPREFIX/wineserver" ]; then
        dir=$(cat "$WINEPREFIX/wineserver")
        case $dir in
        wine-??????) rm -rf "${TMPDIR:-/tmp}/$dir" ;;
        esac
        rm -f "$WINEPREFIX/wineserver"
    fi
}

case ${1-} in
setup)
    [ -f "$SERIAL_SEND_EXE" ] || fail "$SERIAL_SEND_EXE is missing: the build makes it with" \
        "MinGW-w64, which scripts/lib/packages.sh installs"
    for tool in "$WINE" "$WINESERVER"; do
        [ -x "$tool" ] || cannot_run "Wine ($tool) not found; scripts/lib/packages.sh installs it"
    done
    logs=$(dirname "$WINEPREFIX")
    if [ -d "$WINEPREFIX" ]; then
        stop
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
    ports=$(cd "$WINEPREFIX/dosdevices" && ls -d com* 2>/dev/null) || :
    [ -z "$ports" ] || fail "Wine mapped serial ports of its own: $ports"
    ;;
cleanup)
    stop
    ;;
*)
    fail "usage: wine-prefix.sh setup|cleanup"
    ;;
esac
