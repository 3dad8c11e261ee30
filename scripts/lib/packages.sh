# Debian packages the builds, suites, demo and benchmarks use, installed when
# missing. Each entry is "command-or-file package".
PACKAGES="
cmake cmake
g++ g++
/usr/include/gtest/gtest.h libgtest-dev
/usr/include/gmock/gmock.h libgmock-dev
x86_64-w64-mingw32-g++-win32 g++-mingw-w64-x86-64-win32
x86_64-w64-mingw32-windres binutils-mingw-w64-x86-64
i686-w64-mingw32-g++-win32 g++-mingw-w64-i686-win32
i686-w64-mingw32-windres binutils-mingw-w64-i686
wine wine
/usr/lib/wine/wine64 wine64
/usr/lib/wine/wine wine32:i386
man man-db
groff groff-base
dpkg-shlibdeps dpkg-dev
unzip unzip
strings binutils
x86_64-w64-mingw32-objdump binutils-mingw-w64-x86-64
zip zip
lintian lintian
clang++ clang
/usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a libclang-rt-14-dev
clang-format clang-format
clang-tidy clang-tidy
cppcheck cppcheck
valgrind valgrind
strace strace
qemu-system-x86_64 qemu-system-x86
/bin/busybox busybox-static
/vmlinuz linux-image-amd64
"

# What bench/run needs as well (need_bench_packages); scripts/test installs PACKAGES only.
BENCH_PACKAGES="
hyperfine hyperfine
valgrind valgrind
/usr/bin/time time
strace strace
/usr/lib/python3/dist-packages/serial/__init__.py python3-serial
gnuplot gnuplot-nox
"

need_packages() {
    missing=""
    set -f
    set -- $PACKAGES
    set +f
    while [ $# -ge 2 ]; do
        what=$1 pkg=$2
        shift 2
        case $what in
        /*) [ -e "$what" ] && continue ;;
        *) command -v "$what" >/dev/null 2>&1 && continue ;;
        esac
        missing="$missing $pkg"
    done
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" != 0 ]; then
        echo "missing Debian packages:$missing (run as root to install them)" >&2
        exit 1
    fi
    echo "installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    # wine32, for the 32-bit exe, is a package of the i386 architecture.
    case "$missing " in
    *:i386\ *) dpkg --add-architecture i386 ;;
    esac
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
}

need_bench_packages() {
    saved=$PACKAGES
    PACKAGES=$BENCH_PACKAGES
    need_packages
    PACKAGES=$saved
}
