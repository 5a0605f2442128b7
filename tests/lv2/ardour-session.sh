#!/usr/bin/env bash
# Quellor's LV2 bundle in Ardour's headless Lua tool: a MIDI track with the
# plug-in is made, played and saved; the session is opened again in a new
# process and must give back the same parameter values and program state,
# and play the same note at the same level.
#
#     ardour-session.sh BUILD/Quellor.lv2
set -uo pipefail
bundle=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

lua=""
for candidate in ardour8-lua ardour7-lua; do
    if command -v "$candidate" >/dev/null; then
        lua=$candidate
        break
    fi
done
if [ -z "$lua" ]; then
    echo "ardour-session: skipped: ardour7-lua is not installed (Debian ardour)"
    exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lv2" "$work/home" "$work/empty-root"
ln -s "$bundle" "$work/lv2/Quellor.lv2"
export LV2_PATH=$work/lv2
# The session is made with the factory data folder as the data root, so that
# the new instance starts with the first factory program, which sounds. It is
# opened again with an empty data root, where an instance starts with the
# built-in program, which is silent: only the program restored from the
# session's state can play the note as before.
factory_root=$here/../../data
# Ardour's own settings go into the test's folder.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
# A plug-in built with AddressSanitizer, inside a host built without it.
# grep reads ldd's whole answer: with pipefail, an early exit (-q) can make
# ldd fail on a closed pipe and the check miss the runtime.
if ldd "$bundle/Quellor.so" 2>/dev/null | grep libasan >/dev/null; then
    export ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0
fi

run() {
    local root=$factory_root
    [ "$1" = reload ] && root=$work/empty-root
    QUELLOR_ROOT=$root timeout 180 "$lua" "$here/ardour-session.lua" "$1" "$work/session" >"$work/$1.log" 2>&1
    local status=$?
    if grep -q "^error:" "$work/$1.log" || [ $status -ne 0 ]; then
        if [ $status -ne 0 ] && ! grep -q "^params" "$work/$1.log" && [ "$1" = create ] &&
            grep -qi "backend\|engine" "$work/$1.log" && ! grep -q "^error:" "$work/$1.log"; then
            echo "ardour-session: skipped: Ardour's dummy backend cannot start here"
            exit 0
        fi
        cat "$work/$1.log" >&2
        echo "ardour-session: the $1 run failed (status $status)" >&2
        exit 1
    fi
}

# The program bytes Ardour stored with the session's newest plug-in state.
program_state() {
    local state
    state=$(find "$work/session" -name state.ttl -newer "$1" 2>/dev/null | head -1)
    [ -n "$state" ] || return 1
    awk '/urn:tavrino:quellor#program/,/\./' "$state"
}

run create
touch "$work/created"
first_state=$(find "$work/session" -name state.ttl | head -1)
[ -n "$first_state" ] || {
    echo "ardour-session: Ardour saved no plug-in state" >&2
    exit 1
}
created_program=$(awk '/urn:tavrino:quellor#program/,/\./' "$first_state")
[ -n "$created_program" ] || {
    echo "ardour-session: the saved state holds no program" >&2
    exit 1
}
sleep 1
touch "$work/before-reload"
run reload

params_created=$(grep "^params" "$work/create.log")
params_reloaded=$(grep "^params" "$work/reload.log")
if [ "$params_created" != "$params_reloaded" ]; then
    echo "ardour-session: the parameters changed over the reload" >&2
    echo "  saved:    $params_created" >&2
    echo "  reloaded: $params_reloaded" >&2
    exit 1
fi
case "$params_created" in
"params 0.6000 "*) ;;
*)
    echo "ardour-session: Master Level was not set: $params_created" >&2
    exit 1
    ;;
esac

reloaded_program=$(program_state "$work/before-reload")
if [ -n "$reloaded_program" ] && [ "$reloaded_program" != "$created_program" ]; then
    echo "ardour-session: the program state changed over the reload" >&2
    exit 1
fi

level_created=$(awk '/^level/ {print $2}' "$work/create.log")
level_reloaded=$(awk '/^level/ {print $2}' "$work/reload.log")
if ! awk -v a="$level_created" -v b="$level_reloaded" \
    'BEGIN { d = a - b; if (d < 0) d = -d; exit !(a > -60 && d <= 0.5) }'; then
    echo "ardour-session: the note peaked at $level_created dB before the reload," \
        "$level_reloaded dB after" >&2
    exit 1
fi
echo "ardour-session: same parameters, state and level after the reload" \
    "($level_created dB, $level_reloaded dB)"
