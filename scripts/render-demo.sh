#!/usr/bin/env bash
# Renders the example MIDI phrase through the built plug-in into demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."
render="${1:-build/quellor-render}"
args=(--midi examples/demo.mid --out demo.wav --tail 2)
if [ -f examples/demo.qxlprg ] && "$render" --help 2>&1 | grep -q -- '--program'; then
    args+=(--program examples/demo.qxlprg)
fi
"$render" "${args[@]}"
