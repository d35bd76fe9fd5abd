#!/usr/bin/python3
"""Contact sheet of the five images, for looking at them before committing.

Usage: preview_images.py RESOURCE_DIR OUT.png

Top: the font strip (x2, cell borders marked below it) and the words
"DISCO FEVER." built from its cells stretched the way the scroller draws them
(1.0 x 1.6 units, 'I' 0.6). Then, over a dark and over a light background: the
tile tinted with saturated colours, the disc tinted, the dancer on its
1.2 x 1.8 quad and the logo on its 3.2 x 6 quad.
"""
import sys
from pathlib import Path

from PIL import Image, ImageChops, ImageDraw

sys.dont_write_bytecode = True  # keep the source tree free of __pycache__
sys.path.insert(0, str(Path(__file__).resolve().parent))
from gen_images import CHARACTER_OFFSETS, PERIOD_CELL  # noqa: E402

UNIT = 40  # pixels per world unit on the sheet


def tint(img, rgb):
    img = img.convert("RGBA")
    r, g, b, a = img.split()
    k = [ImageChops.multiply(ch, Image.new("L", img.size, v)) for ch, v in zip((r, g, b), rgb)]
    return Image.merge("RGBA", (*k, a))


def words(font, text):
    out = Image.new("RGBA", (UNIT * len(text), round(1.6 * UNIT)), (0, 0, 0, 0))
    for i, ch in enumerate(text):
        if ch == " ":
            continue
        g = PERIOD_CELL if ch == "." else ord(ch) - ord("A")
        cell = font.crop((CHARACTER_OFFSETS[g], 0, CHARACTER_OFFSETS[g + 1], font.height))
        w = round((0.6 if ch == "I" else 1.0) * UNIT)
        cell = cell.resize((w, out.height), Image.BILINEAR)
        out.alpha_composite(cell, (i * UNIT + (UNIT - w) // 2, 0))
    return out


def panel(res, bg):
    tile, disc = Image.open(res / "tile.png"), Image.open(res / "round.png")
    nine, logo = Image.open(res / "nine.png"), Image.open(res / "vexlogo.png")
    font = Image.open(res / "font.png")
    sheet = Image.new("RGBA", (1100, 330), bg)
    colours = [(255, 0, 0), (255, 255, 0), (0, 255, 0), (0, 255, 255), (0, 0, 255),
               (255, 0, 255), (255, 128, 0), (0, 128, 255), (255, 255, 255)]
    for k, c in enumerate(colours):
        t = tint(tile.resize((80, 80), Image.BILINEAR), c)
        sheet.alpha_composite(t, (10 + (k % 3) * 80, 10 + (k // 3) * 80))
    sheet.alpha_composite(tint(disc.resize((200, 200), Image.BILINEAR), (255, 80, 200)), (270, 20))
    sheet.alpha_composite(words(font, "DISCO FEVER."), (10, 255))
    x = 500
    for _ in range(3):
        sheet.alpha_composite(nine.resize((round(1.2 * UNIT * 1.5), round(1.8 * UNIT * 1.5)),
                                          Image.BILINEAR), (x, 320 - round(1.8 * UNIT * 1.5)))
        x += 80
    sheet.alpha_composite(logo.resize((round(3.2 * UNIT * 1.3), round(6 * UNIT * 1.3)),
                                      Image.BILINEAR), (x + 10, 320 - round(6 * UNIT * 1.3)))
    sheet.alpha_composite(nine.resize((128, 192), Image.BILINEAR), (x + 200, 128))
    return sheet


def main():
    res, out = Path(sys.argv[1]), Path(sys.argv[2])
    font = Image.open(res / "font.png")
    top = Image.new("RGBA", (1100, 180), (12, 10, 24, 255))
    big = font.resize((font.width * 2, font.height * 2), Image.NEAREST)
    top.alpha_composite(big, (10, 10))
    d = ImageDraw.Draw(top)
    for c in CHARACTER_OFFSETS:
        d.line((10 + 2 * c, 140, 10 + 2 * c, 150), fill=(255, 80, 80, 255))
    sheet = Image.new("RGBA", (1100, 180 + 2 * 330))
    sheet.paste(top, (0, 0))
    sheet.paste(panel(res, (12, 10, 24, 255)), (0, 180))
    sheet.paste(panel(res, (225, 225, 225, 255)), (0, 510))
    sheet.convert("RGB").save(out)


if __name__ == "__main__":
    main()
