#!/usr/bin/env bash
# Runs every built fuzz target for the given seconds on a scratch copy of its
# seed corpus (fuzz/corpus/<name>/), with the flags in fuzz/<name>.options
# (one per line, # starts a comment); prints the inputs run and the rate of
# each target, and fails on the first finding.
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
    options=()
    if [ -f "fuzz/$name.options" ]; then
        while read -r line; do
            line="${line%%#*}"
            for word in $line; do options+=("$word"); done
        done <"fuzz/$name.options"
    fi
    log="$build/$name.log"
    if "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/$name-" ${options[@]+"${options[@]}"} "$work" >"$log" 2>&1; then
        runs=$(grep -Eo 'number_of_executed_units: *[0-9]+' "$log" | grep -Eo '[0-9]+$' || true)
        rate=$(grep -Eo 'average_exec_per_sec: *[0-9]+' "$log" | grep -Eo '[0-9]+$' || true)
        echo "fuzz $name: no finding, ${runs:-?} inputs in $seconds s (${rate:-?} per second)"
    else
        echo "fuzz $name: FINDING, see $log"
        tail -30 "$log"
        status=1
    fi
    rm -rf "$work"
done
exit $status
