"""The demo on a machine that lets it down: no sound device, software GL only, and a GL that
cannot make the full-screen context, where the demo says so once and carries on in its window.
(A refused screen capture is test_windowed.py's.)"""
import os
import signal
import sys
import unittest

from harness import Demo, Xvfb
from light import light

BINARY = os.path.abspath(sys.argv.pop(1))

SHIM = os.path.join(os.path.dirname(BINARY), "shims", "refuse_second_context.so")


class Faults(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.xvfb = Xvfb("1024x768")

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.stop()

    def plain_run(self, env):
        with Demo(BINARY, desktop=self.xvfb, env=env) as demo:
            demo.wait_for_frames(0.5)
            self.assertIn((0, 0, 1024, 768), demo.window_geometries(), demo.log())
            demo.press_key("space")
            self.assertEqual(demo.wait_exit(), 0, demo.log())
            return demo.log()

    def test_no_sound_device_plays_silently(self):
        log = self.plain_run({"SDL_AUDIODRIVER": "no-such-device"})
        lines = log.strip().splitlines()
        # The usual ten lines and one saying why there is no sound, nothing else.
        self.assertEqual(len(lines), 11, log)
        self.assertEqual(sum(" no sound: " in line for line in lines), 1, log)

    def test_software_gl_only(self):
        self.plain_run({"LIBGL_ALWAYS_SOFTWARE": "1", "GALLIUM_DRIVER": "llvmpipe"})

    def test_full_screen_context_refused(self):
        with Demo(BINARY, desktop=self.xvfb, env={"LD_PRELOAD": SHIM}) as demo:
            demo.wait_for_frames(frames=1)  # a window draws when exposed, not on and on
            windows = demo.window_geometries()
            self.assertEqual(len(windows), 1, windows)
            self.assertEqual(windows[0][2:], (800, 600), "the window keeps its own size")
            frame = demo.screenshot_until(lambda image: light(image, windows[0]).lit > 0.07)
            self.assertGreater(light(frame, windows[0]).lit, 0.07, "nothing drawn in the window")

            # Keys go to the scene in a window: the arrow keys and others do not end the demo.
            # A resize after them makes it draw again, once it has read them.
            for key in ("Left", "Up", "space"):
                demo.press_key(key)
            demo.resize_window(960, 680)
            self.assertIsNone(demo.process.poll(), demo.log())

            demo.signal(signal.SIGTERM)
            self.assertIsNotNone(demo.wait_exit(), "SIGTERM did not end the windowed demo")
            log = demo.log()
        self.assertEqual(log.count("Failed to create fullScreenContext"), 1, log)
        # The renderer line comes first: it is written before the context is asked for.
        self.assertLess(log.index("FullScreen pixelFormat"), log.index("Failed to create fullScreenContext"))


if __name__ == "__main__":
    unittest.main()
