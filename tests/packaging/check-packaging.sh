#!/bin/sh
# Checks what a user downloads and reads: check-packaging.sh CHECK ARGS...
#   man_lint PAGE      the manual page formats without a single warning
#   man_reports PAGE   every report of tests/support/reports.def, and the exit
#                      status that goes with it, is in the manual page, and
#                      the modes it says the Linux build clears are those
#                      reports.def's set_line has cleared
#   recipe PAGE SERIAL_SEND VCOM WORK
#       the manual's command for another device as COM3, run as written (as
#       root: without sudo) with vcom's terminal as /dev/ttyUSB0, in a private
#       /dev whose ttyS2 is an empty file
#   linux_packages SOURCE BUILD WORK VERSION STATIC
#       the .tar.gz of BUILD (a build of SOURCE) holds what `cmake --install`
#       lays out, its program static when STATIC is ON; the .deb the same
#       under /usr as Debian has it, lintian clean, its program linked
#       dynamically with libc.so.6 alone, and its Depends glibc's alone, at
#       the version README.md names. Both are unpacked in WORK/deb and WORK/tgz, for the behaviour
#       table to run the packed programs
#   windows_zip SOURCE BUILD WORK VERSION SYSTEM
#       the .zip of SYSTEM (win64, win32): the very exe built, README.md and
#       LICENSE, flat
#   release SOURCE WORK
#       a release of SOURCE packed by scripts/package, then rebuilt elsewhere
#       by the recipe in docs/releasing.md: the same SHA256SUMS
# The archives are scripts/lib/pack.sh's. CMAKE and CPACK name the tools to
# use (default: from PATH).
set -eu
# shellcheck source=tests/support/lib.sh
. "$(dirname "$0")/../support/lib.sh"

CMAKE=${CMAKE:-cmake}
# shellcheck source=scripts/lib/pack.sh
. "$(dirname "$0")/../../scripts/lib/pack.sh"

fresh() { rm -rf "$1" && mkdir -p "$1"; }

# holds ARCHIVE FILE...: the listing of ARCHIVE on stdin (a directory ends in
# /) names exactly the FILEs.
holds() {
    what=$1
    shift
    grep -v '/$' | sort >"$work/found"
    printf '%s\n' "$@" | sort >"$work/expected"
    diff -u "$work/expected" "$work/found" >&2 ||
        fail "$what: files differ from the documented layout (- expected, + found)"
}

# run_pack BUILD WORK VERSION SYSTEM: scripts/lib/pack.sh's archives of
# BUILD in WORK.
run_pack() {
    mkdir -p "$2"
    (pack "$@") >"$2/pack.log" 2>&1 || { cat "$2/pack.log" >&2; fail "packing $1"; }
}

# needed PROGRAM: the shared libraries PROGRAM needs, one a line.
needed() { readelf -d "$1" | sed -n 's/^.*(NEEDED).*\[\(.*\)\]$/\1/p'; }

man_lint() {
    out=$(man --warnings -l "$1" 2>&1 >/dev/null) || fail "man could not format $1"
    [ -z "$out" ] || fail "man --warnings on $1: $out"
    out=$(groff -man -ww -z "$1" 2>&1) || fail "groff could not format $1"
    [ -z "$out" ] || fail "groff -man -ww on $1: $out"
    echo "ok: $1 formats without warnings"
}

man_reports() {
    text=$(LC_ALL=C MANWIDTH=200 man -l "$1" 2>/dev/null | sed "s/^ *//")
    [ -n "$text" ] || fail "man rendered nothing from $1"
    statuses=$(printf '%s\n' "$text" | sed -n '/^EXIT STATUS$/,/^[A-Z][A-Z ]*$/p')
    sed -n 's/^REPORT(\([a-z_]*\),.*/\1/p' "$support/reports.def" | while read -r r; do
        printf '%b\n' "$(report "$r")" | while IFS= read -r line; do
            printf '%s\n' "$text" | grep -Fxq -- "$line" ||
                fail "$r: \"$line\" is not shown in the manual page"
        done
        want=$(report_status "$r")
        [ "$want" != 255 ] || want=-1
        printf '%s\n' "$statuses" | grep -q -- "^${want}[[:space:]]" ||
            fail "$r: exit status $want is not in the manual's EXIT STATUS"
        echo "ok: $r: $(printf %b "$(report "$r")" | tr '\n' '|') status $want, as in the manual"
    done
    # The modes listed under "It clears these modes", and set_line's flags
    # that are 0 but the stop bit's, which is the frame's.
    listed=$(printf '%s\n' "$text" | sed -n '/It clears these modes/,/^Every other setting/p' |
        sed '1d; $d' | grep -o '[A-Z][A-Z]*' | sort | paste -sd' ')
    cleared=$(line set_line | tr ' ' '\n' | sed -n 's/=0$//p' | grep -vx cstopb | tr '[:lower:]' '[:upper:]' |
        sort | paste -sd' ')
    if [ -z "$listed" ] || [ "$listed" != "$cleared" ]; then
        fail "the modes the manual says are cleared, $listed, are not set_line's, $cleared"
    fi
    echo "ok: the manual lists the modes set_line clears: $listed"
}

