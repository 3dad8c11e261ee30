# shellcheck shell=sh
# Sourced by the shell tests (after "set -eu"): failing, not running without
# what the machine lacks, and what serial-send prints.

name=${0##*/}
name=${name%.sh}
# A suite's run.sh goes by its suite's name.
[ "$name" != run ] || name=$(basename "$(cd "$(dirname "$0")" && pwd)")
support=$(cd "$(dirname "$0")/../support" && pwd)

# fail WHY...: the test fails, saying why.
fail() {
    printf '%s: FAIL: %s\n' "$name" "$*" >&2
    exit 1
}

# cannot_run WHY...: the test needs what this machine lacks (root or user
# namespaces, Wine, valgrind...). Exit status 77, which CTest counts as
# skipped, or as failed under CI (tests/CMakeLists.txt).
cannot_run() {
    echo "$name: cannot run here: $*" >&2
    exit 77
}

# need COMMAND: the test cannot do without COMMAND.
need() {
    command -v "$1" >/dev/null 2>&1 || cannot_run "$1 not found (scripts/lib/packages.sh installs it)"
}

# report NAME: the report NAME of reports.def, in printf %b form;
# report_status NAME: the exit status that goes with it.
report() {
    sed -n "s/^REPORT($1, [0-9]*, \"\\(.*\\)\")\$/\\1/p" "$support/reports.def"
}
report_status() {
    sed -n "s/^REPORT($1, \\([0-9]*\\), .*/\\1/p" "$support/reports.def"
}

# line NAME: the words of the line NAME of reports.def (its strings joined).
line() {
    awk -v n="$1" 'index($0, "LINE(" n ",") == 1 { on = 1 }
        on { for (s = $0; match(s, /"[^"]*"/); s = substr(s, RSTART + RLENGTH))
                 printf "%s", substr(s, RSTART + 1, RLENGTH - 2) }
        on && /\)$/ { print ""; exit }' "$support/reports.def"
}
