"""Minimal PNG reader (standard library only) for checking the resources.

Decodes 8-bit, non-interlaced PNGs of any colour type into rows of bytes;
enough to inspect what the demo's image loader will be handed.
"""
import struct
import zlib

CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}  # colour type -> samples per pixel


class Png:
    def __init__(self, width, height, bit_depth, colour_type, interlace, rows):
        self.width, self.height = width, height
        self.bit_depth, self.colour_type, self.interlace = bit_depth, colour_type, interlace
        self.channels = CHANNELS[colour_type]
        self.rows = rows  # list of bytes objects, top row first

    def pixel(self, x, y):
        c = self.channels
        return tuple(self.rows[y][x * c:(x + 1) * c])


def read(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    off, idat, ihdr = 8, [], None
    while off < len(data):
        length, kind = struct.unpack_from(">I4s", data, off)
        body = data[off + 8:off + 8 + length]
        if zlib.crc32(kind + body) != struct.unpack_from(">I", data, off + 8 + length)[0]:
            raise ValueError(f"{path}: bad CRC in {kind!r} chunk")
        if kind == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"IEND":
            break
        off += 12 + length
    width, height, depth, ctype, _, _, interlace = ihdr
    png = Png(width, height, depth, ctype, interlace, [])
    if depth != 8 or interlace:
        return png  # header only; callers reject these before looking at pixels
    raw = zlib.decompress(b"".join(idat))
    bpp, stride = png.channels, width * png.channels
    if len(raw) != height * (stride + 1):
        raise ValueError(f"{path}: image data is {len(raw)} bytes, expected {height * (stride + 1)}")
    prev = bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
            elif kind != 0:
                raise ValueError(f"{path}: unknown filter {kind} on row {y}")
        png.rows.append(bytes(line))
        prev = line
    return png
