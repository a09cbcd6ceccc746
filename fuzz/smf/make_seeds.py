#!/usr/bin/env python3
"""Writes the small seed files of the MIDI file reader's fuzz target into corpus/smf/."""
import pathlib
import struct

OUT = pathlib.Path(__file__).resolve().parent / "corpus" / "smf"


def header(fmt, tracks, division=480):
    return b"MThd" + struct.pack(">IHHH", 6, fmt, tracks, division)


def chunk(identifier, body):
    return identifier + struct.pack(">I", len(body)) + body


def track(*events):
    return chunk(b"MTrk", b"".join(events) + b"\x00\xff\x2f\x00")


TEMPO_120 = b"\x00\xff\x51\x03\x07\xa1\x20"
FOUR_FOUR = b"\x00\xff\x58\x04\x04\x02\x18\x08"

SEEDS = {
    "empty-track.mid": header(0, 1) + track(),
    "notes-running-status.mid": header(0, 1)
    + track(b"\x00\x90\x3c\x64", b"\x60\x3c\x00", b"\x00\x40\x50", b"\x60\x40\x00"),
    "tempo-and-meter.mid": header(1, 2)
    + track(TEMPO_120, FOUR_FOUR, b"\x83\x60\xff\x58\x04\x03\x02\x18\x08",
            b"\x85\x50\xff\x51\x03\x0f\x42\x40")
    + track(b"\x00\xc0\x05", b"\x00\x90\x3c\x64", b"\x87\x40\x80\x3c\x40"),
    "meta-kinds.mid": header(1, 1)
    + track(b"\x00\xff\x00\x02\x00\x01", b"\x00\xff\x03\x04Name", b"\x00\xff\x20\x01\x03",
            b"\x00\xff\x21\x01\x01", b"\x00\xff\x54\x05\x21\x02\x03\x04\x05",
            b"\x00\xff\x59\x02\xfd\x01", b"\x00\xff\x60\x01\x02",
            b"\x00\xff\x7f\x03\x00\x00\x41", b"\x00\xff\x4b\x01\x09"),
    "sysex.mid": header(0, 1)
    + track(b"\x00\xf0\x05\x7e\x7f\x09\x01\xf7", b"\x00\xf0\x05\x41\x10\x42\x12\xf7",
            b"\x00\xf0\x05\x00\x20\x29\x01\xf7"),
    "controllers-bend.mid": header(0, 1)
    + track(b"\x00\xb0\x65\x00", b"\x00\x64\x00", b"\x00\x06\x02", b"\x00\xe1\x00\x40",
            b"\x10\x7f\x7f", b"\x00\xd2\x20", b"\x00\xa3\x3c\x10"),
    "timecode.mid": struct.pack(">4sIHHbB", b"MThd", 6, 1, 1, -25, 40) + track(TEMPO_120),
    "unknown-chunk.mid": header(1, 2) + track(TEMPO_120) + chunk(b"XYZW", b"\x01\x02\x03")
    + track(b"\x00\x90\x3c\x64"),
    "lyrics-latin1.mid": header(0, 1) + track(b"\x00\xff\x05\x03a\xe9b", b"\x00\xff\x01\x02\xc3\xa9"),
    "vlq-deltas.mid": header(0, 1)
    + track(b"\xff\xff\xff\x7f\x90\x3c\x64", b"\x81\x80\x00\x3c\x00"),
    "odd-meters.mid": header(1, 1, 96)
    + track(b"\x00\xff\x58\x04\x07\x03\x0c\x08", b"\x81\x20\xff\x58\x04\x05\x04\x06\x08",
            b"\x00\xff\x51\x03\x00\x00\x01", b"\x40\xff\x51\x03\xff\xff\xff"),
    "end-of-track-twice.mid": header(0, 1) + chunk(b"MTrk", b"\x00\xff\x2f\x00\x00\xff\x2f\x00"),
}

if __name__ == "__main__":
    OUT.mkdir(parents=True, exist_ok=True)
    for name, data in SEEDS.items():
        (OUT / name).write_bytes(data)
