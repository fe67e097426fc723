#!/usr/bin/env python3
"""Packs a story for the web page, and cuts the font down to what it draws.

  pack_story.py STORY PACK FONT_OUT FONT_IN

PACK is gzip-compressed (the page inflates it as it arrives: bitmaps and
WAV shrink to a sixth): "KSPACK1\\n", then for each file under STORY its
name's length, its name (the file system's bytes, "/" between folders), its
size and its bytes, the numbers as 32-bit little-endian. A save left in the
folder is not packed: a reader's save lives in the browser. MIDI files are
named on stderr: a browser does not play them. FONT_OUT holds the glyphs of
every character of the script, of the player's own screens (their
Shift-JIS text in src/) and printable ASCII, hinting kept, so that each
glyph draws as the whole font draws it.
"""
import gzip
import os
import re
import struct
import subprocess
import sys
from pathlib import Path

SOURCE = Path(__file__).resolve().parent.parent / "src"


def story_files(story):
    for folder, dirs, files in os.walk(story):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, story)
            if relative.lower() == os.path.join("data", "save.txt"):
                continue
            yield os.fsencode(relative), Path(path).read_bytes()


def shift_jis_chars(data):
    return set(data.decode("cp932", errors="ignore"))


def screen_chars():
    """The player's own texts: string literals of src/, in UTF-8 or as
    Shift-JIS escapes."""
    chars = set()
    for path in SOURCE.rglob("*.cpp"):
        for literal in re.findall(r'"((?:[^"\\]|\\.)*)"', path.read_text(errors="ignore")):
            chars |= {c for c in literal if ord(c) > 0x7F}
            if "\\x" not in literal:
                continue
            data = re.sub(rb"\\x([0-9A-Fa-f]{2})", lambda m: bytes([int(m.group(1), 16)]), literal.encode())
            chars |= shift_jis_chars(data)
    return chars


def main():
    story, pack, font_out, font_in = sys.argv[1:5]
    chars = {chr(c) for c in range(0x20, 0x7F)} | screen_chars()
    total = 0
    with gzip.open(pack, "wb", compresslevel=6) as out:
        out.write(b"KSPACK1\n")
        for name, data in story_files(story):
            if data.startswith(b"MThd") or name.lower().endswith((b".mid", b".midi")):
                print("warning: %s is MIDI, which a browser does not play: silent there"
                      % os.fsdecode(name), file=sys.stderr)
            out.write(struct.pack("<I", len(name)) + name + struct.pack("<I", len(data)) + data)
            total += len(data)
            if name.lower().endswith(b"script.txt"):
                chars |= shift_jis_chars(data)
    codes = ",".join("U+%04X" % ord(c) for c in sorted(chars) if ord(c) >= 0x20)
    subprocess.run(["pyftsubset", font_in, "--unicodes=" + codes, "--output-file=" + font_out,
                    "--notdef-outline", "--name-IDs=*", "--layout-features=*", "--hinting"], check=True)
    print("packed %d bytes of story, %d characters in the font" % (total, len(chars)))


if __name__ == "__main__":
    main()
