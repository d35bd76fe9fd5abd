"""The window system refuses full screen: the demo carries on in its window."""
import os
import subprocess
import sys
import time
import unittest

from harness import Demo

BINARY = os.path.abspath(sys.argv.pop(1))
SHIM = os.path.join(os.path.dirname(BINARY), "shims", "refuse_fullscreen.so")


def lit_box(image, threshold=30):
    """Bounding box (x0, y0, x1, y1) of the pixels that are not black."""
    xs, ys = [], []
    for y in range(0, image.height, 4):
        for x in range(0, image.width, 4):
            if max(image.pixel(x, y)) > threshold:
                xs.append(x)
                ys.append(y)
    return (min(xs), min(ys), max(xs), max(ys)) if xs else None


class Windowed(unittest.TestCase):
    def test_draws_in_its_window_follows_resizes_and_keeps_running_on_keys(self):
        with Demo(BINARY, env={"LD_PRELOAD": SHIM}) as demo:
            demo.wait_for_frames(0.5)
            log = demo.log()
            self.assertIn("FullScreen pixelFormat RendererID", log)
            self.assertNotIn("Failed to create fullScreenContext", log)  # refused capture is silent
            geometries = demo.window_geometries()
            self.assertEqual(len(geometries), 1, geometries)
            x, y, w, h = geometries[0]
            self.assertEqual((w, h), (800, 600))
            box = before = lit_box(demo.screenshot())
            self.assertIsNotNone(box, "nothing drawn in the window")
            self.assertTrue(x <= box[0] and box[2] < x + w and y <= box[1] and box[3] < y + h, (box, geometries))

            # Arrow keys go to the scene, not to an exit; the process stays.
            demo.press_key("Left")
            demo.press_key("Up")
            time.sleep(0.3)
            self.assertIsNone(demo.process.poll())

            # A resize redraws at the new size.
            env = demo.xvfb.env()
            wid = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^disco$"], env=env,
                                 capture_output=True, text=True).stdout.split()[0]
            subprocess.run(["xdotool", "windowsize", "--sync", wid, "1000", "700"], env=env, check=True)
            time.sleep(0.5)
            x, y, w, h = demo.window_geometries()[0]
            self.assertEqual((w, h), (1000, 700))
            box = lit_box(demo.screenshot())
            self.assertGreater(box[2] - box[0], (before[2] - before[0]) * 1.1, (before, box))  # it grew
            self.assertGreater(box[2], before[2] + 100, (before, box))

            demo.signal()
            self.assertIsNotNone(demo.wait_exit(2))


if __name__ == "__main__":
    unittest.main()
