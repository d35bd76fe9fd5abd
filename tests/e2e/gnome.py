"""GNOME's compositors headless, for end-to-end tests: plain mutter, and gnome-shell in a
gnome-session of its own. Each runs in a private folder with its own session bus, PipeWire for
the compositor's screencasts, and virtual monitors laid out side by side in the listed order.

Everything is asked of the compositor the way a desktop tool asks it, over D-Bus: the monitor
layout (DisplayConfig), per-monitor pictures (ScreenCast through PipeWire), keys (RemoteDesktop).
X windows and X keys go through XWayland with the usual X tools."""
import glob
import os
import re
import shutil
import subprocess
import tempfile

from gi.repository import GLib

from harness import BUTTONS, KEYBOARD, PATIENCE, Desktop, Image, Monitor, Unavailable, seat_capabilities

KEYS = {"space": 57, "shift": 42}  # evdev codes
SOCKET = "wayland-disco"

# Nothing that moves, greets or pops up (as root gnome-shell warns of it in a banner over
# everything): the demo's window is all there is on screen.
SETTINGS = """[org/gnome/desktop/interface]
enable-animations=false
[org/gnome/shell]
welcome-dialog-last-shown-version='999'
[org/gnome/desktop/notifications]
show-banners=false
[org/gnome/desktop/session]
idle-delay=uint32 0
[org/gnome/desktop/screensaver]
lock-enabled=false
idle-activation-enabled=false
"""
# mutter's fractional scales: monitors laid out in logical pixels, each drawn at its own scale.
FRACTIONAL = """[org/gnome/mutter]
experimental-features=['scale-monitor-framebuffer']
"""


