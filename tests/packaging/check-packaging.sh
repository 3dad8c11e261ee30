#!/bin/sh
# Checks what a user downloads and reads.
#
#   check-packaging.sh man-lint PAGE
#       the manual page formats without a single warning
#   check-packaging.sh man-reports PAGE
#       every report of tests/support/reports.def is in the manual page, and
#       so is the exit status that goes with it
#   check-packaging.sh recipe PAGE README SERIAL_SEND VCOM WORK
#       the manual's command for another device as COM3, the same in the
#       README, run as written (as root: without sudo) with vcom's
#       pseudo-terminal as /dev/ttyUSB0, in a private /dev whose ttyS2 is an
#       empty file
#   check-packaging.sh install BUILD WORK
#       `cmake --install` lays out exactly the documented files
#   check-packaging.sh linux SOURCE BUILD WORK VERSION STATIC
#       scripts/lib/pack.sh makes the .tar.gz and the .deb of BUILD (a build
#       of SOURCE, version VERSION, linked statically when STATIC is ON),
#       each with exactly the documented files, the .deb with its control
#       fields and passing lintian; both are unpacked, in WORK/deb and
#       WORK/tgz, for the behaviour table to run the packed programs
#   check-packaging.sh windows SOURCE BUILD WORK VERSION SYSTEM
#       scripts/lib/pack.sh makes the .zip of SYSTEM (win64, win32):
#       serial-send.exe (the very one built), README.md and LICENSE, flat
#   check-packaging.sh reproducible SOURCE WORK VERSION
#       two copies of SOURCE (the files git knows) in WORK, each built (the
#       release, windows and windows-x86 presets, the programs only) and
#       packed, the second later, under another umask and time zone: the
#       programs, the archives and their SHA256SUMS are the same bytes
#
# CMAKE and CPACK name the tools to use (default: from PATH).
set -eu
# shellcheck source=tests/support/lib.sh
. "$(dirname "$0")/../support/lib.sh"

CMAKE=${CMAKE:-cmake}
CPACK=${CPACK:-cpack}
export CMAKE CPACK
# shellcheck source=../../scripts/lib/pack.sh
. "$(dirname "$0")/../../scripts/lib/pack.sh"

# same_list WHAT EXPECTED-FILE ACTUAL-FILE: both sorted, then compared.
same_list() {
    sort -o "$2" "$2"
    sort -o "$3" "$3"
    diff -u "$2" "$3" >&2 || fail "$1: files differ from the documented layout (- expected, + found)"
}

# docs: the documentation files, one a line.
docs() {
    echo LICENSE
    echo README.md
}

# linux_layout PREFIX: the installed files under PREFIX, one a line.
linux_layout() {
    echo "$1bin/serial-send"
    echo "$1share/man/man1/serial-send.1"
    docs | sed "s|^|$1share/doc/serial-send/|"
}

fresh() {
    rm -rf "$1"
    mkdir -p "$1"
}

# deb_layout STATIC: the .deb's files. Debian's copyright file holds the
# license; the overrides tell lintian the program is static on purpose.
deb_layout() {
    echo ./usr/bin/serial-send
    echo ./usr/share/man/man1/serial-send.1.gz
    { docs | grep -vx LICENSE; echo copyright; echo changelog.gz; } |
        sed "s|^|./usr/share/doc/serial-send/|"
    if [ "$1" = ON ]; then
        echo ./usr/share/lintian/overrides/serial-send
    fi
}

# run_pack BUILD WORK VERSION SYSTEM: scripts/lib/pack.sh's archives of
# BUILD in WORK.
run_pack() {
    mkdir -p "$2"
    (pack "$@") >"$2/pack.log" 2>&1 || { cat "$2/pack.log" >&2; fail "packing $1"; }
}

man_lint() {
    page=$1
    out=$(man --warnings -l "$page" 2>&1 >/dev/null) || fail "man could not format $page"
    [ -z "$out" ] || fail "man --warnings on $page: $out"
    out=$(groff -man -ww -z "$page" 2>&1) || fail "groff could not format $page"
    [ -z "$out" ] || fail "groff -man -ww on $page: $out"
    echo "ok: $page formats without warnings"
}

