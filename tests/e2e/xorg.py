"""A real X server for end-to-end tests: Xorg with the dummy video driver, its outputs arranged
as monitors with xrandr, optionally under a window manager (openbox). The root window is
stippled (-retro), so any part of a monitor that no window covers shows.

    with XorgServer([Monitor("DUMMY0", 1400, 1050, 0, 0), Monitor("DUMMY1", 1280, 720, 1400, 0, primary=True)],
                    window_manager=True) as server:
        with Demo(binary, xvfb=server) as demo: ...
"""
import os
import re
import shutil
import subprocess
import tempfile
from dataclasses import dataclass

from harness import stop_process, wait_until

CONFIG = """
Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "DontVTSwitch" "true"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 4096 2048
  EndSubSection
EndSection
"""


@dataclass
class Monitor:
    output: str
    width: int
    height: int
    x: int
    y: int
    primary: bool = False

    def centre(self):
        return self.x + self.width // 2, self.y + self.height // 2


class XorgServer:
    """Starts Xorg on a free display, lays out the monitors, starts the window manager; stops
    them all on exit."""

    def __init__(self, monitors, window_manager=False):
        self.monitors, self.window_manager = monitors, window_manager
        self.tmp = tempfile.mkdtemp(prefix="disco-xorg-")
        self.process = self.wm = None
        self.outputs_on, self.modes_added = set(), set()

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def run(self, *command, check=True):
        return subprocess.run(command, env=self.env(), capture_output=True, text=True, check=check, timeout=60)

    def __enter__(self):
        config = os.path.join(self.tmp, "xorg.conf")
        with open(config, "w") as f:
            f.write(CONFIG)
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xorg", "-displayfd", str(write_end), "-config", config, "-noreset", "-nolisten", "tcp", "-retro",
             "-logfile", os.path.join(self.tmp, "Xorg.log")],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=self.tmp)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()  # written once the server accepts clients
        if not number:
            self.stop()
            raise RuntimeError("Xorg did not start; see its log in " + self.tmp)
        self.display = f":{number}"
        # Key codes as evdev gives them, so media and brightness keys exist without remapping.
        self.run("setxkbmap", "-keycodes", "evdev", "-symbols", "pc+us+inet(evdev)")
        self.arrange()
        if self.window_manager:
            self.wm = subprocess.Popen(["openbox"], env=self.env(), stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            wait_until(lambda: "window id" in self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check=False).stdout,
                       "openbox managing the screen", 30,
                       lambda: self.wm.poll() is not None and f"openbox ended (status {self.wm.returncode})")
        return self

    def arrange(self, monitors=None):
        """Lays the outputs out as `monitors` (as given at the start when None) in one xrandr
        call, outputs left out turned off; returns once RandR lists exactly that layout."""
        if monitors is not None:
            self.monitors = monitors
        command = ["xrandr"]
        for monitor in self.monitors:
            mode = self.add_mode(monitor)
            command += ["--output", monitor.output, "--mode", mode, "--pos", f"{monitor.x}x{monitor.y}"]
            if monitor.primary:
                command.append("--primary")
        shown = {m.output for m in self.monitors}
        for output in sorted(self.outputs_on - shown):
            command += ["--output", output, "--off"]
        self.outputs_on = shown
        self.run(*command)
        expected = sorted((m.output, m.width, m.height, m.x, m.y, m.primary) for m in self.monitors)
        wait_until(lambda: self.listed_monitors() == expected,
                   "monitors " + ", ".join(m.output for m in self.monitors) + " listed by xrandr", 30)

    def add_mode(self, monitor):
        """A 60 Hz mode of exactly the monitor's size, made and added to its output once (the
        dummy driver needs no real timings). Named as xrandr --newmode users would."""
        mode = f"{monitor.width}x{monitor.height}_disco"
        if (monitor.output, mode) in self.modes_added:
            return mode
        htotal, vtotal = monitor.width + 160, monitor.height + 30
        clock = htotal * vtotal * 60 / 1e6
        self.run("xrandr", "--newmode", mode, f"{clock:.3f}", str(monitor.width), str(monitor.width + 48),
                 str(monitor.width + 80), str(htotal), str(monitor.height), str(monitor.height + 3),
                 str(monitor.height + 9), str(vtotal), "+hsync", "+vsync", check=False)
        self.run("xrandr", "--addmode", monitor.output, mode)
        self.modes_added.add((monitor.output, mode))
        return mode

    def listed_monitors(self):
        """(output, width, height, x, y, primary) of each monitor `xrandr --listmonitors` prints."""
        found = []
        for line in self.run("xrandr", "--listmonitors").stdout.splitlines()[1:]:
            match = re.search(r"[+](\*?)(\S+) (\d+)/\d+x(\d+)/\d+\+(\d+)\+(\d+)", line)
            if match:
                primary, output, width, height, x, y = match.groups()
                found.append((output, int(width), int(height), int(x), int(y), primary == "*"))
        return sorted(found)

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        for process in (self.wm, self.process):
            stop_process(process)
        shutil.rmtree(self.tmp, ignore_errors=True)
