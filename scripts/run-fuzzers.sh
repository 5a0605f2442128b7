#!/usr/bin/env bash
# Runs every built fuzz target for the given seconds on a scratch copy of its
# seed corpus (fuzz/corpus/<name>/); fails on the first finding.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-fuzz}"
seconds="${2:-20}"
status=0
for target in "$build"/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    work=$(mktemp -d)
    if [ -d "fuzz/corpus/$name" ]; then cp -r "fuzz/corpus/$name/." "$work/"; fi
    log="$build/$name.log"
    if "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -artifact_prefix="$build/$name-" \
        "$work" >"$log" 2>&1; then
        runs=$(grep -Eo 'Done [0-9]+ runs' "$log" | tail -1 || true)
        echo "fuzz $name: no finding (${runs:-ran})"
    else
        echo "fuzz $name: FINDING, see $log"
        tail -30 "$log"
        status=1
    fi
    rm -rf "$work"
done
exit $status
