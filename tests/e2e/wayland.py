"""Private Wayland compositors for end-to-end tests: weston's headless back end, which offers
no seat, and sway's headless back end, which always has one and runs XWayland too.

sway refuses to run as root, so under root it runs as the unprivileged user `nobody`, and so
do the programs started on it (they need its 0700 runtime folder)."""
import glob
import json
import os
import pwd
import shutil
import subprocess
import tempfile
import time

from harness import parse_ppm, stop_process


class Unavailable(Exception):
    """The compositor cannot run on this machine; the message says why."""


def wait_for_start(condition, what, processes, log_path, timeout=60):
    """Polls condition() until it gives something true, which it returns. One of `processes`
    ending first means the desktop cannot run here (Unavailable); the deadline passing is a failure."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        for process in processes:
            if process.poll() is not None:
                raise Unavailable(f"{process.args[0]} ended at start-up with status {process.returncode}:\n"
                                  + _tail(log_path))
        if time.monotonic() > deadline:
            raise AssertionError(f"no {what} within {timeout} s:\n" + _tail(log_path))
        time.sleep(0.05)


def _tail(path, lines=20):
    try:
        with open(path, errors="replace") as f:
            return "".join(f.readlines()[-lines:])
    except (OSError, TypeError):
        return ""


class Compositor:
    """What the demo is started with: a runtime folder, a Wayland socket, a user."""

    def __init__(self, program):
        if not shutil.which(program):
            raise Unavailable(f"{program} is not installed (scripts/deps.sh installs it)")
        self.uid, self.gid = os.getuid(), os.getgid()
        self.runtime = tempfile.mkdtemp(prefix=f"disco-{program}-")
        self.log_path = self.runtime + ".log"
        self.log = open(self.log_path, "wb")
        self.process = None
        self.socket = None

    def env(self, **extra):
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.runtime,
               "XDG_RUNTIME_DIR": self.runtime, "SDL_AUDIODRIVER": "dummy"}
        if self.socket:
            env["WAYLAND_DISPLAY"] = self.socket
        env.update(extra)
        return env

    def popen(self, args, env=None, **kwargs):
        """Starts a program on this compositor, as the compositor's user."""
        if self.uid != os.getuid():
            kwargs.update(user=self.uid, group=self.gid, extra_groups=[])
        kwargs.setdefault("stdin", subprocess.DEVNULL)
        return subprocess.Popen(args, env=env or self.env(), **kwargs)

    def run(self, args, timeout=30, **kwargs):
        process = self.popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)
        try:
            out, err = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            raise
        return subprocess.CompletedProcess(args, process.returncode, out, err)

    def stop(self):
        if self.process:
            stop_process(self.process)
        self.log.close()
        shutil.rmtree(self.runtime, ignore_errors=True)
        os.unlink(self.log_path)


