#!/usr/bin/env bash
# Renders the preview phrase through every program of each factory bank with
# quellor-render and writes one Opus file per bank into OUT_DIR: the bank's
# programs one after another, in the order of the bank menu. The bit rate is
# chosen from the length so that every file stays under 200 KB, and the Ogg
# stream serial is fixed and nothing is dithered, so that the same previews
# give the same bytes.
# usage: make-sound-examples.sh BUILD_DIR OUT_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build="$1"
out="$2"
limit_bytes=$((200 * 1024))
max_kbps=64
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for bank in data/QuellorData/Banks/*/; do
    bank="${bank%/}"
    name="$(basename "$bank" | tr 'A-Z' 'a-z' | sed -e 's/[^a-z0-9]\{1,\}/-/g' -e 's/^-//' -e 's/-$//')"
    rm -rf "$work/previews"
    "$build/quellor-render" --midi examples/preview.mid --tail 0.5 --bank "$bank" \
        --out-dir "$work/previews" >/dev/null
    mapfile -t wavs < <(find "$work/previews" -name '*.wav' | LC_ALL=C sort)
    sox -V1 -D "${wavs[@]}" -b 16 "$work/$name.wav"
    seconds="$(soxi -D "$work/$name.wav")"
    # 5 % below the limit for the container's pages and headers.
    kbps="$(awk -v s="$seconds" -v l="$limit_bytes" -v m="$max_kbps" \
        'BEGIN { k = int(l * 8 * 0.95 / s / 1000); print (k < m ? k : m) }')"
    opusenc --quiet --hard-cbr --serial 1 --bitrate "$kbps" --title "$(basename "$bank")" --artist Quellor \
        "$work/$name.wav" "$out/$name.opus"
    printf '%-32s %5.1f s %3d kbit/s %7d bytes\n' "$name.opus" "$seconds" "$kbps" \
        "$(stat -c %s "$out/$name.opus")"
done
