#!/usr/bin/env python3
"""Writes examples/preview.mid: the phrase every factory program is previewed
and checked with.

At 120 BPM: a low, a middle and a high note (C2, C4, C6) at velocity 100, then
an eight-note C major chord at velocity 127, held for two beats. Short, so
that a whole library renders quickly; the chord lets the sequencers recognise
a harmony. Type 0 file, 480 ticks per quarter note.

Usage: python3 tools/make-preview-midi.py [OUTPUT]   (default examples/preview.mid)
"""
import os
import struct
import sys

PPQ = 480
BEAT = PPQ
TEMPO_US = 500000  # 120 BPM

LOW, MIDDLE, HIGH = 36, 60, 84
CHORD = [48, 52, 55, 60, 64, 67, 72, 76]  # C3 E3 G3 C4 E4 G4 C5 E5


def var_len(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append((value & 0x7F) | 0x80)
        value >>= 7
    return bytes(reversed(out))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), "..", "examples", "preview.mid")
    events = [(0, 0, bytes([0xFF, 0x51, 3]) + TEMPO_US.to_bytes(3, "big"))]
    order = 1
    for i, key in enumerate([LOW, MIDDLE, HIGH]):
        start = i * BEAT
        events.append((start, order, bytes([0x90, key, 100])))
        events.append((start + BEAT * 3 // 4, order + 1, bytes([0x80, key, 0])))
        order += 2
    for key in CHORD:
        events.append((3 * BEAT, order, bytes([0x90, key, 127])))
        events.append((5 * BEAT, order + 1, bytes([0x80, key, 0])))
        order += 2
    events.sort()
    track = b""
    last = 0
    for tick, _, data in events:
        track += var_len(tick - last) + data
        last = tick
    track += var_len(0) + bytes([0xFF, 0x2F, 0])
    with open(out, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, PPQ))
        f.write(b"MTrk" + struct.pack(">I", len(track)) + track)


if __name__ == "__main__":
    main()
