"""The demo on Wayland compositors: never a crash at start, X11 through XWayland where DISPLAY
is set, and full screen on Wayland itself where the compositor can serve SDL."""
import os
import subprocess
import sys
import time
import unittest

from wayland import DemoCopy, Sway, Unavailable, Weston

BINARY = os.path.abspath(sys.argv.pop(1))


def start(cls):
    try:
        return cls()
    except Unavailable as why:
        raise unittest.SkipTest(str(why))


def scene_drawn(image):
    """The lit floor fills much of the lower third with many colours; a bare output is one."""
    lit, colours = 0, set()
    samples = 0
    for y in range(image.height * 2 // 3, image.height, 8):
        for x in range(0, image.width, 8):
            r, g, b = image.pixel(x, y)
            samples += 1
            if max(r, g, b) > 40:
                lit += 1
                colours.add((r // 64, g // 64, b // 64))
    return lit > samples // 3 and len(colours) >= 6


class WithoutASeat(unittest.TestCase):
    def test_one_clear_line_and_status_1_where_sdl_would_crash(self):
        weston = start(Weston)
        try:
            for driver in ({}, {"SDL_VIDEODRIVER": "wayland"}):
                result = weston.run([BINARY], env=weston.env(**driver), timeout=60)
                err = result.stderr.decode()
                self.assertEqual(result.returncode, 1, f"{driver}: status {result.returncode}\n{err}")
                self.assertEqual(len(err.strip().splitlines()), 1, err)
                self.assertRegex(err, r"^no display: .*has no seat")
        finally:
            weston.stop()


class OnSway(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.sway = start(Sway)

    @classmethod
    def tearDownClass(cls):
        cls.sway.stop()

    def run_full_screen(self, shell, **env):
        """Starts the demo, checks it covers the output with the scene, ends it with a key."""
        demo = DemoCopy(BINARY, self.sway).start(**env)
        try:
            self.assertTrue(demo.wait_for_log("FullScreen pixelFormat"), demo.log())
            output = self.sway.output_rect()
            deadline = time.monotonic() + 30
            while (time.monotonic() < deadline
                   and ("disco", shell, True, output) not in self.sway.windows()):
                time.sleep(0.1)
            self.assertIn(("disco", shell, True, output), self.sway.windows())
            deadline = time.monotonic() + 30
            while not scene_drawn(self.sway.screenshot()) and time.monotonic() < deadline:
                time.sleep(0.2)
            image = self.sway.screenshot()
            self.assertTrue(scene_drawn(image), "the output does not show the scene")
            # Each press gets a fresh virtual keyboard; a loaded machine may need more than one.
            deadline = time.monotonic() + 60
            while demo.process.poll() is None and time.monotonic() < deadline:
                self.sway.press_key("space")
                try:
                    demo.process.wait(2)
                except subprocess.TimeoutExpired:
                    pass
            self.assertEqual(demo.process.poll(), 0, demo.log())
        finally:
            demo.stop()

    def test_full_screen_on_wayland_itself_and_a_key_ends_it(self):
        self.run_full_screen("xdg_shell")

    def test_with_display_set_it_runs_through_xwayland(self):
        self.run_full_screen("xwayland", DISPLAY=self.sway.display)


if __name__ == "__main__":
    unittest.main()
