#!/usr/bin/env bash
# Runs the test of editing while the synth plays (tests/engine/LiveEditStressTest.cpp)
# from its ThreadSanitizer build: any race between the editing thread and the
# audio thread is a report, and a report fails (exit code 66).
#
# ThreadSanitizer cannot start on some kernels ("unexpected memory mapping",
# with a large address-space randomisation): the test then runs again with the
# randomisation off (setarch -R), and where it still cannot start it says so
# plainly and skips, without failing.
set -uo pipefail
build=${1:-build-tsan}
binary=$build/quellor_live_edit_tests
log=$(mktemp)
trap 'rm -f "$log"' EXIT

run() {
    TSAN_OPTIONS="exitcode=66 ${TSAN_OPTIONS:-}" "$@" >"$log" 2>&1
}
# ThreadSanitizer's own words when it cannot lay out its memory.
cannot_start() {
    grep -q -e 'unexpected memory mapping' -e 'FATAL: ThreadSanitizer' -e 'failed to set personality' "$log"
}

run "$binary"
status=$?
if [ $status -ne 0 ] && cannot_start; then
    echo "tsan-test: ThreadSanitizer could not start ($(grep -m1 -e FATAL -e personality "$log")); again without address-space randomisation"
    run setarch "$(uname -m)" -R "$binary"
    status=$?
    if [ $status -ne 0 ] && cannot_start; then
        echo "tsan-test: skipped: ThreadSanitizer cannot run on this kernel ($(uname -r)):" \
            "$(grep -m1 -e FATAL -e personality "$log")"
        exit 0
    fi
fi
if [ $status -ne 0 ]; then
    cat "$log"
    echo "tsan-test: FAILED (exit code $status)"
    exit $status
fi
grep -e 'blocks rendered' -e 'PASSED' "$log" | sed 's/^/tsan-test: /'
