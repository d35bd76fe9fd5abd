#!/usr/bin/env python3
"""Writes the committed fuzz seeds in corpus/: small PNGs of every colour type and bit depth the
decoder meets (accepted or refused), picture layouts for the texture upload, and short sound files in the containers FFmpeg reads most,
the demo's own m4a first. Needs the ffmpeg tool for the sound files."""
import os
import struct
import subprocess
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(width, height, colour_type, depth=8, interlace=0, extra=b""):
    row_bytes = (width * CHANNELS[colour_type] * depth + 7) // 8
    rows = b"".join(bytes([y % 5]) + bytes((x * 37 + y * 11) & 255 for x in range(row_bytes))
                    for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth,
                                                              colour_type, 0, 0, interlace))
            + extra + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def images():
    palette = chunk(b"PLTE", bytes(range(48)))
    yield "rgba-8x8.png", png(8, 8, 6)
    yield "rgb-6x3.png", png(6, 3, 2)
    yield "grey-4x4.png", png(4, 4, 0)
    yield "grey-alpha-4x4.png", png(4, 4, 4)
    yield "rgb16-4x4.png", png(4, 4, 2, 16)
    yield "palette-5x5.png", png(5, 5, 3, 4, extra=palette)
    yield "palette-trns-5x5.png", png(5, 5, 3, 4, extra=palette + chunk(b"tRNS", bytes([0, 128, 255])))
    yield "rgb-trns-4x4.png", png(4, 4, 2, extra=chunk(b"tRNS", bytes(6)))
    yield "interlaced-9x7.png", png(9, 7, 6, interlace=1)
    yield "grey1-17x3.png", png(17, 3, 0, 1)
    yield "rgba-1x1.png", png(1, 1, 6)


def layouts():
    """Header (hasAlpha, bits per pixel, bytes per row, wide, high) and pixel bytes, as
    fuzz_texture_layout.cpp reads them: consistent pictures and inconsistent ones."""
    def seed(alpha, bpp, row, wide, high, pixels):
        return struct.pack("<BBHhh", alpha, bpp, row, wide, high) + bytes((i * 7) & 255 for i in range(pixels))
    yield "rgba-4x4", seed(1, 32, 16, 4, 4, 64)
    yield "rgb-3x2-padded-rows", seed(0, 24, 10, 3, 2, 20)
    yield "rgb-5x3", seed(0, 24, 15, 5, 3, 45)
    yield "rows-too-short", seed(1, 32, 8, 4, 2, 16)
    yield "pixels-missing", seed(0, 24, 12, 4, 4, 20)


SOUNDS = {  # name: ffmpeg output options
    "sine.m4a": ["-c:a", "aac", "-b:a", "32k"],
    "sine.wav": ["-c:a", "pcm_s16le"],
    "sine.mp3": ["-c:a", "libmp3lame", "-b:a", "32k"],
    "sine.ogg": ["-c:a", "libvorbis"],
    "sine.flac": ["-c:a", "flac"],
}


def party():
    """Scripts for a party member (fuzz_party's input): a member's messages through the encoder,
    a stranger's, raw bytes and time going by."""
    def message(genuine, sender, sequence, sent, start, echo=0, held=0, frm=1):
        return bytes([(frm << 4) | (0 if genuine else 1), sender]) + struct.pack(
            "<HBqqqqqq", sequence, 0, sent, -1_800_000_000_000_000 + 5_000_000_000, start, start, echo, held)

    def wait(ms, frm=1):
        return bytes([(frm << 4) | 3]) + struct.pack("<H", ms)
    start = 1_800_000_000_000_000
    yield "joining", b"\0" + message(True, 2, 1, 7_000_000, start - 5_000_000) + wait(200) + \
        message(True, 2, 2, 7_300_000, start - 5_000_000, 5_000_000, 100_000)
    yield "settled-and-strangers", b"\1" + wait(1000) + message(False, 2, 1, 7_000_000, start - 29 * 86_400_000_000) + \
        bytes([0x22, 4]) + b"DSCP" + message(True, 3, 1, 7_000_000, start, frm=2)


def main():
    os.makedirs(os.path.join(HERE, "corpus", "image"), exist_ok=True)
    os.makedirs(os.path.join(HERE, "corpus", "music"), exist_ok=True)
    os.makedirs(os.path.join(HERE, "corpus", "texture_layout"), exist_ok=True)
    os.makedirs(os.path.join(HERE, "corpus", "party"), exist_ok=True)
    for folder, seeds in (("image", images()), ("texture_layout", layouts()), ("party", party())):
        for name, data in seeds:
            with open(os.path.join(HERE, "corpus", folder, name), "wb") as f:
                f.write(data)
    for name, options in SOUNDS.items():
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                        "sine=frequency=440:sample_rate=22050:duration=0.15", "-ac", "1", *options,
                        os.path.join(HERE, "corpus", "music", name)], check=True)


if __name__ == "__main__":
    main()
