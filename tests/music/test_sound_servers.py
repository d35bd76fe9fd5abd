#!/usr/bin/env python3
"""The music player through real sound servers: PulseAudio, and PipeWire (at 48 kHz, so
resampled, in 170 ms cycles) with WirePlumber and pipewire-pulse on a session bus of its own.
Each runs in a runtime folder of its own with a null sink, recorded from its monitor.

Usage: test_sound_servers.py MUSIC_CAPTURE [--seconds S] [--busy] [unittest arguments]

- The loop: through PulseAudio the recording is the track sample for sample, seams included;
  through PipeWire it holds no gap of silence. --seconds sets how long it plays (the soak runs
  120) and --busy keeps a core busy meanwhile.
- The desktop sees a stream of "disco" called "disco music loop", heard within START_WITHIN of the
  player's start.
- A server restarted while the music plays, and one started after it: the music is heard again
  within 2 s of the server, going on with the loop, and the player says "sound lost" and "sound
  back". ALSA offers a device meanwhile, which the player must leave for the server's.
"""
import ctypes
import os
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import stop_process, wait_until  # noqa: E402
from check_seams import DEVICE_BUFFER, VOICES, compare, ffmpeg  # noqa: E402
from sound_server import FRAME, Server  # noqa: E402

CAPTURE = os.path.abspath(sys.argv.pop(1))
BACK_WITHIN = 2.0  # seconds from a server's return to the music's
START_WITHIN = 1.5  # seconds from the player's start to the music's


def option(name, convert):
    if name in sys.argv:
        at = sys.argv.index(name)
        value = convert(sys.argv[at + 1]) if convert else True
        del sys.argv[at:at + (2 if convert else 1)]
        return value
    return None


SECONDS = option("--seconds", float) or 8.0  # of the loop; CI's short run
BUSY = bool(option("--busy", None))


