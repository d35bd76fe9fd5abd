#!/usr/bin/env python3
"""disco-capture --video end to end: what ffprobe sees, frames against the PNG capture, the
music against its decoded loop across a seam, bad input, and the file in a browser's <video>.

    check_video.py DISCO_CAPTURE [unittest arguments, e.g. -k Browser]
    check_video.py DISCO_CAPTURE --long   (the 60 s 1280x720 clip instead of a short one)

The short clip starts two seconds before the music's first seam (the track is 64 s long), so
every check sees music from both sides of it.
"""
import array
import functools
import http.server
import json
import math
import os
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Chromium  # noqa: E402

BINARY = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "disco-capture"
LONG = "--long" in sys.argv
if LONG:
    sys.argv.remove("--long")
MUSIC = os.path.join(os.path.dirname(BINARY), "resources", "tralmix.m4a")
TRACK_SAMPLES, RATE = 2822400, 44100  # one pass of the music
CLIP = dict(size=(1280, 720), fps=60, start=30.0, duration=60.0, seed=5) if LONG else \
    dict(size=(640, 360), fps=30, start=62.0, duration=4.0, seed=5)
PATIENCE = 600 if LONG else 180  # seconds any one run may take on busy shared cores


def capture(*args, **kwargs):
    return subprocess.run([BINARY, *map(str, args)], capture_output=True, text=True, timeout=PATIENCE, **kwargs)


def export(path, clip=CLIP, **kwargs):
    w, h = clip["size"]
    return capture("--video", path, "--duration", clip["duration"], "--start", clip["start"], "--fps", clip["fps"],
                   "--size", f"{w}x{h}", "--seed", clip["seed"], **kwargs)


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-print_format", "json", "-show_streams", "-show_format", path],
                         capture_output=True, text=True, check=True).stdout
    return json.loads(out)


def top_level_boxes(path):
    boxes, at = [], 0
    with open(path, "rb") as f:
        while True:
            f.seek(at)
            head = f.read(8)
            if len(head) < 8:
                return boxes
            size, kind = struct.unpack(">I4s", head)
            if size == 1:
                size = struct.unpack(">Q", f.read(8))[0]
            boxes.append(kind.decode("latin-1"))
            if size < 8:
                return boxes
            at += size


def rgb(*ffmpeg_input):
    return subprocess.run(["ffmpeg", "-v", "error", *ffmpeg_input, "-frames:v", "1", "-f", "rawvideo",
                           "-pix_fmt", "rgb24", "-"], capture_output=True, check=True).stdout


def luma_psnr(a, b):
    """PSNR of the brightness (BT.709 weights) of two RGB pictures. Not of R, G and B: yuv420p
    keeps one colour for every 2 x 2 pixels, and on this scene's saturated tiles with their thin
    dark edges that alone costs the colour channels some 10 dB, encoder or none."""
    assert len(a) == len(b) and a, (len(a), len(b))
    squared = 0.0
    for i in range(0, len(a), 3):
        d = 0.2126 * (a[i] - b[i]) + 0.7152 * (a[i + 1] - b[i + 1]) + 0.0722 * (a[i + 2] - b[i + 2])
        squared += d * d
    return 99.0 if squared == 0 else 10 * math.log10(255 * 255 * (len(a) // 3) / squared)


def pcm(path):
    """Interleaved stereo float samples at 44.1 kHz, as ffmpeg decodes the file."""
    out = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "f32le", "-ac", "2", "-ar", str(RATE), "-"],
                         capture_output=True, check=True).stdout
    samples = array.array("f")
    samples.frombytes(out)
    if sys.byteorder != "little":
        samples.byteswap()
    return samples


def snr(track, got, first, last, lag):
    """dB of the recorded samples first..last against the loop's, the loop moved by `lag`."""
    signal_power = noise = 0.0
    start = round(CLIP["start"] * RATE)
    for i in range(first, last):
        at = 2 * ((start + i + lag) % TRACK_SAMPLES)
        for ch in range(2):
            x = track[at + ch]
            signal_power += x * x
            noise += (x - got[2 * i + ch]) ** 2
    return 99.0 if noise == 0 else 10 * math.log10(signal_power / noise)


