#!/usr/bin/python3
"""Draws the demo's five images: font.png, tile.png, nine.png, vexlogo.png, round.png.

Usage: gen_images.py OUTDIR

Everything is drawn from code (Pillow and NumPy), supersampled and box-filtered
down, so edges are anti-aliased. The output is deterministic: fixed seeds, and
Pillow writes no time or text chunks unless asked.
"""
import math
import sys
from pathlib import Path

import numpy as np
from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

FONT_FILE = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
MONO_FILE = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf"

# Glyph cells of the scroller's font strip: cell g spans columns
# CHARACTER_OFFSETS[g] .. CHARACTER_OFFSETS[g + 1]. Cells 0-25 hold 'A'-'Z',
# cell 28 holds '.', cells 26, 27 and 29 stay empty.
CHARACTER_OFFSETS = [0, 17, 34, 57, 78, 93, 108, 127, 144, 154, 165, 186, 198, 221, 237,
                     261, 277, 299, 317, 330, 346, 363, 381, 403, 419, 435, 452, 464, 480,
                     493, 512]
STRIP_W, STRIP_H = 512, 64
PERIOD_CELL = 28


def save_png(img, path):
    assert img.mode in ("RGB", "RGBA")
    img.save(path, format="PNG", optimize=False, compress_level=9)


# ---------------------------------------------------------------- font strip

