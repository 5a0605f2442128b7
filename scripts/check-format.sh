#!/usr/bin/env bash
# Fails when a C++ file of the project is not laid out as .clang-format says.
# The fix for a listed file: clang-format-14 -i FILE
set -euo pipefail
cd "$(dirname "$0")/.."

format=clang-format-14
if ! command -v "$format" >/dev/null; then
    echo "check-format: $format is missing (scripts/install-deps.sh installs it)" >&2
    exit 1
fi

mapfile -t files < <(find src tests tools bench fuzz \( -name '*.cpp' -o -name '*.h' \) -type f | sort)
bad=()
for f in "${files[@]}"; do
    if ! "$format" --dry-run --Werror "$f" >/dev/null 2>&1; then
        bad+=("$f")
    fi
done

if [ ${#bad[@]} -ne 0 ]; then
    echo "check-format: ${#bad[@]} file(s) differ from .clang-format:" >&2
    printf '  %s\n' "${bad[@]}" >&2
    echo "check-format: run $format -i on them" >&2
    exit 1
fi
echo "check-format: ${#files[@]} files as .clang-format lays them out"
