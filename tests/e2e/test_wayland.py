"""The demo on Wayland compositors: never a crash at start, full screen on Wayland itself where
the compositor can serve SDL, even with DISPLAY set, and through XWayland when SDL is told x11."""
import os
import sys
import unittest

from harness import Demo
from light import scene_drawn
from wayland import Sway, Weston

BINARY = os.path.abspath(sys.argv.pop(1))


class WithoutASeat(unittest.TestCase):
    def test_one_clear_reason_and_status_1_where_sdl_would_crash(self):
        with Weston.or_skip() as weston:
            for driver in ({}, {"SDL_VIDEODRIVER": "wayland"}):
                with Demo(BINARY, desktop=weston, env=driver) as demo:
                    status, err = demo.wait_exit(), demo.log()
                self.assertEqual(status, 1, f"{driver}: status {status}\n{err}")
                # The reason, then only the pointer to what works without a display: no crash noise.
                self.assertRegex(err, r"^no display: .*has no seat[^\n]*\nWithout a display, disco-capture")
                self.assertEqual(len(err.strip().splitlines()), 4, err)


class OnSway(unittest.TestCase):
    # A sway of its own for each case: once wtype's keyboard has typed a key, the next client's
    # keyboard set-up crashes SDL 2.26 (xkb_state_update_mask with no state).
    def setUp(self):
        self.sway = Sway.or_skip()

    def tearDown(self):
        self.sway.stop()

    def run_full_screen(self, covers_output, xwayland=False, **env):
        """Starts the demo, waits until `covers_output(rect)` says its surface covers the output
        and the scene shows there, and again after the output changes mode and is powered off and
        on; then ends it with one key."""
        with Demo(BINARY, desktop=self.sway, xwayland=xwayland, env=env) as demo:
            demo.wait_for_frames()
            changes = {"at start": [], "after a change of mode": [("mode", "1024x768")],
                       "after the output was powered off and on": [("dpms", "off"), ("dpms", "on")]}
            for when, settings in changes.items():
                for setting in settings:
                    self.sway.configure_output(*setting)
                output = self.sway.output_rect()
                demo.wait_until(lambda: covers_output(output), f"the demo's surface over the output {when}")
                demo.wait_until(lambda: scene_drawn(self.sway.screenshot()), f"the scene on the output {when}")
            self.sway.press_key("space")
            self.assertEqual(demo.wait_exit(30), 0, "a key did not end the demo:\n" + demo.log())

    def native_window_covers(self, output):
        return any(w.native and w.fullscreen and (w.title, w.x, w.y, w.width, w.height) == ("disco", *output)
                   for w in self.sway.windows())

    def test_full_screen_on_wayland_itself_and_a_key_ends_it(self):
        self.run_full_screen(self.native_window_covers)

    def test_with_display_set_too_it_runs_on_wayland_itself(self):
        self.run_full_screen(self.native_window_covers, DISPLAY=self.sway.display)

    def test_with_the_x11_driver_named_it_runs_through_xwayland(self):
        self.run_full_screen(lambda output: output in [(w.x, w.y, w.width, w.height) for w in self.sway.x_windows()],
                             xwayland=True)


if __name__ == "__main__":
    unittest.main()