recipe() {
    page=$1 program=$2 vcom=$3 work=$4
    fresh "$work"
    line=$(MANWIDTH=200 man -l "$page" 2>/dev/null | sed -n 's/^ *\$ \(sudo unshare .*\)$/\1/p')
    [ -n "$line" ] || fail "no \"$ sudo unshare ...\" command in $page"
    # A private /dev holding /dev/null, the pseudo-terminals, vcom's link to
    # its terminal as ttyUSB0 and an empty ttyS2 to bind over, as a machine
    # without the third UART would have it.
    mkdir "$work/dev" "$work/dev/pts"
    : >"$work/dev/null"
    : >"$work/dev/ttyS2"
    ns="unshare -m"
    [ "$(id -u)" = 0 ] || ns="unshare -rm"
    $ns true 2>/dev/null || cannot_run "$ns: a private mount namespace needs root or user namespaces"
    status=0
    # shellcheck disable=SC2086,SC2016 # $ns split on purpose; $1 and $2 are the inner shell's
    PATH=$(dirname "$program"):$PATH \
        "$vcom" --link "$work/dev/ttyUSB0" --report "$work/report" -- $ns sh -c '
        mount --bind /dev/null "$1/dev/null"
        mount --rbind /dev/pts "$1/dev/pts"
        mount --rbind "$1/dev" /dev
        exec sh -c "$2"' sh "$work" "${line#sudo }" >"$work/out" 2>"$work/err" || status=$?
    if [ "$status" != 0 ] || [ "$(cat "$work/out")" != "$(printf %b "$(report sent)")" ]; then
        fail "$line: status $status, output \"$(cat "$work/out")\", errors \"$(cat "$work/err")\""
    fi
    grep -qx received=52 "$work/report" || fail "$line: the device did not receive 52: $(cat "$work/report")"
    echo "ok: $line sends R to the device at /dev/ttyUSB0"
}

linux_packages() {
    source=$1 build=$2 work=$3 version=$4 static=$5
    need lintian
    need readelf
    commit_time "$source" || fail "no time to pack with"
    fresh "$work"
    # A maintainer with an address, which the package leaves for whoever
    # publishes it to set (README.md): lintian finds nothing else.
    SERIAL_SEND_MAINTAINER="serial-send checks <checks@example.org>"
    run_pack "$build" "$work" "$version" Linux
    arch=$(dpkg --print-architecture) top=serial-send-$version-Linux doc=usr/share/doc/serial-send
    tgz=$work/$top.tar.gz deb=$work/serial-send_${version}_$arch.deb

    tar -tzf "$tgz" | holds "$tgz" "$top/bin/serial-send" "$top/share/man/man1/serial-send.1" \
        "$top/share/doc/serial-send/LICENSE" "$top/share/doc/serial-send/README.md"
    # Debian's copyright file holds the license.
    dpkg-deb -c "$deb" | awk '{ print $6 }' | holds "$deb" ./usr/bin/serial-send \
        ./usr/share/man/man1/serial-send.1.gz ./$doc/README.md ./$doc/copyright ./$doc/changelog.gz
    dpkg-deb -f "$deb" Package Version Architecture Maintainer Section Priority >"$work/fields"
    printf '%s\n' "Package: serial-send" "Version: $version" "Architecture: $arch" \
        "Maintainer: $SERIAL_SEND_MAINTAINER" "Section: comm" "Priority: optional" |
        diff -u - "$work/fields" >&2 || fail "$deb: control fields differ (- expected, + found)"
    # glibc alone, at the version the README names as the floor.
    depends=$(dpkg-deb -f "$deb" Depends)
    printf '%s\n' "$depends" | grep -Eqx 'libc6 \(>= [0-9.]+\)' ||
        fail "$deb: Depends is \"$depends\", not glibc's alone (libc6 (>= VERSION))"
    grep -qF "\`$depends\`" "$source/README.md" ||
        fail "$deb: Depends is \"$depends\", which README.md does not name"
    # lintian leaves files in its TMPDIR: keep them in the work directory.
    mkdir "$work/tmp"
    TMPDIR=$work/tmp lintian --fail-on error,warning "$deb" >"$work/lintian" 2>&1 ||
        { cat "$work/lintian" >&2; fail "$deb: lintian"; }

    dpkg-deb -x "$deb" "$work/deb"
    mkdir "$work/tgz" && tar -C "$work/tgz" -xzf "$tgz"
    # The .deb's program gets glibc's security updates; the tarball's runs on
    # any Linux, whatever its glibc.
    needs=$(needed "$work/deb/usr/bin/serial-send" | paste -sd' ')
    [ "$needs" = libc.so.6 ] || fail "$deb: its serial-send needs ${needs:-nothing}, not libc.so.6 alone"
    needs=$(needed "$work/tgz/$top/bin/serial-send" | tr '\n' ' ')
    [ "$static" != ON ] || [ -z "$needs" ] || fail "$tgz: its serial-send is not static: it needs $needs"
    gzip -dc "$work/deb/usr/share/man/man1/serial-send.1.gz" | cmp - "$source/man/serial-send.1" ||
        fail "$deb: the manual page differs from man/serial-send.1"
    sed -n '/^License:/,$p' "$work/deb/$doc/copyright" | sed '1d; s/^ //; s/^\.$//' >"$work/license"
    sed -n '/^Permission/,$p' "$source/LICENSE" | cmp - "$work/license" ||
        fail "$deb: the copyright file does not hold the text of LICENSE"
    echo "ok: $(basename "$tgz") and $(basename "$deb") (Depends: $depends) hold the documented files"
}

