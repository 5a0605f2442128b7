#!/usr/bin/env bash
# Quellor.clap in Qtractor, a CLAP host nobody here wrote. Qtractor's own
# plug-in scanner (the program Qtractor runs to list a CLAP library) must find
# Quellor with its ports, parameters and window. Then Qtractor, under Xvfb and
# a dummy JACK server, opens a session with Quellor on a MIDI track (its
# program the example "Tine Piano", held in the session as Qtractor saves it)
# and a clip of the demo's chords starting at 1 s:
#   - a double click on the track's plug-in list opens Quellor's window: a
#     970 x 600 child window that draws (its picture lands in
#     BUILD/qtractor-quellor.png);
#   - JACK's transport starts Qtractor playing while our JACK recorder takes
#     Qtractor's master outputs (kept in BUILD/qtractor-quellor.wav): not
#     silence, every sample finite, the peak under 0 dBFS, the first chord
#     heard at 1 s.
# Qtractor's engine needs an ALSA sequencer beside JACK. Where the machine has
# none (containers), Qtractor runs with our stand-in for it preloaded:
# Qtractor hands a track's notes to the track's plug-ins itself, so nothing
# the test hears passes through the sequencer.
#
# The plug-in must be an unsanitised build: Qtractor is no sanitised program.
# The stand-in and the recorder come from the same build folder (the CMake
# target quellor_qtractor_test_tools). A step that cannot run on this machine
# says so in one line and the test stops there.
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

build=$(cd "$1" && pwd)
preload=""
if [ -e /dev/snd/seq ]; then
    sequencer="the machine's ALSA sequencer"
elif [ -f "$build/libquellor_seq_stand_in.so" ]; then
    preload="$build/libquellor_seq_stand_in.so"
    sequencer="our stand-in for the ALSA sequencer (no /dev/snd/seq here)"
else
    say "no ALSA sequencer (/dev/snd/seq) here and no stand-in for it built (target quellor_qtractor_test_tools); playing in Qtractor is not tried"
    exit 0
fi
recorder="$build/quellor-jack-record"
if [ ! -x "$recorder" ]; then
    say "no JACK recorder built (target quellor_qtractor_test_tools); playing in Qtractor is not tried"
    exit 0
fi
for tool in Xvfb jackd jack_lsp xwininfo xdotool import identify python3; do
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

# A fresh home: Qtractor runs with its default settings, which follow JACK's
# transport and open a plug-in's own window on a double click in its list.
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# Xvfb takes a free display number and writes it to fd 3 once it accepts clients.
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    grep -q '^[0-9]' "$work/display" 2>/dev/null && break
    sleep 0.1
done
if ! grep -q '^[0-9]' "$work/display"; then
    say "Xvfb cannot start here ($(tail -n 1 "$work/xvfb.log")); playing in Qtractor is not tried"
    exit 0
fi
export DISPLAY=":$(head -n 1 "$work/display")" JACK_DEFAULT_SERVER="quellor-$$" JACK_NO_START_SERVER=1
rate=48000
jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r $rate -p 1024 >"$work/jack.log" 2>&1 &
pids+=($!)
sleep 2
if ! kill -0 "${pids[1]}" 2>/dev/null || ! jack_lsp >/dev/null 2>&1; then
    say "jackd -d dummy cannot start here; playing in Qtractor is not tried"
    exit 0
fi

