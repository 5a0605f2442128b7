#!/usr/bin/env bash
# Renders the example MIDI phrase through the built plug-in with the example
# program into demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."
render="${1:-build/quellor-render}"
"$render" --program examples/demo.qxlprg --midi examples/demo.mid --out demo.wav --tail 2.5
