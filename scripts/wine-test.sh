#!/usr/bin/env bash
# The Windows plug-ins under Wine: quellor_wine_smoke.exe loads Quellor.dll as
# a host does and plays 24 voices, also through calls on an unusual stack; its
# RMS and peak must match the Linux build's, run by the same program. Then
# quellor_window_check.exe opens the editor framework's window on a virtual X
# display (Xvfb), clicks and drags with window messages, drops files on it,
# and compares the window's pixels with the headless rendering the Linux build
# writes. quellor_editor_check.exe does the same with the plug-in's editor
# through the entry point, with the data root from the registry, and then
# tries the faults a host may cause, the scale from the screen's density,
# the platform's file dialogs and message boxes, and files whose folder and
# names are outside ASCII. quellor_clap_window_check.exe embeds Quellor.clap's
# window as a CLAP host does and compares it with the VST 2.4 editor's.
#
# The 64-bit build runs on every machine (64-bit Wine). The 32-bit build runs
# where this machine can execute 32-bit programs, which some of ours cannot:
# we find out by starting Wine's 32-bit loader, and say so when we skip.
#
# Usage: scripts/wine-test.sh LINUX_BUILD WIN64_BUILD WIN32_BUILD
set -euo pipefail

linux=$(cd "$1" && pwd)
win64=$(cd "$2" && pwd)
win32=$(cd "$3" && pwd)

wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
# No debugger: a crash ends the program at once with Wine's one-line
# report, instead of a crash dialog that waits for the timeout.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" WINEDEBUG=-all

work=$(mktemp -d /tmp/quellor-wine.XXXXXX)
prefixes=()
xvfb=
cleanup() {
    for p in "${prefixes[@]}"; do
        WINEPREFIX="$p" timeout 30 wineserver -k >/dev/null 2>&1 || true
    done
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

# The window check's reference: the same session on a headless window.
window_check=
if [ -x "$linux/quellor_window_check" ]; then
    "$linux/quellor_window_check" --write "$work/headless" >"$work/headless.out" ||
        { echo "wine-test: the Linux window check failed:"; cat "$work/headless.out"; exit 1; }
    window_check=yes
else
    echo "wine-test: window check skipped: $linux has no quellor_window_check (no artwork there)"
fi

# The editor check's data root: two banks of factory programs under names of
# their own (one outside ASCII), so that the bank menu shows where they came
# from. The Linux reference reads it through QUELLOR_ROOT, the Windows
# plug-ins through the registry value. No dialog program may wait for a click here, and both
# systems format numbers the same way.
source=$(cd "$(dirname "$0")/.." && pwd)
editor_root="$work/root"
banks="$source/data/QuellorData/Banks"
mkdir -p "$editor_root/QuellorData/Banks/Wine Klänge" "$editor_root/QuellorData/Banks/Wine Leads"
cp "$banks/01 Keys/Amber Tines.qxlprg" "$banks/01 Keys/Bright Tines.qxlprg" \
    "$banks/01 Keys/Celesta.qxlprg" "$editor_root/QuellorData/Banks/Wine Klänge/"
cp "$banks/04 Leads/Bell Lead.qxlprg" "$banks/04 Leads/Chiff Lead.qxlprg" \
    "$editor_root/QuellorData/Banks/Wine Leads/"
if [ -n "$window_check" ]; then
    if [ ! -x "$linux/quellor_editor_check" ]; then
        echo "wine-test: $linux has no quellor_editor_check"
        exit 1
    fi
    env -u DISPLAY -u QUELLOR_SCALE LC_ALL=C QUELLOR_ROOT="$editor_root" \
        "$linux/quellor_editor_check" --write "$work/editor" >"$work/editor-linux.out" 2>&1 ||
        { echo "wine-test: the Linux editor check failed:"; cat "$work/editor-linux.out"; exit 1; }
fi

# Wine's windows need an X display: a virtual one on a free display number,
# which Xvfb writes to fd 3 once it accepts clients. -noreset: it must not
# start over when the last client leaves between two programs.
if [ -n "$window_check" ]; then
    # Room for the editor's window at scale 2 (1940 x 1200).
    Xvfb -displayfd 3 -screen 0 2048x1280x24 -nolisten tcp -noreset 3>"$work/display" \
        >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do
        grep -q '^[0-9]' "$work/display" 2>/dev/null && break
        sleep 0.1
    done
    if ! grep -q '^[0-9]' "$work/display"; then
        echo "wine-test: Xvfb did not start:"
        cat "$work/xvfb.log"
        exit 1
    fi
    export DISPLAY=":$(head -1 "$work/display")"
fi

# The Linux reference starts from the built-in program, as the Windows runs
# in their fresh prefixes do: a data folder installed on this machine (make
# install) or the user's settings must not change what it plays.
mkdir -p "$work/no-data" "$work/no-config"
QUELLOR_ROOT="$work/no-data" XDG_CONFIG_HOME="$work/no-config" XDG_DATA_HOME="$work/no-data" \
    env -u QUELLOR_QUALITY -u QUELLOR_SCALE "$linux/quellor_wine_smoke" "$linux/Quellor.so" >"$work/linux.out"
linux_result=$(grep '^rms' "$work/linux.out")

# compare NAME OUTPUT_FILE: the Windows result against the Linux one. The two
# run the same arithmetic; only the C libraries' powers and exponentials at
# control rate may differ in their last bits.
compare() {
    local name=$1 windows
    windows=$(tr -d '\r' <"$2" | grep '^rms' || true)
    if ! awk -v w="$windows" -v l="$linux_result" 'BEGIN {
            split(w, a, " "); split(l, b, " ");
            if (a[1] != "rms") exit 1
            for (i = 2; i <= 4; i += 2)
                if ((a[i] - b[i]) > 1e-5 * b[i] || (b[i] - a[i]) > 1e-5 * b[i]) exit 1
        }'; then
        echo "wine-test: $name (${windows:-no result}) and Linux ($linux_result) differ"
        exit 1
    fi
    echo "wine-test: $name under Wine: $windows, as on Linux"
}