windows_zip() {
    source=$1 build=$2 work=$3 version=$4 system=$5
    commit_time "$source" || fail "no time to pack with"
    fresh "$work"
    run_pack "$build" "$work" "$version" "$system"
    top=serial-send-$version-$system
    zip=$work/$top.zip
    unzip -Z1 "$zip" | holds "$zip" "$top/serial-send.exe" "$top/README.md" "$top/LICENSE"
    unzip -q -d "$work/x" "$zip"
    # The very exe the build made, whose imports and version resource
    # wine.<preset>.exe.contents reads back.
    cmp "$work/x/$top/serial-send.exe" "$build/serial-send.exe" ||
        fail "$zip holds another serial-send.exe than $build's"
    echo "ok: $(basename "$zip") holds $(tr '\n' ' ' <"$work/found")"
}

# release SOURCE WORK: SOURCE (the files git knows, as one commit at the time
# of its own) packed by scripts/package as a publisher would, with a
# maintainer; then, elsewhere, later, under another umask and time zone,
# rebuilt from a clone by the recipe in docs/releasing.md, which compares the
# two SHA256SUMS.
release() {
    source=$1 work=$2
    time=$(git -C "$source" log -1 --format=%ct) || fail "$source is not a git checkout"
    # shellcheck disable=SC2016 # the backquotes and $ are sed's
    recipe=$(sed -n '/^## Rebuilding a release/,/^## /{ /^```sh$/,/^```$/p; }' "$source/docs/releasing.md")
    [ -n "$recipe" ] || fail "no recipe (a sh block under \"Rebuilding a release\") in docs/releasing.md"
    fresh "$work" && mkdir "$work/origin"
    (cd "$source" && git ls-files -z | tar --null -T - -cf -) | tar -C "$work/origin" -xf -
    (cd "$work/origin" && git init -q && git add -A && GIT_COMMITTER_DATE=@$time git -c user.name=r \
        -c user.email=r@example.org commit -q --date="@$time" -m release) || fail "committing the copy"
    t0=$(date +%s)
    git clone -q "$work/origin" "$work/publisher"
    (cd "$work/publisher" && env -u SOURCE_DATE_EPOCH SERIAL_SEND_MAINTAINER="P <p@example.org>" \
        scripts/package "$work/release") >"$work/publisher.log" 2>&1 ||
        { cat "$work/publisher.log" >&2; fail "scripts/package"; }
    umask 077
    git clone -q "$work/origin" "$work/rebuilder"
    printf '%s\n' "$recipe" | sed "1d; \$d; s|COMMIT|$(git -C "$work/origin" rev-parse HEAD)|g
        s|RELEASE|$work/release|g" >"$work/recipe"
    (cd "$work/rebuilder" && TZ=XST-13 env -u SOURCE_DATE_EPOCH sh -eux "$work/recipe") \
        >"$work/rebuilder.log" 2>&1 || { cat "$work/rebuilder.log" >&2; fail "the recipe did not rebuild it"; }
    echo "ok: published, then rebuilt by the recipe ($(($(date +%s) - t0)) s): the same SHA256SUMS"
    cat "$work/release/SHA256SUMS"
}

case ${1:-} in
man_lint | man_reports | recipe | linux_packages | windows_zip | release) "$@" ;;
*) fail "unknown check ${1:-(none)}" ;;
esac
