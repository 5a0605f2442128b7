#!/usr/bin/env python3
"""Writes the factory banks page of the guide from the program sources.

Each bank is a folder of sounds/programs/, each program a text source whose
`name = ` line names it and whose opening comment says what it is; the page
lists them in the order the bank menu shows them, with the bank's sound
example beside its heading. Run by `make docs`, so the page follows every
program added, renamed or described anew.

usage: make-bank-page.py PROGRAMS_FOLDER SOUNDS_FOLDER OUT.md
"""
import os
import re
import sys


def sound_name(bank):
    """The sound example's file name for a bank: "01 Keys" -> "01-keys.opus"."""
    return re.sub(r"[^a-z0-9]+", "-", bank.lower()).strip("-") + ".opus"


def describe(path):
    """The program's name and the first sentence of its opening comment."""
    name, comment = None, []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line.startswith("#") and name is None and not comment_done(comment, line):
                comment.append(line.lstrip("#").strip())
            elif line.startswith("name"):
                key, _, value = line.partition("=")
                if key.strip() == "name":
                    name = value.strip()
                    break
            elif line and not line.startswith("#"):
                comment.append("")
    text = " ".join(c for c in comment if c).replace("- ", "-")
    match = re.match(r"(.+?[.!?])(\s|$)", text)
    first = match.group(1) if match else text
    name = name or os.path.splitext(os.path.basename(path))[0]
    # "Amber Tines, the sound every new instance opens with: ..." says the
    # name the list already shows.
    if first.startswith(name + ", "):
        first = first[len(name) + 2:]
        first = first[:1].upper() + first[1:]
    return name, first


def comment_done(comment, line):
    # The opening comment ends at the first line that is not a comment.
    return bool(comment) and comment[-1] == ""


def main():
    programs, sounds, out = sys.argv[1:4]
    lines = [
        "# The factory banks",
        "",
        "<!-- Written by `make docs` from the program sources in sounds/programs/; "
        "do not edit by hand. -->",
        "",
        "Every program answers velocity, the modulation wheel and aftertouch, and "
        "the programs of a bank are matched in loudness, so stepping through them "
        "with the arrow keys of the top bar keeps the volume steady. Each bank's "
        "sound example plays every program of the bank in the order listed, each "
        "with the same phrase: a low, a middle and a high note, then a chord.",
        "",
        "Back to the [guide](guide.md).",
        "",
    ]
    for bank in sorted(os.listdir(programs)):
        folder = os.path.join(programs, bank)
        if not os.path.isdir(folder):
            continue
        lines.append("## " + bank)
        lines.append("")
        sound = sound_name(bank)
        if os.path.exists(os.path.join(sounds, sound)):
            rel = os.path.relpath(os.path.join(sounds, sound), os.path.dirname(out) or ".")
            lines.append("Listen: [%s](%s)" % (sound, rel))
            lines.append("")
        for source in sorted(os.listdir(folder)):
            if source.endswith(".txt"):
                name, what = describe(os.path.join(folder, source))
                lines.append("- **%s**: %s" % (name, what))
        lines.append("")
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    main()
