"""Private Wayland compositors for end-to-end tests: weston's headless back end, which offers
no seat, and sway's headless back end, which always has one and runs XWayland too.

sway refuses to run as root, so under root it runs as the unprivileged user `nobody`, and so
do the programs started on it (they need its 0700 runtime folder)."""
import glob
import json
import os
import pwd

from harness import Desktop, Monitor, Unavailable, Window, parse_ppm


class Weston(Desktop):
    """weston 10, headless back end with the pixman renderer: one 1280x720 output, no seat."""

    name = "weston"
    programs = ("weston",)

    def __init__(self):
        super().__init__()
        with self.starting():
            self.start("weston", "--backend=headless-backend.so", "--socket=wayland-disco", "--no-config",
                       "--use-pixman", "--width=1280", "--height=720")
            self.wait_for_start(lambda: os.path.exists(os.path.join(self.folder, "wayland-disco")), "weston")
            self.wayland_display = "wayland-disco"


class Sway(Desktop):
    """sway, headless back end with the pixman renderer: `outputs` side by side, seat0, lazy XWayland."""

    name = "sway"
    programs = ("sway", "swaymsg", "wtype", "grim", "xdotool")
    lists_native_windows = True

    def __init__(self, outputs=1):
        if os.getuid() == 0:
            try:
                user = pwd.getpwnam("nobody")
            except KeyError:
                raise Unavailable("sway refuses root, and there is no user nobody to run it as")
            self.user = (user.pw_uid, user.pw_gid)
        super().__init__()
        with self.starting():
            # The first command sway runs tells the X display it gives XWayland clients.
            display_file = os.path.join(self.folder, "display")
            config = os.path.join(self.folder, "config")
            with open(config, "w") as f:
                f.write(f"exec printenv DISPLAY > {display_file}\n")
            os.chmod(config, 0o644)
            self.start("sway", "-c", config,
                       env=self.env(WLR_BACKENDS="headless", WLR_RENDERER="pixman", WLR_LIBINPUT_NO_DEVICES="1"))

            def ready():
                sockets = [p for p in glob.glob(os.path.join(self.folder, "wayland-*")) if not p.endswith(".lock")]
                written = os.path.exists(display_file) and os.path.getsize(display_file) > 0
                return sockets and written and self._own_env() and os.path.basename(sockets[0])

            self.wayland_display = self.wait_for_start(ready, "sway")
            with open(display_file) as f:
                self.display = f.read().strip()
            # A keyboard on the seat from the start, as on a desktop: wtype's virtual keyboard lives
            # while it sleeps. Keys typed later arrive on a client's keyboard bound long before.
            self.start("wtype", "-s", "86400000")
            self.wait_for_start(lambda: "keyboard" in self.run("swaymsg", "-r", "-t", "get_inputs").stdout,
                                "sway's keyboard")
            for _ in range(outputs - 1):
                self.run("swaymsg", "create_output")
            self.wait_for_start(lambda: len(self.outputs()) == outputs, "sway's outputs")

    def _own_env(self):
        ipc = glob.glob(os.path.join(self.folder, "sway-ipc.*"))
        return {"SWAYSOCK": ipc[0]} if ipc else {}

    def windows(self):
        tree = json.loads(self.run("swaymsg", "-r", "-t", "get_tree").stdout)
        found, nodes = [], [tree]
        while nodes:
            node = nodes.pop()
            if node.get("pid"):
                r = node["rect"]
                found.append(Window(node.get("name"), r["x"], r["y"], r["width"], r["height"],
                                    node.get("fullscreen_mode") == 1, native=node.get("shell") == "xdg_shell"))
            nodes += node.get("nodes", []) + node.get("floating_nodes", [])
        return found

    def outputs(self):
        return json.loads(self.run("swaymsg", "-r", "-t", "get_outputs").stdout)

    def monitors(self):
        """sway's outputs, the first taken for the primary, each its mode's size where it lays it out."""
        return [Monitor(o["name"], o["current_mode"]["width"], o["current_mode"]["height"], o["rect"]["x"],
                        o["rect"]["y"], i == 0, o["scale"]) for i, o in enumerate(self.outputs())]

    def arrange(self, scales=()):
        """Each output in turn at its scale in `scales`, as a user sets it."""
        for output, scale in zip(self.outputs(), scales):
            self.configure_output("scale", str(scale), output=output["name"])

    def configure_output(self, *settings, output=None):
        """`swaymsg output <the output> <settings>`, as a user changing monitors would. (sway 1.7
        refuses to disable a headless output: "Failed to commit output".)"""
        self.run("swaymsg", "output", output or self.outputs()[0]["name"], *settings)

    def output_rect(self):
        r = self.outputs()[0]["rect"]
        return (r["x"], r["y"], r["width"], r["height"])

    def screenshot(self, monitor=0):
        name = self.outputs()[monitor]["name"]
        return parse_ppm(self.run("grim", "-o", name, "-t", "ppm", "-", text=False).stdout)

    def _press_natively(self, key):
        self.run("wtype", "-k", key)

    def with_pointer(self):
        # The seat's cursor commands move and click with no device, but the seat offers clients
        # a pointer only while one is there.
        if not getattr(self, "pointer", None):
            self.pointer = self.start_tool("e2e_virtual_pointer")
            self.wait_for_pointer()

    def click(self, x, y, button=1):
        self.with_pointer()
        for command in (("set", str(x), str(y)), ("press", f"button{button}"), ("release", f"button{button}")):
            self.run("swaymsg", "seat", "-", "cursor", *command)
