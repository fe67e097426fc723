#!/usr/bin/env bash
# Makes the mixer fuzz target's seeds in $1: a small valid file of each
# format the player's SDL_mixer reads (WAV, AIFF, VOC, Ogg Vorbis, FLAC, MIDI).
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
# 0.1 s of a 16-bit mono tone at 8 kHz.
python3 - <<'PY'
import math, struct
n = 800
pcm = b"".join(struct.pack("<h", int(8000 * math.sin(i / 5))) for i in range(n))
open("seed.wav", "wb").write(b"RIFF" + struct.pack("<I", 36 + len(pcm)) + b"WAVEfmt " +
    struct.pack("<IHHIIHH", 16, 1, 1, 8000, 16000, 2, 16) + b"data" + struct.pack("<I", len(pcm)) + pcm)
be = b"".join(struct.pack(">h", int(8000 * math.sin(i / 5))) for i in range(n))
rate = b"\x40\x0b\xfa\x00\x00\x00\x00\x00\x00\x00"  # 8000 as an 80-bit float
comm = struct.pack(">hIh", 1, n, 16) + rate
ssnd = struct.pack(">II", 0, 0) + be
body = b"AIFF" + b"COMM" + struct.pack(">I", len(comm)) + comm + b"SSND" + struct.pack(">I", len(ssnd)) + ssnd
open("seed.aiff", "wb").write(b"FORM" + struct.pack(">I", len(body)) + body)
u8 = bytes(128 + int(100 * math.sin(i / 5)) for i in range(n))
voc = b"Creative Voice File\x1a\x1a\x00\x14\x01\x1f\x11"
open("seed.voc", "wb").write(voc + b"\x01" + struct.pack("<I", len(u8) + 2)[:3] + bytes([131, 0]) + u8 + b"\x00")
trk = bytes([0, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0, 0xFF, 0x2F, 0])
open("seed.mid", "wb").write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96) + b"MTrk" + struct.pack(">I", len(trk)) + trk)
PY
oggenc -Q -o seed.ogg seed.wav
flac -s -f --no-padding -o seed.flac seed.wav
