"""Runs the real disco binary on its own virtual X server, for end-to-end tests.

    with Demo(binary) as demo:
        demo.wait_for_frames()
        frame = demo.screenshot()
        demo.press_key("space")
        assert demo.wait_exit() == 0

Nothing here waits a fixed time for something to happen: every wait is for the thing itself (a
log line, a buffer swap, a picture, the process gone), with a deadline long enough for a machine
whose cores are shared, so that only a demo that never gets there fails. The demo runs with a
probe preloaded that notes the time of each buffer swap and each viewport set (bench/swap_probe.c),
so the tests know what has been presented, when, and at what size.
"""
import ctypes
import ctypes.util
import os
import shutil
import signal
import subprocess
import tempfile
import time

from light import light

# Deadline of every wait for the demo: far beyond what it needs, even sharing a busy core.
PATIENCE = 60.0


def wait_until(condition, what, timeout=PATIENCE, gave_up=lambda: None):
    """Polls condition() until it holds. Fails when the deadline passes, or at once when
    gave_up() gives a reason (a process that ended, say)."""
    deadline = time.monotonic() + timeout
    while not condition():
        reason = gave_up()
        if reason:
            raise AssertionError(f"{reason} before {what}")
        if time.monotonic() > deadline:
            raise AssertionError(f"no {what} within {timeout:.0f} s")
        time.sleep(0.02)


def stop_process(process, grace=10):
    """Ends a server or helper the tests started: asked first, killed if it will not go."""
    if process and process.poll() is None:
        process.terminate()
        try:
            process.wait(grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def swap_probe_for(binary):
    """The swap-timing probe built with the tests: DISCO_SWAP_PROBE, else shims/ beside the binary."""
    return os.environ.get("DISCO_SWAP_PROBE") or os.path.join(os.path.dirname(binary), "shims", "swap_probe.so")


class Shot:
    """A screenshot and the span of the monotonic clock in which the scene time of the frame it
    shows was read: the demo reads its clock after the swap before, and a swap's picture has
    reached the X server once the next swap is done."""

    def __init__(self, image, earliest, latest):
        self.image, self.earliest, self.latest = image, earliest, latest


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


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


def _xlib():
    x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XGetGeometry.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong)] + \
        [ctypes.POINTER(ctypes.c_int)] * 2 + [ctypes.POINTER(ctypes.c_uint)] * 4
    x.XGetImage.restype = ctypes.POINTER(_XImage)
    x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                            ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    x.XFree.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return x