class Weston(Compositor):
    """weston 10, headless back end with the pixman renderer: one 1280x720 output, no seat."""

    SOCKET = "wayland-disco"

    def __init__(self):
        super().__init__("weston")
        self.process = subprocess.Popen(
            ["weston", "--backend=headless-backend.so", f"--socket={self.SOCKET}", "--no-config",
             "--use-pixman", "--width=1280", "--height=720"],
            env=self.env(), stdout=self.log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        path = os.path.join(self.runtime, self.SOCKET)
        wait_for_start(lambda: os.path.exists(path), "weston", [self.process], self.log_path)
        self.socket = self.SOCKET


class Sway(Compositor):
    """sway, headless back end with the pixman renderer: one output, seat0, lazy XWayland."""

    def __init__(self):
        super().__init__("sway")
        if os.getuid() == 0:
            try:
                user = pwd.getpwnam("nobody")
            except KeyError:
                raise Unavailable("sway refuses root, and there is no user nobody to run it as")
            self.uid, self.gid = user.pw_uid, user.pw_gid
            os.chown(self.runtime, self.uid, self.gid)
        # The first command sway runs tells the X display it gives XWayland clients.
        self.display_file = os.path.join(self.runtime, "display")
        config = os.path.join(self.runtime, "config")
        with open(config, "w") as f:
            f.write(f"exec printenv DISPLAY > {self.display_file}\n")
        os.chmod(config, 0o644)
        env = self.env(WLR_BACKENDS="headless", WLR_RENDERER="pixman", WLR_LIBINPUT_NO_DEVICES="1")
        self.process = self.popen(["sway", "-c", config], env=env, stdout=self.log,
                                  stderr=subprocess.STDOUT)

        def ready():
            sockets = [p for p in glob.glob(os.path.join(self.runtime, "wayland-*"))
                       if not p.endswith(".lock")]
            written = os.path.exists(self.display_file) and os.path.getsize(self.display_file) > 0
            if sockets and written and glob.glob(os.path.join(self.runtime, "sway-ipc.*")):
                self.socket = os.path.basename(sockets[0])
                return True
            return False

        wait_for_start(ready, "sway", [self.process], self.log_path)
        with open(self.display_file) as f:
            self.display = f.read().strip()
        # A keyboard on the seat from the start, as on a desktop: wtype's virtual keyboard lives
        # while it sleeps. Keys typed later arrive on a client's keyboard bound long before.
        self.keyboard = self.popen(["wtype", "-s", "86400000"])
        wait_for_start(lambda: "keyboard" in self.run(["swaymsg", "-r", "-t", "get_inputs"]).stdout.decode(),
                       "sway's keyboard", [self.process], self.log_path)

    def env(self, **extra):
        env = super().env(**extra)
        ipc = glob.glob(os.path.join(self.runtime, "sway-ipc.*"))
        if ipc:
            env["SWAYSOCK"] = ipc[0]
        return env

    def windows(self):
        """(name, shell, full screen, (x, y, width, height)) of every client window."""
        tree = json.loads(self.run(["swaymsg", "-r", "-t", "get_tree"]).stdout)
        found, nodes = [], [tree]
        while nodes:
            node = nodes.pop()
            if node.get("pid"):
                r = node["rect"]
                found.append((node.get("name"), node.get("shell"), node.get("fullscreen_mode") == 1,
                              (r["x"], r["y"], r["width"], r["height"])))
            nodes += node.get("nodes", []) + node.get("floating_nodes", [])
        return found

    def x_windows(self):
        """(x, y, width, height) of every visible X window named disco on the XWayland display."""
        env = self.env(DISPLAY=self.display)
        ids = self.run(["xdotool", "search", "--onlyvisible", "--name", "^disco$"], env=env).stdout.split()
        found = []
        for wid in ids:
            shell = self.run(["xdotool", "getwindowgeometry", "--shell", wid], env=env).stdout.decode()
            values = dict(line.split("=", 1) for line in shell.split())
            found.append(tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT")))
        return found

    def output(self):
        return json.loads(self.run(["swaymsg", "-r", "-t", "get_outputs"]).stdout)[0]

    def configure_output(self, *settings):
        """`swaymsg output <the output> <settings>`, as a user changing monitors would. (sway 1.7
        refuses to disable a headless output: "Failed to commit output".)"""
        result = self.run(["swaymsg", "output", self.output()["name"], *settings])
        if result.returncode != 0:
            raise AssertionError(f"swaymsg output {' '.join(settings)}: {result.stdout.decode()}")

    def output_rect(self):
        r = self.output()["rect"]
        return (r["x"], r["y"], r["width"], r["height"])

    def screenshot(self):
        return parse_ppm(self.run(["grim", "-t", "ppm", "-"]).stdout)

    def press_key(self, key="space"):
        self.run(["wtype", "-k", key])

    def stop(self):
        if getattr(self, "keyboard", None):
            stop_process(self.keyboard)
        super().stop()


class DemoCopy:
    """The demo binary and its resources copied where the compositor's user can read them."""

    def __init__(self, binary, compositor):
        self.folder = tempfile.mkdtemp(prefix="disco-copy-")
        os.chmod(self.folder, 0o755)
        self.binary = os.path.join(self.folder, "disco")
        shutil.copy2(binary, self.binary)
        shutil.copytree(os.path.join(os.path.dirname(binary), "resources"),
                        os.path.join(self.folder, "resources"))
        self.compositor = compositor

    def start(self, **env):
        self.stderr_path = os.path.join(self.compositor.runtime + ".demo-stderr")
        self.stderr = open(self.stderr_path, "wb")
        self.process = self.compositor.popen([self.binary], env=self.compositor.env(**env),
                                             stdout=subprocess.DEVNULL, stderr=self.stderr)
        return self

    def log(self):
        with open(self.stderr_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def wait_for_log(self, text, timeout=60.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and self.process.poll() is None:
            if text in self.log():
                return True
            time.sleep(0.05)
        return text in self.log()

    def stop(self):
        if getattr(self, "process", None):
            if self.process.poll() is None:
                self.process.kill()
            self.process.wait()
            self.stderr.close()
            os.unlink(self.stderr_path)
        shutil.rmtree(self.folder, ignore_errors=True)
