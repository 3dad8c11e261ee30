# shellcheck shell=sh
# Debian packages the scripts use, one list per purpose, installed when
# missing: `need_packages demo tests` installs what PACKAGES_DEMO and
# PACKAGES_TESTS name. Each entry is "command-or-file package": the package is
# needed when the command is not on PATH, the file (an absolute path) does not
# exist, or, for "-", when dpkg does not have the package itself installed. A
# package of another architecture (name:i386) has that architecture added to
# dpkg first.

# The demo: serial-send and vcom, built with the release preset.
PACKAGES_DEMO="
cmake cmake
make make
g++ g++
"

# The .deb, made by cpack: its dependency scan needs file and dpkg-shlibdeps.
PACKAGES_DEB="
file file
dpkg-shlibdeps dpkg-dev
"

# The native suites: GoogleTest, and what the packaging checks use besides
# the .deb's tools.
PACKAGES_TESTS="
/usr/include/gtest/gtest.h libgtest-dev
man man-db
groff groff-base
unzip unzip
flock util-linux
readelf binutils
"

# The windows preset (MinGW-w64), reading its exe back and packing the zips.
PACKAGES_WINDOWS="
x86_64-w64-mingw32-g++-win32 g++-mingw-w64-x86-64-win32
x86_64-w64-mingw32-windres binutils-mingw-w64-x86-64
x86_64-w64-mingw32-objdump binutils-mingw-w64-x86-64
zip zip
"

# The windows-x86 preset (i686 MinGW-w64).
PACKAGES_WINDOWS_X86="
i686-w64-mingw32-g++-win32 g++-mingw-w64-i686-win32
i686-w64-mingw32-windres binutils-mingw-w64-i686
i686-w64-mingw32-objdump binutils-mingw-w64-i686
"

# The Wine runs: the 64-bit exe under wine64, the 32-bit one under wine32's
# loader (Debian keeps both in /usr/lib/wine).
PACKAGES_WINE="
wine wine
/usr/lib/wine/wine64 wine64
/usr/lib/wine/wine wine32:i386
"

# The uart suite: Debian's kernel booted under QEMU on a busybox initramfs.
PACKAGES_UART="
qemu-system-x86_64 qemu-system-x86
/usr/share/doc/linux-image-amd64 linux-image-amd64
busybox busybox-static
cpio cpio
"

# The reactos suite: the ReactOS images (outside the clone) booted under
# qemu-system-i386 and qemu-system-x86_64 with an overlay, and a FAT16 test
# disk made here.
PACKAGES_REACTOS="
qemu-system-i386 qemu-system-x86
qemu-system-x86_64 qemu-system-x86
qemu-img qemu-utils
/sbin/sfdisk fdisk
/sbin/mkfs.fat dosfstools
mcopy mtools
"

# The .deb's lintian check.
PACKAGES_LINTIAN="
lintian lintian
"

# scripts/lint (clang-tidy reads the suites, which include GoogleTest; it
# needs the windows and windows-x86 lists too; jq reads the compile
# commands), fuzz/run, the reliability suite.
PACKAGES_LINT="
jq jq
shellcheck shellcheck
clang-format clang-format
run-clang-tidy clang-tidy
cppcheck cppcheck
/usr/include/gtest/gtest.h libgtest-dev
"
# libclang-rt-dev: libFuzzer's runtime for Debian's clang, whatever its version.
PACKAGES_FUZZ="
clang++ clang
- libclang-rt-dev
"
PACKAGES_RELIABILITY="
valgrind valgrind
strace strace
"

# bench/run.
PACKAGES_BENCH="
hyperfine hyperfine
valgrind valgrind
perf linux-perf
/usr/bin/time time
/usr/lib/python3/dist-packages/serial/__init__.py python3-serial
"

# apt's own output goes here; it is shown when a step fails.
PACKAGES_LOG=${PACKAGES_LOG:-build/packages.log}

# need_packages LIST...: installs the missing packages of the lists (each
# named in the case below), printing one line per step.
need_packages() {
    missing=""
    for list in "$@"; do
        case $list in
        demo) entries=$PACKAGES_DEMO ;;
        deb) entries=$PACKAGES_DEB ;;
        tests) entries=$PACKAGES_TESTS ;;
        windows) entries=$PACKAGES_WINDOWS ;;
        windows-x86) entries=$PACKAGES_WINDOWS_X86 ;;
        wine) entries=$PACKAGES_WINE ;;
        uart) entries=$PACKAGES_UART ;;
        reactos) entries=$PACKAGES_REACTOS ;;
        lintian) entries=$PACKAGES_LINTIAN ;;
        lint) entries=$PACKAGES_LINT ;;
        fuzz) entries=$PACKAGES_FUZZ ;;
        reliability) entries=$PACKAGES_RELIABILITY ;;
        bench) entries=$PACKAGES_BENCH ;;
        *)
            echo "need_packages: no package list \"$list\"" >&2
            exit 1
            ;;
        esac
        set -f
        # shellcheck disable=SC2086 # split into "what package" pairs on purpose
        set -- $entries
        set +f
        while [ $# -ge 2 ]; do
            what=$1 pkg=$2
            shift 2
            case $what in
            -) [ "$(dpkg-query -W -f '${db:Status-Status}' "$pkg" 2>/dev/null)" = installed ] && continue ;;
            /*) [ -e "$what" ] && continue ;;
            *) command -v "$what" >/dev/null 2>&1 && continue ;;
            esac
            case " $missing " in
            *" $pkg "*) ;;
            *) missing="$missing $pkg" ;;
            esac
        done
    done
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" != 0 ]; then
        echo "missing Debian packages:$missing (run as root to install them)" >&2
        exit 1
    fi
    echo "packages: installing$missing (apt's output: $PACKAGES_LOG)"
    mkdir -p "$(dirname "$PACKAGES_LOG")"
    : >"$PACKAGES_LOG"
    export DEBIAN_FRONTEND=noninteractive
    # shellcheck disable=SC2086 # one word a package
    for arch in $(printf '%s\n' $missing | sed -n 's/^.*:\([a-z0-9]*\)$/\1/p' | sort -u); do
        dpkg --print-foreign-architectures | grep -qx "$arch" ||
            apt_step "adding the $arch architecture" dpkg --add-architecture "$arch"
    done
    apt_step "reading the package lists (apt-get update)" apt-get update -o Acquire::Languages=none
    # shellcheck disable=SC2086 # one word a package
    apt_step "downloading" apt-get install -y --no-install-recommends --download-only $missing
    # shellcheck disable=SC2086
    apt_step "installing" apt-get install -y --no-install-recommends $missing
}

# apt_step WHAT COMMAND...: runs COMMAND with its output in the log; prints
# WHAT and how long it took, or the log's end when it fails.
apt_step() {
    printf 'packages: %s... ' "$1"
    shift
    t0=$(date +%s)
    if "$@" </dev/null >>"$PACKAGES_LOG" 2>&1; then
        count=$(sed -n 's/^.* \([0-9]*\) newly installed.*$/\1/p' "$PACKAGES_LOG" | tail -n 1)
        echo "done in $(($(date +%s) - t0)) s${count:+ ($count packages with their dependencies)}"
    else
        echo "FAILED"
        tail -n 60 "$PACKAGES_LOG" >&2
        echo "packages: \"$*\" failed; the whole output is in $PACKAGES_LOG" >&2
        exit 1
    fi
}