def grab_screen(display):
    """The root window as an Image, read straight from the X server: a fraction of the time an
    image tool takes to start, so that shots come close together even on a busy machine."""
    global _X11
    if _X11 is None:
        _X11 = _xlib()
    x = _X11
    connection = x.XOpenDisplay(display.encode())
    if not connection:
        raise RuntimeError(f"cannot open display {display}")
    try:
        root = x.XDefaultRootWindow(connection)
        ints, uints, parent = [ctypes.c_int() for _ in range(2)], [ctypes.c_uint() for _ in range(4)], ctypes.c_ulong()
        x.XGetGeometry(connection, root, ctypes.byref(parent), *map(ctypes.byref, ints), *map(ctypes.byref, uints))
        width, height = uints[0].value, uints[1].value
        image = x.XGetImage(connection, root, 0, 0, width, height, 0xFFFFFFFF, 2)  # all planes, ZPixmap
        if not image:
            raise RuntimeError("XGetImage failed")
        info = image.contents
        stride, data = info.bytes_per_line, info.data
        try:
            if info.bits_per_pixel != 32 or info.red_mask != 0xFF0000 or info.blue_mask != 0xFF or info.byte_order != 0:
                raise RuntimeError("expected 32-bit little-endian BGRX pixels")
            raw = ctypes.string_at(data, stride * height)
        finally:
            x.XFree(data)
            x.XFree(image)
    finally:
        x.XCloseDisplay(connection)
    if stride != width * 4:
        raw = b"".join(raw[row * stride:row * stride + width * 4] for row in range(height))
    rgb = bytearray(width * height * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = raw[2::4], raw[1::4], raw[0::4]
    return Image(width, height, bytes(rgb))


_X11 = None


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
        stop_process(self.process)


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
        self.probe = swap_probe_for(binary)
        self.swaps_path = os.path.join(self.tmp, "swaps.txt")
        self.viewports_path = os.path.join(self.tmp, "viewports.txt")

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
        if not os.path.exists(self.probe):
            raise RuntimeError(f"no swap probe at {self.probe} (the e2e_swap_probe target)")
        env = self.xvfb.env()
        env.setdefault("SDL_AUDIODRIVER", "dummy")
        env.update(self.extra_env)
        env["LD_PRELOAD"] = " ".join(filter(None, [env.get("LD_PRELOAD"), self.probe]))
        env["SWAP_PROBE_OUT"] = self.swaps_path
        env["VIEWPORT_PROBE_OUT"] = self.viewports_path
        self.stderr_path = os.path.join(self.tmp, "stderr.txt")
        self.stderr = open(self.stderr_path, "wb")
        self.started = time.monotonic()
        # SIGINT at its default, as from a terminal: a shell running the tests in the background
        # hands it down ignored, and the demo keeps what it is given.
        self.process = subprocess.Popen([binary], env=env, stdout=subprocess.DEVNULL,
                                        stderr=self.stderr, stdin=subprocess.DEVNULL,
                                        preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
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

    def wait_for_log(self, text, timeout=PATIENCE):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if text in self.log():
                return True
            if self.process.poll() is not None:
                return text in self.log()
            time.sleep(0.02)
        return False

    def swaps(self):
        """Monotonic-clock times (time.monotonic()) of the buffer swaps so far."""
        try:
            with open(self.swaps_path) as f:
                return [float(line) for line in f.read().split("\n")[:-1]]  # the last may be half written
        except FileNotFoundError:
            return []

    def viewport(self):
        """(x, y, width, height) of the last GL viewport the demo set; None before the first."""
        try:
            with open(self.viewports_path) as f:
                lines = f.read().split("\n")[:-1]  # the last may be half written
        except FileNotFoundError:
            return None
        return tuple(map(int, lines[-1].split())) if lines else None

    def wait_until(self, condition, what, timeout=PATIENCE):
        """Polls condition() until it holds; fails the test when the deadline passes or the demo ends."""
        def ended():
            status = self.process.poll()
            return None if status is None else f"the demo ended (status {status})"
        try:
            wait_until(condition, what, timeout, ended)
        except AssertionError as failure:
            raise AssertionError(f"{failure}:\n{self.log()}") from None

    def wait_for_frames(self, seconds=0.0, frames=2, timeout=PATIENCE):
        """Waits until the demo has gone full screen (its log says so) and swapped `frames`
        buffers, the last of them at least `seconds` after the first: by then the window is
        mapped, takes the keys, and a screenshot shows a drawn frame. A window that draws only
        when exposed swaps once or twice: wait for frames=1 there."""
        if not self.wait_for_log("FullScreen pixelFormat", timeout):
            raise AssertionError("demo did not reach full screen:\n" + self.log())

        def presented():
            swaps = self.swaps()
            return len(swaps) >= frames and swaps[-1] - swaps[0] >= seconds
        self.wait_until(presented, f"{frames} frames over {seconds} s", timeout)

    def screenshot(self):
        return grab_screen(self.xvfb.display)

    def shot(self):
        """A Shot: the screenshot with the bounds of the scene time it shows."""
        asked = time.monotonic()
        image = self.screenshot()
        latest = time.monotonic()
        before = [t for t in self.swaps() if t <= asked]
        return Shot(image, before[-3] if len(before) >= 3 else self.started, latest)

    def screenshot_until(self, condition, timeout=PATIENCE):
        """Screenshots until one satisfies condition(image), which a frame that has only just been
        swapped may not yet; the last one when the deadline passes (for the test to fail on)."""
        deadline = time.monotonic() + timeout
        while True:
            image = self.screenshot()
            if condition(image) or time.monotonic() > deadline or self.process.poll() is not None:
                return image

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
            if "X" in values:  # else gone since the search
                out.append(tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT")))
        return out

    def resize_window(self, width, height):
        """Makes the demo's one window bigger and returns the first screenshot showing it drawn out
        to the new size. Events come in order, so by then the demo has also read whatever was sent
        to it before (keys, say)."""
        env = self.xvfb.env()
        wid = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^disco$"], env=env,
                             capture_output=True, text=True).stdout.split()[0]
        x, _, old_width, _ = self.window_geometries()[0]
        subprocess.run(["xdotool", "windowsize", "--sync", wid, str(width), str(height)], env=env, check=True)

        def drawn_out(image):
            box = light(image).box
            return box is not None and box[2] >= x + old_width
        return self.screenshot_until(drawn_out)

    def signal(self, signum=signal.SIGTERM):
        self.process.send_signal(signum)

    def wait_exit(self, timeout=PATIENCE):
        """Exit status, negative for a signal; None when still running after timeout."""
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None
