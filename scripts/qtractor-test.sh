#!/usr/bin/env bash
# Quellor.clap in Qtractor, a CLAP host nobody here wrote. Qtractor's own
# plug-in scanner (the program Qtractor runs to list a CLAP library) must find
# Quellor with its ports, parameters and window. Then, where the machine can
# run Qtractor's engine, Qtractor opens a session with Quellor on a MIDI
# track under Xvfb and a dummy JACK server, and must show the session with
# no error. Qtractor's engine needs the ALSA sequencer (/dev/snd/seq) beside
# JACK; where the machine has none (containers), the script says so in one
# line and stops after the scan.
#
# The plug-in must be an unsanitised build: Qtractor is no sanitised program.
#
# Usage: scripts/qtractor-test.sh BUILD   (the folder holding Quellor.clap)
set -euo pipefail

plugin=$(cd "$1" && pwd)/Quellor.clap
say() { echo "qtractor-test: $*"; }

if [ ! -f "$plugin" ]; then
    say "no $plugin: build the target QuellorClap first" >&2
    exit 1
fi
scanner=$(ls /usr/lib/*/qtractor/qtractor_plugin_scan /usr/lib/qtractor/qtractor_plugin_scan \
    2>/dev/null | head -n 1 || true)
if [ -z "$scanner" ] || ! command -v qtractor >/dev/null; then
    say "Qtractor is not installed; Quellor.clap is not tried in it"
    exit 0
fi

# The scanner reads "CLAP:<file>" and answers one line per plug-in:
# CLAP|name|audio ins:outs|MIDI ins:outs|parameters:outputs|flags|file|index|id
line=$(echo "CLAP:$plugin" | timeout 60 "$scanner" 2>/dev/null | grep '^CLAP|' || true)
IFS='|' read -r kind name audio midi params flags file index id <<<"$line"
expect() {
    if [ "$2" != "$3" ]; then
        say "Qtractor's scan of Quellor.clap: $1 is '$2', expected '$3' (line: '$line')" >&2
        exit 1
    fi
}
expect "the kind" "${kind:-}" "CLAP"
expect "the name" "${name:-}" "Quellor"
expect "the audio ports (ins:outs)" "${audio:-}" "0:2"
expect "the MIDI ports (ins:outs)" "${midi:-}" "1:0"
expect "the parameters" "${params:-}" "43:0"
expect "the index" "${index:-}" "0"
case ",${flags:-}," in
*,GUI,*) ;;
*) expect "the flags (a window)" "${flags:-}" "GUI,..." ;;
esac
say "Qtractor's scanner finds Quellor.clap: 0 inputs, 2 outputs, 1 MIDI input, 43 parameters, a window"

if [ ! -e /dev/snd/seq ]; then
    say "no ALSA sequencer (/dev/snd/seq) here, so Qtractor's engine cannot start; playing in Qtractor is not tried"
    exit 0
fi
for tool in Xvfb jackd xwininfo; do
    if ! command -v "$tool" >/dev/null; then
        say "$tool is missing; playing in Qtractor is not tried"
        exit 0
    fi
done

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    sleep 1
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

export HOME="$work/home" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1600x1200x24 >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display JACK_DEFAULT_SERVER="quellor-$$"
jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 1024 >"$work/jack.log" 2>&1 &
pids+=($!)
sleep 2
if ! kill -0 "${pids[1]}" 2>/dev/null; then
    say "jackd -d dummy cannot start here; playing in Qtractor is not tried"
    exit 0
fi

source_dir=$(cd "$(dirname "$0")/.." && pwd)
cp "$source_dir/examples/demo.mid" "$work/demo.mid"
cat >"$work/quellor.qtr" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE qtractorSession>
<session version="0.9.31" name="quellor">
 <properties>
  <directory>$work</directory>
  <sample-rate>48000</sample-rate>
  <tempo>120</tempo>
  <ticks-per-beat>960</ticks-per-beat>
 </properties>
 <tracks>
  <track name="Quellor" type="midi">
   <properties>
    <input-bus>Master</input-bus>
    <output-bus>Master</output-bus>
    <midi-omni>1</midi-omni>
    <midi-channel>0</midi-channel>
   </properties>
   <clips>
    <clip name="demo">
     <properties><name>demo</name><start>0</start><offset>0</offset><length>480000</length></properties>
     <midi-clip><filename>$work/demo.mid</filename><track-channel>0</track-channel></midi-clip>
    </clip>
   </clips>
   <plugins>
    <plugin type="CLAP">
     <filename>$plugin</filename>
     <index>0</index>
     <activated>1</activated>
    </plugin>
   </plugins>
  </track>
 </tracks>
</session>
EOF
qtractor "$work/quellor.qtr" >"$work/qtractor.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 30); do
    sleep 1
    windows=$(xwininfo -root -tree 2>/dev/null || true)
    if grep -qE 'quellor|"Error' <<<"$windows"; then break; fi
done
if grep -q '"Error' <<<"$windows"; then
    say "Qtractor could not start its engine here; playing in Qtractor is not tried"
    exit 0
fi
if ! kill -0 "${pids[2]}" 2>/dev/null; then
    say "Qtractor ended while it opened the session with Quellor (log: $(tail -n 3 "$work/qtractor.log"))" >&2
    exit 1
fi
if ! grep -q 'quellor' <<<"$windows"; then
    say "Qtractor did not show the session with Quellor within 30 s" >&2
    exit 1
fi
say "Qtractor opens a session with Quellor.clap on a MIDI track"
