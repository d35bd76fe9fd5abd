#!/usr/bin/env python3
"""A party's music through a real sound server: three players following one shared clock (as
party members do), started 1.5 s apart, each into a sink of its own that PulseAudio mixes into
one channel of one recording, so that the recording shows how far apart they are heard. The
third plays on a sound card 113 ppm fast (a stream declared at 44105 Hz for 44100).

Usage: test_party_music.py MUSIC_CAPTURE [--seconds S] [unittest arguments]
--seconds sets how long they play (CI: 100; the figures in docs/performance.md: 600). Set
DISCO_SOUND_SERVER=pulseaudio for PulseAudio instead of PipeWire. The players talk to the server
themselves, as a party member does where there is one, and it tells them when they are heard.

The server is held up now and then (STALLS), as a loaded machine holds it: the sink reads on
without it and every stream's timeline moves on. A player is then put back once, and is in step
again within SETTLED seconds. PipeWire's profiler witnesses the cycles the server fell behind in,
these and a busy machine's own alike: put-backs and players out of step are excused after those
alone, and anything else is the players' fault.
"""
import os
import re
import shutil
import subprocess
import sys
import threading
import time
import unittest

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import stop_process, wait_until  # noqa: E402
from party_watch import ServerCycles, StampedLines, read_mix, record_mix, spread, streams  # noqa: E402

CAPTURE = os.path.abspath(sys.argv.pop(1))
SECONDS = float(sys.argv.pop(sys.argv.index("--seconds") + 1)) if "--seconds" in sys.argv else 100.0
if "--seconds" in sys.argv:
    sys.argv.remove("--seconds")
MUSIC = os.path.join(os.path.dirname(CAPTURE), "resources", "tralmix.m4a")
SKEW_SHIM = os.path.join(os.path.dirname(CAPTURE), "shims", "skewed_sound_clock.so")
KIND = os.environ.get("DISCO_SOUND_SERVER", "pipewire")
IN_STEP = 0.002  # how far apart the players may be heard, from 10 s after the last one started
STALLS = (40.0, 70.0)  # seconds after the last player started: the server held up
HOLD = 0.3  # seconds, longer than the graph's cycle and than what a player keeps queued
SETTLED = 6.0  # seconds after a stall by when the players are in step again
BACK = 5.0  # seconds after a stall by when the players are as close as before it (or within 1 ms)
STAMPED = 1.5  # how much later than its moment a stall or a player's line may be stamped
PUT_BACK = re.compile(r"the music was (-?\d+) ms off the party's place: put back")


