"""The demo on scaled monitors, started as a desktop session starts programs (DISPLAY and
WAYLAND_DISPLAY both set): at scales 1, 1.25, 1.5 and 2 its drawable is the monitor's device
pixels, and the compositor's own picture of the monitor is the frame disco-capture draws at that
size. With a monitor at 2 beside one at 1, the scene is so on the primary and the other is black.

The scene is held still at its first moment with a known seed (shims/still_scene.c), so that
each picture can be set beside disco-capture's."""
import math
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from gnome import GnomeShell, Mutter
from harness import Demo, parse_ppm
from kde import Kwin
from light import light
from wayland import Sway

BINARY = os.path.abspath(sys.argv.pop(1))
CAPTURE = os.path.join(os.path.dirname(BINARY), "disco-capture")
SEED = 7
# A picture drawn at the logical size and stretched measures 26 to 35 dB against the true frame;
# drawn at device pixels it is the frame itself, but for the compositor's rounding where the
# logical size is not whole (sway's fixed 1280 / 1.5 = 853.3: 38.7 dB).
SAME_FRAME_DB = 37.0


def psnr(a, b):
    squared = sum((x - y) ** 2 for x, y in zip(a.data, b.data))
    return math.inf if squared == 0 else 10 * math.log10(255 ** 2 * len(a.data) / squared)


class Scaled:
    desktop_class, options, scales = None, {}, (1, 1.25, 1.5, 2)
    # Whole logical sizes at every scale (1200 / 1.25, / 1.5, / 2), so that no compositor rounds.
    monitors, primary = ((1200, 720),), 0

    @classmethod
    def setUpClass(cls):
        cls.desktop = (cls.desktop_class.or_skip() if cls.desktop_class is Sway else
                       cls.desktop_class.or_skip(cls.monitors, primary=cls.primary, **cls.options))
        # Where the desktop's user (sway's: nobody) can read it.
        cls.folder = tempfile.mkdtemp(prefix="disco-scales-")
        os.chmod(cls.folder, 0o755)
        cls.shim = shutil.copy(os.path.join(os.path.dirname(BINARY), "shims", "still_scene.so"), cls.folder)
        cls.frames = {}

    @classmethod
    def tearDownClass(cls):
        cls.desktop.stop()
        shutil.rmtree(cls.folder)

    def frame(self, width, height):
        """disco-capture's frame of the still scene at that size."""
        if (width, height) not in self.frames:
            path = os.path.join(self.folder, f"{width}x{height}-%d.png")
            subprocess.run([CAPTURE, "--size", f"{width}x{height}", "--seed", str(SEED), "--time", "0",
                            "--output", path], check=True, capture_output=True)
            ppm = subprocess.run(["convert", path % 0, "ppm:-"], check=True, capture_output=True).stdout
            self.frames[(width, height)] = parse_ppm(ppm)
        return self.frames[(width, height)]

    def see_device_pixels(self, scales):
        """Arranges the monitors at `scales`, starts the demo, and sees it drawn at the primary's
        device pixels, the other monitors black."""
        self.desktop.arrange(scales=scales)
        env = {"DISPLAY": self.desktop.display, "LD_PRELOAD": self.shim, "STILL_SEED": str(SEED)}
        with Demo(BINARY, desktop=self.desktop, env=env) as demo:
            demo.wait_for_frames(frames=3)
            for index, monitor in enumerate(self.desktop.monitors()):
                if not monitor.primary:
                    black = self.picture(demo, index, lambda shot: light(shot).lit == 0)
                    self.assertEqual(light(black).lit, 0, f"{monitor} is not black")
                    continue
                shot = self.picture(demo, index, lambda shot: self.same_frame(shot) > SAME_FRAME_DB)
                self.assertEqual(demo.viewport(), (0, 0, shot.width, shot.height),
                                 f"{monitor}: not drawn at its device pixels\n{demo.log()}")
                ratio = self.same_frame(shot)
                print(f"{self.desktop_class.__name__} at {scales}: {shot.width}x{shot.height}, "
                      f"{ratio:.1f} dB against disco-capture's frame", file=sys.stderr)
                self.assertGreater(ratio, SAME_FRAME_DB, f"{monitor}: not the frame itself")

    def same_frame(self, shot):
        return psnr(shot, self.frame(shot.width, shot.height))

    def picture(self, demo, index, right):
        """The monitor's picture once right(picture) holds; the last one taken after 30 s."""
        pictures = []
        try:
            demo.wait_until(lambda: right(pictures.append(self.desktop.screenshot(index)) or pictures[-1]),
                            "the picture", 30)
        except AssertionError:
            pass
        return pictures[-1]

    def test_device_pixels_at_every_scale(self):
        for scale in self.scales:
            with self.subTest(scale=scale):
                self.see_device_pixels([scale] * len(self.monitors))


class OnSway(Scaled, unittest.TestCase):
    desktop_class = Sway


class OnGnomeShell(Scaled, unittest.TestCase):
    """gnome-shell's default mode offers whole scales only."""
    desktop_class, scales = GnomeShell, (1, 2)


class OnMutterWithFractionalScaling(Scaled, unittest.TestCase):
    desktop_class, options = Mutter, {"fractional_scaling": True}


class OnKwin(Scaled, unittest.TestCase):
    desktop_class = Kwin


class TwoScalesOnGnomeShell(Scaled, unittest.TestCase):
    desktop_class, monitors, primary = GnomeShell, ((1024, 768), (1280, 720)), 1

    def test_device_pixels_at_every_scale(self):
        self.see_device_pixels([1, 2])


if __name__ == "__main__":
    unittest.main()
