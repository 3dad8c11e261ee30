#!/bin/sh
# What serial-send.exe is made of, read back from the file:
#   check-exe.sh EXE VERSION TRIPLET FORMAT SUBSYSTEM DESCRIPTION
# an exe of FORMAT (pei-x86-64 or pei-i386), a console program whose subsystem
# version is SUBSYSTEM (major.minor, the oldest Windows whose loader takes
# it), importing from KERNEL32.dll and msvcrt.dll only (the compiler's
# runtimes linked in) and only functions Windows XP has already (the list
# below: a new import fails here until it is checked against XP and added),
# whose manifest (resource 1 of type 24, RT_MANIFEST) asks for asInvoker
# without UI access, and whose version resource names the product, VERSION and
# DESCRIPTION (the file description Explorer shows);
# a 32-bit one (pei-i386) made only of instructions a Pentium (i586) has.
# TRIPLET names the MinGW-w64 tools that read it.
set -eu

exe=$1 version=$2 triplet=$3 format=$4 subsystem=$5 description=$6
# A missing exe is a build that failed or could not run: never a skip.
[ -f "$exe" ] || {
    echo "check-exe.sh: $exe is missing: the build makes it with MinGW-w64" \
        "($triplet-g++-win32), which scripts/lib/packages.sh installs" >&2
    exit 1
}

# Every function the two exes import; Windows XP and XP x64 have them all.
since_xp="
KERNEL32.dll CloseHandle CreateFileA DeleteCriticalSection EnterCriticalSection FreeLibrary
KERNEL32.dll GetCommState GetLastError GetModuleHandleA GetProcAddress GetStartupInfoA
KERNEL32.dll InitializeCriticalSection LeaveCriticalSection LoadLibraryA SetCommState
KERNEL32.dll SetUnhandledExceptionFilter Sleep TlsGetValue VirtualProtect VirtualQuery WriteFile
KERNEL32.dll __C_specific_handler
msvcrt.dll __getmainargs __initenv __iob_func __p__acmdln __p__commode __p__fmode __set_app_type
msvcrt.dll __setusermatherr _acmdln _amsg_exit _cexit _commode _fmode _initterm _iob _onexit
msvcrt.dll abort calloc exit fprintf free fwrite malloc memcpy printf puts signal strlen strncmp
msvcrt.dll vfprintf
"

status=0
check() { # what, expected, actual
    if [ "$2" = "$3" ]; then
        echo "ok: $1"
    else
        printf 'FAILED: %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3"
        status=1
    fi
}
has() { # what, fixed string, text
    case $3 in
    *"$2"*) echo "ok: $1" ;;
    *) printf 'FAILED: %s: no %s\n' "$1" "$2"; status=1 ;;
    esac
}

headers=$("$triplet-objdump" -p "$exe")
check "imported DLLs" "KERNEL32.dll msvcrt.dll" \
    "$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ' | sed 's/ $//')"
check "subsystem" "(Windows CUI)" \
    "$(printf '%s\n' "$headers" | sed -n 's/^Subsystem[[:space:]]*[0-9a-f]*[[:space:]]*//p')"
check "format" "$format" "$(printf '%s\n' "$headers" | sed -n 's/.*file format //p')"
check "subsystem version" "$subsystem" "$(printf '%s\n' "$headers" |
    sed -n 's/^M\(ajor\|inor\)SubsystemVersion[[:space:]]*//p' | paste -sd.)"
known=$(printf '%s\n' "$since_xp" | awk 'NF { for (i = 2; i <= NF; i++) print $1, $i }')
check "imported functions Windows XP has" "" "$(printf '%s\n' "$headers" |
    awk '/DLL Name:/ { dll = $3 } /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ && dll { print dll, $3 }' |
    grep -vxF "$known" | tr '\n' ' ')"

[ "$format" != pei-i386 ] || check "instructions a Pentium (i586) lacks" "" \
    "$(sh "$(dirname "$0")/../support/pentium.sh" "$exe" 2>&1)"

resources=$("$triplet-windres" -i "$exe" -O rc) || resources=""
manifest=$(printf '%s\n' "$resources" | sed -n '/^1 24 /,/^END/p')
has "manifest resource 1 of type RT_MANIFEST" "1 24" "$manifest"
has "manifest: execution level" 'requestedExecutionLevel level=""asInvoker"" uiAccess=""false""' \
    "$manifest"
has "version: file version" "FILEVERSION $(echo "$version" | sed 's/\./, /g'), 0" "$resources"
has "version: product name" 'VALUE "ProductName", "serial-send"' "$resources"
has "version: product version" "VALUE \"ProductVersion\", \"$version\"" "$resources"
has "version: file description" "VALUE \"FileDescription\", \"$description\"" "$resources"
exit $status
