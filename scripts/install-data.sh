#!/usr/bin/env bash
# Copies the factory data folder into the data root the plug-in looks in:
# $QUELLOR_ROOT when set, else $XDG_DATA_HOME/Quellor (default ~/.local/share/Quellor).
set -euo pipefail
cd "$(dirname "$0")/.."
root="${QUELLOR_ROOT:-${XDG_DATA_HOME:-$HOME/.local/share}/Quellor}"
mkdir -p "$root"
if [ -d data ] && [ -n "$(ls -A data 2>/dev/null)" ]; then
    cp -r data/. "$root/"
fi
echo "Data folder: $root"