class Player:
    """music_capture playing `path` in a loop in the server's environment, its lines timed."""

    def __init__(self, path, env):
        self.started = time.monotonic()
        self.process = subprocess.Popen([CAPTURE, path, "3600"], env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.lines = []  # (monotonic time, line)
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()

    def read(self):
        for line in self.process.stderr:
            self.lines.append((time.monotonic(), line.strip()))

    def said(self, prefix):
        return [at for at, line in self.lines if line.startswith(prefix)]

    def stop(self):
        self.process.stdin.close()  # its input ends: it stops
        out = self.process.stdout.read()
        self.process.wait(60)
        self.reader.join(10)
        self.process.stdout.close()
        self.process.stderr.close()
        return out


def opened(path):
    """A descriptor that turns readable once `path` is opened (an inotify watch)."""
    libc = ctypes.CDLL(None)
    watch = libc.inotify_init()
    libc.inotify_add_watch(watch, path.encode(), 0x20)  # IN_OPEN
    return watch


def sound_in(recording):
    """Bytes from the first sound in the recording to the last, 0 before it exists."""
    if not os.path.exists(recording):
        return 0
    with open(recording, "rb") as f:
        return len(f.read().strip(b"\0"))


def silent_gaps(recording, least_frames=32):
    """Runs of at least `least_frames` frames of digital silence between the first sound and
    the last: through a resampler the track never holds one, a device that ran dry does."""
    samples = memoryview(recording)[:len(recording) - len(recording) % FRAME].cast("Q")  # a frame each
    nonzero = [i for i in range(len(samples)) if samples[i]]
    if not nonzero:
        return [], 0
    gaps, last = [], nonzero[0]
    for i in nonzero[1:]:
        if i - last > least_frames:
            gaps.append((last + 1, i - last - 1))
        last = i
    return gaps, nonzero[-1] - nonzero[0] + 1


class SoundServers(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="disco-sound-")
        # Two seconds of chirps and noise, as AAC in MP4 like the demo's own music.
        cls.song = os.path.join(cls.folder, "song.m4a")
        ffmpeg("-y", "-f", "lavfi", "-i", f"aevalsrc={'|'.join(VOICES[:2])}:s=44100", "-af",
               "atrim=end_sample=88200", "-c:a", "aac", cls.song)
        cls.track = ffmpeg("-i", cls.song, "-f", "f32le", "-")[:88200 * FRAME]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def server(self, kind):
        folder = tempfile.mkdtemp(prefix=kind + "-", dir=self.folder)
        server = Server(kind, folder)
        self.addCleanup(server.stop)
        return server

    def check_music(self, server, recording, what, anywhere):
        """The recording holds the music and no dropout: sample for sample through PulseAudio."""
        with open(recording, "rb") as f:
            heard = f.read()
        if server.kind == "pulseaudio":
            problems, passes, _ = compare(heard, self.track, FRAME, False, int(DEVICE_BUFFER * 44100), anywhere)
            self.assertEqual(problems, [], f"{what} through {server.kind}")
            self.assertGreater(passes, 1.0, f"{what}: not round a seam through {server.kind}")
        else:
            gaps, sounding = silent_gaps(heard)
            self.assertEqual(gaps, [], f"{what}: gaps (frame, frames) through {server.kind}")
            self.assertGreater(sounding, 1.1 * len(self.track) // FRAME * server.rate / 44100,
                               f"{what}: not round a seam through {server.kind}")

    def record_until(self, server, player, recording, seconds, since=0.0, latency=500):
        """Records until `seconds` of sound are in, however long a busy machine takes; returns
        the seconds to the first sound from `since`, or from the sink's first sound if later (a
        PulseAudio null sink just loaded first sounds 2 s on, whatever plays on it)."""
        recorder = server.record(recording, latency)
        try:
            self.wait_for_sound(server, player, recording, seconds)
        finally:
            stop_process(recorder)
        return server.heard(recorder, recording) - max(since, recorder.started)

    @staticmethod
    def wait_for_sound(server, player, recording, seconds):
        """Waits until the recording holds `seconds` of sound, however long a busy machine takes."""
        wait_until(lambda: sound_in(recording) >= seconds * server.rate * FRAME, f"{seconds} s of music through {server.kind}",
                   timeout=60 + 3 * seconds, gave_up=lambda: player.process.poll() is not None and "player ended")

    def the_loop_plays_without_dropouts(self, kind):
        server = self.server(kind)
        server.start()
        recording = os.path.join(server.folder, "loop.raw")
        recorder = server.record(recording)  # from before the first sample on
        busy = subprocess.Popen([sys.executable, "-c", "while True: pass"]) if BUSY else None
        player = Player(self.song, server.env)
        try:
            self.wait_for_sound(server, player, recording, SECONDS)
            streams = server.pactl("list", "sink-inputs")
        finally:
            stop_process(busy)
            stop_process(recorder)
            player.stop()
        self.check_music(server, recording, "the loop", anywhere=False)
        for name in ('application.name = "disco"', 'media.name = "disco music loop"'):
            self.assertIn(name, streams or "", f"the stream through {kind}")
        start = server.heard(recorder, recording) - player.started
        self.assertLess(start, START_WITHIN, f"{kind}: the music started {start:.2f} s after the player")
        print(f"{kind}: {SECONDS:.0f} s of the loop, no dropout{' with a core busy' if BUSY else ''}, "
              f"heard {start:.2f} s after the player's start", flush=True)

    def music_back(self, kind, late):
        server = self.server(kind)
        if not late:
            with open(os.path.join(server.folder, ".asoundrc"), "w") as f:
                f.write("pcm.!default { type null }\n")  # the card, free while the server is away
            server.start()
        player = Player(self.song, server.env)
        try:
            if late:
                wait_until(lambda: player.said("no sound: "), "'no sound' from a player without a server")
            else:
                self.record_until(server, player, os.path.join(server.folder, "before.raw"), 0.5)
                looked = opened(server.env["PULSE_CLIENTCONFIG"])  # libpulse reads it as the player looks
                server.stop()
                wait_until(lambda: player.said("sound lost: "), f"'sound lost' once {kind} stopped")
                wait_until(lambda: select.select([looked], [], [], 0)[0], f"the player looking while {kind} is away")
                os.close(looked)
            server.start()
            ready = time.monotonic()
            recording = os.path.join(server.folder, "after.raw")
            latency = self.record_until(server, player, recording, 2.5, since=ready, latency=50)
        finally:
            player.stop()
        self.assertLess(latency, BACK_WITHIN, f"{kind}: the music came back {latency:.2f} s after the server")
        self.check_music(server, recording, "the music after the server came back", anywhere=True)
        said = [line for _, line in player.lines if line.startswith(("sound", "no sound"))]
        self.assertEqual(len(said), 2, said)  # one line as it goes, one as it comes back
        print(f"{kind}: music back {latency:.2f} s after a {'late start' if late else 'restart'}", flush=True)

    def test_pulseaudio_loop(self):
        self.the_loop_plays_without_dropouts("pulseaudio")

    def test_pipewire_loop(self):
        self.the_loop_plays_without_dropouts("pipewire")

    def test_pulseaudio_restart_and_late_start(self):
        self.music_back("pulseaudio", late=False)
        self.music_back("pulseaudio", late=True)

    def test_pipewire_restart_and_late_start(self):
        self.music_back("pipewire", late=False)
        self.music_back("pipewire", late=True)


if __name__ == "__main__":
    unittest.main()
