#!/usr/bin/env bash
# Copies the factory data folder into the data root the plug-in looks in:
# $QUELLOR_ROOT when set, else $XDG_DATA_HOME/Quellor (default ~/.local/share/Quellor).
# Files already there are kept: a program, envelope or tuning the user edited
# under a factory name survives a reinstall.
set -euo pipefail
cd "$(dirname "$0")/.."
root="${QUELLOR_ROOT:-${XDG_DATA_HOME:-$HOME/.local/share}/Quellor}"
mkdir -p "$root"
added=0
kept=0
while IFS= read -r -d '' file; do
    target="$root/${file#data/}"
    if [ -e "$target" ]; then
        kept=$((kept + 1))
        continue
    fi
    mkdir -p "$(dirname "$target")"
    cp "$file" "$target"
    added=$((added + 1))
done < <(find data -type f -print0)
echo "Data folder: $root ($added files added, $kept already there and kept)"
