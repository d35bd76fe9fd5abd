"""The window system refuses full screen: the demo carries on in its window."""
import os
import sys
import unittest

from harness import Demo
from light import light

BINARY = os.path.abspath(sys.argv.pop(1))
SHIM = os.path.join(os.path.dirname(BINARY), "shims", "refuse_fullscreen.so")


class Windowed(unittest.TestCase):
    def test_draws_in_its_window_follows_resizes_and_keeps_running_on_keys(self):
        with Demo(BINARY, env={"LD_PRELOAD": SHIM}) as demo:
            demo.wait_for_frames(frames=1)  # a window draws when exposed, not on and on
            log = demo.log()
            self.assertIn("FullScreen pixelFormat RendererID", log)
            self.assertNotIn("Failed to create fullScreenContext", log)
            # The refusal (the keyboard held elsewhere, on Xorg) is said, once.
            self.assertEqual(log.count("the keyboard is held by another client"), 1, log)
            geometries = demo.window_geometries()
            self.assertEqual(len(geometries), 1, geometries)
            x, y, w, h = geometries[0]
            self.assertEqual((w, h), (800, 600))
            box = before = light(demo.screenshot_until(lambda image: light(image).box)).box
            self.assertIsNotNone(box, "nothing drawn in the window")
            self.assertTrue(x <= box[0] and box[2] < x + w and y <= box[1] and box[3] < y + h, (box, geometries))

            # Arrow keys go to the scene, not to an exit; the process stays. A resize redraws at
            # the new size, once the demo has read the keys before it.
            demo.press_key("Left")
            demo.press_key("Up")
            after = demo.resize_window(1000, 700)
            self.assertIsNone(demo.process.poll())
            x, y, w, h = demo.window_geometries()[0]
            self.assertEqual((w, h), (1000, 700))
            box = light(after).box
            self.assertGreater(box[2] - box[0], (before[2] - before[0]) * 1.1, (before, box))  # it grew
            self.assertGreater(box[2], before[2] + 100, (before, box))

            demo.signal()
            self.assertIsNotNone(demo.wait_exit())


if __name__ == "__main__":
    unittest.main()