# run NAME ARCH LOADER BUILD: a fresh prefix, then the smoke host. Output goes to
# files, not pipes (Wine keeps a pipe open after exit); its lines end in CRLF.
run() {
    local name=$1 arch=$2 loader=$3 build=$4 prefix="$work/$1"
    prefixes+=("$prefix")
    export WINEPREFIX="$prefix" WINEARCH="$arch" WINELOADER="$loader"
    if ! timeout 300 "$loader" wineboot -i >"$work/$name-wineboot.log" 2>&1; then
        echo "wine-test: Wine could not make a prefix for the $name build:"
        tail -20 "$work/$name-wineboot.log"
        exit 1
    fi
    # The sound checks run without the display: a message box the plug-in
    # shows (a program's sample file that is not there) must not wait for a
    # click that never comes.
    (cd "$build" && env -u DISPLAY timeout 300 "$loader" quellor_wine_smoke.exe Quellor.dll \
        >"$work/$name.out" 2>&1) || {
        echo "wine-test: the $name build failed:"
        tr -d '\r' <"$work/$name.out"
        exit 1
    }
    tr -d '\r' <"$work/$name.out" | grep -v '^rms' | sed "s/^/wine-test: $name build: /"
    compare "$name" "$work/$name.out"
    (cd "$build" && env -u DISPLAY timeout 600 "$loader" quellor_wine_golden.exe Quellor.dll \
        "$(windows_path "$golden_list")" \
        >"$work/$name-golden.out" 2>&1) || {
        echo "wine-test: the $name build does not sound as the golden renders recorded on Linux:"
        tr -d '\r' <"$work/$name-golden.out"
        exit 1
    }
    tr -d '\r' <"$work/$name-golden.out" | sed "s/^/wine-test: $name build: /"
    # Quellor.clap, where the build makes one, plays a few of the same programs
    # through its CLAP entry.
    if [ -f "$build/Quellor.clap" ]; then
        (cd "$build" && env -u DISPLAY timeout 300 "$loader" quellor_wine_golden.exe Quellor.clap \
            "$(windows_path "$clap_golden_list")" >"$work/$name-clap-golden.out" 2>&1) || {
            echo "wine-test: the $name Quellor.clap does not sound as the golden renders recorded on Linux:"
            tr -d '\r' <"$work/$name-clap-golden.out"
            exit 1
        }
        tr -d '\r' <"$work/$name-clap-golden.out" | sed "s/^/wine-test: $name Quellor.clap: /"
    fi
    if [ -n "$window_check" ]; then
        window "$name" "$loader" "$build"
        editor "$name" "$loader" "$build"
        if [ -f "$build/Quellor.clap" ]; then clap_window "$name" "$loader" "$build"; fi
    fi
}

