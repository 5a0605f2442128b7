#!/usr/bin/env bash
# The Windows plug-in under Wine: quellor_wine_smoke.exe loads Quellor.dll as
# a host does and plays 24 voices (also through calls with a 4-byte aligned
# stack); its RMS and peak must match the Linux build's, run by the same
# program. Usage: scripts/wine-test.sh WINDOWS_BUILD LINUX_BUILD
set -euo pipefail

win=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)

prefix=$(mktemp -d /tmp/quellor-wine.XXXXXX)
export WINEPREFIX="$prefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
cleanup() {
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
}
trap cleanup EXIT

timeout 300 wineboot -i >"$prefix/wineboot.log" 2>&1
# Output to files, not pipes (Wine keeps a pipe open after exit); CRLF lines.
(cd "$win" && timeout 300 wine quellor_wine_smoke.exe Quellor.dll >"$prefix/windows.out" 2>&1) || {
    echo "wine-test: the Windows build failed:"
    cat "$prefix/windows.out"
    exit 1
}
"$linux/quellor_wine_smoke" "$linux/Quellor.so" >"$prefix/linux.out"

windows=$(tr -d '\r' <"$prefix/windows.out" | grep '^rms')
linux_result=$(grep '^rms' "$prefix/linux.out")
# The two builds run the same arithmetic; only the C libraries' powers and
# exponentials at control rate may differ in their last bits.
if ! awk -v w="$windows" -v l="$linux_result" 'BEGIN {
        split(w, a, " "); split(l, b, " ");
        for (i = 2; i <= 4; i += 2)
            if ((a[i] - b[i]) > 1e-5 * b[i] || (b[i] - a[i]) > 1e-5 * b[i]) exit 1
    }'; then
    echo "wine-test: Windows ($windows) and Linux ($linux_result) differ"
    exit 1
fi
echo "wine-test: Windows build under Wine: $windows, as on Linux"