class _Gnome(Desktop):
    """What mutter and gnome-shell share; subclasses start the compositor itself. With
    `fractional_scaling`, mutter lays the monitors out in logical pixels and takes any scale."""

    programs = ("dbus-daemon", "pipewire", "wireplumber", "gst-launch-1.0", "xdotool", "xprop", "xrandr")
    main_loop_property = ("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig",
                          "org.gnome.Mutter.DisplayConfig", "PowerSaveMode")

    def __init__(self, monitors=((1024, 768),), primary=0, primary_leftmost=False, fractional_scaling=False):
        super().__init__()
        with self.starting():
            settings = os.path.join(self.folder, ".config/glib-2.0/settings")
            os.makedirs(settings)
            with open(os.path.join(settings, "keyfile"), "w") as f:
                f.write(SETTINGS + (FRACTIONAL if fractional_scaling else ""))
            self.start_bus()
            self.start("pipewire")
            self.wait_for_start(lambda: os.path.exists(os.path.join(self.folder, "pipewire-0")), "PipeWire's socket")
            self.start("wireplumber")
            self._start_compositor(monitors)
            compositor = self.processes[-1:]
            self.wait_for_start(lambda: self._owner("org.gnome.Mutter.DisplayConfig"), "mutter's DisplayConfig",
                                compositor)
            self.display = self.wait_for_start(self._x_display, "XWayland's display", compositor)
            self.wayland_display = SOCKET
            self._ready()
            self._layout = (len(monitors), primary, primary_leftmost)
            self.arrange()
            self._keyboard = self._call("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                                        "CreateSession")[0]
            self._call("org.gnome.Mutter.RemoteDesktop", self._keyboard, "Start", None, "Session")
            # mutter makes the session's keyboard at its first key, and the seat has no keyboard
            # till then: a client started before would never get one. A shift tap makes it now.
            self._press_natively("shift")
            self.wait_for_start(lambda: seat_capabilities(self.folder, SOCKET) & KEYBOARD, "a keyboard on the seat",
                                compositor)

    def _own_env(self):
        found = glob.glob(os.path.join(self.folder, ".mutter-Xwaylandauth.*"))
        return {"GSETTINGS_BACKEND": "keyfile", "XDG_SESSION_TYPE": "wayland", "XDG_CURRENT_DESKTOP": "GNOME",
                "XAUTHORITY": found[0] if found else None}

    def monitors(self):
        return [monitor for monitor, _ in self._shown()]

    def _shown(self):
        """Each monitor shown, its size in the layout's pixels, with its mode's (width, height)."""
        _, physical, logical, properties = self._display_state()
        where = {shown[0]: (x, y, scale, primary) for x, y, scale, _, primary, monitors, _ in logical
                 for shown in monitors}
        found = []
        for (connector, *_), modes, _ in physical:
            if connector in where:
                x, y, scale, primary = where[connector]
                _, width, height, *_ = next(m for m in modes if m[6].get("is-current"))
                size = (round(width / scale), round(height / scale)) if properties.get("layout-mode") == 1 \
                    else (width, height)  # logical or physical pixels
                found.append((Monitor(connector, *size, x, y, primary, scale), (width, height)))
        return found

    def screenshot(self, monitor=0):
        """One frame of the monitor's screencast, after a few: the first may show what was there
        before. A still monitor sends no new frames, so PipeWire repeats the last one."""
        target, (width, height) = self._shown()[monitor]
        cast = self._call("org.gnome.Mutter.ScreenCast", "/org/gnome/Mutter/ScreenCast", "CreateSession",
                          GLib.Variant("(a{sv})", ({},)))[0]
        frames = tempfile.mkdtemp(dir=self.folder)
        try:
            stream = self._call("org.gnome.Mutter.ScreenCast", cast, "RecordMonitor",
                                GLib.Variant("(sa{sv})", (target.name, {"cursor-mode": GLib.Variant("u", 0)})),
                                "Session")[0]
            nodes = []
            watch = self.bus.signal_subscribe(None, "org.gnome.Mutter.ScreenCast.Stream", "PipeWireStreamAdded",
                                              stream, None, 0, lambda *signal: nodes.append(signal[5].unpack()[0]))
            try:
                self._call("org.gnome.Mutter.ScreenCast", cast, "Start", None, "Session")
                # Waits for the signal (or the deadline) in the main context that delivers it.
                timed_out = []
                timer = GLib.timeout_add(int(PATIENCE * 1000), lambda: timed_out.append(True))
                while not nodes and not timed_out:
                    GLib.MainContext.default().iteration(True)
                if not timed_out:
                    GLib.source_remove(timer)
            finally:
                self.bus.signal_unsubscribe(watch)
            if not nodes:
                raise AssertionError(f"the screencast of {target.name} got no PipeWire stream")
            subprocess.run(["gst-launch-1.0", "-q", "pipewiresrc", f"path={nodes[0]}", "num-buffers=5",
                            "keepalive-time=100", "!", "videoconvert", "!", "video/x-raw,format=RGB", "!",
                            "multifilesink", f"location={frames}/%d", "max-files=1"],
                           env=self.env(), stdout=self.log, stderr=self.log, check=True, timeout=PATIENCE)
        finally:
            self._call("org.gnome.Mutter.ScreenCast", cast, "Stop", None, "Session")
        with open(glob.glob(os.path.join(frames, "*"))[0], "rb") as f:
            raw = f.read()
        shutil.rmtree(frames)
        stride = (width * 3 + 3) & ~3  # GStreamer pads RGB rows to 4 bytes
        if len(raw) != stride * height:
            raise AssertionError(f"a {len(raw)}-byte frame for {width}x{height}")
        rows = (raw[row * stride:row * stride + width * 3] for row in range(height))
        return Image(width, height, b"".join(rows))

    def _press_natively(self, key):
        for pressed in (True, False):
            self._call("org.gnome.Mutter.RemoteDesktop", self._keyboard, "NotifyKeyboardKeycode",
                       GLib.Variant("(ub)", (KEYS[key], pressed)), "Session")

    def with_pointer(self):
        """A remote desktop session of its own whose pointer stays, with a screencast of each
        monitor: mutter moves the pointer to a place only on a stream's picture."""
        if getattr(self, "_streams", None):
            return
        desktop = ("org.gnome.Mutter.RemoteDesktop", self._call("org.gnome.Mutter.RemoteDesktop",
                                                                "/org/gnome/Mutter/RemoteDesktop", "CreateSession")[0])
        session_id = self.call(*desktop, "org.freedesktop.DBus.Properties", "Get", GLib.Variant(
            "(ss)", ("org.gnome.Mutter.RemoteDesktop.Session", "SessionId")))[0]
        cast = self._call("org.gnome.Mutter.ScreenCast", "/org/gnome/Mutter/ScreenCast", "CreateSession", GLib.Variant(
            "(a{sv})", ({"remote-desktop-session-id": GLib.Variant("s", session_id)},)))[0]
        streams = {monitor.name: self._call("org.gnome.Mutter.ScreenCast", cast, "RecordMonitor", GLib.Variant(
            "(sa{sv})", (monitor.name, {})), "Session")[0] for monitor in self.monitors()}
        self._call(*desktop, "Start", None, "Session")
        self._pointer_session, self._streams = desktop[1], streams
        # mutter makes the session's pointer at its first motion.
        self._call(*desktop, "NotifyPointerMotionRelative", GLib.Variant("(dd)", (0, 0)), "Session")
        self.wait_for_pointer()

    def click(self, x, y, button=1):
        self.with_pointer()
        monitor = next(m for m in self.monitors() if m.x <= x < m.x + m.width and m.y <= y < m.y + m.height)
        scale = monitor.scale or 1
        desktop = ("org.gnome.Mutter.RemoteDesktop", self._pointer_session)
        self._call(*desktop, "NotifyPointerMotionAbsolute", GLib.Variant(
            "(sdd)", (self._streams[monitor.name], (x - monitor.x) * scale, (y - monitor.y) * scale)), "Session")
        for pressed in (True, False):
            self._call(*desktop, "NotifyPointerButton", GLib.Variant("(ib)", (BUTTONS[button], pressed)), "Session")

    def _call(self, name, path, method, args=None, interface=""):
        return self.call(name, path, f"{name}.{interface}" if interface else name, method, args)

    def _owner(self, name):
        return self._call("org.freedesktop.DBus", "/org/freedesktop/DBus", "NameHasOwner", GLib.Variant("(s)", (name,)))[0]

    def _display_state(self):
        return self._call("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig", "GetCurrentState")

    def _x_display(self):
        match = re.search(r"Using public X11 display (:\d+)", self.log_text())
        return match and match.group(1)

    def arrange(self, off=(), primary=None, scales=None):
        """Side by side in the listed order (the order of --virtual-monitor), or with the primary
        moved to the far left, the monitors of the indices in `off` turned off, the one of index
        `primary` made primary instead of the desktop's own (nothing else changes then), each at
        its scale in `scales` (1 when None), as a user would set them in Settings, applied
        temporarily: nothing is written to monitors.xml. Returns once XWayland's RandR, which X
        clients read, shows it too."""
        count, own_primary, primary_leftmost = self._layout
        primary = own_primary if primary is None else primary
        scales = scales or [1] * count
        serial, physical, _, properties = self._display_state()
        if len(physical) != count:
            raise AssertionError(f"{count} virtual monitors asked for, {len(physical)} came")
        order = list(range(count))
        if primary_leftmost:
            order.insert(0, order.pop(own_primary))
        logical, x = [], 0
        for index in (i for i in order if i not in off):
            (connector, *_), modes, _ = physical[index]
            # A monitor turned off has no current mode: it comes back in its preferred one.
            mode, width, supported = next((m[0], m[1], m[5]) for m in modes
                                          if m[6].get("is-current") or m[6].get("is-preferred"))
            # mutter takes only the scales it offers for the mode (1.5 is 1.5009765625 at 2048x1536).
            scale = min(supported, key=lambda offered: abs(offered - scales[index]))
            logical.append((x, 0, scale, 0, index == primary, [(connector, mode, {})]))
            x += round(width / scale) if properties.get("layout-mode") == 1 else width
        self._call("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig", "ApplyMonitorsConfig",
                   GLib.Variant("(uua(iiduba(ssa{sv}))a{sv})", (serial, 1, logical, {})))

        def shown_everywhere():
            monitors, seen = self.monitors(), self.x_monitors()
            layout, x_layout = (sorted((m.x, m.y, m.width, m.height) for m in found) for found in (monitors, seen))
            # XWayland's RandR modes are a multiple of 8 wide: a fractional scale's may be narrower.
            return (len(layout) == len(logical) == len(x_layout)
                    and all(0 <= a - b < 8 for told, shown in zip(layout, x_layout) for a, b in zip(told, shown))
                    and [m.primary for m in monitors if m.name == physical[primary][0][0]] == [True]
                    and [(m.x, m.y) for m in seen if m.primary] == [(m.x, m.y) for m in monitors if m.primary])
        self.wait_for_start(shown_everywhere, "the layout in XWayland's RandR")

    def _start_compositor(self, monitors):
        raise NotImplementedError

    def _ready(self):
        """Waits for anything more the compositor does at start-up."""

    def _compositor_args(self, program, monitors):
        args = [program, "--wayland", "--headless", "--wayland-display", SOCKET]
        for width, height in monitors:
            args += ["--virtual-monitor", f"{width}x{height}"]
        return args


class Mutter(_Gnome):
    """Plain mutter 43, no shell."""

    name = "mutter"
    programs = _Gnome.programs + ("mutter",)

    def _start_compositor(self, monitors):
        self.start(*self._compositor_args("mutter", monitors))


class GnomeShell(_Gnome):
    """gnome-shell 43 started by gnome-session, as at a login: the session manager, the
    screensaver proxy that turns org.freedesktop.ScreenSaver inhibitions into the session's, a
    system bus of its own."""

    name = "gnome-shell"
    programs = _Gnome.programs + ("gnome-shell", "gnome-session")
    SCREENSAVER_PROXY = "/usr/libexec/gsd-screensaver-proxy"

    def _start_compositor(self, monitors):
        if not os.path.exists(self.SCREENSAVER_PROXY):
            raise Unavailable(f"no {self.SCREENSAVER_PROXY} (gnome-settings-daemon)")
        system_bus = self.start_bus("system")
        sessions, applications, autostart = (os.path.join(self.folder, d) for d in (
            ".config/gnome-session/sessions", ".local/share/applications", "autostart"))
        for folder in (sessions, applications, autostart):
            os.makedirs(folder)
        with open(os.path.join(sessions, "disco.session"), "w") as f:
            f.write("[GNOME Session]\nName=disco\nRequiredComponents=disco-shell;disco-screensaver-proxy;\n")
        shell = " ".join(self._compositor_args("gnome-shell", monitors))
        for name, command, phase in (("disco-shell", shell, "DisplayServer"),
                                     ("disco-screensaver-proxy", self.SCREENSAVER_PROXY, "Initialization")):
            with open(os.path.join(applications, f"{name}.desktop"), "w") as f:
                f.write(f"[Desktop Entry]\nType=Application\nName={name}\nExec={command}\n"
                        f"X-GNOME-Autostart-Phase={phase}\nX-GNOME-Autostart-Notify=false\n")
        # --builtin: no systemd user instance here; an empty autostart folder: only these two run.
        self.start("gnome-session", "--builtin", "--session=disco", "--disable-acceleration-check", "--debug",
                   env=self.env(DBUS_SYSTEM_BUS_ADDRESS=system_bus, GNOME_SESSION_AUTOSTART_DIR=autostart))

    def _ready(self):
        """gnome-shell 43 opens the overview at start-up (not seen with animations off); closed
        for sure, it is out of the way of a full-screen client and its keys."""
        self.wait_for_start(lambda: "GNOME Shell started" in self.log_text(), "gnome-shell's start",
                            self.processes[-1:])
        shell = ("org.gnome.Shell", "/org/gnome/Shell", "org.freedesktop.DBus.Properties")
        self.call(*shell, "Set", GLib.Variant("(ssv)", ("org.gnome.Shell", "OverviewActive", GLib.Variant("b", False))))
        self.wait_for_start(lambda: not self.call(*shell, "Get", GLib.Variant("(ss)", ("org.gnome.Shell", "OverviewActive")))[0],
                            "the overview closed")
        self.wait_for_start(lambda: self._owner("org.gnome.SessionManager"), "the session manager")

    def inhibitors(self):
        """(app id, reason) of each of the session's current inhibitors."""
        manager = ("org.gnome.SessionManager", "/org/gnome/SessionManager")
        found = []
        for path in self._call(*manager, "GetInhibitors", None)[0]:
            app = self._call(manager[0], path, "GetAppId", None, "Inhibitor")[0]
            reason = self._call(manager[0], path, "GetReason", None, "Inhibitor")[0]
            found.append((app, reason))
        return found
