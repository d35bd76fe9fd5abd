"""Runs the real disco binary on its own virtual X server, for end-to-end tests.

    with Demo(binary) as demo:
        demo.wait_for_log("FullScreen pixelFormat")
        frame = demo.screenshot()
        demo.press_key("space")
        assert demo.wait_exit(2) == 0
"""
import os
import shutil
import signal
import subprocess
import tempfile
import time


class Image:
    """An RGB screenshot."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def save(self, path):
        subprocess.run(["convert", "-size", f"{self.width}x{self.height}", "-depth", "8",
                        "rgb:-", path], input=bytes(self.data), check=True)


def parse_ppm(blob):
    # P6 <width> <height> <maxval> <one whitespace> <data>
    fields, pos = [], 0
    while len(fields) < 4:
        while blob[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not blob[pos:pos + 1].isspace():
            pos += 1
        fields.append(blob[start:pos])
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError("not an 8-bit PPM")
    width, height = int(fields[1]), int(fields[2])
    return Image(width, height, blob[pos + 1:pos + 1 + width * height * 3])


class Xvfb:
    """A private virtual X server; picks a free display number itself."""

    def __init__(self, screen="1280x720"):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{screen}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            self.process.kill()
            raise RuntimeError("Xvfb did not start")
        self.display = f":{number}"

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        return env

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()


class Demo:
    """The demo on its own X server. With `resources`, the binary runs from a temporary copy
    whose resources/ folder is a copy of that directory (an empty one for resources="")."""

    def __init__(self, binary, resources=None, screen="1280x720", env=None, xvfb=None):
        self.binary, self.resources, self.screen = binary, resources, screen
        self.extra_env = env or {}
        self.own_xvfb = xvfb is None
        self.xvfb = xvfb
        self.tmp = tempfile.mkdtemp(prefix="disco-e2e-")
        self.process = None

    def __enter__(self):
        if self.own_xvfb:
            self.xvfb = Xvfb(self.screen)
        binary = self.binary
        if self.resources is not None:
            binary = os.path.join(self.tmp, "disco")
            shutil.copy2(self.binary, binary)
            target = os.path.join(self.tmp, "resources")
            if self.resources:
                shutil.copytree(self.resources, target, symlinks=True)
            else:
                os.mkdir(target)
        env = self.xvfb.env()
        env.setdefault("SDL_AUDIODRIVER", "dummy")
        env.update(self.extra_env)
        self.stderr_path = os.path.join(self.tmp, "stderr.txt")
        self.stderr = open(self.stderr_path, "wb")
        self.started = time.monotonic()
        self.process = subprocess.Popen([binary], env=env, stdout=subprocess.DEVNULL,
                                        stderr=self.stderr, stdin=subprocess.DEVNULL)
        return self

    def __exit__(self, *exc):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.stderr.close()
        if self.own_xvfb:
            self.xvfb.stop()
        shutil.rmtree(self.tmp, ignore_errors=True)

    def log(self):
        with open(self.stderr_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def wait_for_log(self, text, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if text in self.log():
                return True
            if self.process.poll() is not None:
                return text in self.log()
            time.sleep(0.02)
        return False

    def wait_for_frames(self, seconds=1.0):
        """Waits until the demo is full screen, then lets it run for `seconds`."""
        if not self.wait_for_log("FullScreen pixelFormat"):
            raise AssertionError("demo did not reach full screen:\n" + self.log())
        time.sleep(seconds)

    def screenshot(self):
        blob = subprocess.run(["import", "-display", self.xvfb.display, "-window", "root", "-depth", "8", "ppm:-"],
                              capture_output=True, check=True).stdout
        return parse_ppm(blob)

    def press_key(self, key="space"):
        subprocess.run(["xdotool", "key", key], env=self.xvfb.env(), check=True)

    def window_geometries(self):
        """(x, y, width, height) of each visible window named disco."""
        env = self.xvfb.env()
        ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^disco$"], env=env,
                             capture_output=True, text=True).stdout.split()
        out = []
        for wid in ids:
            shell = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid], env=env,
                                   capture_output=True, text=True).stdout
            values = dict(line.split("=", 1) for line in shell.split() if "=" in line)
            out.append(tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT")))
        return out

    def signal(self, signum=signal.SIGTERM):
        self.process.send_signal(signum)

    def wait_exit(self, timeout=5.0):
        """Exit status, negative for a signal; None when still running after timeout."""
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None
