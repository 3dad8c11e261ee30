# shellcheck shell=sh
# Shared by the reliability scripts: failing loudly, not running without a
# tool or the namespaces, the expected reports, reading vcom reports,
# recording figures. Sourced; the caller sets "set -eu".

name=${0##*/}
name=${name%.sh}

fail() {
    printf '%s: FAIL: %s\n' "$name" "$*" >&2
    exit 1
}

# shellcheck source=tests/support/cannot-run.sh
. "$(dirname "$0")/../support/cannot-run.sh"
# shellcheck source=tests/support/reports.sh
. "$(dirname "$0")/../support/reports.sh"

# A tool the test cannot do without: missing, the test cannot run (a failure
# under CI, a skip elsewhere).
need() {
    command -v "$1" >/dev/null 2>&1 || cannot_run "$1 not found (scripts/lib/packages.sh installs it)"
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
    # shellcheck disable=SC2154 # dir: set by the caller
    printf '%s: %s\n' "$name" "$*" | tee "$dir/figures"
}

# elapsed: seconds since the script started.
started=$(date +%s)
elapsed() {
    echo $(($(date +%s) - started))
}
