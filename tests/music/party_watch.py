"""What the party music test watches while the players play: the moments each player says
something, and the cycles the sound server fell behind in (held up, its sink read on without the
streams it had not served, whose timelines moved on)."""
import os
import subprocess
import threading
import time

import numpy as np


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
    the server fell behind in: its driver woke over 30 % of a cycle late, or a node (pipewire-pulse
    serving a stream, any stream) had not finished when the next cycle was due. pipewire-pulse
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
            late = float(fields[0]) > 1.3 * float(fields[3])
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
