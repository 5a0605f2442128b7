#!/usr/bin/env python3
"""Writes examples/demo.mid: the short phrase `make demo` renders.

Five bars in A minor at 112 BPM, slowing to 100 BPM in the last bar:
a tempo track, chords held with the sustain pedal (controller 64), a bass
line with a pitch-bend slide, and a small lead line over the last three bars.
Type 1 file, 480 ticks per quarter note, running status inside each track.

Usage: python3 tools/make-demo-midi.py [OUTPUT]   (default examples/demo.mid)
"""
import os
import struct
import sys

PPQ = 480
BAR = 4 * PPQ
EIGHTH = PPQ // 2
SIXTEENTH = PPQ // 4

NOTE_NAMES = {"C": 0, "C#": 1, "D": 2, "D#": 3, "E": 4, "F": 5, "F#": 6,
              "G": 7, "G#": 8, "A": 9, "A#": 10, "B": 11}


def note(name):
    """'A3' -> 57 (middle C is C4 = 60)."""
    pitch, octave = name[:-1], int(name[-1])
    return 12 * (octave + 1) + NOTE_NAMES[pitch]


def var_len(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append((value & 0x7F) | 0x80)
        value >>= 7
    return bytes(reversed(out))


class Track:
    """Collects (tick, order, bytes) events and writes an MTrk chunk."""

    def __init__(self, name):
        self.events = []
        self.meta(0, 0x03, name.encode("ascii"))

    def add(self, tick, data):
        self.events.append((tick, len(self.events), bytes(data)))

    def meta(self, tick, kind, payload):
        self.add(tick, bytes([0xFF, kind]) + var_len(len(payload)) + payload)

    def tempo(self, tick, bpm):
        self.meta(tick, 0x51, struct.pack(">I", round(60_000_000 / bpm))[1:])

    def chunk(self):
        body = bytearray()
        last_tick = 0
        running = None
        events = sorted(self.events)
        for tick, _, data in events:
            body += var_len(tick - last_tick)
            last_tick = tick
            status = data[0]
            if status < 0xF0 and status == running:
                body += data[1:]  # running status: the status byte is implied
            else:
                body += data
                running = status if status < 0xF0 else None
        end = max((t for t, _, _ in events), default=0)
        body += var_len(end - last_tick) + b"\xFF\x2F\x00"
        return b"MTrk" + struct.pack(">I", len(body)) + bytes(body)


def play(track, channel, start, length, pitches, velocity):
    for p in pitches:
        track.add(start, [0x90 | channel, note(p), velocity])
        # A note-on with velocity 0 is a note-off: lets running status carry on.
        track.add(start + length, [0x90 | channel, note(p), 0])


def tempo_track():
    t = Track("Quellor demo")
    t.meta(0, 0x58, bytes([4, 2, 24, 8]))  # 4/4
    t.meta(0, 0x59, bytes([0, 1]))         # A minor
    t.tempo(0, 112)
    t.tempo(4 * BAR, 106)                  # the last bar broadens...
    t.tempo(4 * BAR + 2 * PPQ, 100)        # ...and settles
    t.meta(5 * BAR, 0x01, b"end")
    return t


def chord_track():
    ch = 0
    t = Track("Chords")
    chords = [
        ["A3", "C4", "E4", "G4", "B4"],   # Am9
        ["F3", "A3", "C4", "E4", "B4"],   # Fmaj7(#11)
        ["G3", "B3", "C4", "E4", "G4"],   # C/G
        ["E3", "A3", "B3", "D4", "G#4"],  # E7sus4 colour over E
        ["A3", "C4", "E4", "B4", "E5"],   # Am(add9)
    ]
    for bar, chord in enumerate(chords):
        start = bar * BAR
        last = bar == len(chords) - 1
        velocity = 84 if bar % 2 == 0 else 76
        # Legato pedalling: up at the bar line, down again a sixteenth later.
        if bar > 0:
            t.add(start, [0xB0 | ch, 64, 0])
        t.add(start + SIXTEENTH, [0xB0 | ch, 64, 127])
        play(t, ch, start, 3 * PPQ // 2, chord, velocity)
        if not last:
            # A lighter push on the "and" of three, the pedal holds the rest.
            play(t, ch, start + 5 * EIGHTH, EIGHTH, chord[1:], velocity - 20)
    t.add(5 * BAR, [0xB0 | ch, 64, 0])
    return t


def bass_track():
    ch = 1
    t = Track("Bass")
    line = [  # (bar, beat offset in eighths, length in eighths, note)
        (0, 0, 3, "A1"), (0, 3, 1, "A1"), (0, 4, 2, "E2"), (0, 6, 2, "G2"),
        (1, 0, 3, "F1"), (1, 3, 1, "F1"), (1, 4, 2, "C2"), (1, 6, 2, "E2"),
        (2, 0, 3, "G1"), (2, 3, 1, "G1"), (2, 4, 2, "D2"), (2, 6, 2, "B1"),
        (3, 0, 4, "E2"), (3, 4, 4, "E2"),
        (4, 0, 8, "A1"),
    ]
    for bar, at, length, name in line:
        play(t, ch, bar * BAR + at * EIGHTH, length * EIGHTH - 30, [name], 100)
    # The gesture: the second E of bar four slides up a whole tone and falls back
    # (bend range of the synth assumed 2 semitones: 8191 = +2).
    start = 3 * BAR + 4 * EIGHTH
    steps = 16
    for i in range(steps + 1):
        up = round(8191 * i / steps)
        t.add(start + PPQ // 2 + i * (PPQ // steps), bend(ch, up))
    for i in range(steps + 1):
        down = round(8191 * (steps - i) / steps)
        t.add(start + 3 * PPQ // 2 + i * (PPQ // (2 * steps)), bend(ch, down))
    return t


def bend(channel, amount):
    """amount -8192..8191 around the centre."""
    value = 8192 + amount
    return [0xE0 | channel, value & 0x7F, (value >> 7) & 0x7F]


def lead_track():
    ch = 2
    t = Track("Lead")
    melody = [  # (bar, start in sixteenths, length in sixteenths, note, velocity)
        (2, 8, 2, "E5", 88), (2, 10, 2, "G5", 80), (2, 12, 4, "C6", 92),
        (3, 0, 6, "B5", 90), (3, 6, 2, "A5", 74), (3, 8, 4, "G#5", 84), (3, 12, 4, "B5", 80),
        (4, 0, 12, "A5", 86),
    ]
    t.add(0, [0xB0 | ch, 1, 0])
    for bar, at, length, name, velocity in melody:
        play(t, ch, bar * BAR + at * SIXTEENTH, length * SIXTEENTH - 20, [name], velocity)
    # Vibrato depth (modulation wheel) rises over the long last note.
    for i in range(9):
        t.add(4 * BAR + PPQ + i * (PPQ // 4), [0xB0 | ch, 1, i * 8])
    t.add(5 * BAR, [0xB0 | ch, 1, 0])
    return t


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.normpath(
        os.path.join(here, "..", "examples", "demo.mid"))
    tracks = [tempo_track(), chord_track(), bass_track(), lead_track()]
    data = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), PPQ)
    data += b"".join(t.chunk() for t in tracks)
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    with open(out, "wb") as f:
        f.write(data)
    print(f"wrote {out}: {len(data)} bytes, {len(tracks)} tracks")


if __name__ == "__main__":
    main()
