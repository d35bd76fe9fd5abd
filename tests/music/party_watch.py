"""What the party music tests watch while the players play: the moments each player says
something, the cycles the sound server fell behind in (held up, its sink read on without the
streams it had not served, whose timelines moved on), and how far apart the players are heard in
a recording of the mix (each player's sink one channel of it)."""
import os
import shutil
import subprocess
import tempfile
import threading
import time

import numpy as np
from harness import stop_process
from sound_server import Server

RATE = 44100  # the mix's, the music's own
CHANNELS = ("front-left", "front-right", "front-center")  # a player's own channel in the mix


def load_mix(server):
    """On a started sound_server.Server: a null sink "mix" with a channel for each player, and a
    sink m<i> for player i that plays into its channel alone. The server's own null sink goes
    first: PipeWire's profiler follows the one graph running."""
    server.pactl("unload-module", "module-null-sink")
    sinks = [f"module-null-sink sink_name=mix rate={RATE} format=float32le channels=3 channel_map={','.join(CHANNELS)}"]
    sinks += [f"module-remap-sink sink_name=m{i} master=mix channels=1 master_channel_map={c} channel_map=mono remix=no"
              for i, c in enumerate(CHANNELS)]
    for sink in sinks:
        if server.pactl("load-module", *sink.split()) is None:
            raise AssertionError(f"the server would not load {sink}")


def record_mix(test, kind, prefix):
    """A sound server of `kind` started in a folder of its own, the mix loaded and recorded from
    its monitor (into folder/mix.raw), all stopped and removed by the test's cleanups: the folder,
    the server, the recording's path and the recorder."""
    folder = tempfile.mkdtemp(prefix=prefix)
    test.addCleanup(shutil.rmtree, folder, ignore_errors=True)
    server = Server(kind, folder)
    test.addCleanup(server.stop)
    server.start()
    load_mix(server)
    recording = os.path.join(folder, "mix.raw")
    recorder = server.record(recording, latency=100, sink="mix", channels=3)
    test.addCleanup(stop_process, recorder)
    return folder, server, recording, recorder


def player_env(server, i):
    """What a player started outside the server's folder (a member, a browser) needs to play
    into sink m<i>, its own channel of the mix."""
    return {"PULSE_SERVER": "unix:" + os.path.join(server.env["XDG_RUNTIME_DIR"], "pulse", "native"),
            "PULSE_SINK": f"m{i}", "PULSE_CLIENTCONFIG": server.env["PULSE_CLIENTCONFIG"]}


def streams(server):
    """How many streams play on the server now."""
    return len((server.pactl("list", "short", "sink-inputs") or "").splitlines())


def read_mix(path):
    """A recording of the mix's monitor (Server.record, 3 channels): a row of samples per player."""
    heard = np.fromfile(path, dtype=np.float32)
    return heard[:len(heard) // 3 * 3].reshape(-1, 3).T


def offset(a, b, at, rate=RATE):
    """How much later b is heard than a around sample `at` (recorded at `rate`), in seconds, with
    the correlation of the two there (near 1 when they play the same music): over a second, up to
    40 ms either way."""
    width, reach = rate, int(0.04 * rate)
    window = a[at:at + width]
    scores = np.correlate(b[at - reach:at + width + reach], window, mode="valid")
    k = int(np.argmax(scores))
    if 0 < k < len(scores) - 1:  # between samples, by the parabola through the peak
        y0, y1, y2 = scores[k - 1:k + 2]
        k += 0.5 * (y0 - y2) / (y0 - 2 * y1 + y2)
    other = b[at - reach + round(k):at - reach + round(k) + width]
    quality = float(np.dot(window, other) / (np.linalg.norm(window) * np.linalg.norm(other) + 1e-12))
    return (k - reach) / rate, quality


def spread(heard, at, rate=RATE):
    """How far apart in seconds the players of a read_mix are heard around sample `at`: the
    largest offset between two of them; infinite where they do not play the same music within
    40 ms of one another (a dropout, a player far off)."""
    pairs = [offset(heard[0], heard[j], at, rate) for j in range(1, len(heard))]
    offsets = [0.0] + [seconds for seconds, _ in pairs]
    return max(offsets) - min(offsets) if all(quality > 0.6 for _, quality in pairs) else float("inf")


class StampedLines:
    """The lines a process writes to `pipe`, each with the moment it came (time.monotonic())."""

    def __init__(self, pipe):
        self.lines = []
        self.thread = threading.Thread(target=self._read, args=(pipe,), daemon=True)
        self.thread.start()

    def _read(self, pipe):
        for line in pipe:
            self.lines.append((time.monotonic(), line.rstrip("\n")))

    def done(self, timeout=10):
        self.thread.join(timeout)
        return self.lines


class ServerCycles:
    """PipeWire's own account of its graph's cycles (pw-profiler, one line a cycle of the graph it
    sees first: start it with one driver running), each line placed on time.monotonic(). A cycle
    the server fell behind in: its driver woke over 30 % of a cycle late, its graph finished over
    30 % of a cycle after the driver woke it (a node, pipewire-pulse serving a stream, any stream,
    waited for: a hold that ends before the next cycle is due shows only so), or a node had not
    finished when the next cycle was due (the hold spans it). pipewire-pulse
    takes a stream's samples from what its client sent, so a player late with its samples leaves
    a gap in its sound, not such a cycle: these witness the server, not the players."""

    def __init__(self, env, folder, every=0.05):
        self.path = os.path.join(folder, "profiler.log")
        # It writes its plotting scripts into its working folder as it ends.
        self.process = subprocess.Popen(["pw-profiler", "-o", self.path], env=env, cwd=folder,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.cycles = []  # (moment the line was read, the line's fields)
        self.offset = 0
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self._poll, args=(every,), daemon=True)
        self.thread.start()

    def _poll(self, every):
        held = ""
        while not self.stop.wait(every):
            if not os.path.exists(self.path):
                continue
            with open(self.path) as log:
                log.seek(self.offset)
                held += log.read()
                self.offset = log.tell()
            now = time.monotonic()
            *lines, held = held.split("\n")
            self.cycles += [(now, line.split("\t")) for line in lines]

    def stalls(self, merge=1.0):
        """The moments the server fell behind, a cycle's worth of lines at most early; cycles
        within `merge` s of one another are one stall. A line is written some cycles after its own
        (the profiler's file is flushed by the 4 kB): its cycle was no later than the moment a
        later line was read, less the cycles between at the least."""
        self.stop.set()
        self.thread.join()
        self.process.terminate()
        self.process.wait()
        read = np.array([moment for moment, _ in self.cycles])
        behind = []
        for i, (_, fields) in enumerate(self.cycles):
            period = float(fields[3]) * 1e-6
            late = float(fields[0]) > 1.3 * float(fields[3]) or float(fields[1]) > 0.3 * float(fields[3])
            nodes = [fields[k:k + 8] for k in range(4, len(fields) - 7, 8) if fields[k].strip()]
            unfinished = any(node[6] != "3" or float(node[3]) > float(fields[3]) for node in nodes)
            if late or unfinished:
                later = read[i:i + 64] - period * np.arange(len(read[i:i + 64]))
                behind.append(float(later.min()))
        found, last = [], None
        for at in behind:
            if last is None or at - last > merge:
                found.append(at)
            last = at
        return found

    def lines(self):
        return len(self.cycles)
