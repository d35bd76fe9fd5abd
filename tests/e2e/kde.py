"""KDE's compositor, kwin_wayland 5.27, headless for end-to-end tests: virtual outputs side by
side, XWayland, a private session bus, all in a private folder. kwin is asked over its own
interfaces: outputs, their order and keys over its Wayland protocols (tools/kwin_control.c, built
as e2e_kwin_control), screenshots over its ScreenShot2 D-Bus interface, windows by a KWin script.

kwin's virtual outputs all have one size: every monitor gets the first one's."""
import json
import os
import re
import select
import shutil
import subprocess
import tempfile
import time
from collections import namedtuple

from harness import PATIENCE, Image, stop_process, wait_until
from wayland import Unavailable, wait_for_start

Monitor = namedtuple("Monitor", "name x y width height primary")
Window = namedtuple("Window", "title x y width height fullscreen")

KEY_SPACE = 57  # evdev code
KWIN = "/usr/bin/kwin_wayland"
DEFAULT_TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build")

# Nothing is started on demand: every process on this bus is one the tests started.
BUS_CONFIG = """<busconfig><type>session</type><listen>unix:path={path}</listen>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>"""

# Every client window kwin manages, as one line of its log.
WINDOWS_SCRIPT = """var found = [], clients = workspace.clientList();
for (var i = 0; i < clients.length; i++) {
    var c = clients[i], g = c.frameGeometry;
    found.push([c.caption, g.x, g.y, g.width, g.height, c.fullScreen]);
}
print("%s " + JSON.stringify(found));
"""


