#!/usr/bin/env python3
"""A small recording in record_web_frames' format, for trying the plain WebGL page without the
demo: two pictures (RGBA checks, an RGB gradient) on quads that slide across over the frames, a
plain quad behind them in depth, a blended one over everything and a back-facing one culled away.

    python3 bench/web_baseline/test_frames.py OUT_FILE WIDTH HEIGHT FRAMES
"""
import struct
import sys

RGB, RGBA = 0x1907, 0x1908
BLEND, DEPTH, CULL = 1, 2, 4


def pictures():
    checks = bytes(c for y in range(64) for x in range(64)
                   for c in ((255, 255, 255, 255) if (x // 8 + y // 8) % 2 else (255, 40, 40, 255)))
    gradient = bytes(c for y in range(29) for x in range(30) for c in (x * 8, y * 8, 128))  # rows of 90 bytes
    return [(1, 64, 64, RGBA, checks), (2, 30, 29, RGB, gradient)]


def quad(x0, y0, x1, y1, z, colour, clockwise=False):
    corners = [(x0, y0, 0, 0), (x1, y0, 1, 0), (x1, y1, 1, 1), (x0, y1, 0, 1)]
    if clockwise:
        corners.reverse()
    return [(x, y, z, 1.0, *colour, s, t) for x, y, s, t in corners]


def frame(n, count):
    shift = 0.6 * (n / count) - 0.3
    quads = [  # (corners, texture, flags)
        (quad(-0.9, -0.8, 0.9, 0.8, 0.5, (0.1, 0.3, 0.9, 1)), 0, DEPTH),
        (quad(-0.7 + shift, -0.5, -0.1 + shift, 0.4, 0.2, (1, 1, 1, 1)), 1, DEPTH | CULL),
        (quad(0.1 - shift, -0.6, 0.7 - shift, 0.3, 0.9, (1, 1, 1, 1)), 2, DEPTH),  # behind the blue: hidden
        (quad(0.1, -0.2, 0.8, 0.6, 0.1, (1, 1, 1, 1)), 2, DEPTH),
        (quad(-0.5, 0.2, 0.5, 0.7, 0.0, (1, 0.9, 0.1, 0.5)), 0, BLEND),
        (quad(-0.95, -0.95, -0.6, -0.6, 0.0, (0, 1, 0, 1), clockwise=True), 0, CULL),  # culled: never seen
    ]
    vertices, indices, draws = [], [], []
    for corners, texture, flags in quads:
        base = len(vertices)
        draws.append((len(indices), 6, texture, flags))
        indices += [base, base + 1, base + 2, base, base + 2, base + 3]
        vertices += corners
    out = struct.pack("<3I", len(vertices), len(indices), len(draws))
    out += b"".join(struct.pack("<10f", *v) for v in vertices)
    out += struct.pack(f"<{len(indices)}H", *indices) + bytes(2 * (len(indices) % 2))
    return out + b"".join(struct.pack("<4I", *d) for d in draws)


def main():
    path, width, height, count = sys.argv[1], *map(int, sys.argv[2:5])
    textures = pictures()
    with open(path, "wb") as f:
        f.write(b"DISCOFRM" + struct.pack("<5I", 1, len(textures), count, width, height))
        for name, w, h, kind, pixels in textures:
            f.write(struct.pack("<4I", name, w, h, kind) + pixels + bytes(-len(pixels) % 4))
        for n in range(count):
            f.write(frame(n, count))


if __name__ == "__main__":
    main()