# clap_window NAME LOADER BUILD: Quellor.clap's window embedded as a CLAP host
# embeds it, compared with the VST 2.4 editor's (the data root from the
# registry, as the editor check left it).
clap_window() {
    local name=$1 loader=$2 build=$3 out="$work/$1-clap-window.out"
    if [ ! -f "$build/quellor_clap_window_check.exe" ]; then
        echo "wine-test: $name build has no quellor_clap_window_check.exe"
        exit 1
    fi
    (cd "$build" && env -u QUELLOR_ROOT -u QUELLOR_SCALE timeout 120 "$loader" \
        quellor_clap_window_check.exe Quellor.dll Quellor.clap >"$out" 2>&1) || {
        echo "wine-test: the $name CLAP window check failed:"
        tr -d '\r' <"$out"
        exit 1
    }
    tr -d '\r' <"$out" | sed "s/^clap-window-check: /wine-test: $name Quellor.clap: /"
}

# window NAME LOADER BUILD: the window check in the prefix run has made.
# Without a window manager, Wine's managed windows wait on closing; ours are
# left unmanaged.
window() {
    local name=$1 loader=$2 build=$3
    if [ ! -f "$build/quellor_window_check.exe" ]; then
        echo "wine-test: $name build has no quellor_window_check.exe (built without the artwork)"
        exit 1
    fi
    timeout 60 "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
        >"$work/$name-reg.log" 2>&1
    (cd "$build" && timeout 60 "$loader" quellor_window_check.exe --compare "$work/headless" \
        --capture "$work/$name-window" >"$work/$name-window.out" 2>&1) || {
        echo "wine-test: the $name window check failed:"
        tr -d '\r' <"$work/$name-window.out"
        exit 1
    }
    tr -d '\r' <"$work/$name-window.out" | sed "s/^window-check: /wine-test: $name build: /"
}

