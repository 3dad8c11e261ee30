# shellcheck shell=sh
# Sourced by the shell tests. cannot_run WHY: the test needs what this machine
# lacks (root or user namespaces, Wine, valgrind...). Under CI (CI set and not
# empty) that fails it; elsewhere it exits 77, which CTest reports as skipped
# (SKIP_RETURN_CODE 77). tests/support/cannot_run.h is the same for GoogleTest.
cannot_run() {
    if [ -n "${CI:-}" ]; then
        echo "FAIL (under CI a test that cannot run fails): $*" >&2
        exit 1
    fi
    echo "*** SKIPPED, and it would fail under CI: $* ***" >&2
    exit 77
}

# need_port VCOM: vcom can present a port as /dev/ttyS2 here (root or user
# namespaces), or the test cannot run.
need_port() {
    "$1" --port none -- true 2>/dev/null ||
        cannot_run "vcom cannot present a port as /dev/ttyS2 here: it needs root or user namespaces"
}
