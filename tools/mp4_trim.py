#!/usr/bin/python3
"""Narrows the edit list of a one-track MP4 audio file, in place.

Usage: mp4_trim.py FILE SKIP SAMPLES

The file's audio was encoded with SKIP extra samples of lead-in before the
part that should play (and some lead-out after it). This moves the start of
the track's single edit SKIP samples later, past the lead-in, and makes the
edit, the track and the movie SAMPLES samples long. The encoder thus saw the
audio round the cut, while players start and stop exactly at its ends.

Only fixed-size fields are rewritten; the file's layout does not change.
"""
import struct
import sys

CONTAINERS = {b"moov", b"trak", b"edts", b"mdia"}


def boxes(buf, start, end, path=()):
    """Yields (path of box types, offset of the box's payload) for every box."""
    off = start
    while off < end:
        size, kind = struct.unpack_from(">I4s", buf, off)
        head = 8
        if size == 1:
            size, head = struct.unpack_from(">Q", buf, off + 8)[0], 16
        elif size == 0:
            size = end - off
        yield path + (kind,), off + head
        if kind in CONTAINERS:
            yield from boxes(buf, off + head, off + size, path + (kind,))
        off += size


def field(version, short, long_, signed=False):
    """Struct format and offset of a field that is 32-bit in version 0 boxes
    and 64-bit in version 1 boxes."""
    fmt = (">I", ">Q") if not signed else (">i", ">q")
    return (fmt[0], short) if version == 0 else (fmt[1], long_)


def main():
    name, skip, samples = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    buf = bytearray(open(name, "rb").read())
    found = {p[-1]: off for p, off in boxes(buf, 0, len(buf))}
    for kind in (b"mvhd", b"tkhd", b"mdhd", b"elst"):
        if kind not in found:
            sys.exit(f"{name}: no {kind.decode()} box")
    if sum(1 for p, _ in boxes(buf, 0, len(buf)) if p[-1] == b"trak") != 1:
        sys.exit(f"{name}: expected exactly one track")

    mvhd, tkhd, mdhd, elst = (found[k] for k in (b"mvhd", b"tkhd", b"mdhd", b"elst"))
    movie_scale = struct.unpack_from(">I", buf, mvhd + (12 if buf[mvhd] == 0 else 20))[0]
    media_scale = struct.unpack_from(">I", buf, mdhd + (12 if buf[mdhd] == 0 else 20))[0]
    if samples * movie_scale % media_scale:
        sys.exit(f"{name}: {samples} samples is no whole number of movie ticks")
    ticks = samples * movie_scale // media_scale

    if struct.unpack_from(">I", buf, elst + 4)[0] != 1:
        sys.exit(f"{name}: expected a single edit")
    fmt, at = field(buf[elst], elst + 8, elst + 8)
    struct.pack_into(fmt, buf, at, ticks)
    fmt, at = field(buf[elst], elst + 12, elst + 16, signed=True)
    media_time = struct.unpack_from(fmt, buf, at)[0]
    struct.pack_into(fmt, buf, at, media_time + skip)
    for fmt, at in (field(buf[mvhd], mvhd + 16, mvhd + 24), field(buf[tkhd], tkhd + 20, tkhd + 28)):
        struct.pack_into(fmt, buf, at, ticks)
    open(name, "wb").write(buf)


if __name__ == "__main__":
    main()
