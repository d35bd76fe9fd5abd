"""A sound server for the music tests: PulseAudio, or PipeWire with WirePlumber and
pipewire-pulse on a session bus of its own, in a runtime folder of its own, with a null sink
recorded from its monitor."""
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import stop_process, wait_until  # noqa: E402

FRAME = 8  # bytes of a stereo float frame


class Server:
    """A sound server of the kind `kind` ("pulseaudio" or "pipewire") in `folder`, with a null
    sink "out" at `rate` (PulseAudio: or the sinks `sinks` loads, lines of its configuration).
    start() and stop() may come and go while players run."""

    def __init__(self, kind, folder, sinks=None):
        self.kind, self.folder, self.sinks = kind, folder, sinks
        self.rate = 44100 if kind == "pulseaudio" else 48000
        self.processes = []
        runtime = os.path.join(folder, "run")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        # Made before any client looks: pactl, asking whether a server is up yet, makes it too, and
        # pipewire-pulse gives up when the folder appears between its own look and its mkdir.
        os.makedirs(os.path.join(runtime, "pulse"), mode=0o700, exist_ok=True)
        client = os.path.join(folder, "client.conf")
        with open(client, "w") as f:
            f.write("autospawn = no\n")  # a late start is ours to make, not libpulse's
        self.env = {k: v for k, v in os.environ.items() if not k.startswith(("PULSE_", "PIPEWIRE_", "DBUS_"))}
        self.env.update(XDG_RUNTIME_DIR=runtime, HOME=folder, XDG_CONFIG_HOME=os.path.join(folder, "config"),
                        PULSE_CLIENTCONFIG=client)
        self.env.pop("SDL_AUDIODRIVER", None)

    def spawn(self, *command):
        with open(os.path.join(self.folder, os.path.basename(command[0]) + ".log"), "ab") as log:
            process = subprocess.Popen(command, env=self.env, stdout=log, stderr=subprocess.STDOUT)
        self.processes.append(process)
        return process

    def start(self):
        if self.kind == "pulseaudio":
            config = os.path.join(self.folder, "default.pa")
            with open(config, "w") as f:
                f.write("load-module module-native-protocol-unix\n" + (self.sinks or
                        f"load-module module-null-sink sink_name=out rate={self.rate} format=float32le channels=2\n"
                        "set-default-sink out\n"))
            self.spawn("pulseaudio", "-n", "-F", config, "--exit-idle-time=-1", "--daemonize=no",
                       "--use-pid-file=no", "--disallow-exit", "--log-target=stderr")
        else:
            self.configure_pipewire()
            bus = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
                                 env=self.env, check=True, capture_output=True, text=True).stdout.split()
            self.env["DBUS_SESSION_BUS_ADDRESS"], self.bus = bus[0], int(bus[1])
            self.spawn("pipewire")
            wait_until(lambda: os.path.exists(os.path.join(self.env["XDG_RUNTIME_DIR"], "pipewire-0")), "pipewire")
            self.spawn("wireplumber")
            self.spawn("pipewire-pulse")
            try:
                wait_until(lambda: self.pactl("info") is not None, "pipewire-pulse")
            except AssertionError as failure:
                raise AssertionError(f"{failure}; the servers said:\n{self.logs()}") from None
            self.pactl("load-module", "module-null-sink", "sink_name=out", f"rate={self.rate}", "channels=2")
            self.pactl("set-default-sink", "out")
        wait_until(lambda: (self.pactl("list", "short", "sinks") or "").strip(), f"{self.kind}'s null sink")

    def configure_pipewire(self):
        """Graph cycles of 8192 frames (170 ms) rather than 2048. A daemon held up longer than a
        cycle (a loaded CI machine) skips one: a whole cycle of silence for every stream alike,
        the server's hiccup rather than the player's. A longer cycle rides it out; a player that
        feeds its stream late still leaves a gap."""
        folder = os.path.join(self.env["XDG_CONFIG_HOME"], "pipewire", "pipewire.conf.d")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "quantum.conf"), "w") as f:
            f.write("context.properties = {\n"
                    "    default.clock.quantum = 8192\n"
                    "    default.clock.min-quantum = 8192\n"
                    "    default.clock.max-quantum = 8192\n"
                    "}\n")

    def logs(self):
        """The last lines each server process logged."""
        said = []
        for process in self.processes:
            name = os.path.basename(process.args[0])
            with open(os.path.join(self.folder, name + ".log"), errors="replace") as log:
                said.append(f"{name} (exit {process.poll()}): " + "".join(log.readlines()[-15:]))
        return "\n".join(said)

    def pactl(self, *arguments):
        done = subprocess.run(["pactl", *arguments], env=self.env, capture_output=True, text=True)
        return done.stdout if done.returncode == 0 else None

    def stop(self):
        for process in reversed(self.processes):
            stop_process(process)
        self.processes = []
        if getattr(self, "bus", None):
            os.kill(self.bus, signal.SIGTERM)
            self.bus = None

    def hold(self, seconds):
        """Holds up the process that speaks PulseAudio's protocol (pipewire-pulse, or pulseaudio
        itself) for `seconds`, as a loaded machine does: the sink goes on reading its streams
        without it, and their timelines move on."""
        name = "pulseaudio" if self.kind == "pulseaudio" else "pipewire-pulse"
        process = next(p for p in self.processes if os.path.basename(p.args[0]) == name)
        os.kill(process.pid, signal.SIGSTOP)
        try:
            time.sleep(seconds)
        finally:
            os.kill(process.pid, signal.SIGCONT)

    def record(self, path, latency=500, sink="out", channels=2):
        """parec on the sink's monitor, in the sink's own format, with a generous buffer; returns
        once it is writing (silence, before a player starts), so it hears whatever plays from then
        on: a recorder whose stream is on the server may still be a moment from its first data.
        A short `latency` times the first sound more closely."""
        recorder = subprocess.Popen(["parec", "-d", f"{sink}.monitor", "--raw", "--format=float32le", f"--rate={self.rate}",
                                     f"--channels={channels}", f"--latency-msec={latency}", "--file-format=raw", path],
                                    env=self.env, stderr=subprocess.DEVNULL)
        wait_until(lambda: os.path.exists(path) and os.path.getsize(path) > 0, f"a recorder writing from {self.kind}",
                   gave_up=lambda: recorder.poll() is not None and "parec ended")
        # Its first frame is as old as what it has written by now.
        recorder.started = time.monotonic() - os.path.getsize(path) / (4 * channels) / self.rate
        return recorder

    def heard(self, recorder, path):
        """When the recording's first sound was made."""
        with open(path, "rb") as f:
            recording = f.read()
        return recorder.started + (len(recording) - len(recording.lstrip(b"\0"))) // FRAME / self.rate
