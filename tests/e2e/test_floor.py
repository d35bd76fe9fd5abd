"""The floor on screen: saturated tiles with the tile picture's grout, new colours every 0.4 s,
plain coloured quads when tile.png is missing."""
import colorsys
import os
import shutil
import sys
import tempfile
import time
import unittest

from harness import Demo

BINARY = os.path.abspath(sys.argv.pop(1))
RESOURCES = os.path.join(os.path.dirname(BINARY), "resources")
XS, YS = range(200, 1080, 6), range(420, 714, 6)  # the lower part of 1280 x 720: the floor's front


def tile_hue(pixel):
    """Hue of a fully saturated colour on a light texel; None for grout, background, dancers."""
    top = max(pixel)
    if top < 150 or min(pixel) > 0.15 * top:
        return None
    return colorsys.rgb_to_hsv(*(c / 255 for c in pixel))[0] * 360


def gap(a, b):
    return min(abs(a - b) % 360, 360 - abs(a - b) % 360)


def tile_insides(frame, reach=8):
    """{(x, y): hue} of samples whose neighbours `reach` pixels away share their colour."""
    found = {}
    for y in YS:
        for x in XS:
            hue = tile_hue(frame.pixel(x, y))
            around = [tile_hue(frame.pixel(x + dx, y + dy)) for dx, dy in ((reach, 0), (-reach, 0), (0, reach), (0, -reach))]
            if hue is not None and all(h is not None and gap(h, hue) <= 10 for h in around):
                found[(x, y)] = hue
    return found


def grout_crossings(frame):
    """Short dark gaps between two saturated pixels along the rows: the tile picture's grout."""
    crossings = 0
    for y in YS:
        in_tile, dark = False, 0
        for x in range(XS.start, XS.stop):
            pixel = frame.pixel(x, y)
            if tile_hue(pixel) is not None:
                crossings += in_tile and 1 <= dark <= 12
                in_tile, dark = True, 0
            elif max(pixel) < 90:
                dark += 1
            else:
                in_tile = False
    return crossings


def changed_share(before, after):
    insides = tile_insides(before)
    changed = [1 for (x, y), hue in insides.items() if (h := tile_hue(after.pixel(x, y))) is None or gap(h, hue) > 20]
    return len(changed) / max(len(insides), 1)


def line_after_floor(demo):
    messages = [line.split("] ", 1)[1] for line in demo.log().splitlines() if "] " in line]
    assert messages.count("DiscoFloor") == 1, demo.log()
    return messages[messages.index("DiscoFloor") + 1]


class Floor(unittest.TestCase):
    def test_tiles_are_saturated_random_and_textured(self):
        with Demo(BINARY, screen="1280x720") as demo:
            demo.wait_for_frames(0.5)
            frame = demo.screenshot_until(lambda image: len(tile_insides(image)) > 400)
            insides = tile_insides(frame)
            self.assertGreater(len(insides), 400, "too little of the floor shows saturated tiles")
            self.assertGreaterEqual(len({int(h // 60) % 6 for h in insides.values()}), 3)
            self.assertGreater(grout_crossings(frame), 30, "no grout: the tile picture is missing")
            self.assertRegex(line_after_floor(demo), r"^[0-9A-F]+$", "the tile's texture name")

    def test_colours_change_every_few_tenths_of_a_second(self):
        # Each shot tells the span of the clock in which the time of its frame was read, so it is
        # known for sure which shots are half a second apart in the scene, and which show
        # different frames, however slowly the shots come.
        with Demo(BINARY, screen="1280x720") as demo:
            demo.wait_for_frames()
            shots = [demo.shot()]

            def half_a_second_on():
                shots.append(demo.shot())
                return shots[-1].earliest >= shots[0].latest + 0.5
            demo.wait_until(half_a_second_on, "frame half a second after the first")
            self.assertGreater(changed_share(shots[0].image, shots[-1].image), 0.5, "same colours half a second later")

            # Close shots barely move the camera, so a tile's inside keeps its place on screen.
            # Two shots of different frames with the same colours: not re-coloured every frame.
            shares = []

            def same_colours_in_another_frame():
                before = shots[-1]
                swapped = len([t for t in demo.swaps() if t > before.latest])
                shots.append(demo.shot())
                if swapped >= 2:  # so the frame shown now is not the one shown before
                    shares.append(changed_share(before.image, shots[-1].image))
                return shares and min(shares) < 0.25
            demo.wait_until(same_colours_in_another_frame, "two frames in a row with the same colours (re-coloured every frame?)")

    def test_without_the_tile_picture_plain_quads_and_the_demo_runs_on(self):
        folder = tempfile.mkdtemp(prefix="disco-no-tile-")
        try:
            shutil.copytree(RESOURCES, os.path.join(folder, "resources"))
            os.remove(os.path.join(folder, "resources", "tile.png"))
            with Demo(BINARY, resources=os.path.join(folder, "resources"), screen="1280x720") as demo:
                demo.wait_for_frames(0.5)
                frame = demo.screenshot_until(lambda image: len(tile_insides(image)) > 400)
                self.assertGreater(len(tile_insides(frame)), 400)
                self.assertLess(grout_crossings(frame), 5, "grout drawn without the tile picture")
                self.assertNotRegex(line_after_floor(demo), r"^[0-9A-F]+$")
                demo.press_key("space")
                self.assertEqual(demo.wait_exit(), 0, demo.log())
        finally:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
