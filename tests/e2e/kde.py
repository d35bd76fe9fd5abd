"""KDE's compositor, kwin_wayland 5.27, headless for end-to-end tests: virtual outputs side by
side, XWayland, a private session bus, all in a private folder. kwin is asked over its own
interfaces: outputs, their order, scales and keys over its Wayland protocols (tools/kwin_control.c,
built as e2e_kwin_control), screenshots over its ScreenShot2 D-Bus interface, windows by a KWin
script.

kwin's virtual outputs all have one size: every monitor gets the first one's."""
import json
import os
import re
import select
import shutil
import signal
import time

from gi.repository import Gio, GLib

from harness import BUTTONS, PATIENCE, Desktop, Monitor, Unavailable, Window, image_of_words, tool, wait_until

KEYS = {"space": 57}  # evdev codes
KWIN = "/usr/bin/kwin_wayland"

# Every client window kwin manages, as one line of its log.
WINDOWS_SCRIPT = """var found = [], clients = workspace.clientList();
for (var i = 0; i < clients.length; i++) {
    var c = clients[i], g = c.frameGeometry;
    found.push([c.caption, g.x, g.y, g.width, g.height, c.fullScreen]);
}
print("%s " + JSON.stringify(found));
"""


class Kwin(Desktop):
    name = "kde"
    programs = ("dbus-daemon",)
    lists_native_windows = True
    # Qt hands a call to an object to the thread it lives in: kwin's main thread, for this one.
    main_loop_property = ("org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "Version")

    def __init__(self, monitors=((1024, 768),), primary=0):
        self.control = tool("e2e_kwin_control")
        for program, why in ((KWIN, "kwin-wayland is not installed"),
                             ("/usr/bin/Xwayland", "xwayland is not installed"),
                             (self.control, "the e2e_kwin_control tool is not built")):
            if not os.path.exists(program):
                raise Unavailable(f"{why} ({program})")
        super().__init__()
        self.scripts = 0
        with self.starting():
            # XWayland aborts without the X socket folder; a machine without X has none yet.
            if not os.path.isdir("/tmp/.X11-unix"):
                os.makedirs("/tmp/.X11-unix", exist_ok=True)
                os.chmod("/tmp/.X11-unix", 0o1777)
            self.start_bus()
            # The installed binary carries a file capability this sandbox refuses; a plain copy runs.
            # It keeps its name: Qt finds kwin's platform plugin by it.
            kwin = shutil.copy(KWIN, os.path.join(self.folder, "kwin_wayland"))
            display_file = os.path.join(self.folder, "display")
            # kwin starts this once Wayland and XWayland serve: it tells XWayland's display.
            tell_display = os.path.join(self.folder, "tell-display")
            with open(tell_display, "w") as f:
                f.write(f'#!/bin/sh\nprintf %s "$DISPLAY" > {display_file}.part && mv {display_file}.part {display_file}\n')
            os.chmod(tell_display, 0o755)
            width, height = monitors[0]
            self.kwin = self.start(
                kwin, "--virtual", "--width", str(width), "--height", str(height), "--output-count", str(len(monitors)),
                "--xwayland", "--socket", "wayland-kde", "--no-lockscreen", "--no-kactivities", tell_display,
                env=self.env(KWIN_WAYLAND_NO_PERMISSION_CHECKS="1", KWIN_SCREENSHOT_NO_PERMISSION_CHECKS="1"))
            self.wait_for_start(lambda: os.path.exists(display_file), "kwin with XWayland")
            with open(display_file) as f:
                self.display = f.read()
            self.wayland_display = "wayland-kde"
            self.wait_for_start(lambda: len(self.monitors()) == len(monitors), "kwin's outputs")
            self._primary = primary
            if primary:
                self.arrange()
            self.wait_for_start(self._screenshots_served, "kwin's screenshot interface")

    def arrange(self, primary=None, scales=()):
        """The output of index `primary` (the desktop's own primary when None) first in kwin's
        output order, the others after it as they are listed: that one is primary. Each output
        at its scale in `scales`, where given."""
        primary = self._primary if primary is None else primary
        names = [m.name for m in self.monitors()]
        for name, scale in zip(names, scales):
            self._control("scale", name, str(scale))
        self._control("order", names[primary], *(n for n in names if n != names[primary]))
        wait_until(lambda: self.monitors()[primary].primary, f"{names[primary]} first in kwin's output order",
                   gave_up=lambda: self.kwin.poll() is not None and "kwin ended")

    def freeze(self, seconds):
        """kwin stopped for `seconds`: a compositor that stalls, as gnome-shell does while it
        moves a full-screen window to a new primary."""
        self.kwin.send_signal(signal.SIGSTOP)
        try:
            time.sleep(seconds)
        finally:
            self.kwin.send_signal(signal.SIGCONT)

    def _control(self, *args):
        return self.run(self.control, *args).stdout

    def monitors(self):
        """kwin's outputs in logical pixels; kwin_control does not tell their scales."""
        lines = self._control("outputs").splitlines()
        order = lines.pop().split()[1:]
        found = [(name, *map(int, rest)) for name, *rest in (line.split() for line in lines)]
        return [Monitor(name, width, height, x, y, bool(order) and name == order[0])
                for name, x, y, width, height in found]

    def _screenshots_served(self):
        try:
            return self.call("org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.freedesktop.DBus.Properties", "Get",
                             GLib.Variant("(ss)", ("org.kde.KWin.ScreenShot2", "Version")))[0] >= 1
        except GLib.Error:  # not on the bus yet
            return False

    def screenshot(self, monitor=0):
        name = self.monitors()[monitor].name
        read_end, write_end = os.pipe()
        try:
            fds = Gio.UnixFDList()
            fds.append(write_end)  # a copy: ours closes here, the list's when the call is done
            os.close(write_end)
            options = {"include-cursor": GLib.Variant("b", False), "native-resolution": GLib.Variant("b", True)}
            info, = self.call("org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureScreen",
                              GLib.Variant("(sa{sv}h)", (name, options, 0)), fds)
            del fds
            width, height, stride = info["width"], info["height"], info["stride"]
            raw = _read_exactly(read_end, stride * height)
        finally:
            os.close(read_end)
        return _to_rgb(raw, width, height, stride, info["format"])

    def _press_natively(self, key):
        self._control("key", str(KEYS[key]))

    def with_pointer(self):
        # kwin's fake input device lives as long as its client.
        if not getattr(self, "pointer", None):
            self.pointer = self.start(self.control, "pointer")
            self.wait_for_pointer()

    def click(self, x, y, button=1):
        self.with_pointer()
        self._control("click", str(x), str(y), str(BUTTONS[button]))

    def windows(self):
        self.scripts += 1
        token, plugin = f"disco-windows-{self.scripts}", f"disco_windows_{self.scripts}"
        path = os.path.join(self.folder, plugin + ".js")
        with open(path, "w") as f:
            f.write(WINDOWS_SCRIPT % token)
        scripting = ("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting")
        script, = self.call(*scripting, "loadScript", GLib.Variant("(ss)", (path, plugin)))
        try:
            self.call("org.kde.KWin", f"/{script}", "org.kde.kwin.Script", "run")
            found = []
            wait_until(lambda: found.extend(self._printed(token)) or found, "kwin's window list",
                       gave_up=lambda: self.kwin.poll() is not None and "kwin ended")
        finally:
            self.call(*scripting, "unloadScript", GLib.Variant("(s)", (plugin,)))
        # kwin tells windows of one title apart by a suffix, " <2>" (and a direction mark on X).
        return [Window(re.sub(" <[0-9]+>\u200e?$", "", title), *rest) for title, *rest in found[0]]

    def _printed(self, token):
        lines = [line for line in self.log_text().splitlines() if line.startswith(f"js: {token} ")]
        return [json.loads(line.split(" ", 2)[2]) for line in lines]


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
    return image_of_words(raw, width, height, stride, *((2, 0) if image_format in BGRA_FORMATS else (0, 2)))
