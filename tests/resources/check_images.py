#!/usr/bin/env python3
"""Checks the demo's five images against what its texture loader and
drawing code rely on.

Usage: check_images.py formats|font|sprites RESOURCE_DIR
"""
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, str(Path(__file__).resolve().parent))
import png  # noqa: E402

from checklist import check, finish

IMAGES = ["font.png", "tile.png", "nine.png", "vexlogo.png", "round.png"]

# The scroller's column table: cell g spans OFFSETS[g] .. OFFSETS[g + 1].
OFFSETS = [0, 17, 34, 57, 78, 93, 108, 127, 144, 154, 165, 186, 198, 221, 237, 261, 277,
           299, 317, 330, 346, 363, 381, 403, 419, 435, 452, 464, 480, 493, 512]
EMPTY_CELLS, PERIOD_CELL = (26, 27, 29), 28

def power_of_two(n):
    return n > 0 and n & (n - 1) == 0


def alpha(img, x, y):
    return img.rows[y][x * 4 + 3]


def luminance(p):
    return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]


def formats(res):
    """Every image is 8-bit RGB or RGBA with power-of-two sides and decodes."""
    for name in IMAGES:
        try:
            img = png.read(res / name)
        except (OSError, ValueError) as e:
            check(False, f"{name}: {e}")
            continue
        check(img.bit_depth == 8, f"{name}: bit depth {img.bit_depth}, want 8")
        check(img.colour_type in (2, 6),
              f"{name}: colour type {img.colour_type}, want 2 (RGB) or 6 (RGBA)")
        check(img.interlace == 0, f"{name}: interlaced")
        check(power_of_two(img.width) and power_of_two(img.height),
              f"{name}: {img.width} x {img.height} is not power-of-two sized")


def font(res):
    """The strip is 512 wide with white glyphs exactly inside their cells."""
    img = load(res, "font.png", True)
    if not (img and check(img.width == 512, f"font.png: {img.width} wide, want 512")
            and check(power_of_two(img.height), f"font.png: height {img.height}")):
        return
    h = img.height
    for y in range(h):
        for x in range(img.width):
            p = img.pixel(x, y)
            if p[3] and p[:3] != (255, 255, 255):
                check(False, f"font.png: ink at ({x}, {y}) is {p[:3]}, not white")
                return
    for g in range(30):
        left, right = OFFSETS[g], OFFSETS[g + 1]
        ink = [(x, y) for y in range(h) for x in range(left, right) if alpha(img, x, y)]
        if g in EMPTY_CELLS:
            check(not ink, f"font.png: cell {g} ({left}..{right}) should be empty, "
                           f"has {len(ink)} inked pixels")
            continue
        name = "'.'" if g == PERIOD_CELL else repr(chr(ord("A") + g))
        if not check(ink, f"font.png: cell {g} ({name}) has no ink"):
            continue
        # The cell's outer columns stay clear, so linear filtering at a cell
        # edge never blends in the neighbouring glyph.
        xs, ys = [p[0] for p in ink], [p[1] for p in ink]
        check(min(xs) > left and max(xs) < right - 1,
              f"font.png: {name} ink spans columns {min(xs)}..{max(xs)}, cell is {left}..{right - 1}")
        if g == PERIOD_CELL:
            check(min(ys) > h * 0.6, f"font.png: '.' reaches up to row {min(ys)} of {h}")
        else:
            check(max(xs) - min(xs) + 1 >= 0.75 * (right - left),
                  f"font.png: {name} is {max(xs) - min(xs) + 1} columns wide "
                  f"in a {right - left}-column cell")
            check(max(ys) - min(ys) + 1 >= 0.6 * h,
                  f"font.png: {name} is {max(ys) - min(ys) + 1} rows high in a {h}-row strip")


def load(res, name, alpha_needed):
    """The image, when it is one whose pixels can be looked at here."""
    img = png.read(res / name)
    want = (6,) if alpha_needed else (2, 6)
    if check(img.bit_depth == 8 and img.colour_type in want and not img.interlace,
             f"{name}: want 8-bit {'RGBA' if alpha_needed else 'RGB or RGBA'}"):
        return img
    return None


def sprites(res):
    """Tile, disc, dancer and logo have the shapes the scene draws them as."""
    tile = load(res, "tile.png", False)
    if tile:
        tile_look(tile)
    disc = load(res, "round.png", True)
    if disc:
        disc_look(disc)
    for name in ("nine.png", "vexlogo.png"):
        img = load(res, name, True)
        if img:
            standing_look(name, img)


def tile_look(tile):
    n = tile.width
    check(tile.width == tile.height, "tile.png: not square")
    lum = sorted(luminance(tile.pixel(x, y)) for y in range(n) for x in range(n))
    median = lum[len(lum) // 2]
    check(median >= 230, f"tile.png: median brightness {median:.0f}, want near white")
    edge = [p for i in range(n) for p in ((i, 0), (0, i), (i, n - 1), (n - 1, i))]
    rim = [luminance(tile.pixel(x, y)) for x, y in edge]
    check(sum(rim) / len(rim) < 0.6 * median, "tile.png: no darker grout along the edge")


def disc_look(disc):
    n = disc.width
    if check(disc.width == disc.height, "round.png: not square"):
        c = (n - 1) / 2
        check(alpha(disc, n // 2, n // 2) == 255, "round.png: centre is not opaque")
        outside = [(x, y) for y in range(n) for x in range(n)
                   if (x - c) ** 2 + (y - c) ** 2 > (n / 2) ** 2 and alpha(disc, x, y)]
        check(not outside, f"round.png: {len(outside)} visible pixels outside the disc, "
                           f"e.g. {outside[:1]}")
        light = [luminance(disc.pixel(x, y))
                 for y in range(n) for x in range(n) if alpha(disc, x, y) > 128]
        check(min(light) >= 200, "round.png: disc is not white")


def standing_look(name, img):
    """Light figure on a transparent ground, standing on the bottom edge and
    reaching up near the top (the quad is anchored at its bottom edge)."""
    w, h = img.width, img.height
    corners = [alpha(img, x, y) for x, y in ((0, 0), (w - 1, 0))]
    check(corners == [0, 0], f"{name}: top corners are not transparent")
    feet = [x for x in range(w) if alpha(img, x, h - 1) > 200]
    check(feet, f"{name}: nothing stands on the bottom edge")
    seen = [img.pixel(x, y) for y in range(h) for x in range(w) if alpha(img, x, y) > 128]
    mean = sum(luminance(p) for p in seen) / max(1, len(seen))
    check(mean >= 150, f"{name}: mean brightness {mean:.0f}, want light colours")
    rows = [y for y in range(h) if any(alpha(img, x, y) for x in range(w))]
    check(rows and rows[0] < h * 0.2, f"{name}: figure fills only rows {rows[:1]}..{h - 1}")


def main():
    what, res = sys.argv[1], Path(sys.argv[2])
    {"formats": formats, "font": font, "sprites": sprites}[what](res)
    finish(what)


if __name__ == "__main__":
    main()
