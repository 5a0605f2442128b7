#!/usr/bin/env bash
# The bundle as LV2's own tools see it: lv2ls lists the plug-in, lv2info
# shows its ports and its window, and sord_validate accepts the Turtle files
# against the LV2 schemas installed on this machine.
#
#     lv2-tools.sh BUILD/Quellor.lv2
set -uo pipefail
bundle=$1
uri="urn:tavrino:quellor"

for tool in lv2ls lv2info sord_validate; do
    if ! command -v "$tool" >/dev/null; then
        echo "lv2-tools: skipped: $tool is not installed (Debian lilv-utils, sordi)"
        exit 0
    fi
done

fail() {
    echo "lv2-tools: $*" >&2
    exit 1
}

# A folder with our bundle alone, so that nothing else on the machine answers.
path=$(mktemp -d)
trap 'rm -rf "$path"' EXIT
ln -s "$(cd "$bundle" && pwd)" "$path/Quellor.lv2"
export LV2_PATH=$path

[ "$(lv2ls)" = "$uri" ] || fail "lv2ls lists '$(lv2ls)', not $uri"

# With the installed LV2 vocabularies beside it, lilv knows the plug-in's class.
[ -d /usr/lib/lv2 ] && export LV2_PATH=$path:/usr/lib/lv2
info=$(lv2info "$uri") || fail "lv2info cannot describe $uri"
expect() {
    grep -qF -- "$1" <<<"$info" || fail "lv2info shows no '$1'"
}
expect "Name:              Quellor"
expect "Class:             Instrument Plugin"
expect "urn:tavrino:quellor#ui"
expect "http://lv2plug.in/ns/extensions/ui#X11UI"
expect "QuellorUI.so"
expect "http://lv2plug.in/ns/ext/state#interface"
expect "http://lv2plug.in/ns/ext/urid#map"
# Every port: the events, two outputs, the 43 host parameters.
ports=$(grep -c "^	Port [0-9]*:" <<<"$info")
[ "$ports" -eq 47 ] || fail "lv2info shows $ports ports, not 47"
for name in "MIDI In" "Quellor 1" "Quellor 2" "Master Level" "Delay: TimePre" "EQ: Band 4 Lev" \
    "Flt2: Mode"; do
    expect "Name:        $name"
done

# The schemas: RDF, OWL, DOAP and the others of schemas.lv2, and every
# extension's vocabulary that lv2-dev installs (each bundle there that
# describes no plug-in).
specs=()
for manifest in /usr/lib/lv2/*.lv2/manifest.ttl; do
    if ! grep -q "lv2:Plugin" "$manifest"; then
        specs+=("$(dirname "$manifest")"/*.ttl)
    fi
done
[ ${#specs[@]} -gt 0 ] || {
    echo "lv2-tools: skipped validation: no LV2 schemas in /usr/lib/lv2 (Debian lv2-dev)"
    exit 0
}
report=$(sord_validate "${specs[@]}" "$bundle"/*.ttl 2>&1)
if grep -qE "^(error|warning):" <<<"$report"; then
    grep -E -A3 "^(error|warning):" <<<"$report" | head -40 >&2
    fail "sord_validate does not accept the Turtle files"
fi
echo "lv2-tools: listed, described and validated"
