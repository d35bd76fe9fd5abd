"""A damaged install: every resource file missing, empty, cut short, garbage, a directory, or a
picture the loader must refuse or accept. The demo must still start, go full screen, draw, log
exactly what it did (one texture line per accepted image, nothing else), stay silent when the
music is broken, and end with status 0 on a key."""
import os
import random
import re
import shutil
import struct
import sys
import tempfile
import unittest
import zlib

from harness import Demo, Xvfb
from light import light

BINARY = os.path.abspath(sys.argv.pop(1))
RESOURCES = os.path.join(os.path.dirname(BINARY), "resources")

IMAGES = ["tile.png", "nine.png", "vexlogo.png", "round.png", "font.png"]
MUSIC = "tralmix.m4a"
SCREEN = (640, 360)
RUN_SECONDS = 0.3  # of frames presented full screen, per run

LOG_LINE = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} disco\[\d+\] (.*)$")
TEXTURE_LINE = re.compile(r"^[0-9A-F]+$")
# SDL's own notice when the test's file-writing sound device opens.
DISK_AUDIO_NOTICE = re.compile(r"^CRITICAL: +(You are using the SDL disk i/o audio driver!|Writing to file )")


# --- PNG files of any layout, made with the standard library -----------------------------------

def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(width, height, colour_type, bit_depth=8, sample=0xE0, palette=None, trns=None,
        header_only=False):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, bit_depth,
                                                          colour_type, 0, 0, 0))
    if palette:
        out += chunk(b"PLTE", bytes(palette))
    if trns:
        out += chunk(b"tRNS", bytes(trns))
    if header_only:
        # A few compressed bytes: far too little for the size the header claims.
        out += chunk(b"IDAT", zlib.compress(b"\0" * 64))
    else:
        row = b"\0" + bytes([sample]) * (width * channels * bit_depth // 8)
        out += chunk(b"IDAT", zlib.compress(row * height))
    return out + chunk(b"IEND", b"")


# Light entries: the floor tints its tile texture, and a dark texel would hide the tint.
PALETTE = [255, 255, 255, 224, 224, 224]

# name -> (bytes, accepted by the texture loader)
PNG_VARIANTS = {
    "grey": (png(64, 64, 0), False),
    "grey+alpha": (png(64, 64, 4), False),
    "16-bit RGB": (png(64, 64, 2, 16), False),
    "16-bit RGBA": (png(64, 64, 6, 16), False),
    "palette": (png(64, 64, 3, sample=1, palette=PALETTE), True),
    "palette+transparency": (png(64, 64, 3, sample=1, palette=PALETTE, trns=[0, 224]), True),
    "300x200": (png(300, 200, 2), True),
    "claims 100000x100000": (png(100000, 100000, 6, header_only=True), False),
    "1x1": (png(1, 1, 6), True),
}


# --- Damage common to every file --------------------------------------------------------------

def missing(path):
    os.remove(path)


def empty(path):
    open(path, "wb").close()


def truncated(path):
    with open(path, "rb") as f:
        data = f.read()
    with open(path, "wb") as f:
        f.write(data[:len(data) // 2])


def random_bytes(path):
    size = os.path.getsize(path)
    with open(path, "wb") as f:
        f.write(random.Random(size).randbytes(min(size, 64 * 1024)))


def directory(path):
    os.remove(path)
    os.mkdir(path)


DAMAGE = {"missing": missing, "empty": empty, "truncated": truncated, "random bytes": random_bytes,
          "a directory": directory}


def replace_with(data):
    def write(path):
        with open(path, "wb") as f:
            f.write(data)
    return write


def floor_drawn(frame):
    """The floor's tiles are saturated colours, textured or not: many such pixels in the lower
    half. Dim ones count too: a 1 x 1 tile texture fades into its clamped border."""
    lower = (0, frame.height // 2, frame.width, frame.height - frame.height // 2)
    return light(frame, lower, step=4).saturated > 0.1


def recorded(audio):
    """What the disk audio driver has written so far."""
    return open(audio, "rb").read() if os.path.exists(audio) else b""


class BadResources(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.xvfb = Xvfb(f"{SCREEN[0]}x{SCREEN[1]}")

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.stop()

    def run_demo(self, changes, accepted, music_plays):
        """Runs the demo with `changes` ({file name: function damaging the file at a path})
        applied to a copy of the resources; `accepted` images must each make one texture."""
        with tempfile.TemporaryDirectory(prefix="disco-bad-") as tmp:
            folder = os.path.join(tmp, "resources")
            shutil.copytree(RESOURCES, folder)
            for name, change in changes.items():
                change(os.path.join(folder, name))
            audio = os.path.join(tmp, "audio.raw")
            env = {"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": audio}
            with Demo(BINARY, resources=folder, desktop=self.xvfb, env=env) as demo:
                demo.wait_for_frames(RUN_SECONDS)
                frame = demo.screenshot_until(floor_drawn)
                if music_plays:  # the device's thread may lag behind the frames on a busy machine
                    demo.wait_until(lambda: any(recorded(audio)), "sound at the device")
                demo.press_key("space")
                status = demo.wait_exit()
                log = demo.log()
            self.assertEqual(status, 0, log)
            self.check_log(log, accepted)
            self.assertTrue(floor_drawn(frame), "floor not drawn:\n" + log)
            self.check_sound(audio, music_plays)

    def check_log(self, log, accepted):
        messages = []
        for line in log.splitlines():
            if DISK_AUDIO_NOTICE.match(line):
                continue
            match = LOG_LINE.match(line)
            self.assertTrue(match, f"unexpected output {line!r}:\n{log}")
            messages.append(match.group(1))
        textures = [m for m in messages if TEXTURE_LINE.match(m)]
        others = [m for m in messages if not TEXTURE_LINE.match(m)]
        self.assertEqual(len(textures), accepted, log)
        self.assertEqual(len(set(textures)), accepted, log)
        self.assertEqual(others[0], "initWithFrame", log)
        self.assertRegex(others[1], r"^NSOpenGLView pixelFormat RendererID = [0-9a-f]{8}$")
        self.assertEqual(others[2:4], ["Ventjes", "DiscoFloor"], log)
        self.assertRegex(others[4], r"^FullScreen pixelFormat RendererID = [0-9a-f]{8}$")
        self.assertEqual(len(others), 5, log)

    def check_sound(self, audio, music_plays):
        data = recorded(audio)
        if music_plays:
            self.assertTrue(any(data), "the music did not reach the sound device")
        else:
            self.assertFalse(any(data), "sound from a broken music file")

    def test_each_file_damaged_alone(self):
        for damage, change in DAMAGE.items():
            for name in IMAGES + [MUSIC]:
                with self.subTest(damage=damage, file=name):
                    self.run_demo({name: change},
                                  accepted=len(IMAGES) - (name in IMAGES),
                                  music_plays=name != MUSIC)

    def test_every_file_damaged_at_once(self):
        for damage, change in DAMAGE.items():
            with self.subTest(damage=damage):
                self.run_demo({name: change for name in IMAGES + [MUSIC]}, accepted=0, music_plays=False)

    def test_pictures_of_other_layouts(self):
        for variant, (data, ok) in PNG_VARIANTS.items():
            for name in IMAGES:
                with self.subTest(variant=variant, file=name):
                    self.run_demo({name: replace_with(data)},
                                  accepted=len(IMAGES) - (not ok), music_plays=True)
            with self.subTest(variant=variant, file="all images"):
                self.run_demo({name: replace_with(data) for name in IMAGES},
                              accepted=len(IMAGES) if ok else 0, music_plays=True)

    def test_music_that_is_not_music(self):
        cases = {"a PNG renamed": replace_with(png(64, 64, 6)), "a cut-off m4a": truncated}
        for case, change in cases.items():
            with self.subTest(case=case):
                self.run_demo({MUSIC: change}, accepted=len(IMAGES), music_plays=False)


if __name__ == "__main__":
    unittest.main()