def reference_png(folder, index):
    path = os.path.join(folder, f"ref{index}.png")
    w, h = CLIP["size"]
    t = CLIP["start"] + index / CLIP["fps"]
    run = capture("--size", f"{w}x{h}", "--seed", CLIP["seed"], "--time", repr(t), "--output", path)
    assert run.returncode == 0, run.stderr
    return path


class WithClip(unittest.TestCase):
    """Checks of one export, made once for the class."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="disco-video-")
        cls.path = os.path.join(cls.folder, "clip.mp4")
        started = time.monotonic()
        cls.made = export(cls.path)
        cls.seconds = time.monotonic() - started

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)


class File(WithClip):
    def test_streams_size_frames_durations_and_index_in_front(self):
        self.assertEqual(self.made.returncode, 0, self.made.stderr)
        self.assertEqual([n for n in os.listdir(self.folder) if not n.endswith(".png")], ["clip.mp4"])
        info = probe(self.path)
        video = [s for s in info["streams"] if s["codec_type"] == "video"]
        audio = [s for s in info["streams"] if s["codec_type"] == "audio"]
        self.assertEqual(len(video), 1)
        self.assertEqual(len(audio), 1)
        v, a = video[0], audio[0]
        w, h = CLIP["size"]
        self.assertEqual((v["codec_name"], v["pix_fmt"], v["width"], v["height"]), ("h264", "yuv420p", w, h))
        self.assertEqual((a["codec_name"], int(a["sample_rate"]), a["channels"]), ("aac", RATE, 2))
        self.assertEqual(int(v["nb_frames"]), round(CLIP["duration"] * CLIP["fps"]))
        self.assertAlmostEqual(float(v["duration"]), CLIP["duration"], delta=0.5 / CLIP["fps"])
        self.assertAlmostEqual(float(a["duration"]), CLIP["duration"], delta=0.5 / CLIP["fps"])
        boxes = top_level_boxes(self.path)
        self.assertLess(boxes.index("moov"), boxes.index("mdat"), boxes)  # plays while it downloads
        print(f"clip: {CLIP}, made in {self.seconds:.1f} s, {os.path.getsize(self.path)} bytes")

    def test_frames_match_the_png_capture(self):
        w, h = CLIP["size"]
        last = round(CLIP["duration"] * CLIP["fps"]) - 1
        for index in (0, last // 2, last):
            decoded = rgb("-i", self.path, "-vf", f"select=eq(n\\,{index})")
            wanted = rgb("-i", reference_png(self.folder, index))
            self.assertEqual(len(decoded), w * h * 3)
            quality = luma_psnr(decoded, wanted)
            print(f"frame {index}: PSNR {quality:.1f} dB against the PNG capture")
            self.assertGreaterEqual(quality, 35.0, f"frame {index}")

    def test_music_is_the_loop_through_the_seam(self):
        track = pcm(MUSIC)[:2 * TRACK_SAMPLES]
        got = pcm(self.path)
        self.assertGreaterEqual(len(got) // 2, round(CLIP["duration"] * RATE))
        seam = TRACK_SAMPLES - round(CLIP["start"] * RATE) % TRACK_SAMPLES
        window = 4096
        # AAC is lossy, so the samples are near, not equal. A sample dropped or repeated anywhere
        # would move everything after it against the loop: there the best match would be moved too.
        # (The encoder's very first frame is rough: the first window starts after it.)
        for name, first in (("the start", 2048), ("before the seam", seam - window), ("after the seam", seam)):
            matches = {lag: snr(track, got, first, first + window, lag) for lag in range(-2, 3)}
            best = max(matches, key=matches.get)
            print(f"music at {name}: {matches[0]:.1f} dB against the loop (moved a sample: "
                  f"{max(matches[-1], matches[1]):.1f} dB)")
            self.assertEqual(best, 0, f"{name}: {matches}")
            self.assertGreater(matches[0], 15.0, name)


class BadInput(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="disco-video-bad-")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.folder, name)

    def assertRefused(self, run, says):
        self.assertNotEqual(run.returncode, 0, run.stderr)
        self.assertIn(says, run.stderr)
        # Never a file that looks complete but isn't, nor any leftover beside it.
        left = [n for n in os.listdir(self.folder) if n.endswith((".mp4", ".part")) and
                os.path.isfile(os.path.join(self.folder, n))]
        self.assertEqual(left, [])

    def test_refused_before_anything_is_written(self):
        os.mkdir(self.path("folder.mp4"))
        with open(self.path("plain-file"), "w"):
            pass
        short = dict(CLIP, duration=0.5, start=0.0, size=(64, 36))
        cases = [
            (["--video", self.path("a.avi"), "--duration", "1"], "unknown extension"),
            (["--video", self.path("folder.mp4"), "--duration", "1"], "is a directory"),
            (["--video", self.path("plain-file/a.mp4"), "--duration", "1"], "cannot write"),
            (["--video", self.path("no/such/folder/a.mp4"), "--duration", "1"], "cannot write"),
            (["--video", self.path("a.mp4"), "--duration", "0"], "--duration"),
            (["--video", self.path("a.mp4"), "--duration", "-2"], "--duration"),
            (["--video", self.path("a.mp4"), "--duration", "1", "--size", "0x100"], "--size"),
            (["--video", self.path("a.mp4"), "--duration", "1", "--size", "1x1"], "at least 2x2"),
            (["--video", self.path("a.mp4"), "--duration", "1", "--size", "20000x100"], "--size"),
            (["--video", self.path("a.mp4")], "--duration"),
        ]
        for args, says in cases:
            with self.subTest(args=args):
                self.assertRefused(capture(*args), says)
        os.rmdir(self.path("folder.mp4"))
        # Odd sizes are rounded down to even ones, and the log says so.
        run = export(self.path("odd.mp4"), dict(short, size=(65, 37)))
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertIn("65x37 rounded down to 64x36", run.stderr)
        stream = probe(self.path("odd.mp4"))["streams"][0]
        self.assertEqual((stream["width"], stream["height"]), (64, 36))

    def test_help_version_and_unknown_options(self):
        run = capture("--help")
        self.assertEqual((run.returncode, run.stderr), (0, ""))
        self.assertIn("--video FILE.mp4 --duration SECONDS", run.stdout)
        run = capture("--version")
        self.assertEqual(run.returncode, 0)
        self.assertRegex(run.stdout, r"^disco-capture \d+\.\d+")
        run = capture("--bogus")
        self.assertEqual((run.returncode, run.stdout), (2, ""))
        self.assertIn("unknown option --bogus", run.stderr)
        self.assertIn("usage:", run.stderr)

    def test_a_full_disk_or_an_interruption_leaves_no_file(self):
        def small_disk():  # files may not grow past 200 kB: writes then fail as on a full disk
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (200_000, 200_000))
        big = dict(CLIP, duration=3.0, start=0.0, size=(640, 360))
        self.assertRefused(export(self.path("full.mp4"), big, preexec_fn=small_disk), "cannot write")

        process = subprocess.Popen([BINARY, "--video", self.path("stop.mp4"), "--duration", "600", "--size", "64x36"],
                                   stderr=subprocess.PIPE, text=True)
        for line in process.stderr:  # stopped once it is under way
            if "frames" in line:
                break
        process.send_signal(signal.SIGINT)
        _, err = process.communicate(timeout=PATIENCE)
        self.assertRefused(subprocess.CompletedProcess([], process.returncode, "", err), "interrupted")

    def test_missing_or_damaged_music_gives_a_silent_video(self):
        """A missing image along with the music stops nothing either."""
        # A copy of the program with resources of its own.
        for damage in ("missing", "damaged"):
            with self.subTest(music=damage):
                home = os.path.join(self.folder, damage)
                shutil.copytree(os.path.dirname(MUSIC), os.path.join(home, "resources"))
                shutil.copy(BINARY, home)
                music = os.path.join(home, "resources", "tralmix.m4a")
                if damage == "missing":
                    os.remove(music)
                    os.remove(os.path.join(home, "resources", "tile.png"))  # drawn untextured, as the demo does
                else:
                    with open(music, "r+b") as f:
                        f.truncate(os.path.getsize(music) // 2)
                target = os.path.join(home, "silent.mp4")
                run = subprocess.run([os.path.join(home, os.path.basename(BINARY)), "--video", target,
                                      "--duration", "0.5", "--size", "64x36"],
                                     capture_output=True, text=True, timeout=PATIENCE)
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertEqual(run.stderr.count("no music"), 1, run.stderr)
                kinds = [s["codec_type"] for s in probe(target)["streams"]]
                self.assertEqual(kinds, ["video"])


def peak_resident_mb(*args):
    process = subprocess.Popen([BINARY, *map(str, args)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    assert os.waitstatus_to_exitcode(status) == 0, args
    return usage.ru_maxrss / 1024


class Memory(unittest.TestCase):
    def test_flat_however_late_it_starts(self):
        # Steps up to the start clear the whole frame each, so the frame is a large one.
        with tempfile.TemporaryDirectory() as folder:
            target = os.path.join(folder, "m.mp4")
            early = peak_resident_mb("--video", target, "--size", "1280x720", "--start", 30, "--duration", 1)
            late = peak_resident_mb("--video", target, "--size", "1280x720", "--start", 120, "--duration", 1)
        print(f"peak resident for 1 s of video: {early:.0f} MB from 30 s on, {late:.0f} MB from 120 s on")
        self.assertLess(late - early, 64)


PAGE = """<!doctype html><meta charset="utf-8"><video src="clip.mp4" preload="auto" muted></video>
<script>
async function check(index, fps) {
  const video = document.querySelector("video");
  const event = (name) => new Promise((ok, bad) => {
    video.addEventListener(name, ok, {once: true});
    video.addEventListener("error", () => bad(new Error("video error " + video.error.code + " " + video.error.message)),
                           {once: true});
  });
  if (video.readyState < 1) await event("loadedmetadata");
  const seeked = event("seeked");
  video.currentTime = (index + 0.5) / fps;  // the middle of the frame
  await seeked;
  const canvas = document.createElement("canvas");
  canvas.width = video.videoWidth;
  canvas.height = video.videoHeight;
  const g = canvas.getContext("2d", {willReadFrequently: true});
  g.drawImage(video, 0, 0);
  const frame = g.getImageData(0, 0, canvas.width, canvas.height).data;
  const image = new Image();
  image.src = "ref" + index + ".png";
  await image.decode();
  g.drawImage(image, 0, 0);
  const wanted = g.getImageData(0, 0, canvas.width, canvas.height).data;
  let squared = 0, count = 0;
  for (let i = 0; i < frame.length; i += 4) {
    // Brightness, as in luma_psnr().
    const d = 0.2126 * (frame[i] - wanted[i]) + 0.7152 * (frame[i + 1] - wanted[i + 1]) +
              0.0722 * (frame[i + 2] - wanted[i + 2]);
    squared += d * d;
    ++count;
  }
  // Then it plays, pictures and sound.
  video.currentTime = 0;
  await video.play();
  while (video.currentTime < 0.5) await new Promise((ok) => setTimeout(ok, 50));
  video.pause();
  return {duration: video.duration, width: video.videoWidth, height: video.videoHeight,
          psnr: 10 * Math.log10(255 * 255 * count / squared),
          videoBytes: video.webkitVideoDecodedByteCount, audioBytes: video.webkitAudioDecodedByteCount};
}
</script>"""


class Browser(WithClip):
    def test_plays_in_chromium_video_element(self):
        self.assertEqual(self.made.returncode, 0, self.made.stderr)
        self.assertIsNotNone(shutil.which("chromium"), "no chromium (scripts/deps.sh installs it)")
        with open(os.path.join(self.folder, "page.html"), "w") as f:
            f.write(PAGE)
        reference_png(self.folder, 0)
        handler = functools.partial(Quiet, directory=self.folder)
        server = QuietServer(("127.0.0.1", 0), handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        try:
            with Chromium() as browser:
                tab = browser.open(f"http://127.0.0.1:{server.server_address[1]}/page.html")
                for _ in range(100):  # the page's script is there once the page has loaded
                    if browser.evaluate(tab, "typeof check") == "function":
                        break
                    time.sleep(0.1)
                seen = browser.evaluate(tab, f"check(0, {CLIP['fps']})", deadline=PATIENCE)
        finally:
            server.shutdown()
        print(f"chromium: {seen}")
        self.assertAlmostEqual(seen["duration"], CLIP["duration"], delta=0.05)
        self.assertEqual([seen["width"], seen["height"]], list(CLIP["size"]))
        self.assertGreaterEqual(seen["psnr"], 35.0)
        self.assertGreater(seen["videoBytes"], 0)
        self.assertGreater(seen["audioBytes"], 0)


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class QuietServer(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        pass  # the browser drops connections it no longer needs


if __name__ == "__main__":
    unittest.main(verbosity=2)
