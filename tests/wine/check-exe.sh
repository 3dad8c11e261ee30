#!/bin/sh
# What serial-send.exe is made of, read back from the file:
#   check-exe.sh EXE VERSION TRIPLET
# a console program importing from KERNEL32.dll and msvcrt.dll only (the
# compiler's runtimes linked in), whose manifest (resource 1 of type 24,
# RT_MANIFEST) asks for asInvoker without UI access, and whose version
# resource names the product and VERSION.
set -eu

exe=$1 version=$2 triplet=$3
[ -f "$exe" ] || {
    echo "check-exe.sh: $exe is missing: the build makes it with MinGW-w64 ($triplet-g++-win32)," \
        "which scripts/lib/packages.sh installs" >&2
    exit 1
}

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

resources=$("$triplet-windres" -i "$exe" -O rc) || resources=""
manifest=$(printf '%s\n' "$resources" | sed -n '/^1 24 /,/^END/p')
has "manifest resource 1 of type RT_MANIFEST" "1 24" "$manifest"
has "manifest: execution level" 'requestedExecutionLevel level=""asInvoker"" uiAccess=""false""' \
    "$manifest"
has "version: file version" "FILEVERSION $(echo "$version" | sed 's/\./, /g'), 0" "$resources"
has "version: product name" 'VALUE "ProductName", "serial-send"' "$resources"
has "version: product version" "VALUE \"ProductVersion\", \"$version\"" "$resources"
has "version: file description" 'VALUE "FileDescription", "' "$resources"
exit $status