man_reports() {
    page=$1
    text=$(LC_ALL=C MANWIDTH=200 man -l "$page" 2>/dev/null | sed "s/^ *//")
    [ -n "$text" ] || fail "man rendered nothing from $page"
    statuses=$(printf '%s\n' "$text" | sed -n '/^EXIT STATUS$/,/^[A-Z][A-Z ]*$/p')
    for r in $(sed -n 's/^REPORT(\([a-z_]*\),.*/\1/p' "$support/reports.def"); do
        while IFS= read -r line; do
            printf '%s\n' "$text" | grep -Fxq -- "$line" ||
                fail "$r: \"$line\" is not shown in the manual page"
        done <<EOF
$(printf %b "$(report "$r")")
EOF
        case $(report_status "$r") in
        0) want=0 ;;
        255) want=-1 ;;
        *) want=$(report_status "$r") ;;
        esac
        printf '%s\n' "$statuses" | grep -q -- "^$want[[:space:]]" ||
            fail "$r: exit status $want is not in the manual's EXIT STATUS"
        echo "ok: $r: $(printf %b "$(report "$r")" | tr '\n' '|') status $want, as in the manual"
    done
}

recipe() {
    page=$1 readme=$2 program=$3 vcom=$4 work=$5
    fresh "$work"
    line=$(MANWIDTH=200 man -l "$page" 2>/dev/null | sed -n 's/^ *\$ \(sudo unshare .*\)$/\1/p')
    [ -n "$line" ] || fail "no \"$ sudo unshare ...\" command in $page"
    grep -Fxq -- "$line" "$readme" || fail "$readme does not show the manual's command: $line"
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

install_layout() {
    build=$1 work=$2
    fresh "$work"
    "$CMAKE" --install "$build" --prefix "$work/prefix" >"$work/install.log"
    (cd "$work/prefix" && find . ! -type d | sed 's|^\./||') >"$work/found"
    linux_layout "" >"$work/expected"
    same_list "cmake --install" "$work/expected" "$work/found"
    echo "ok: cmake --install lays out: $(tr '\n' ' ' <"$work/found")"
}

linux_packages() {
    source=$1 build=$2 work=$3 version=$4 static=$5
    commit_time "$source" || fail "no time to pack with"
    fresh "$work"
    # A maintainer with an address, which the package leaves for whoever
    # publishes it to set (README.md): lintian finds nothing else.
    # shellcheck disable=SC2034 # read by pack()
    SERIAL_SEND_MAINTAINER="serial-send checks <checks@example.org>"
    run_pack "$build" "$work" "$version" Linux

    tgz=$work/serial-send-$version-Linux.tar.gz
    [ -f "$tgz" ] || fail "no $tgz: $(ls "$work")"
    tar -tzf "$tgz" | grep -v '/$' >"$work/found"
    linux_layout "serial-send-$version-Linux/" >"$work/expected"
    same_list "$tgz" "$work/expected" "$work/found"

    deb=$work/serial-send_${version}_$(dpkg --print-architecture).deb
    [ -f "$deb" ] || fail "no $deb: $(ls "$work")"
    dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -v '/$' >"$work/found"
    deb_layout "$static" >"$work/expected"
    same_list "$deb" "$work/expected" "$work/found"
    # lintian leaves files in its TMPDIR: keep them in the work directory.
    mkdir -p "$work/tmp"
    TMPDIR=$work/tmp lintian --fail-on error,warning "$deb" >"$work/lintian" 2>&1 ||
        { cat "$work/lintian" >&2; fail "$deb: lintian"; }
    for field in "Package serial-send" "Version $version" \
        "Architecture $(dpkg --print-architecture)" "Section comm" "Priority optional"; do
        # shellcheck disable=SC2086 # "name value", split on purpose
        set -- $field
        got=$(dpkg-deb -f "$deb" "$1")
        [ "$got" = "$2" ] || fail "$deb: $1 is \"$got\", not \"$2\""
    done
    for field in Maintainer Description; do
        [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "$deb: no $field"
    done

    dpkg-deb -x "$deb" "$work/deb"
    mkdir "$work/tgz"
    tar -C "$work/tgz" -xzf "$tgz"
    gzip -dc "$work/deb/usr/share/man/man1/serial-send.1.gz" | cmp - "$source/man/serial-send.1" ||
        fail "$deb: the manual page differs from man/serial-send.1"
    sed -n '/^License:/,$p' "$work/deb/usr/share/doc/serial-send/copyright" |
        sed '1d; s/^ //; s/^\.$//' >"$work/license"
    sed -n '/^Permission/,$p' "$source/LICENSE" | cmp - "$work/license" ||
        fail "$deb: the copyright file does not hold the text of LICENSE"
    echo "ok: $(basename "$tgz") and $(basename "$deb") hold the documented files"
}

windows_zip() {
    source=$1 build=$2 work=$3 version=$4 system=$5
    commit_time "$source" || fail "no time to pack with"
    fresh "$work"
    run_pack "$build" "$work" "$version" "$system"

    zip=$work/serial-send-$version-$system.zip
    top=serial-send-$version-$system
    [ -f "$zip" ] || fail "no $zip: $(ls "$work")"
    unzip -Z1 "$zip" | grep -v '/$' >"$work/found"
    { echo serial-send.exe; docs; } | sed "s|^|$top/|" >"$work/expected"
    same_list "$zip" "$work/expected" "$work/found"

    unzip -q -d "$work/x" "$zip"
    exe=$work/x/$top/serial-send.exe
    # The very exe the build made, whose imports and version resource
    # wine.<preset>.exe.contents reads back.
    cmp "$exe" "$build/serial-send.exe" || fail "$zip holds another serial-send.exe than $build's"
    echo "ok: $(basename "$zip") holds $(tr '\n' ' ' <"$work/found")"
}

# build_copy DIR VERSION: builds the programs in DIR, a copy of the source,
# and packs them into DIR/out. The builds run as anyone's do, without
# SOURCE_DATE_EPOCH (which ld would write into the exes).
build_copy() {
    cd "$1"
    for build in release:Linux windows:win64 windows-x86:win32; do
        preset=${build%:*}
        { env -u SOURCE_DATE_EPOCH "$CMAKE" --preset "$preset" -DSERIAL_SEND_TESTS=OFF -Wno-dev \
            --no-warn-unused-cli && env -u SOURCE_DATE_EPOCH "$CMAKE" --build --preset "$preset"; } \
            >"build-$preset.log" 2>&1 ||
            { cat "build-$preset.log" >&2; fail "build of $preset in $1"; }
        run_pack "build/$preset" out "$2" "${build#*:}"
    done
    pack_sums out
}

reproducible() {
    source=$1 work=$2 version=$3
    SOURCE_DATE_EPOCH=$(git -C "$source" log -1 --format=%ct) || fail "$source is not a git checkout"
    export SOURCE_DATE_EPOCH
    rm -rf "$work"
    for copy in a b; do
        mkdir -p "$work/$copy"
        (cd "$source" && git ls-files -z | tar --null -T - -cf -) | tar -C "$work/$copy" -xf -
    done
    t0=$(date +%s)
    (build_copy "$work/a" "$version")
    (umask 077 && TZ=XST-13 build_copy "$work/b" "$version")

    files="build/release/serial-send build/windows/serial-send.exe build/windows-x86/serial-send.exe out/SHA256SUMS"
    for file in $files; do
        if ! cmp "$work/a/$file" "$work/b/$file"; then
            diff "$work/a/out/SHA256SUMS" "$work/b/out/SHA256SUMS" >&2 || :
            fail "$file differs between two builds"
        fi
    done
    (cd "$work/a/out" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not match the archives"
    echo "ok: built and packed twice ($(($(date +%s) - t0)) s), the same bytes:"
    (cd "$work/a" && sha256sum build/release/serial-send build/windows*/serial-send.exe && cat out/SHA256SUMS)
}

what=$1
shift
case $what in
man-lint) man_lint "$@" ;;
man-reports) man_reports "$@" ;;
recipe) recipe "$@" ;;
install) install_layout "$@" ;;
linux) linux_packages "$@" ;;
windows) windows_zip "$@" ;;
reproducible) reproducible "$@" ;;
*) fail "unknown check $what" ;;
esac
