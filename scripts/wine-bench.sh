#!/usr/bin/env bash
# The speed of the 64-bit Windows plug-in under Wine beside the Linux one's,
# measured by the same host program in the same minutes (this machine is
# shared, so only figures taken together compare).
# Usage: scripts/wine-bench.sh LINUX_RELEASE_BUILD WIN64_BUILD
set -euo pipefail

linux=$(cd "$1" && pwd)
win64=$(cd "$2" && pwd)
wine64=/usr/lib/wine/wine64

prefix=$(mktemp -d /tmp/quellor-wine-bench.XXXXXX)
export WINEPREFIX="$prefix" WINEARCH=win64 WINELOADER="$wine64" \
    WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
cleanup() {
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
}
trap cleanup EXIT
timeout 300 "$wine64" wineboot -i >"$prefix/wineboot.log" 2>&1

echo "== Linux x86-64 (Quellor.so)"
"$linux/quellor_wine_smoke" "$linux/Quellor.so" --bench
echo "== Windows x86-64 under Wine (Quellor.dll)"
(cd "$win64" && timeout 600 "$wine64" quellor_wine_smoke.exe Quellor.dll --bench \
    >"$prefix/windows.out" 2>&1) || {
    tr -d '\r' <"$prefix/windows.out"
    exit 1
}
tr -d '\r' <"$prefix/windows.out"
