#!/usr/bin/env python3
"""A guest's music at a party: a member (the real demo, DISCO_PARTY_GUESTS serving the page) and
the page it serves, opened from its link in headless Chromium and clicked, each play into a sink
of its own on one PulseAudio server, which mixes them into one channel each of one recording.
From SETTLING s after the guest's music starts, the guest is heard within IN_STEP of the member;
once it has landed there it only glides (the page's stretch of at most 0.2 %), never jumps. A
busy machine may starve Chromium's output (a gap of silence in the guest's channel alone, or a
moment that matches nothing of the member's; its sound later by as much since): the page is back
in step within RECOVERED s of such a dropout.

PulseAudio rather than PipeWire: through pipewire-pulse Chromium's output timestamps swing, by a
hundred milliseconds at the music tests' 8192-frame cycle and by 40 ms over seconds at PipeWire's
usual 1024 (its outputLatency 32 to 80 ms), and a page placing its sound by them is heard 2 to
13 ms from the member there (7 ms the median), where PulseAudio's are good to a millisecond.

Usage: test_guest_music.py DISCO PAGE_FOLDER [unittest arguments]. DISCO_KEEP_RECORDING=PATH keeps
the mix.
"""
import os
import re
import shlex
import shutil
import sys
import time
import unittest

import numpy as np

sys.path[:0] = [os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", d) for d in ("e2e", "web")]
from harness import PATIENCE, Demo, stop_process, wait_until  # noqa: E402
from page import Tab  # noqa: E402
from party_watch import offset, player_env, read_mix, record_mix, streams  # noqa: E402

BINARY = os.path.abspath(sys.argv.pop(1))
PAGE = os.path.abspath(sys.argv.pop(1))
LINK = re.compile(r"guests join the party at http://[\d.]+:(\d+)/(\?party)")
SIZE = 160, 90  # both draw little: the cores are the sound's
LISTENED = 40.0  # seconds of music recorded after the guest's started
SETTLING = 15.0  # seconds after it started from when the guest must be in step
EVERY = 0.5  # seconds between comparisons
IN_STEP = 0.004  # how far from the member the guest may be heard (mostly within 1 ms, now and then 2.5)
GLIDE, NOISE = 0.002, 0.0005  # the most the guest may move a second once landed, and the measure's noise
RECOVERED = 2.0  # seconds after a dropout of the guest's output by when it is in step again


def dropouts(heard, rate, since):
    """When (seconds after `since` into the mix) the guest's channel, once heard, falls silent for
    10 ms or more while the member's plays: its output starved."""
    size = rate // 100
    n = len(heard[1]) // size
    guest, member = (np.abs(row[:n * size]).reshape(n, size).max(axis=1) for row in heard[:2])
    first = np.argmax(guest > 1e-2)
    return [k / 100 - since for k in np.flatnonzero((guest < 1e-4) & (member > 1e-2)) if k > first]


def browser_playing_into(server, i, folder):
    """A script starting Chromium with its sound going to sink m<i> of `server`."""
    path = os.path.join(folder, "chromium")
    with open(path, "w") as f:
        f.write("#!/bin/sh\n" + "".join(f"export {k}={shlex.quote(v)}\n" for k, v in player_env(server, i).items())
                + f'exec {shlex.quote(shutil.which("chromium"))} "$@"\n')
    os.chmod(path, 0o755)
    return path


class GuestMusic(unittest.TestCase):
    def test_guest_heard_with_the_member(self):
        folder, server, recording, recorder = record_mix(self, "pulseaudio", "disco-guest-music-")
        own = streams(server)  # the remapping sinks' own
        member = Demo(BINARY, screen=f"{SIZE[0]}x{SIZE[1]}", env=dict(
            player_env(server, 0), DISCO_PARTY="guests", DISCO_PARTY_GUESTS=PAGE, SDL_AUDIODRIVER="pulseaudio"))
        self.addCleanup(member.__exit__)
        member.__enter__()
        member.wait_until(lambda: LINK.search(member.log()) and streams(server) > own, "the guests' link and music")
        port, query = LINK.search(member.log()).groups()
        guest = Tab(f"http://127.0.0.1:{port}/{query}", *SIZE, binary=browser_playing_into(server, 1, folder))
        self.addCleanup(guest.close)
        guest.wait_for("window.Module && Module.disco.state === 'ready' && discoGuest.joined()", "the page ready")
        guest.click(SIZE[0] // 2, SIZE[1] // 2)
        wait_until(lambda: streams(server) > own + 1, "the guest's music on the server",
                   gave_up=lambda: guest.troubles() and f"the page said {guest.troubles()}")
        started = time.monotonic() - recorder.started  # seconds into the recording
        bytes_per_second = server.rate * 3 * 4
        estimates = []  # (seconds into the recording, the page's own estimate of how far off it is)

        def listened():
            at = time.monotonic() - recorder.started
            if not estimates or at - estimates[-1][0] >= 1:  # a sample a second: the page plays on undisturbed
                estimates.append((at, guest.js("discoGuest.musicError()") or 0.0))
            return os.path.getsize(recording) >= (started + LISTENED) * bytes_per_second
        wait_until(listened, "the guest's music recorded", LISTENED + PATIENCE, lambda: member.ended() and member.log())
        stop_process(recorder)
        if os.environ.get("DISCO_KEEP_RECORDING"):
            shutil.copy(recording, os.environ["DISCO_KEEP_RECORDING"])

        heard = read_mix(recording)
        moments = [started + 1 + EVERY * k for k in range(int((LISTENED - 3) / EVERY))]
        late = []  # (seconds since the guest started, how much later it is heard than the member)
        for t in moments:
            seconds, quality = offset(heard[0], heard[1], int(t * server.rate), server.rate)
            late.append((t - started, seconds if quality > 0.6 else float("inf")))
        # A moment the two channels do not match at all is a gap or a glitch of the guest's output
        # too (a starved output need not fall silent): excused as a dropout, but only a few.
        broken = [since for since, seconds in late if seconds == float("inf") and since >= 2 * EVERY]
        self.assertLessEqual(len(broken), 4, f"the guest's music broken up at {broken}")
        starved = dropouts(heard, server.rate, started) + broken
        late = [(since, seconds) for since, seconds in late if not any(-1.5 <= since - at <= RECOVERED for at in starved)]
        told = " ".join(f"{since:.1f}s:{seconds * 1000:+.2f}" for since, seconds in late)
        settled = sorted(abs(seconds) for since, seconds in late if since >= SETTLING)
        print(f"guest music: {len(starved) / 100:.2f} s of its output dropped out; heard {settled[len(settled) // 2] * 1000:.2f} ms from the member the median, "
              f"{settled[-1] * 1000:.2f} ms at most, over {len(settled)} moments from {SETTLING:.0f} to "
              f"{late[-1][0]:.0f} s after it started; its own estimate at most "
              f"{max(abs(e) for at, e in estimates if at >= started + SETTLING) * 1000:.2f} ms\n{told}", file=sys.stderr)
        self.assertLess(settled[-1], IN_STEP, told)
        landed = next(k for k, (_, seconds) in enumerate(late) if abs(seconds) < IN_STEP)
        jumps = [f"{t:.1f}s:{(b - a) * 1000:+.2f}" for (s, a), (t, b) in zip(late[landed:], late[landed + 1:])
                 if abs(b - a) > GLIDE * (t - s) + NOISE]
        self.assertEqual(jumps, [], f"the guest jumped after it landed at {late[landed][0]:.1f} s: {told}")


if __name__ == "__main__":
    unittest.main()
