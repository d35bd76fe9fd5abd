"""The demo on Wayland compositors: never a crash at start, full screen on Wayland itself where
the compositor can serve SDL, even with DISPLAY set, and through XWayland when SDL is told x11."""
import os
import subprocess
import sys
import unittest

from harness import wait_until
from light import scene_drawn
from wayland import DemoCopy, Sway, Unavailable, Weston

BINARY = os.path.abspath(sys.argv.pop(1))


def start(cls):
    try:
        return cls()
    except Unavailable as why:
        raise unittest.SkipTest(str(why))


class WithoutASeat(unittest.TestCase):
    def test_one_clear_reason_and_status_1_where_sdl_would_crash(self):
        weston = start(Weston)
        try:
            for driver in ({}, {"SDL_VIDEODRIVER": "wayland"}):
                result = weston.run([BINARY], env=weston.env(**driver), timeout=60)
                err = result.stderr.decode()
                self.assertEqual(result.returncode, 1, f"{driver}: status {result.returncode}\n{err}")
                # The reason, then only the pointer to what works without a display: no crash noise.
                self.assertRegex(err, r"^no display: .*has no seat[^\n]*\nWithout a display, disco-capture")
                self.assertEqual(len(err.strip().splitlines()), 4, err)
        finally:
            weston.stop()


class OnSway(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.sway = start(Sway)

    @classmethod
    def tearDownClass(cls):
        cls.sway.stop()

    def run_full_screen(self, covers_output, **env):
        """Starts the demo, waits until `covers_output(rect)` says its surface covers the output
        and the scene shows there, and again after the output changes mode and is powered off and
        on; then ends it with one key."""
        demo = DemoCopy(BINARY, self.sway).start(**env)
        try:
            self.assertTrue(demo.wait_for_log("FullScreen pixelFormat"), demo.log())

            def ended():
                return demo.process.poll() is not None and f"the demo ended (status {demo.process.returncode})"

            changes = {"at start": [], "after a change of mode": [("mode", "1024x768")],
                       "after the output was powered off and on": [("dpms", "off"), ("dpms", "on")]}
            for when, settings in changes.items():
                for setting in settings:
                    self.sway.configure_output(*setting)
                output = self.sway.output_rect()
                wait_until(lambda: covers_output(output), f"the demo's surface over the output {when}", 30, ended)
                self.assertTrue(covers_output(output), f"{when}: {self.sway.windows()} {demo.log()}")
                wait_until(lambda: scene_drawn(self.sway.screenshot()), f"the scene on the output {when}", 30, ended)
                self.assertTrue(scene_drawn(self.sway.screenshot()), f"{when}: the output does not show the scene")
            self.sway.press_key("space")
            try:
                demo.process.wait(30)
            except subprocess.TimeoutExpired:
                self.fail("a key did not end the demo:\n" + demo.log())
            self.assertEqual(demo.process.poll(), 0, demo.log())
        finally:
            demo.stop()

    def test_full_screen_on_wayland_itself_and_a_key_ends_it(self):
        self.run_full_screen(lambda output: ("disco", "xdg_shell", True, output) in self.sway.windows())

    def test_with_display_set_too_it_runs_on_wayland_itself(self):
        self.run_full_screen(lambda output: ("disco", "xdg_shell", True, output) in self.sway.windows(),
                             DISPLAY=self.sway.display)

    def test_with_the_x11_driver_named_it_runs_through_xwayland(self):
        self.run_full_screen(lambda output: output in self.sway.x_windows(), DISPLAY=self.sway.display,
                             SDL_VIDEODRIVER="x11")


if __name__ == "__main__":
    unittest.main()
