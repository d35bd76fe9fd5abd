"""Start-up, full screen and ending of the real demo."""
import os
import re
import signal
import subprocess
import sys
import time
import unittest

from harness import Demo, Xvfb

BINARY = os.path.abspath(sys.argv.pop(1))


class FullScreen(unittest.TestCase):
    def test_takes_the_whole_screen_and_logs_in_order(self):
        with Demo(BINARY, screen="1280x720") as demo:
            demo.wait_for_frames(0.5)
            self.assertIn((0, 0, 1280, 720), demo.window_geometries())
            lines = [line for line in demo.log().splitlines() if "disco[" in line]
            messages = [line.split("] ", 1)[1] for line in lines]
            order = [m for m in messages if m == "initWithFrame" or "RendererID" in m]
            self.assertEqual(len(order), 3, demo.log())
            self.assertEqual(order[0], "initWithFrame")
            self.assertRegex(order[1], r"^NSOpenGLView pixelFormat RendererID = [0-9a-f]{8}$")
            self.assertRegex(order[2], r"^FullScreen pixelFormat RendererID = [0-9a-f]{8}$")
            self.assertNotIn("Failed to create fullScreenContext", demo.log())
            # The log's own prefix: date, time with milliseconds, program[pid].
            self.assertRegex(lines[0], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} disco\[\d+\] ")

    def test_a_key_ends_it_with_status_0_at_the_next_frame_fifty_times(self):
        # Counted in frames, not seconds: a busy machine slows the frames, not the order of events.
        # When xdotool is back the key waits at the demo, which looks for it before each frame.
        xvfb = Xvfb("1280x720")
        late = []  # frames swapped after the key was there
        try:
            for run in range(50):
                with Demo(BINARY, desktop=xvfb) as demo:
                    demo.wait_for_frames()
                    demo.press_key("space" if run % 2 else "Left")
                    pressed = len(demo.swaps())
                    self.assertEqual(demo.wait_exit(), 0, f"run {run}:\n{demo.log()}")
                    late.append(len(demo.swaps()) - pressed)
        finally:
            xvfb.stop()
        print(f"frames after the key: {sorted(late)}", file=sys.stderr)
        self.assertLessEqual(max(late), 1, late)  # the one being drawn when the key came

    def test_sigterm_and_sigint_end_it_promptly(self):
        for signum in (signal.SIGTERM, signal.SIGINT):
            with Demo(BINARY) as demo:
                demo.wait_for_frames()
                demo.signal(signum)
                self.assertEqual(demo.wait_exit(), -signum)


class NoDisplay(unittest.TestCase):
    def test_says_why_and_what_works_without_one(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        result = subprocess.run([BINARY], env=env, capture_output=True, text=True, timeout=60)
        self.assertNotEqual(result.returncode, 0)
        self.assertGreater(result.returncode, 0, "ended by a signal")
        self.assertTrue(result.stderr.startswith("no display: "), result.stderr)
        # The command it suggests is one that runs here.
        command = re.search(r"^\s+(\S+/disco-capture) --video \S+\.mp4 --duration \d+$", result.stderr, re.M)
        self.assertIsNotNone(command, result.stderr)
        self.assertTrue(os.access(command.group(1), os.X_OK), command.group(1))


if __name__ == "__main__":
    unittest.main()