# The session as Qtractor saves one. The plug-in's state is the program's
# bytes (Quellor's state is its program chunk, which is what a program file
# holds), compressed as Qt's qCompress does (the length, big-endian, then
# zlib) and written in base64. demo.mid keeps its tempo in its track 0 and
# the chords in its track 1.
source_dir=$(cd "$(dirname "$0")/.." && pwd)
cp "$source_dir/examples/demo.mid" "$work/demo.mid"
state=$(python3 -c '
import base64, struct, sys, zlib
data = open(sys.argv[1], "rb").read()
print(base64.b64encode(struct.pack(">I", len(data)) + zlib.compress(data)).decode())
' "$source_dir/examples/demo.qxlprg")
# The clip starts at 1 s: notes right at the session's start are cut when
# Qtractor's transport first starts (Qtractor hands the plug-in each note-on
# with a note-off in the same block), and its first chord must sound on time.
clip_start=$rate
cat >"$work/quellor.qtr" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE qtractorSession>
<session version="0.9.31" name="quellor">
 <properties>
  <directory>$work</directory>
  <sample-rate>$rate</sample-rate>
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
    <clip name="chords">
     <properties><name>chords</name><start>$clip_start</start><offset>0</offset><length>480000</length></properties>
     <midi-clip><filename>$work/demo.mid</filename><track-channel>1</track-channel></midi-clip>
    </clip>
   </clips>
   <plugins>
    <plugin type="CLAP">
     <filename>$plugin</filename>
     <index>0</index>
     <activated>1</activated>
     <configs><config key="state">$state</config></configs>
    </plugin>
   </plugins>
  </track>
 </tracks>
</session>
EOF
if [ -n "$preload" ]; then
    LD_PRELOAD="$preload" qtractor "$work/quellor.qtr" >"$work/qtractor.log" 2>&1 &
else
    qtractor "$work/quellor.qtr" >"$work/qtractor.log" 2>&1 &
fi
pids+=($!)
qtractor_pid=$!
main=""
windows=""
for _ in $(seq 1 30); do
    sleep 1
    windows=$(xwininfo -root -tree 2>/dev/null || true)
    if grep -q '"Error' <<<"$windows"; then break; fi
    main=$(xdotool search --onlyvisible --name 'quellor\.qtr' 2>/dev/null | head -n 1 || true)
    if [ -n "$main" ] && jack_lsp 2>/dev/null | grep -qx 'Qtractor:Master/out_2'; then break; fi
    main=""
done
if grep -q '"Error' <<<"$windows"; then
    say "Qtractor could not start its engine here with $sequencer; playing in Qtractor is not tried"
    exit 0
fi
if ! kill -0 "$qtractor_pid" 2>/dev/null; then
    say "Qtractor ended while it opened the session with Quellor (log: $(tail -n 3 "$work/qtractor.log"))" >&2
    exit 1
fi
if [ -z "$main" ]; then
    say "Qtractor did not show the session with Quellor and its master outputs within 30 s" >&2
    exit 1
fi
say "Qtractor opens a session with Quellor.clap on a MIDI track, its engine running with $sequencer"

# The track's plug-in list, where a fresh Qtractor lays it out in its main
# window: a double click on Quellor there opens Quellor's own window.
xdotool mousemove --window "$main" 178 179 click --repeat 2 --delay 100 1
editor=""
for _ in $(seq 1 10); do
    sleep 1
    editor=$(xdotool search --onlyvisible --name '^Quellor - ' 2>/dev/null | head -n 1 || true)
    if [ -n "$editor" ]; then break; fi
done
if [ -z "$editor" ]; then
    import -window root "$build/qtractor-main.png" 2>/dev/null || true
    say "Qtractor did not open Quellor's window on a double click on its plug-in list within 10 s (the screen: $build/qtractor-main.png)" >&2
    exit 1
fi
child=$(xwininfo -children -id "$editor" | awk '$1 ~ /^0x/ && / 970x600\+/ { print $1; exit }')
if [ -z "$child" ]; then
    say "Quellor's window in Qtractor holds no 970 x 600 child ($(xwininfo -children -id "$editor" | grep -E '^ +0x' | tr -s ' ' || true))" >&2
    exit 1
fi
say "Qtractor opens Quellor's window: \"$(xdotool getwindowname "$editor")\" holds the 970 x 600 window $child"

# JACK's transport starts Qtractor from the session's start while the
# recorder takes Qtractor's master outputs; the window stays open meanwhile.
seconds=4
if ! result=$("$recorder" --start-transport $seconds "$work/qtractor.wav" \
    Qtractor:Master/out_1 Qtractor:Master/out_2 2>"$work/record.log"); then
    say "the recorder could not take Qtractor's output: $(cat "$work/record.log") $result" >&2
    exit 1
fi
cp "$work/qtractor.wav" "$build/qtractor-quellor.wav"
verdict=$(tail -n 1 <<<"$result" | awk -v rate=$rate -v start=$clip_start '{
    for (i = 1; i <= NF; ++i) { split($i, kv, "="); v[kv[1]] = kv[2] }
    peakDb = v["peak"] > 0 ? 20 * log(v["peak"]) / log(10) : -999
    rmsDb = v["rms"] > 0 ? 20 * log(v["rms"]) / log(10) : -999
    first = v["first"] / rate
    due = start / rate
    if (v["nonfinite"] != 0) { print "FAIL " v["nonfinite"] " samples are not finite"; exit }
    if (v["first"] < 0) { print "FAIL it is silence (nothing above -60 dBFS)"; exit }
    if (v["peak"] >= 1.0) { printf "FAIL its peak, %.2f dBFS, is not under 0 dBFS\n", peakDb; exit }
    # Within a few periods of the dummy backend (21 ms each): Qtractor may start
    # while the JACK transport is still starting, or play ahead by the latency
    # of the outputs.
    if (first < due - 0.1 || first > due + 0.1) {
        printf "FAIL its first note is heard at %.3f s, the clip starts at %.3f s\n", first, due; exit
    }
    printf "OK peak %.1f dBFS, RMS %.1f dBFS, first note heard at %.3f s (the clip starts at %.3f s), every sample finite\n", peakDb, rmsDb, first, due
}')
if [ "${verdict%% *}" != "OK" ]; then
    say "Quellor's sound at Qtractor's master output: ${verdict#* } (recorder: $result; sound kept in $build/qtractor-quellor.wav)" >&2
    exit 1
fi
say "Qtractor plays the demo's chords through Quellor.clap for $seconds s: ${verdict#OK }"

picture="$build/qtractor-quellor.png"
import -window "$child" "$picture"
colours=$(identify -format '%k' "$picture")
if [ "$colours" -lt 100 ]; then
    say "Quellor's window in Qtractor shows only $colours colours: it does not draw (picture: $picture)" >&2
    exit 1
fi
if ! kill -0 "$qtractor_pid" 2>/dev/null; then
    say "Qtractor ended after playing Quellor (log: $(tail -n 3 "$work/qtractor.log"))" >&2
    exit 1
fi
say "Quellor's window draws in Qtractor ($colours colours; picture: $picture)"