# editor NAME LOADER BUILD: the plug-in's editor in the prefix run has made,
# with the data root in the registry (the environment variable would win).
editor() {
    local name=$1 loader=$2 build=$3 out
    if [ ! -f "$build/quellor_editor_check.exe" ]; then
        echo "wine-test: $name build has no quellor_editor_check.exe"
        exit 1
    fi
    timeout 60 "$loader" reg add 'HKCU\SOFTWARE\tavrino\Quellor' /v rootFolder /t REG_SZ \
        /d "$(windows_path "$editor_root")" /f >"$work/$name-reg.log" 2>&1
    out="$work/$name-editor.out"
    # A UTF-8 locale: Wine reads the Linux names of the files (the bank "Wine
    # Klänge") through it; numbers are formatted as in the C locale.
    (cd "$build" && env -u QUELLOR_ROOT -u QUELLOR_SCALE LC_ALL=C.UTF-8 timeout 300 "$loader" \
        quellor_editor_check.exe --compare "$work/editor" Quellor.dll >"$out" 2>&1 &&
        timeout 120 "$loader" quellor_editor_check.exe --dialogs >>"$out" 2>&1) || {
        echo "wine-test: the $name editor check failed:"
        tr -d '\r' <"$out" | grep -v '^wine: Read access denied'
        exit 1
    }
    # Files named outside ASCII: the check saves, drops and loads them in a
    # folder of this prefix's own; here their names must read as Linux sees them.
    local wide="$work/$name-wide" folder="Klänge-ünï-€"
    mkdir -p "$wide/$folder"
    cp "$source/data/Microtuning/Just Intonation.TUN" "$wide/$folder/Ström.TUN"
    (cd "$build" && env -u QUELLOR_ROOT LC_ALL=C.UTF-8 timeout 120 "$loader" \
        quellor_editor_check.exe --wide "$(windows_path "$wide")" Quellor.dll >>"$out" 2>&1) || {
        echo "wine-test: the $name editor check of names outside ASCII failed:"
        tr -d '\r' <"$out" | grep -v '^wine: Read access denied' | tail -8
        exit 1
    }
    local listed
    listed=$(cd "$wide/$folder" && LC_ALL=C ls -A | tr '\n' '|')
    if [ "$listed" != "Alt.qxlprg|Glöckchen.qxlprg|Ström.TUN|Wellé.wav|" ]; then
        echo "wine-test: $name build: the folder $folder holds \"$listed\"," \
            "not the saved programs, the tuning and the sample under their names"
        exit 1
    fi
    echo "wine-test: $name build: the saved program is \"$folder/Glöckchen.qxlprg\" on Linux"
    # A screen of 192 dpi for one run, of 144 (a 150 % desktop) for another:
    # the editor must choose scale 2, then 1.5, by itself.
    for dpi in 192 144; do
        timeout 60 "$loader" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
            /d "$dpi" /f >>"$work/$name-reg.log" 2>&1
        (cd "$build" && env -u QUELLOR_ROOT -u QUELLOR_SCALE timeout 120 "$loader" \
            quellor_editor_check.exe --dpi Quellor.dll >>"$out" 2>&1) || {
            echo "wine-test: the $name editor check on a screen of $dpi dpi failed:"
            tr -d '\r' <"$out" | tail -3
            exit 1
        }
    done
    timeout 60 "$loader" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f \
        >>"$work/$name-reg.log" 2>&1
    tr -d '\r' <"$out" | grep '^editor-check: ' | sed "s/^editor-check: /wine-test: $name build: /"
}

# The golden renders: every example and factory program with the fingerprint
# the Linux tests keep for it, as paths Wine reads through its Z: drive.
golden_list="$work/golden.txt"
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
{
    for f in "$source"/examples/*.qxlprg; do
        [ -e "$f" ] || continue
        printf '%s\t%s\n' "$(windows_path "$f")" \
            "$(windows_path "$source/tests/golden/examples/$(basename "$f" .qxlprg).txt")"
    done
    for f in "$source"/data/QuellorData/Banks/*/*.qxlprg; do
        [ -e "$f" ] || continue
        bank=$(basename "$(dirname "$f")")
        printf '%s\t%s\n' "$(windows_path "$f")" \
            "$(windows_path "$source/tests/golden/Banks/$bank/$(basename "$f" .qxlprg).txt")"
    done
} >"$golden_list"
# A few of them for the CLAP plug-in: keys, a sequenced one, a microtonal one.
clap_golden_list="$work/clap-golden.txt"
grep -E 'demo\.qxlprg|Amber Tines|Arp Pluck|19-Tone Piano' "$golden_list" >"$clap_golden_list" || true

# GCC for 64-bit Windows leaves 32-byte stack slots 16-byte aligned; the build
# is assembled so that no aligned 256-bit move is left to fault on them.
if x86_64-w64-mingw32-objdump -d "$win64/Quellor.dll" | grep -E 'vmov(aps|apd|dqa)' | grep ymm |
    grep -q '('; then
    echo "wine-test: the 64-bit Quellor.dll has aligned 256-bit moves that may fault on a Windows stack"
    exit 1
fi
run 64-bit win64 "$wine64" "$win64"

if probe=$("$wine32" --version 2>&1); then
    run 32-bit win32 "$wine32" "$win32"
else
    echo "wine-test: 32-bit Windows test skipped: this machine cannot run 32-bit programs" \
        "($wine32: ${probe##*: })"
fi