class Kwin:
    name = "kde"

    def __init__(self, monitors=((1024, 768),), primary=0):
        tool_dir = os.environ.get("DISCO_E2E_TOOLS") or DEFAULT_TOOLS
        self.control = os.path.join(tool_dir, "e2e_kwin_control")
        for program, why in ((KWIN, "kwin-wayland is not installed"),
                             ("/usr/bin/Xwayland", "xwayland is not installed"),
                             (self.control, "the e2e_kwin_control tool is not built")):
            if not os.path.exists(program):
                raise Unavailable(f"{why} ({program})")
        self.folder = tempfile.mkdtemp(prefix="disco-kwin-")
        self.bus_path = os.path.join(self.folder, "bus")
        self.log_path = os.path.join(self.folder, "kwin.log")
        self.bus = self.kwin = self.dbus = None
        self.scripts = 0
        try:
            self._start(monitors, primary)
        except BaseException:
            self.stop()
            raise

    def _start(self, monitors, primary):
        # XWayland aborts without the X socket folder; a machine without X has none yet.
        if not os.path.isdir("/tmp/.X11-unix"):
            os.makedirs("/tmp/.X11-unix", exist_ok=True)
            os.chmod("/tmp/.X11-unix", 0o1777)
        config = os.path.join(self.folder, "bus.conf")
        with open(config, "w") as f:
            f.write(BUS_CONFIG.format(path=self.bus_path))
        self.log = open(self.log_path, "wb")
        self.dbus = subprocess.Popen(["dbus-daemon", f"--config-file={config}", "--nofork"],
                                     stdout=self.log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self._wait(lambda: os.path.exists(self.bus_path), "the session bus", self.dbus)
        # The installed binary carries a file capability this sandbox refuses; a plain copy runs.
        # It keeps its name: Qt finds kwin's platform plugin by it.
        kwin = os.path.join(self.folder, "kwin_wayland")
        shutil.copy(KWIN, kwin)
        display_file = os.path.join(self.folder, "display")
        # kwin starts this once Wayland and XWayland serve: it tells XWayland's display.
        tell_display = os.path.join(self.folder, "tell-display")
        with open(tell_display, "w") as f:
            f.write(f'#!/bin/sh\nprintf %s "$DISPLAY" > {display_file}.part && mv {display_file}.part {display_file}\n')
        os.chmod(tell_display, 0o755)
        width, height = monitors[0]
        self.kwin = subprocess.Popen(
            [kwin, "--virtual", "--width", str(width), "--height", str(height), "--output-count", str(len(monitors)),
             "--xwayland", "--socket", "wayland-kde", "--no-lockscreen", "--no-kactivities", tell_display],
            env=dict(self._base_env(), KWIN_WAYLAND_NO_PERMISSION_CHECKS="1", KWIN_SCREENSHOT_NO_PERMISSION_CHECKS="1"),
            stdout=self.log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self._wait(lambda: os.path.exists(display_file), "kwin with XWayland")
        with open(display_file) as f:
            self.display = f.read()
        self._wait(lambda: len(self.monitors()) == len(monitors), "kwin's outputs")
        self._primary = primary
        if primary:
            self.arrange()
        from gi.repository import Gio
        self.bus = Gio.DBusConnection.new_for_address_sync(
            "unix:path=" + self.bus_path,
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        self._wait(self._screenshots_served, "kwin's screenshot interface")

    def arrange(self, primary=None):
        """The output of index `primary` (the desktop's own primary when None) first in kwin's
        output order, the others after it as they are listed: that one is primary."""
        primary = self._primary if primary is None else primary
        names = [m.name for m in self.monitors()]
        self._control("order", names[primary], *(n for n in names if n != names[primary]))
        self._wait(lambda: self.monitors()[primary].primary, f"{names[primary]} first in kwin's output order")

    def _base_env(self):
        return {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.folder, "XDG_RUNTIME_DIR": self.folder,
                "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + self.bus_path}

    def _wait(self, condition, what, process=None):
        """Waits at start-up; kwin (or `process`) ending there means it cannot run here."""
        wait_for_start(condition, what, [process or self.kwin], self.log_path)

    def _control(self, *args):
        result = subprocess.run([self.control, *args], env=self.env(False), capture_output=True, text=True,
                                timeout=PATIENCE)
        if result.returncode != 0:
            raise AssertionError(f"kwin_control {' '.join(args)}: {result.stderr}")
        return result.stdout

    def env(self, xwayland):
        env = dict(self._base_env(), WAYLAND_DISPLAY="wayland-kde", SDL_AUDIODRIVER="dummy")
        if xwayland:  # the demo prefers Wayland itself wherever WAYLAND_DISPLAY is set
            env.update(DISPLAY=self.display, SDL_VIDEODRIVER="x11")
        return env

    def monitors(self):
        lines = self._control("outputs").splitlines()
        order = lines.pop().split()[1:]
        found = [(name, *map(int, rest)) for name, *rest in (line.split() for line in lines)]
        return [Monitor(*fields, primary=bool(order) and fields[0] == order[0]) for fields in found]

    def _dbus(self, path, interface, method, args, reply, fds=None):
        from gi.repository import Gio, GLib
        call = self.bus.call_with_unix_fd_list_sync
        result, _ = call("org.kde.KWin", path, interface, method, args and GLib.Variant(*args), GLib.VariantType(reply),
                         Gio.DBusCallFlags.NONE, int(PATIENCE * 1000), fds, None)
        return result.unpack()

    def _screenshots_served(self):
        try:
            return self._dbus("/org/kde/KWin/ScreenShot2", "org.freedesktop.DBus.Properties", "Get",
                              ("(ss)", ("org.kde.KWin.ScreenShot2", "Version")), "(v)")[0] >= 1
        except Exception:  # not on the bus yet
            return False

    def screenshot(self, monitor):
        from gi.repository import Gio, GLib
        name = self.monitors()[monitor].name
        read_end, write_end = os.pipe()
        try:
            fds = Gio.UnixFDList()
            fds.append(write_end)  # a copy: ours closes here, the list's when the call is done
            os.close(write_end)
            options = {"include-cursor": GLib.Variant("b", False), "native-resolution": GLib.Variant("b", True)}
            info, = self._dbus("/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureScreen",
                               ("(sa{sv}h)", (name, options, 0)), "(a{sv})", fds)
            del fds
            width, height, stride = info["width"], info["height"], info["stride"]
            raw = _read_exactly(read_end, stride * height)
        finally:
            os.close(read_end)
        return _to_rgb(raw, width, height, stride, info["format"])

    def press_key(self, xwayland):
        if xwayland:
            subprocess.run(["xdotool", "key", "space"], env=self.env(True), check=True, timeout=PATIENCE)
        else:
            self._control("key", str(KEY_SPACE))

    def windows(self):
        self.scripts += 1
        token, plugin = f"disco-windows-{self.scripts}", f"disco_windows_{self.scripts}"
        path = os.path.join(self.folder, plugin + ".js")
        with open(path, "w") as f:
            f.write(WINDOWS_SCRIPT % token)
        script, = self._dbus("/Scripting", "org.kde.kwin.Scripting", "loadScript", ("(ss)", (path, plugin)), "(i)")
        try:
            self._dbus(f"/{script}", "org.kde.kwin.Script", "run", None, "()")
            found = []
            wait_until(lambda: found.extend(self._printed(token)) or found, "kwin's window list",
                       gave_up=lambda: self.kwin.poll() is not None and "kwin ended")
        finally:
            self._dbus("/Scripting", "org.kde.kwin.Scripting", "unloadScript", ("(s)", (plugin,)), "(b)")
        # kwin tells windows of one title apart by a suffix, " <2>" (and a direction mark on X).
        return [Window(re.sub(" <[0-9]+>\u200e?$", "", title), *rest) for title, *rest in found[0]]

    def _printed(self, token):
        with open(self.log_path, errors="replace") as f:
            lines = [line for line in f if line.startswith(f"js: {token} ")]
        return [json.loads(line.split(" ", 2)[2]) for line in lines]

    def stop(self):
        if self.kwin:
            stop_process(self.kwin)  # takes XWayland with it
        if self.dbus:
            stop_process(self.dbus)
        if getattr(self, "log", None):
            self.log.close()
        shutil.rmtree(self.folder, ignore_errors=True)


def _read_exactly(fd, size):
    """The image kwin writes into the pipe after it answers."""
    chunks, got, deadline = [], 0, time.monotonic() + PATIENCE
    while got < size:
        if not select.select([fd], [], [], max(0.0, deadline - time.monotonic()))[0]:
            raise AssertionError(f"kwin's screenshot stopped at {got} of {size} bytes")
        chunk = os.read(fd, size - got)
        if not chunk:
            raise AssertionError(f"kwin's screenshot ended at {got} of {size} bytes")
        chunks.append(chunk)
        got += len(chunk)
    return b"".join(chunks)


# QImage formats kwin answers with: 32-bit words 0xAARRGGBB (B, G, R, A in memory), or bytes R, G, B, A.
BGRA_FORMATS, RGBA_FORMATS = (4, 5, 6), (17, 18, 19)


def _to_rgb(raw, width, height, stride, image_format):
    if image_format not in BGRA_FORMATS + RGBA_FORMATS:
        raise AssertionError(f"kwin's screenshot has QImage format {image_format}")
    if stride != width * 4:
        raw = b"".join(raw[row * stride:row * stride + width * 4] for row in range(height))
    red, blue = (2, 0) if image_format in BGRA_FORMATS else (0, 2)
    rgb = bytearray(width * height * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = raw[red::4], raw[1::4], raw[blue::4]
    return Image(width, height, bytes(rgb))
