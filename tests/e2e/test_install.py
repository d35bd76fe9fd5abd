"""Installs into a temporary prefix and runs the installed demo."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

from harness import Demo

BINARY = os.path.abspath(sys.argv.pop(1))
BUILD = os.path.dirname(BINARY)
# The installed demo has no shims beside it: the harness's swap probe stays in the build.
os.environ.setdefault("DISCO_SWAP_PROBE", os.path.join(BUILD, "shims", "swap_probe.so"))


class Install(unittest.TestCase):
    def test_installed_demo_finds_its_resources(self):
        prefix = tempfile.mkdtemp(prefix="disco-prefix-")
        try:
            subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix], check=True,
                           stdout=subprocess.DEVNULL)
            for path in ["bin/disco", "bin/disco-capture", "share/disco/tile.png", "share/disco/tralmix.m4a",
                         "share/applications/disco.desktop", "share/icons/hicolor/256x256/apps/disco.png"]:
                self.assertTrue(os.path.exists(os.path.join(prefix, path)), path)
            desktop = open(os.path.join(prefix, "share/applications/disco.desktop")).read()
            self.assertIn("Exec=disco", desktop)
            with Demo(os.path.join(prefix, "bin/disco")) as demo:
                demo.wait_for_frames()
                log = demo.log()
                # Every image found and uploaded: one texture-name line each.
                names = [l for l in log.splitlines() if re.search(r"\] [0-9A-F]+$", l)]
                self.assertEqual(len(names), 5, log)
                demo.press_key("space")
                self.assertEqual(demo.wait_exit(), 0, demo.log())
        finally:
            shutil.rmtree(prefix, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