def font_strip():
    """White glyphs whose alpha is coverage. Each letter is stretched to fill
    its cell less a transparent gutter of at least one column on each side,
    so linear filtering at a cell edge never picks up the neighbour's ink.
    'I' comes from the monospaced face, whose serifs let it fill its cell
    without turning into a block."""
    ss = 8                                   # supersampling factor
    top, bottom = 2 * ss, (STRIP_H - 2) * ss  # glyph box rows in the big strip
    cap_top, box_bottom = -742, 100           # font units: overshoot top .. below baseline
    scale = (bottom - top) / (box_bottom - cap_top)
    size = round(1000 * scale)
    fonts = {False: ImageFont.truetype(FONT_FILE, size), True: ImageFont.truetype(MONO_FILE, size)}
    baseline = top + round(-cap_top * scale)  # baseline row in the big strip
    limit = bottom - baseline                 # deepest ink allowed below the baseline

    strip = Image.new("L", (STRIP_W * ss, STRIP_H * ss), 0)
    for g in list(range(26)) + [PERIOD_CELL]:
        ch = "." if g == PERIOD_CELL else chr(ord("A") + g)
        canvas = Image.new("L", (2 * size, 2 * size), 0)
        ImageDraw.Draw(canvas).text((size // 2, size), ch, font=fonts[ch == "I"], fill=255,
                                    anchor="ls")
        x0, y0, x1, y1 = canvas.getbbox()
        glyph = canvas.crop((x0, y0, x1, y1))
        above, below = size - y0, y1 - size      # ink above / below the baseline
        if below > limit:                        # 'J' and 'Q': squash into the box
            k = (above + limit) / (above + below)
            above, below = round(above * k), limit
            glyph = glyph.resize((glyph.width, above + below), Image.LANCZOS)
        left, right = CHARACTER_OFFSETS[g] * ss, CHARACTER_OFFSETS[g + 1] * ss
        gutter = ss + round(0.05 * (right - left))
        if ch == ".":
            # Square in world units once the cell is stretched to 1.0 x 1.6:
            # one world unit is the cell's width across and 40 rows up.
            world_w = (above + below) / (ss * STRIP_H / 1.6)
            w, x = round(world_w * (right - left)), left + gutter
        else:
            w, x = right - left - 2 * gutter, left + gutter
        glyph = glyph.resize((w, glyph.height), Image.LANCZOS)
        strip.paste(glyph, (x, baseline - above), glyph)
    alpha = strip.reduce(ss)
    white = Image.new("L", alpha.size, 255)
    return Image.merge("RGBA", (white, white, white, alpha))


# ---------------------------------------------------------------- floor tile

def tile():
    """Near-white glass tile: mitred bevel lit from the top left, a soft gloss
    spot and faint grain on the face, dark grout round the edge."""
    n = 128
    c = (np.arange(n) + 0.5) / n
    x, y = np.meshgrid(c, c)                       # y grows downwards
    sides = np.stack([x, y, 1 - x, 1 - y])         # distance to left, top, right, bottom
    edge = sides.min(axis=0)
    lit = np.where(sides.argmin(axis=0) < 2, 255.0, 186.0)
    face = 243 + 12 * np.exp(-((x - 0.32) ** 2 + (y - 0.3) ** 2) / 0.08)
    face += np.random.default_rng(12).normal(0, 1.2, (n, n))
    grout, bevel = 2.5 / n, 9.0 / n
    in_face = np.clip((edge - grout - bevel) * n + 0.5, 0, 1)
    in_grout = np.clip((grout - edge) * n + 0.5, 0, 1)
    img = face * in_face + lit * (1 - in_face)
    img = 70 * in_grout + img * (1 - in_grout)
    v = np.clip(np.rint(img), 0, 255).astype(np.uint8)
    return Image.fromarray(np.dstack([v, v, v]), "RGB")


# ---------------------------------------------------------------- disc

def round_disc():
    """Soft white disc: full alpha in the middle, smooth fall-off to 0 at the rim."""
    n = 256
    c = np.arange(n) + 0.5 - n / 2
    x, y = np.meshgrid(c, c)
    r = np.hypot(x, y) / (n / 2 - 2)
    t = np.clip((1 - r) / 0.3, 0, 1)
    alpha = t * t * (3 - 2 * t)                    # smoothstep
    shade = 255 - 22 * np.clip(r, 0, 1) ** 2       # faint glow towards the centre
    a = np.rint(alpha * 255).astype(np.uint8)
    v = np.rint(shade).astype(np.uint8)
    return Image.fromarray(np.dstack([v, v, v, a]), "RGBA")


# ---------------------------------------------------------------- drawing helpers

class Sprite:
    """A supersampled RGBA canvas in design units (u across, v down) on which
    parts are laid back to front, each with a dark outline."""

    def __init__(self, units_w, units_h, px_per_unit, outline_px):
        self.k = px_per_unit
        self.size = (round(units_w * px_per_unit), round(units_h * px_per_unit))
        self.img = Image.new("RGBA", self.size, (0, 0, 0, 0))
        self.outline_px = outline_px

    def p(self, u, v):
        return (u * self.k, v * self.k)

    def mask(self):
        return Image.new("L", self.size, 0)

    def capsule(self, draw, pts, width):
        w = width * self.k
        xy = [self.p(*q) for q in pts]
        draw.line(xy, fill=255, width=round(w), joint="curve")
        for x, y in (xy[0], xy[-1]):
            draw.ellipse((x - w / 2, y - w / 2, x + w / 2, y + w / 2), fill=255)

    def lay(self, mask, colour, outline=(58, 40, 84, 255), outline_px=None):
        o = self.outline_px if outline_px is None else outline_px
        if o:
            grown = mask.filter(ImageFilter.MaxFilter(2 * o + 1))
            self.img.paste(Image.new("RGBA", self.size, outline), (0, 0), grown)
        self.img.paste(Image.new("RGBA", self.size, colour), (0, 0), mask)

    def glow(self, mask, colour, radius):
        halo = mask.filter(ImageFilter.MaxFilter(5)).filter(ImageFilter.GaussianBlur(radius * self.k))
        layer = Image.new("RGBA", self.size, colour)
        layer.putalpha(ImageChops.multiply(halo, Image.new("L", self.size, colour[3])))
        self.img = Image.alpha_composite(self.img, layer)

    def finish(self, out_size):
        return pad_transparent(self.img.resize(out_size, Image.BOX))


def pad_transparent(img):
    """Give fully transparent pixels the colour of the nearest drawn pixel, so
    that linear filtering does not darken the sprite's edges."""
    a = np.asarray(img).astype(np.float64)
    rgb, have = a[..., :3].copy(), a[..., 3] > 0
    for _ in range(32):
        if have.all():
            break
        pr = np.pad(rgb * have[..., None], ((1, 1), (1, 1), (0, 0)))
        ph = np.pad(have.astype(np.float64), 1)
        s = pr[:-2, 1:-1] + pr[2:, 1:-1] + pr[1:-1, :-2] + pr[1:-1, 2:]
        n = ph[:-2, 1:-1] + ph[2:, 1:-1] + ph[1:-1, :-2] + ph[1:-1, 2:]
        grow = ~have & (n > 0)
        rgb[grow] = s[grow] / n[grow, None]
        have = have | grow
    rgb[~have] = 255
    out = np.dstack([np.rint(rgb), a[..., 3:]]).astype(np.uint8)
    return Image.fromarray(out, "RGBA")


# ---------------------------------------------------------------- dancer

def dancer():
    """A disco dancer in the pointing pose, feet on the bottom edge. Designed on
    a 2 x 3 frame (the quad is 1.2 x 1.8 units) and stretched to 256 x 256."""
    s = Sprite(2.0, 3.0, 512, outline_px=7)
    skin, hair = (255, 224, 196, 255), (240, 206, 150, 255)
    shirt, trousers = (255, 255, 255, 255), (196, 236, 255, 255)
    shoes, belt = (255, 196, 228, 255), (255, 226, 130, 255)

    def part(fn, colour):
        m = s.mask()
        fn(ImageDraw.Draw(m))
        s.lay(m, colour)

    def poly(pts):
        return lambda d: d.polygon([s.p(*q) for q in pts], fill=255)

    # Hair behind the head, then the leg on the bent side, the straight leg,
    # shoes, torso, arms and head.
    part(lambda d: d.ellipse((*s.p(0.74, 0.30), *s.p(1.32, 0.90)), fill=255), hair)
    part(poly([(1.02, 1.62), (1.22, 1.60), (1.46, 2.26), (1.58, 2.86), (1.20, 2.86),
               (1.26, 2.34)]), trousers)
    part(poly([(0.84, 1.62), (1.10, 1.64), (0.90, 2.30), (0.84, 2.86), (0.46, 2.86),
               (0.64, 2.28)]), trousers)
    part(lambda d: d.rounded_rectangle((*s.p(1.16, 2.80), *s.p(1.66, 2.995)), 0.06 * s.k,
                                       fill=255), shoes)
    part(lambda d: d.rounded_rectangle((*s.p(0.38, 2.80), *s.p(0.90, 2.995)), 0.06 * s.k,
                                       fill=255), shoes)
    arm_w = 0.15
    part(lambda d: s.capsule(d, [(0.82, 1.06), (0.56, 1.36), (0.86, 1.56)], arm_w), shirt)
    part(poly([(0.76, 1.00), (1.28, 0.98), (1.18, 1.62), (0.86, 1.62)]), shirt)
    part(poly([(0.87, 1.52), (1.17, 1.52), (1.16, 1.64), (0.86, 1.64)]), belt)
    part(lambda d: s.capsule(d, [(1.22, 1.05), (1.46, 0.70), (1.72, 0.34)], arm_w), shirt)
    part(lambda d: d.ellipse((*s.p(1.66, 0.22), *s.p(1.82, 0.40)), fill=255), skin)
    part(lambda d: d.ellipse((*s.p(0.80, 1.47), *s.p(0.94, 1.61)), fill=255), skin)
    part(poly([(0.92, 0.86), (1.10, 0.86), (1.08, 1.02), (0.94, 1.02)]), skin)   # neck
    part(poly([(0.90, 0.98), (1.01, 1.18), (1.12, 0.98), (1.22, 1.00), (1.01, 1.30),
               (0.82, 1.00)]), (255, 200, 236, 255))                                # collar
    part(lambda d: d.ellipse((*s.p(0.87, 0.52), *s.p(1.17, 0.90)), fill=255), skin)
    part(lambda d: d.pieslice((*s.p(0.80, 0.36), *s.p(1.24, 0.80)), 180, 360, fill=255),
         hair)
    return s.finish((256, 256))


# ---------------------------------------------------------------- logo

def logo():
    """A mirror ball on a stand over an upright neon 'DISCO' sign. Designed on
    an 8 x 15 frame (the quad is 3.2 x 6 units) and stretched to 256 x 512."""
    s = Sprite(8.0, 15.0, 128, outline_px=6)
    gold, frame = (255, 230, 150, 255), (250, 246, 255, 255)

    # Stand: base plinth, pole and sign panel.
    m = s.mask()
    d = ImageDraw.Draw(m)
    d.polygon([s.p(1.2, 15.0), s.p(6.8, 15.0), s.p(6.0, 14.1), s.p(2.0, 14.1)], fill=255)
    s.lay(m, gold)
    m = s.mask()
    ImageDraw.Draw(m).rectangle((*s.p(3.75, 6.0), *s.p(4.25, 14.2)), fill=255)
    s.lay(m, (226, 226, 240, 255))
    m = s.mask()
    ImageDraw.Draw(m).rounded_rectangle((*s.p(1.9, 6.9), *s.p(6.1, 13.7)), 0.5 * s.k, fill=255)
    s.lay(m, frame)
    m = s.mask()
    ImageDraw.Draw(m).rounded_rectangle((*s.p(2.15, 7.15), *s.p(5.85, 13.45)), 0.35 * s.k,
                                        fill=255)
    s.lay(m, (160, 112, 204, 240), outline_px=0)

    # Neon letters, stacked.
    font = ImageFont.truetype(FONT_FILE, round(1.35 * s.k))
    letters = s.mask()
    d = ImageDraw.Draw(letters)
    for i, ch in enumerate("DISCO"):
        d.text(s.p(4.0, 7.95 + i * 1.21), ch, font=font, fill=255, anchor="mm")
    s.glow(letters, (236, 70, 190, 255), 0.2)
    s.lay(letters, (255, 248, 253, 255), outline=(226, 60, 176, 255), outline_px=6)

    # Mirror ball: facets of a sphere seen slightly from below, lit from the upper left.
    cu, cv, R = 4.0, 3.15, 2.95
    ball = s.mask()
    ImageDraw.Draw(ball).ellipse((*s.p(cu - R, cv - R), *s.p(cu + R, cv + R)), fill=255)
    s.lay(ball, (150, 150, 176, 255))
    facets = Image.new("RGBA", s.size, (0, 0, 0, 0))
    fd = ImageDraw.Draw(facets)
    rng = np.random.default_rng(7)
    tints = [(255, 255, 255), (210, 240, 255), (255, 220, 245), (255, 246, 200)]
    light = np.array([-0.45, -0.55, 0.70])
    light /= np.linalg.norm(light)
    tilt = math.radians(12)
    lat_n, lon_n = 14, 28

    def project(lat, lon):
        x, y, z = math.cos(lat) * math.sin(lon), -math.sin(lat), math.cos(lat) * math.cos(lon)
        y, z = y * math.cos(tilt) - z * math.sin(tilt), y * math.sin(tilt) + z * math.cos(tilt)
        return np.array([x, y, z])

    for i in range(lat_n):
        la0 = -math.pi / 2 + math.pi * i / lat_n
        la1 = la0 + math.pi / lat_n
        for j in range(lon_n):
            lo0 = 2 * math.pi * j / lon_n
            lo1 = lo0 + 2 * math.pi / lon_n
            gap = 0.09 * math.pi / lat_n
            corners = [project(la, lo) for la, lo in ((la0 + gap, lo0 + gap), (la0 + gap, lo1 - gap),
                                                      (la1 - gap, lo1 - gap), (la1 - gap, lo0 + gap))]
            normal = sum(corners)
            if normal[2] <= 0.05:
                continue
            normal /= np.linalg.norm(normal)
            lum = 0.45 + 0.5 * max(0.0, float(normal @ light)) + rng.uniform(-0.08, 0.14)
            tint = tints[int(rng.integers(0, 12)) % len(tints)]
            col = tuple(int(min(255, c * min(1.0, lum))) for c in tint) + (255,)
            fd.polygon([s.p(cu + R * q[0], cv + R * q[1]) for q in corners], fill=col)
    s.img = Image.alpha_composite(s.img, Image.composite(
        facets, Image.new("RGBA", s.size, (0, 0, 0, 0)), ball.filter(ImageFilter.MinFilter(9))))

    # Sparkles.
    spark = s.mask()
    d = ImageDraw.Draw(spark)
    for u, v, r in ((2.6, 1.7, 0.75), (5.1, 4.6, 0.45), (6.7, 1.0, 0.5)):
        w = r * 0.16
        d.polygon([s.p(u, v - r), s.p(u + w, v - w), s.p(u + r, v), s.p(u + w, v + w),
                   s.p(u, v + r), s.p(u - w, v + w), s.p(u - r, v), s.p(u - w, v - w)], fill=255)
    s.glow(spark, (255, 255, 255, 160), 0.08)
    s.lay(spark, (255, 255, 255, 255), outline_px=0)
    return s.finish((256, 512))


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    save_png(font_strip(), out / "font.png")
    save_png(tile(), out / "tile.png")
    save_png(round_disc(), out / "round.png")
    save_png(dancer(), out / "nine.png")
    save_png(logo(), out / "vexlogo.png")


if __name__ == "__main__":
    main()
