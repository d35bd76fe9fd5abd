"""The crowd on the real screen: four tinted discs behind the stage, the ring of figures around
the logo, and the text scroller moving left at four cells a second."""
import math
import os
import sys
import time
import unittest

from harness import Demo

BINARY = os.path.abspath(sys.argv.pop(1))
SAVE = os.environ.get("DISCO_E2E_SAVE")  # a folder to keep the first and last screenshot in

DISC_TINTS = {"purple": (204, 102, 255), "orange": (255, 153, 0), "yellow": (255, 255, 102), "lime": (204, 255, 0)}
TROUSERS = (196, 236, 255)  # the dancers' light blue
BALL = (150, 150, 176)      # the logo's mirror-ball tiles
# The message's first letter, 'W', is on its way from the logo to the left edge over this stretch
# of scene time; screenshots back to back cover it, however long the demo takes to start.
SHOTS_FROM, SHOTS_UNTIL = 8.0, 9.9
# Scene time from a column: the camera model matches the picture to a few milliseconds.
MODEL_SLACK = 0.05


def colour_mask(image, colour, tolerance):
    d, lo, hi = image.data, [c - tolerance for c in colour], [c + tolerance for c in colour]
    return bytearray(lo[0] <= d[i] <= hi[0] and lo[1] <= d[i + 1] <= hi[1] and lo[2] <= d[i + 2] <= hi[2]
                     for i in range(0, len(d), 3))


def blob_centres(image, colour, tolerance=8, min_size=15):
    """Centres of the 4-connected patches of a colour with at least min_size pixels."""
    w, mask, centres = image.width, colour_mask(image, colour, tolerance), []
    for start in range(len(mask)):
        if not mask[start]:
            continue
        mask[start], stack, found = 0, [start], []
        while stack:
            i = stack.pop()
            found.append(i)
            for j in (i - 1 if i % w else -1, i + 1 if (i + 1) % w else -1, i - w, i + w):
                if 0 <= j < len(mask) and mask[j]:
                    mask[j] = 0
                    stack.append(j)
        if len(found) >= min_size:
            centres.append((sum(i % w for i in found) / len(found), sum(i // w for i in found) / len(found)))
    return centres


def leading_edge(image):
    """The leftmost column of white glyph ink in the top 30 % of the screen, left of the logo."""
    rows = range(int(0.3 * image.height))
    for x in range(int(0.36 * image.width)):
        if sum(min(image.pixel(x, y)) >= 240 for y in rows) >= 2:
            return x
    return None


def w_column(t, width, height):
    """Column of the 'W' ink's left end at scene time t: the glyph's top, 2 of its 22 texture
    columns in, at world (72 - 40 - 4 t - 0.41, 4.66, -6), seen by the scene's swaying camera
    (eye on its orbit, looking at (0, 2, 0), 60 degree field of view)."""
    eye = (3.5 * math.sin(1.3 * t / 2.5), 6.0, 9.0 + 2.5 * math.cos(t / 2.5 / 1.239))
    forward = [-eye[0], 2.0 - eye[1], -eye[2]]
    side = [-forward[2], 0.0, forward[0]]  # forward x up
    side = [c / math.hypot(*side) for c in side]
    d = [p - e for p, e in zip((32 - 4 * t - 0.41, 4.66, -6.0), eye)]
    depth = sum(a * b for a, b in zip(d, forward)) / math.hypot(*forward)
    x = sum(a * b for a, b in zip(d, side)) / depth / math.tan(math.radians(30)) / (width / height)
    return (x + 1) / 2 * width


def scene_time_of(column, width, height):
    """When a four-cells-a-second line puts the 'W' at this column (it only moves left here)."""
    lo, hi = 6.0, 11.0
    for _ in range(50):
        mid = (lo + hi) / 2
        lo, hi = (mid, hi) if w_column(mid, width, height) > column else (lo, mid)
    return lo


class Crowd(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.shots = []
        with Demo(BINARY, screen="1280x720") as demo:
            demo.wait_for_frames()
            # The scene's clock starts between the process's start and its first swap.
            time.sleep(max(0.0, demo.started + SHOTS_FROM - time.monotonic()))
            first_swap = demo.swaps()[0]
            # Until a shot's frame is surely past the stretch: its scene time is at least this.
            while not cls.shots or cls.shots[-1].earliest - first_swap < SHOTS_UNTIL:
                if demo.process.poll() is not None or time.monotonic() - demo.started > 10 * SHOTS_UNTIL:
                    raise AssertionError("the demo never got past the scroller's stretch:\n" + demo.log())
                cls.shots.append(demo.shot())
        cls.ends = (cls.shots[0].image, cls.shots[-1].image)
        for n, image in enumerate(cls.ends if SAVE else ()):
            image.save(os.path.join(SAVE, f"crowd-{n + 1}.png"))

    def test_four_tinted_discs_behind_the_stage(self):
        for name, tint in DISC_TINTS.items():
            # The discs light up in turn: each in some shot of the stretch.
            self.assertTrue(any(sum(colour_mask(shot.image, tint, 6)) > 300 for shot in self.shots), name)

    def test_ring_of_figures_around_the_logo(self):
        for image in self.ends:
            w, h = image.width, image.height
            mask = colour_mask(image, BALL, 6)
            ball = sum(sum(mask[y * w + w // 3:y * w + 2 * w // 3]) for y in range(h // 2))
            self.assertGreater(ball, 200, "the logo's mirror ball in the middle")
            dancers = blob_centres(image, TROUSERS)
            self.assertGreaterEqual(len(dancers), 10, dancers)
            self.assertTrue(any(x < w / 2 for x, _ in dancers) and any(x > w / 2 for x, _ in dancers), dancers)
            ys = [y for _, y in dancers]
            self.assertGreater(max(ys) - min(ys), 0.15 * h, "a ring seen from above: near and far figures")

    def test_scroller_moves_left_four_cells_a_second(self):
        # Each shot's 'W' gives the scene time at which a four-cells-a-second line puts it there.
        # Between two shots that time must run as fast as the clock did between them, within 20 %;
        # each shot brings the span of the clock in which its frame's time was read.
        points, columns = [], []
        for shot in self.shots:
            left = leading_edge(shot.image)
            if left is not None and left > 5:  # wholly inside the picture
                columns.append(left)
                points.append((shot, scene_time_of(left, shot.image.width, shot.image.height)))
        self.assertGreater(points[-1][1] - points[0][1] if points else 0, 0.6, f"'W' left of the logo: {columns}")
        self.assertEqual(columns, sorted(columns, reverse=True), "moves left")
        for i, (a, scene_a) in enumerate(points):
            for b, scene_b in points[i + 1:]:
                shortest, longest = max(b.earliest - a.latest, 0.0), b.latest - a.earliest
                moved = scene_b - scene_a
                self.assertTrue(0.8 * shortest - MODEL_SLACK <= moved <= 1.2 * longest + MODEL_SLACK,
                                f"{4 * moved:.2f} cells in {shortest:.2f}-{longest:.2f} s: {columns}")
        (a, scene_a), (b, scene_b) = points[0], points[-1]
        slowest, fastest = 4 * (scene_b - scene_a) / (b.latest - a.earliest), 4 * (scene_b - scene_a) / (b.earliest - a.latest)
        print(f"scroller: 'W' at columns {columns}: {slowest:.2f} to {fastest:.2f} cells a second", file=sys.stderr)


if __name__ == "__main__":
    unittest.main()