class PartyMusic(unittest.TestCase):
    def test_three_players_heard_in_step(self):
        folder, server, recording, recorder = record_mix(self, KIND, "disco-party-music-")
        start_us = time.monotonic_ns() // 1000
        players, started, said = [], [], []
        sinks_own = streams(server)  # the remapping sinks' own
        for i in range(3):
            env = dict(server.env, PULSE_SINK=f"m{i}", SDL_AUDIODRIVER="pulseaudio")
            if i == 2:
                env.update(LD_PRELOAD=SKEW_SHIM, SKEWED_RATE="44105")
            # Members join one after another: each once the one before is playing on the server.
            wait_until(lambda: streams(server) >= sinks_own + len(players), "the player before on the server")
            started.append(time.monotonic() - recorder.started)
            players.append(subprocess.Popen([CAPTURE, MUSIC, str(SECONDS + 60), "follow", str(start_us)], env=env,
                                            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                            text=True))
            self.addCleanup(stop_process, players[-1])
            said.append(StampedLines(players[-1].stderr))
        cycles = ServerCycles(server.env, folder)
        held = [started[-1] + at for at in STALLS if at < SECONDS - 2 * SETTLED]

        def hold_server():
            for at in held:  # once the recording has reached the moment
                wait_until(lambda: os.path.getsize(recording) >= at * server.rate * 12, f"the recording at {at:.0f} s",
                           timeout=SECONDS + 120)
                server.hold(HOLD)
        holder = threading.Thread(target=hold_server, daemon=True)
        holder.start()
        wait_until(lambda: os.path.getsize(recording) >= (started[-1] + SECONDS) * server.rate * 12, f"{SECONDS:.0f} s of music",
                   timeout=SECONDS + 120)
        holder.join()
        put_backs = []  # (player, seconds since the recording started, milliseconds off)
        for i, player in enumerate(players):
            player.stdin.close()  # its input ends: it stops
            player.wait(timeout=60)
            for moment, line in said[i].done():
                print(f"player {i} at {moment - recorder.started - started[-1]:.1f}s: {line}", flush=True)
                off = PUT_BACK.search(line)
                if off:
                    put_backs.append((i, moment - recorder.started, int(off.group(1))))
        stop_process(recorder)
        behind = [at - recorder.started for at in cycles.stalls()]
        stalls = sorted(behind + [at for at in held if not any(abs(at - b) < STAMPED for b in behind)])
        print("server held up at", " ".join(f"{at - started[-1]:.1f}s" for at in held) or "no time",
              "; it fell behind at", " ".join(f"{at - started[-1]:.1f}s" for at in behind) or "no time",
              f"({cycles.lines()} cycles)", flush=True)
        if os.environ.get("DISCO_KEEP_RECORDING"):
            shutil.copy(recording, os.environ["DISCO_KEEP_RECORDING"])
        heard = read_mix(recording)

        def stall_before(t, within):
            return any(-STAMPED <= t - at <= within for at in stalls)
        # Every 2 s, every half second while the players land after a stall, and just before it.
        moments = set(np.arange(started[-1] + 10, started[-1] + SECONDS - 2, 2.0))
        moments |= {at + d for at in stalls for d in np.arange(0.5, SETTLED + 4, 0.5)}
        moments |= {at - STAMPED - 0.5 for at in stalls}
        apart = []  # (seconds since the last player started, largest offset between two of them)
        for t in sorted(m for m in moments if started[-1] + 10 <= m < started[-1] + SECONDS - 2):
            # At the recording's own rate (the server's: 48 kHz on PipeWire), so that a moment
            # is the moment it says, stalls and all.
            apart.append((t - started[-1], spread(heard, int(t * server.rate), server.rate)))
        spreads = " ".join(f"{since:.1f}s:{spread * 1000:.1f}" for since, spread in apart)
        # Out of step only while landing after a stall.
        quiet = [(since, spread) for since, spread in apart if not stall_before(started[-1] + since, SETTLED)]
        early = max(spread for since, spread in quiet if since < 40)
        late = max(spread for since, spread in quiet if since >= 40)
        print(f"party music: 3 players, one card 113 ppm fast: {early * 1000:.2f} ms apart at most in the "
              f"first 40 s, {late * 1000:.2f} ms from 40 s to {SECONDS:.0f} s, away from stalls", flush=True)
        back_in_step = []  # (stall, spread before it, largest spread from BACK s after it)
        for at in stalls:
            before = [spread for since, spread in apart if abs(since + started[-1] - (at - STAMPED - 0.5)) < 1e-6]
            after = [(since + started[-1] - at, spread) for since, spread in apart
                     if 0 < since + started[-1] - at <= SETTLED + 4]
            back = next((d for d, spread in after if all(s < 0.001 for e, s in after if e >= d)), None)
            print(f"stall at {at - started[-1]:.1f}s: before {before[0] * 1000 if before else float('nan'):.1f}, after "
                  + " ".join(f"{d:.1f}s:{spread * 1000:.1f}" for d, spread in after)
                  + f"; within 1 ms from {back} s on", flush=True)
            if before and after:
                back_in_step.append((at, before[0], max(spread for d, spread in after if d >= BACK)))
        # Every hold is witnessed: the witness sees what a stall does to the server.
        for at in held:
            self.assertTrue(any(abs(b - at) < STAMPED for b in behind),
                            f"the server held up at {at - started[-1]:.1f} s and its profiler saw nothing")
        self.assertLess(max(early, late), IN_STEP, spreads)
        for at, before, after in back_in_step:
            self.assertLess(after, max(0.001, before + 0.0003),
                            f"{BACK:.0f} s after the stall at {at - started[-1]:.1f} s not as close as before: {spreads}")
        # Put back only after a stall of the server, once for each at most (the latest stall before it).
        for i in range(3):
            mine = [(at, off) for player, at, off in put_backs if player == i]
            stray = [(at - started[-1], off) for at, off in mine if not stall_before(at, SETTLED)]
            self.assertEqual(stray, [], f"player {i} put back with no stall of the server before it")
            after_stall = [max(s for s in stalls if s - STAMPED <= at) for at, _ in mine]
            twice = [stall - started[-1] for stall in set(after_stall) if after_stall.count(stall) > 1]
            self.assertEqual(twice, [], f"player {i} put back more than once after a stall")


if __name__ == "__main__":
    unittest.main()
