"""A real X server for end-to-end tests: Xorg with the dummy video driver, its outputs arranged
as monitors with xrandr, optionally under a window manager (openbox). The root window is
stippled (-retro), so any part of a monitor that no window covers shows.

    with XorgServer([Monitor("DUMMY0", 1400, 1050, 0, 0), Monitor("DUMMY1", 1280, 720, 1400, 0, primary=True)],
                    window_manager=True) as server:
        with Demo(binary, desktop=server) as demo: ...
"""
import os

from harness import XServer, wait_until

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


class XorgServer(XServer):
    """Xorg on a free display, its outputs laid out as `layout` (a list of Monitor), under the
    window manager where asked, every mode refreshed `refresh` times a second."""

    name = "xorg"

    def __init__(self, layout, window_manager=False, refresh=60):
        super().__init__()
        self.refresh = refresh
        self.outputs_on, self.modes_added = set(), set()
        with self.starting():
            config = os.path.join(self.folder, "xorg.conf")
            with open(config, "w") as f:
                f.write(CONFIG)
            self._start_server("Xorg", "-config", config, "-noreset", "-nolisten", "tcp", "-retro",
                               "-logfile", os.path.join(self.folder, "Xorg.log"), cwd=self.folder)
            # Key codes as evdev gives them, so media and brightness keys exist without remapping.
            self.run("setxkbmap", "-keycodes", "evdev", "-symbols", "pc+us+inet(evdev)")
            self.arrange(layout)
            if window_manager:
                wm = self.start("openbox")
                self.wait_for_start(lambda: "window id" in self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK",
                                                                    check=False).stdout, "openbox managing the screen",
                                    [wm])

    def arrange(self, layout):
        """Lays the outputs out as `layout` in one xrandr call, outputs left out turned off;
        returns once RandR lists exactly that layout."""
        self.layout = layout
        command = ["xrandr"]
        for monitor in layout:
            mode = self.add_mode(monitor)
            command += ["--output", monitor.name, "--mode", mode, "--pos", f"{monitor.x}x{monitor.y}"]
            if monitor.primary:
                command.append("--primary")
        shown = {m.name for m in layout}
        for output in sorted(self.outputs_on - shown):
            command += ["--output", output, "--off"]
        self.outputs_on = shown
        self.run(*command)
        wait_until(lambda: sorted(self.monitors(), key=str) == sorted(layout, key=str),
                   "monitors " + ", ".join(m.name for m in layout) + " listed by xrandr", 30)

    def add_mode(self, monitor):
        """A mode of exactly the monitor's size at the server's refresh rate, made and added to its
        output once (the dummy driver needs no real timings). Named as xrandr --newmode users would."""
        mode = f"{monitor.width}x{monitor.height}_disco"
        if (monitor.name, mode) in self.modes_added:
            return mode
        htotal, vtotal = monitor.width + 160, monitor.height + 30
        clock = htotal * vtotal * self.refresh / 1e6
        self.run("xrandr", "--newmode", mode, f"{clock:.3f}", str(monitor.width), str(monitor.width + 48),
                 str(monitor.width + 80), str(htotal), str(monitor.height), str(monitor.height + 3),
                 str(monitor.height + 9), str(vtotal), "+hsync", "+vsync", check=False)
        self.run("xrandr", "--addmode", monitor.name, mode)
        self.modes_added.add((monitor.name, mode))
        return mode
