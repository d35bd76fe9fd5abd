"""The music in the real demo: the loop reaches the sound device from the start; without a
playable file or a sound device the demo runs exactly as before, silently (without a sound
device it says so, once, and plays once one comes)."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

from harness import Demo, Xvfb
from light import light

BINARY = os.path.abspath(sys.argv.pop(1))
MUSIC = os.path.join(os.path.dirname(BINARY), "resources", "tralmix.m4a")


def messages(log):
    """Every line without its date and process prefix."""
    return [line.split("] ", 1)[-1] for line in log.splitlines()]


class Music(unittest.TestCase):
    def test_the_loop_reaches_the_device_from_the_start(self):
        track = subprocess.run(["ffmpeg", "-v", "error", "-i", MUSIC, "-f", "f32le", "-"],
                               check=True, capture_output=True).stdout

        def music_in(played):
            start = played.find(track[:512])  # stereo floats: 8 bytes a frame
            return start, played[start:len(played) - (len(played) - start) % 8] if start >= 0 else b""

        with tempfile.TemporaryDirectory() as folder:
            recording = os.path.join(folder, "device.raw")
            with Demo(BINARY, env={"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": recording}) as demo:
                demo.wait_for_frames()
                # Two seconds of it, however long the machine takes to play them.
                demo.wait_until(lambda: os.path.exists(recording) and len(music_in(open(recording, "rb").read())[1])
                                > 2 * 44100 * 8, "two seconds of music at the device")
                demo.press_key("space")
                self.assertEqual(demo.wait_exit(), 0, demo.log())
            with open(recording, "rb") as f:
                played = f.read()
        start, body = music_in(played)
        self.assertGreaterEqual(start, 0, "the music's first samples never reached the device")
        self.assertFalse(played[:start].strip(b"\0"), "sound before the music")
        self.assertGreater(len(body), 2 * 44100 * 8, "less than two seconds of music")
        self.assertTrue(body == track[:len(body)], "the music breaks off or changes")

    def test_without_music_the_demo_runs_on_as_before(self):
        xvfb = Xvfb("640x480")
        folder = tempfile.mkdtemp(prefix="disco-music-")
        try:
            missing, cut = os.path.join(folder, "missing"), os.path.join(folder, "cut")
            for path in (missing, cut):
                shutil.copytree(os.path.dirname(MUSIC), path)
            os.remove(os.path.join(missing, "tralmix.m4a"))
            os.truncate(os.path.join(cut, "tralmix.m4a"), os.path.getsize(MUSIC) // 2)
            with Demo(BINARY, desktop=xvfb) as demo:  # with music, on the harness's silent driver
                demo.wait_for_frames(0.5)
                usual = messages(demo.log())

            def floor(frame):
                return light(frame, (0, 400, 640, 1)).brightest > 0
            for name, resources, env, said in (
                    ("no music file", missing, {}, []), ("a file cut in half", cut, {}, []),
                    ("no sound device until its folder comes", None, {"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE":
                     os.path.join(folder, "later", "device.raw")}, ["no sound: ", "sound back: "])):
                with self.subTest(name), Demo(BINARY, resources=resources, env=env, desktop=xvfb) as demo:
                    demo.wait_for_frames(0.5)
                    if said:
                        os.mkdir(os.path.join(folder, "later"))
                        demo.wait_until(lambda: "sound back: " in demo.log(), "'sound back' from the player looking again")
                    self.assertTrue(floor(demo.screenshot_until(floor)), "no floor")
                    demo.press_key("space")
                    self.assertEqual(demo.wait_exit(), 0, demo.log())
                    lines = messages(demo.log())
                    sound = [line for line in lines if line.startswith(("no sound: ", "sound "))]
                    self.assertEqual([line.split(": ")[0] + ": " for line in sound], said, sound)
                    # SDL's disk driver, which plays no sound, says so itself
                    disk = ("CRITICAL: You are using the SDL disk i/o audio driver!", "CRITICAL:  Writing to file [")
                    self.assertEqual([line for line in lines if line not in sound and not line.startswith(disk)], usual)
        finally:
            xvfb.stop()
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
