"""Two monitors on a real X server (Xorg, dummy driver), with and without a window manager: the
scene full screen on the primary monitor at its size, the other monitor black, the cursor hidden
on both; clicks, drags, wheel turns, modifier and media keys anywhere change nothing; any other
key ends the demo with status 0."""
import os
import subprocess
import sys
import unittest

from harness import Demo, PATIENCE, wait_until
from xorg import Monitor, XorgServer

BINARY = os.path.abspath(sys.argv.pop(1))
CURSOR_SHOWN = os.path.join(os.path.dirname(BINARY), "e2e_cursor_shown")

LAYOUTS = {
    # SDL lists the primary first; here it is not at the origin, and the larger monitor is.
    "primary right of a larger monitor": [Monitor("DUMMY0", 1400, 1050, 0, 0),
                                          Monitor("DUMMY1", 1280, 720, 1400, 0, primary=True)],
    "primary at the origin, lower monitor to its right": [Monitor("DUMMY0", 1024, 768, 0, 0, primary=True),
                                                          Monitor("DUMMY1", 1280, 1024, 1024, 200)],
}

# Pressed alone, none of these is a key press that ends the demo.
NOT_KEY_PRESSES = ["shift", "ctrl", "alt", "super", "ISO_Level3_Shift", "Caps_Lock",
                   "XF86AudioRaiseVolume", "XF86AudioMute", "XF86AudioPlay", "XF86AudioNext",
                   "XF86MonBrightnessUp", "XF86MonBrightnessDown"]


def lit_share(image, monitor, step=16, threshold=30):
    """Share of sampled pixels inside the monitor that are not black."""
    samples = lit = 0
    for y in range(monitor.y + step // 2, monitor.y + monitor.height, step):
        for x in range(monitor.x + step // 2, monitor.x + monitor.width, step):
            samples += 1
            lit += max(image.pixel(x, y)) > threshold
    return lit / samples


def brightest(image, monitor, step=8):
    return max(max(image.pixel(x, y)) for y in range(monitor.y, monitor.y + monitor.height, step)
               for x in range(monitor.x, monitor.x + monitor.width, step))


class TwoMonitors(unittest.TestCase):
    def check(self, server, demo, primary, other):
        """The scene on the primary, the other monitor black, the cursor hidden on both."""
        shots = []

        def scene_drawn():
            shots.append(demo.screenshot())
            return lit_share(shots[-1], primary) > 0.15

        demo.wait_until(scene_drawn, "the scene on the primary monitor")
        self.assertEqual(brightest(demo.screenshot(), other), 0, "the other monitor is not black")
        self.assertIn((primary.x, primary.y, primary.width, primary.height), self.window_rects(server))
        for monitor in (primary, other):
            server.run("xdotool", "mousemove", *map(str, monitor.centre()))
            shown = server.run(CURSOR_SHOWN).stdout.strip()
            self.assertEqual(shown, "0", f"cursor shown on {monitor.output}")

    def window_rects(self, server):
        out = server.run("xwininfo", "-root", "-tree").stdout
        rects = []
        for line in out.splitlines():
            if '"disco"' in line:
                size, _, position = line.split()[-2:][0].partition("+")
                width, height = map(int, size.split("x"))
                x, y = (int(v) for v in line.split()[-1].lstrip("+").split("+"))
                rects.append((x, y, width, height))
        return rects

    def use_everything_but_a_key(self, server, demo):
        for monitor in server.monitors:
            x, y = monitor.centre()
            server.run("xdotool", "mousemove", str(x), str(y), "click", "1", "click", "2", "click", "3",
                       "click", "4", "click", "5", "click", "8", "click", "9")
            server.run("xdotool", "mousedown", "1", "mousemove_relative", "--", "60", "40",
                       "mousemove_relative", "--", "-30", "20", "mouseup", "1")
            server.run("xdotool", "mousedown", "3", "mousemove", str(x + 200), str(y + 100), "mouseup", "3")
        for key in NOT_KEY_PRESSES:
            server.run("xdotool", "key", key)
        # Every input above has reached the demo once a frame has been swapped after it.
        swaps = len(demo.swaps())
        wait_until(lambda: len(demo.swaps()) > swaps + 2 or demo.process.poll() is not None, "frames after the input")
        self.assertIsNone(demo.process.poll(), "the demo ended without a key press:\n" + demo.log())

    def test_full_screen_on_the_primary_with_and_without_a_window_manager(self):
        for name, monitors in LAYOUTS.items():
            for window_manager in (False, True):
                with self.subTest(layout=name, window_manager=window_manager):
                    primary = next(m for m in monitors if m.primary)
                    other = next(m for m in monitors if not m.primary)
                    with XorgServer(monitors, window_manager) as server, Demo(BINARY, xvfb=server) as demo:
                        self.check(server, demo, primary, other)
                        self.use_everything_but_a_key(server, demo)
                        self.check(server, demo, primary, other)
                        server.run("xdotool", "key", "space")
                        self.assertEqual(demo.wait_exit(PATIENCE), 0, demo.log())


if __name__ == "__main__":
    unittest.main()
