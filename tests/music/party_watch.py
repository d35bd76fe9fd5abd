"""What the party music test watches while the players play: the moments each player says
something, and where the sound server's timeline moves on (the server held up: its sink missed
reads, and every stream it serves, the recording's too, is that much later from then on)."""
import os
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


class Timeline:
    """Polls how much a recording holds against the monotonic clock. The recording lags the
    clock by its buffering (up to a graph cycle, more when the poller is late); the least lag of
    a few seconds is steady, and steps up by as much as the server's timeline moved on."""

    def __init__(self, path, started, bytes_per_second, every=0.02):
        self.path, self.started, self.rate = path, started, bytes_per_second
        self.samples = []  # (seconds since started, seconds of recording behind them)
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self._poll, args=(every,), daemon=True)
        self.thread.start()

    def _poll(self, every):
        while not self.stop.wait(every):
            now = time.monotonic() - self.started
            self.samples.append((now, now - os.path.getsize(self.path) / self.rate))

    def moves(self, span=3.0, least=0.04):
        """The moments (seconds since started) where the least lag over `span` s steps up by
        more than `least` s, with the step."""
        self.stop.set()
        self.thread.join()
        at, lag = np.array(self.samples).T
        found = []
        for i in range(len(at)):
            before = lag[(at > at[i] - span) & (at <= at[i])].min()
            after = lag[(at >= at[i]) & (at < at[i] + span)].min()
            if at[i] - span > at[0] and at[i] + span < at[-1] and after - before > least:
                if not found or at[i] - found[-1][0] > span:
                    found.append((at[i], after - before))
        return found
