# Shared by the reliability scripts: failing loudly, reading vcom reports,
# recording figures. Sourced; the caller sets "set -eu".

name=${0##*/}
name=${name%.sh}

fail() {
    printf '%s: FAIL: %s\n' "$name" "$*" >&2
    exit 1
}

# A tool the test cannot do without: missing means failure, never a skip.
need() {
    command -v "$1" >/dev/null 2>&1 || fail "$1 not found (scripts/lib/packages.sh installs it)"
}

# value KEY REPORT: the value of KEY in a vcom report.
value() {
    sed -n "s/^$1=//p" "$2"
}

# r_bytes N: what the port should have received from N sends: N times 52.
r_bytes() {
    i=0 bytes=""
    while [ "$i" -lt "$1" ]; do
        bytes="$bytes${bytes:+ }52"
        i=$((i + 1))
    done
    printf '%s' "$bytes"
}

# figure TEXT: prints a measured figure and keeps it beside the test's files.
figure() {
    printf '%s: %s\n' "$name" "$*" | tee "$dir/figures"
}

# elapsed: seconds since the script started.
started=$(date +%s)
elapsed() {
    echo $(($(date +%s) - started))
}
