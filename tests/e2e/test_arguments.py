"""The demo's two answers, --help and --version, and its refusal of anything else, all without a display."""
import os
import subprocess
import sys
import unittest

BINARY = os.path.abspath(sys.argv.pop(1))


def run(*args):
    # No display at all: an answer must not start the demo (which would say "no display").
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    return subprocess.run([BINARY, *args], env=env, capture_output=True, text=True, timeout=60)


class Arguments(unittest.TestCase):
    def test_answers_and_refusals(self):
        result = run("--help")
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        self.assertTrue(result.stdout.startswith("usage: disco"), result.stdout)

        result = run("--version")
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        self.assertRegex(result.stdout, r"^disco \d+\.\d+")

        for args in (["--fullscreen"], ["-h"], ["--help", "extra"]):
            result = run(*args)
            self.assertEqual(result.returncode, 2, args)
            self.assertEqual(result.stdout, "", args)
            self.assertIn("usage: disco", result.stderr, args)


if __name__ == "__main__":
    unittest.main()
