"""Runs the real disco binary for end-to-end tests, on its own virtual X server or on a desktop
the tests start (a Desktop: an X server, a Wayland compositor; see xorg.py, wayland.py, gnome.py
and kde.py for theirs).

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
import contextlib
import ctypes
import ctypes.util
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import threading
import time
import unittest
from dataclasses import dataclass

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


def tool(name):
    """A helper program built with the tests (tests.cmake): in DISCO_E2E_TOOLS, else the default build."""
    return os.path.join(os.environ.get("DISCO_E2E_TOOLS") or _DEFAULT_TOOLS, name)


_DEFAULT_TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build")


def swap_probe_for(binary):
    """The swap-timing probe built with the tests: DISCO_SWAP_PROBE, else shims/ beside the binary."""
    return os.environ.get("DISCO_SWAP_PROBE") or os.path.join(os.path.dirname(binary), "shims", "swap_probe.so")


class Shot:
    """A screenshot and the span of the monotonic clock in which the scene time of the frame it
    shows was read: the demo reads its clock after the swap before, and a swap's picture has
    reached the X server once the next swap is done. The picture was taken between `asked` and
    `latest`."""

    def __init__(self, image, earliest, latest, asked=None):
        self.image, self.earliest, self.latest, self.asked = image, earliest, latest, asked


def shots_at_once(demos, within=None, tries=20):
    """A Shot of each demo, taken by threads let go together: as close to one moment as the
    machine allows (the other threads run while one waits in Xlib). With `within` (seconds), taken
    again, `tries` times at most, until all are taken within that of one another, each demo
    drawing at its pace when asked (Demo.at_pace)."""
    for _ in range(tries):
        shots = _shots_together(demos)
        if not within or (max(s.latest for s in shots) - min(s.asked for s in shots) <= within
                          and all(demo.at_pace(shot.asked) for demo, shot in zip(demos, shots))):
            break
    return shots


def _shots_together(demos):
    shots, ready = [None] * len(demos), threading.Barrier(len(demos))

    def take(i):
        ready.wait()
        shots[i] = demos[i].shot()
    threads = [threading.Thread(target=take, args=(i,)) for i in range(len(demos))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if None in shots:
        raise AssertionError("a screenshot failed (its thread said why)")
    return shots


def captured_frames(binary, width, height, seed, times):
    """disco-capture's frames (beside the binary) of the scene at `times` with the floor's `seed`."""
    folder = tempfile.mkdtemp(prefix="disco-capture-")
    try:
        pattern = os.path.join(folder, "%d.png")
        subprocess.run([os.path.join(os.path.dirname(binary), "disco-capture"), "--size", f"{width}x{height}",
                        "--seed", str(seed), *[a for t in times for a in ("--time", str(t))], "--output", pattern],
                       check=True, capture_output=True)
        return [parse_ppm(subprocess.run(["convert", pattern % i, "ppm:-"], check=True, capture_output=True).stdout)
                for i in range(len(times))]
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def mean_difference(a, b):
    """How far apart two pictures of one size are: the mean absolute difference of their channels."""
    if (a.width, a.height) != (b.width, b.height):
        raise ValueError(f"{a.width}x{a.height} beside {b.width}x{b.height}")
    return sum(abs(x - y) for x, y in zip(a.data, b.data)) / len(a.data)


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


def grab_screen(display, area=None):
    """The root window, or its `area` (x, y, width, height), as an Image, read straight from the
    X server: a fraction of the time an image tool takes to start, so that shots come close
    together even on a busy machine."""
    global _X11
    with _X11_LOADING:  # shots_at_once's threads
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
        left, top, width, height = area or (0, 0, uints[0].value, uints[1].value)
        image = x.XGetImage(connection, root, left, top, width, height, 0xFFFFFFFF, 2)  # all planes, ZPixmap
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
    return image_of_words(raw, width, height, stride)


def image_of_words(raw, width, height, stride, red=2, blue=0):
    """An Image of 32-bit pixels in rows `stride` bytes apart, red and blue at those bytes of each."""
    if stride != width * 4:
        raw = b"".join(raw[row * stride:row * stride + width * 4] for row in range(height))
    rgb = bytearray(width * height * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = raw[red::4], raw[1::4], raw[blue::4]
    return Image(width, height, bytes(rgb))


_X11, _X11_LOADING = None, threading.Lock()


# evdev codes of mouse buttons 1, 2 and 3 (left, middle, right)
BUTTONS = {1: 0x110, 2: 0x112, 3: 0x111}
# wl_seat's capabilities
POINTER, KEYBOARD = 1, 2


def seat_capabilities(folder, display):
    """wl_seat's capabilities (POINTER, KEYBOARD) as a new Wayland client is told them, spoken on the
    socket by hand: registry, bind the seat, read its first event."""
    def message(sender, opcode, payload):
        return struct.pack("<II", sender, (8 + len(payload)) << 16 | opcode) + payload

    def string(text):
        data = text.encode() + b"\0"
        return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)

    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as client:
        client.settimeout(PATIENCE)
        client.connect(os.path.join(folder, display))
        client.sendall(message(1, 1, struct.pack("<I", 2)) + message(1, 0, struct.pack("<I", 3)))  # get_registry, sync
        buffer, seat_bound = b"", False
        while True:
            while len(buffer) < 8 or len(buffer) < struct.unpack_from("<I", buffer, 4)[0] >> 16:
                chunk = client.recv(4096)
                if not chunk:
                    raise ConnectionError("the compositor closed the connection")
                buffer += chunk
            sender, size_opcode = struct.unpack_from("<II", buffer)
            size, opcode = size_opcode >> 16, size_opcode & 0xFFFF
            body, buffer = buffer[8:size], buffer[size:]
            if sender == 2 and opcode == 0 and not seat_bound:  # wl_registry.global
                name, length = struct.unpack_from("<II", body)
                if body[8:8 + length - 1] == b"wl_seat":
                    bind = struct.pack("<I", name) + string("wl_seat") + struct.pack("<II", 1, 4)  # version 1, id 4
                    client.sendall(message(2, 0, bind))
                    seat_bound = True
            elif sender == 4 and opcode == 0:  # wl_seat.capabilities
                return struct.unpack_from("<I", body)[0]


class Started:
    """Something the tests start and stop(): made, or the test skipped where it cannot be made on
    this machine (or_skip(), on Unavailable); stopped by a with-statement, and by a failure while
    it starts (`with self.starting():`), leaving nothing behind."""

    @classmethod
    def or_skip(cls, *args, **kwargs):
        try:
            return cls(*args, **kwargs)
        except Unavailable as why:
            raise unittest.SkipTest(str(why))

    @contextlib.contextmanager
    def starting(self):
        try:
            yield
        except BaseException:
            self.stop()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class Unavailable(Exception):
    """A desktop cannot run on this machine; the message says why."""


@dataclass
class Monitor:
    """A monitor where the desktop lays it out (in logical pixels where it lays them out so);
    scale is None where the desktop does not tell it."""
    name: str
    width: int
    height: int
    x: int
    y: int
    primary: bool = False
    scale: float = None

    def centre(self):
        return self.x + self.width // 2, self.y + self.height // 2


@dataclass
class Window:
    """A client window as the desktop tells it; id is an X window's, native whether it is a
    Wayland window, None where the desktop does not tell."""
    title: str
    x: int
    y: int
    width: int
    height: int
    fullscreen: bool
    id: str = None
    native: bool = None


# A bus with no service activation: nothing runs on it that the desktop did not start itself.
BUS_CONFIG = """<busconfig><type>{kind}</type><listen>unix:path={path}</listen><auth>EXTERNAL</auth>
<policy context="default"><allow user="*"/><allow own="*"/><allow send_destination="*" eavesdrop="true"/>
<allow receive_sender="*"/><allow eavesdrop="true"/></policy></busconfig>"""


class Desktop(Started):
    """What every desktop the tests start has: a private folder (its HOME and XDG_RUNTIME_DIR)
    with its log, its processes each in a process group of its own that stop() ends whole, a
    private session bus where it needs one, and the ways a program, a key or a look at its X
    windows reach it. Subclasses start the server itself, in their constructor, inside
    `with self.starting():`."""

    name = "desktop"
    programs = ()  # what it needs on the PATH
    user = None  # (uid, gid) its programs run as, where not ours
    keeps_environment = False  # an X server's programs get the tests' own environment
    lists_native_windows = False  # whether windows() has the Wayland windows too
    main_loop_property = None  # (name, path, interface, property) its compositor's main loop answers on D-Bus
    display = wayland_display = bus = bus_address = None

    def __init__(self):
        missing = [p for p in self.programs if not shutil.which(p)]
        if missing:
            raise Unavailable(f"not installed: {' '.join(missing)} (scripts/deps.sh installs them)")
        self.folder = tempfile.mkdtemp(prefix=f"disco-{self.name}-")
        if self.user:
            os.chown(self.folder, *self.user)
        self.log_path = os.path.join(self.folder, "log")
        self.log = open(self.log_path, "wb")
        self.processes = []

    def env(self, xwayland=False, **extra):
        """The environment of a program on the desktop, `extra` on top (None takes one out). On a
        Wayland compositor, with `xwayland` the program goes through XWayland: SDL is told so,
        as the demo prefers Wayland itself wherever WAYLAND_DISPLAY is set."""
        if self.keeps_environment:
            env = dict(os.environ, DISPLAY=self.display, WAYLAND_DISPLAY=None)
        else:
            env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.folder,
                   "XDG_RUNTIME_DIR": self.folder, "SDL_AUDIODRIVER": "dummy",
                   "WAYLAND_DISPLAY": self.wayland_display, "DBUS_SESSION_BUS_ADDRESS": self.bus_address}
            if xwayland:
                env.update(DISPLAY=self.display, SDL_VIDEODRIVER="x11")
        env.update(self._own_env(), **extra)
        return {key: value for key, value in env.items() if value is not None}

    def _own_env(self):
        """What more the desktop's programs are told."""
        return {}

    def popen(self, args, env=None, **popen):
        """Starts a program on the desktop, as its user."""
        if self.user:
            popen.update(user=self.user[0], group=self.user[1], extra_groups=[])
        popen.setdefault("stdin", subprocess.DEVNULL)
        return subprocess.Popen(args, env=env or self.env(), **popen)

    def start_tool(self, name, *args, **popen):
        """One of the tests' own programs (tool()) started on the desktop, copied first where the
        desktop's user can run it (a fresh clone's folder may be closed to that user)."""
        program = tool(name)
        if self.user:
            program = shutil.copy(program, self.folder)
        return self.start(program, *args, **popen)

    def start(self, *args, env=None, **popen):
        """Starts one of the desktop's own programs, its output in the log, in a process group of
        its own, so that stop() ends whatever it starts there with it."""
        popen = {"stdout": self.log, "stderr": subprocess.STDOUT, **popen}
        process = self.popen(args, env, start_new_session=True, **popen)
        self.processes.append(process)
        return process

    def run(self, *args, env=None, check=True, timeout=PATIENCE, text=True):
        """Runs a program on the desktop to its end; it failing fails the test where `check`."""
        process = self.popen(args, env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=text)
        try:
            out, err = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            raise
        if check and process.returncode != 0:
            raise AssertionError(f"{' '.join(args)}: status {process.returncode}: {out}{err}")
        return subprocess.CompletedProcess(args, process.returncode, out, err)

    def wait_for_start(self, condition, what, processes=None, timeout=PATIENCE):
        """Polls condition() until it gives something true, which it returns. One of `processes`
        (the desktop's own when None) ending first means the desktop cannot run here (Unavailable);
        the deadline passing is a failure."""
        deadline = time.monotonic() + timeout
        while True:
            result = condition()
            if result:
                return result
            for process in self.processes if processes is None else processes:
                if process.poll() is not None:
                    raise Unavailable(f"{process.args[0]} ended at start-up with status {process.returncode}:\n"
                                      + self.log_text(20))
            if time.monotonic() > deadline:
                raise AssertionError(f"no {what} within {timeout:.0f} s:\n" + self.log_text(20))
            time.sleep(0.05)

    def log_text(self, last=None):
        """What the desktop's programs have written, its `last` lines only where given."""
        with open(self.log_path, errors="replace") as f:
            lines = f.readlines()
        return "".join(lines[-last:] if last else lines)

    def start_bus(self, kind="session"):
        """A private D-Bus bus of `kind`; its address. The session bus is the desktop's own: in
        every program's environment, and self.bus is a connection to it."""
        path = os.path.join(self.folder, f"{kind}-bus")
        with open(path + ".conf", "w") as f:
            f.write(BUS_CONFIG.format(kind=kind, path=path))
        self.start("dbus-daemon", f"--config-file={path}.conf", "--nofork")
        address = f"unix:path={path}"
        if kind != "session":
            self.wait_for_start(lambda: os.path.exists(path), f"the {kind} bus")
            return address
        from gi.repository import Gio, GLib

        def connected():
            # The socket's file is there a moment before the bus listens on it.
            try:
                self.bus = Gio.DBusConnection.new_for_address_sync(
                    address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
                    None, None)
                return True
            except GLib.Error:
                return False
        self.wait_for_start(lambda: os.path.exists(path) and connected(), f"the {kind} bus")
        self.bus_address = address
        return address

    def call(self, name, path, interface, method, args=None, fds=None):
        """A D-Bus method call on the session bus (args a GLib.Variant), its answer unpacked."""
        from gi.repository import Gio
        result, _ = self.bus.call_with_unix_fd_list_sync(name, path, interface, method, args, None,
                                                         Gio.DBusCallFlags.NONE, int(PATIENCE * 1000), fds, None)
        return result.unpack()

    def press_key(self, key="space", xwayland=False):
        """One press of `key` as a user makes it: XTEST on an X display, else the compositor's own way."""
        if self.wayland_display and not xwayland:
            self._press_natively(key)
        else:
            self.run("xdotool", "key", key, env=self.env(xwayland=True))

    def _press_natively(self, key):
        raise NotImplementedError

    def with_pointer(self):
        """A pointer on the seat from now on, as on a desktop with a mouse: a headless compositor
        has none, and a client binds one only while the seat offers it. Clients started after
        this get clicks."""
        raise NotImplementedError

    def click(self, x, y, button=1):
        """A press and release of mouse `button` (1 left, 2 middle, 3 right) at (x, y) of the
        layout, as a user clicks."""
        raise NotImplementedError

    def wait_for_pointer(self):
        self.wait_for_start(lambda: seat_capabilities(self.folder, self.wayland_display) & POINTER,
                            "a pointer on the seat")

    def windows(self):
        """The windows the desktop tells of: X windows only, unless lists_native_windows."""
        return self.x_windows()

    def x_windows(self):
        """The visible X windows named disco (the demo's scene and covers) on the desktop's X display."""
        env = self.env(xwayland=True)
        shell = self.run("xdotool", "search", "--onlyvisible", "--name", "^disco$", "getwindowgeometry", "--shell",
                         "%@", env=env, check=False).stdout
        found = []
        for block in shell.split("WINDOW=")[1:]:  # one a window; a window gone since the search ends them
            values = dict(line.split("=", 1) for line in ("WINDOW=" + block).split() if "=" in line)
            if all(key in values for key in ("X", "Y", "WIDTH", "HEIGHT")):
                state = self.run("xprop", "-id", values["WINDOW"], "_NET_WM_STATE", env=env, check=False).stdout
                found.append(Window("disco", *(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT")),
                                    "_NET_WM_STATE_FULLSCREEN" in state, id=values["WINDOW"], native=False))
        return found

    def x_monitors(self):
        """The monitors X clients see, as `xrandr --listmonitors` prints them
        ('0: +*DUMMY1 1280/339x720/190+1400+0  DUMMY1')."""
        found = []
        for line in self.run("xrandr", "--listmonitors", env=self.env(xwayland=True)).stdout.splitlines()[1:]:
            match = re.search(r"[+](\*?)(\S+) (\d+)/\d+x(\d+)/\d+\+(\d+)\+(\d+)", line)
            if match:
                primary, name, width, height, x, y = match.groups()
                found.append(Monitor(name, int(width), int(height), int(x), int(y), primary == "*"))
        return found

    def stop(self):
        if self.bus:
            self.bus.close_sync(None)
            self.bus = None
        for process in reversed(self.processes):
            stop_process(process)
            try:  # whatever it left behind in its group (XWayland, a session's helpers)
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self.processes = []
        self.log.close()
        shutil.rmtree(self.folder, ignore_errors=True)


class XServer(Desktop):
    """An X server: the tests' own environment on its display, screenshots of its root window."""

    keeps_environment = True

    def _start_server(self, *args, **popen):
        read_end, write_end = os.pipe()
        self.process = self.start(*args, "-displayfd", str(write_end), pass_fds=(write_end,), **popen)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()  # written once the server accepts clients
        if not number:
            raise RuntimeError(f"{args[0]} did not start:\n" + self.log_text(20))
        self.display = f":{number}"

    def monitors(self):
        return self.x_monitors()

    def screenshot(self):
        return grab_screen(self.display)


class Xvfb(XServer):
    """A private virtual X server; picks a free display number itself."""

    name = "xvfb"

    def __init__(self, screen="1280x720"):
        super().__init__()
        with self.starting():
            self._start_server("Xvfb", "-screen", "0", f"{screen}x24", "-nolisten", "tcp", "-noreset")


def _times(path):
    """The times a probe wrote to `path`, one a line."""
    try:
        with open(path) as f:
            return [float(line) for line in f.read().split("\n")[:-1]]  # the last may be half written
    except FileNotFoundError:
        return []


class StallProbe:
    """The longest the compositor's main loop takes to answer, from start() to stop() (or over a
    with-statement), seconds: the desktop's main_loop_property (a D-Bus property its main loop
    answers), asked every 10 ms. A stalled compositor answers nothing, and no client's swap
    that waits on it returns meanwhile."""

    def __init__(self, desktop):
        self.desktop, self.longest, self.running, self.failure = desktop, 0.0, False, None

    def start(self):
        self.running = True
        self.thread = threading.Thread(target=self.ask)
        self.thread.start()
        return self

    def ask(self):
        from gi.repository import GLib
        name, path, interface, prop = self.desktop.main_loop_property
        try:
            while self.running:
                asked = time.monotonic()
                self.desktop.call(name, path, "org.freedesktop.DBus.Properties", "Get",
                                  GLib.Variant("(ss)", (interface, prop)))
                self.longest = max(self.longest, time.monotonic() - asked)
                time.sleep(0.01)
        except Exception as failure:  # noqa: BLE001 (told by stop())
            self.failure = failure

    def stop(self):
        self.running = False
        self.thread.join()
        if self.failure:
            raise AssertionError(f"the compositor's main loop stopped answering: {self.failure}")
        return self.longest

    __enter__ = start

    def __exit__(self, *exc):
        self.stop()


class Demo:
    """The demo on a desktop, by default an Xvfb of its own of size `screen`; `xwayland` takes
    it through a compositor's XWayland. With `resources`, the binary runs from a temporary copy
    whose resources/ folder is a copy of that directory (an empty one for resources="")."""

    def __init__(self, binary, resources=None, screen="1280x720", env=None, desktop=None, xwayland=False):
        self.binary, self.resources, self.screen, self.xwayland = binary, resources, screen, xwayland
        self.extra_env = env or {}
        self.own_desktop = desktop is None
        self.desktop = desktop
        self.tmp = tempfile.mkdtemp(prefix="disco-e2e-")
        self.process = None
        self.probe = swap_probe_for(binary)
        self.swaps_path = os.path.join(self.tmp, "swaps.txt")
        self.swap_starts_path = os.path.join(self.tmp, "swap-starts.txt")
        self.viewports_path = os.path.join(self.tmp, "viewports.txt")

    xvfb = property(lambda self: self.desktop)  # as the benchmarks know it

    def __enter__(self):
        if self.own_desktop:
            self.desktop = Xvfb(self.screen)
        if not os.path.exists(self.probe):
            raise RuntimeError(f"no swap probe at {self.probe} (the e2e_swap_probe target)")
        binary, resources, probe = self.binary, self.resources, self.probe
        if self.desktop.user:
            # A user of its own must read all it runs, where the probe writes.
            os.chown(self.tmp, *self.desktop.user)
            probe = shutil.copy(probe, self.tmp)
            if resources is None:
                resources = os.path.join(os.path.dirname(binary), "resources")
        if resources is not None:
            binary = shutil.copy2(self.binary, os.path.join(self.tmp, "disco"))
            target = os.path.join(self.tmp, "resources")
            if resources:
                shutil.copytree(resources, target, symlinks=True)
            else:
                os.mkdir(target)
        env = self.desktop.env(self.xwayland)
        env.setdefault("SDL_AUDIODRIVER", "dummy")
        env.update(self.extra_env)
        env["LD_PRELOAD"] = " ".join(filter(None, [env.get("LD_PRELOAD"), probe]))
        env["SWAP_PROBE_OUT"] = self.swaps_path
        env["SWAP_START_PROBE_OUT"] = self.swap_starts_path
        env["VIEWPORT_PROBE_OUT"] = self.viewports_path
        self.stderr_path = os.path.join(self.tmp, "stderr.txt")
        self.stderr = open(self.stderr_path, "wb")
        self.started = time.monotonic()
        # SIGINT at its default, as from a terminal: a shell running the tests in the background
        # hands it down ignored, and the demo keeps what it is given.
        self.process = self.desktop.popen([binary], env=env, stdout=subprocess.DEVNULL, stderr=self.stderr,
                                          preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        return self

    def stop(self):
        """Ends the demo, if it has not ended; its log stays readable."""
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.stderr.close()

    def __exit__(self, *exc):
        if self.process:
            self.stop()
        if self.own_desktop:
            self.desktop.stop()
        shutil.rmtree(self.tmp, ignore_errors=True)

    def ended(self):
        """Why the demo is gone, None while it runs."""
        status = self.process.poll()
        return None if status is None else f"the demo ended (status {status})"

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
        """Monotonic-clock times (time.monotonic()) of the buffer swaps so far, as each returned."""
        return _times(self.swaps_path)

    def longest_outside_swaps(self, since):
        """The longest the frame loop has spent from a swap's return (after `since`) to the next
        swap's call: all a frame does but swap, where nothing should wait on the compositor."""
        ends, starts = self.swaps(), _times(self.swap_starts_path)
        return max((start - end for end, start in zip(ends, starts[1:]) if end >= since), default=0.0)

    def at_pace(self, moment, frames=20):
        """Whether the demo was drawing at its pace at `moment` (monotonic): its last three frames,
        and the time since, each no longer than one and a half of its usual frame (the median of
        its last `frames`), where a demo held up by a busy machine is late with its frames."""
        swaps = [t for t in self.swaps() if t <= moment][-frames - 1:]
        gaps = [b - a for a, b in zip(swaps, swaps[1:])]
        return len(gaps) >= 3 and max(gaps[-3:] + [moment - swaps[-1]]) <= 1.5 * sorted(gaps)[len(gaps) // 2]

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
        try:
            wait_until(condition, what, timeout, self.ended)
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
        return self.desktop.screenshot()

    def shot(self):
        """A Shot: the screenshot with the bounds of the scene time it shows."""
        asked = time.monotonic()
        image = self.screenshot()
        latest = time.monotonic()
        before = [t for t in self.swaps() if t <= asked]
        return Shot(image, before[-3] if len(before) >= 3 else self.started, latest, asked)

    def screenshot_until(self, condition, timeout=PATIENCE):
        """Screenshots until one satisfies condition(image), which a frame that has only just been
        swapped may not yet; the last one when the deadline passes (for the test to fail on)."""
        deadline = time.monotonic() + timeout
        while True:
            image = self.screenshot()
            if condition(image) or time.monotonic() > deadline or self.process.poll() is not None:
                return image

    def press_key(self, key="space"):
        self.desktop.press_key(key, self.xwayland)

    def window_geometries(self):
        """(x, y, width, height) of each visible X window named disco."""
        return [(w.x, w.y, w.width, w.height) for w in self.desktop.x_windows()]

    def resize_window(self, width, height):
        """Makes the demo's one window bigger and returns the first screenshot showing it drawn out
        to the new size. Events come in order, so by then the demo has also read whatever was sent
        to it before (keys, say)."""
        window = self.desktop.x_windows()[0]
        self.desktop.run("xdotool", "windowsize", "--sync", window.id, str(width), str(height))

        def drawn_out(image):
            box = light(image).box
            return box is not None and box[2] >= window.x + window.width
        return self.screenshot_until(drawn_out)

    def signal(self, signum=signal.SIGTERM):
        self.process.send_signal(signum)

    def wait_exit(self, timeout=PATIENCE):
        """Exit status, negative for a signal; None when still running after timeout."""
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None
