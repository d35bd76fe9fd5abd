#!/usr/bin/env python3
"""Records what the music player sends to the sound device and checks every seam.

Usage: check_seams.py MUSIC_CAPTURE fixtures
       check_seams.py MUSIC_CAPTURE FILE --samples N [--rate R] [--delay MS]

SDL's disk audio driver writes the device's samples (32-bit float at the file's own rate and
channel count) to a file. That must hold silence until play(), then the track, i.e. the first
N samples ffmpeg decodes (it also hands out the encoder's end padding), over and over.
"fixtures" makes short files of several codecs, rates and channel counts and plays them in real
time round two seams (one once: exactly one pass, then silence). --delay speeds the driver up:
milliseconds per device buffer instead of its real duration.
"""
import argparse
import concurrent.futures
import os
import subprocess
import sys
import tempfile

VOICES = [  # chirps, tones and a little noise: no two stretches alike
    "0.4*sin(2*PI*440*t)+0.2*sin(2*PI*(97+300*t)*t)+0.05*random(0)", "0.3*sin(2*PI*330*t+1)+0.1*random(1)",
    "0.2*sin(2*PI*550*t+2)", "0.1*sin(2*PI*60*t)", "0.25*sin(2*PI*(200+100*t)*t)", "0.15*random(2)-0.07"]

# name, rate, samples, channels, encoder, once. ffmpeg's MP4 files state their length in whole
# milliseconds, so theirs are whole milliseconds long.
FIXTURES = [
    ("aac44k_stereo.m4a", 44100, 44100, 2, ["-c:a", "aac"], False),
    ("aac48k_mono.m4a", 48000, 36000, 1, ["-c:a", "aac"], False),
    ("mp3_22k_mono.mp3", 22050, 22050, 1, ["-c:a", "libmp3lame"], False),
    ("flac96k_stereo.flac", 96000, 48000, 2, [], False),
    ("wav8k_mono.wav", 8000, 8000, 1, [], False),
    ("vorbis32k_stereo.ogg", 32000, 32000, 2, ["-c:a", "libvorbis"], False),
    ("opus48k_stereo.opus", 48000, 48000, 2, ["-c:a", "libopus"], False),
    ("flac48k_6ch.flac", 48000, 24000, 6, [], False),
    ("wav44k_tiny.wav", 44100, 882, 2, [], False),  # kept in memory and replayed
    ("aac44k_once.m4a", 44100, 30870, 2, ["-c:a", "aac"], True),
]


def ffmpeg(*arguments):
    return subprocess.run(["ffmpeg", "-v", "error", *arguments], check=True, capture_output=True).stdout


def channels_of(path):
    return int(subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                               "stream=channels", "-of", "csv=p=0", path],
                              check=True, capture_output=True, text=True).stdout)


def problems_in(recording, track, frame_bytes, once):
    start = recording.find(track[:64 * frame_bytes])
    while start >= 0 and start % frame_bytes:
        start = recording.find(track[:64 * frame_bytes], start + 1)
    if start < 0:
        return ["the track's first samples never reach the device"]
    if recording[:start].strip(b"\0"):
        return ["sound before the track's first sample"]
    body = recording[start:len(recording) - (len(recording) - start) % frame_bytes]
    frames, played = len(track) // frame_bytes, len(body) // frame_bytes
    if played < (1.1 if once else 2.1) * frames:
        return [f"only {played / frames:.2f} passes recorded"]
    expected = track + bytes(len(body) - len(track)) if once else (track * (played // frames + 1))[:len(body)]
    if body == expected:
        return []
    at = next(i for i in range(0, len(body), frame_bytes) if body[i:i + frame_bytes] != expected[i:i + frame_bytes])
    frame = at // frame_bytes
    what = "silence" if not body[at:at + frame_bytes].strip(b"\0") else "other samples"
    return [f"pass {frame // frames + 1}, frame {frame % frames} of {frames}: {what} instead of the track's"]


def check(capture, path, rate, samples, once=False, delay_ms=None, folder="."):
    channels = channels_of(path)
    track = ffmpeg("-i", path, "-f", "f32le" if sys.byteorder == "little" else "f32be", "-")
    if len(track) < samples * 4 * channels:
        return [f"{path}: ffmpeg decodes only {len(track) // (4 * channels)} samples"]
    track = track[:samples * 4 * channels]
    recording = os.path.join(folder, os.path.basename(path) + ".raw")
    env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=recording)
    speed = 1.0
    if delay_ms:
        env["SDL_DISKAUDIODELAY"] = str(delay_ms)
        speed = 2048 / rate * 1000 / delay_ms  # the player asks for buffers of 2048 at 44.1 kHz
    seconds = ((1.3 if once else 2.5) * samples / rate + 0.8) / speed  # + head start and silence
    run = subprocess.run([capture, path, f"{seconds:.2f}"] + (["once"] if once else []), env=env,
                         capture_output=True, text=True, timeout=seconds + 60)
    if "player open" not in run.stdout:
        return [f"{path}: no player: {run.stdout} {run.stderr}"]
    with open(recording, "rb") as f:
        problems = problems_in(f.read(), track, 4 * channels, once)
    costs = " ".join(run.stdout.split("\n")[1:]).strip()
    print(f"{os.path.basename(path)}: {samples} samples, {rate} Hz x {channels}; {costs}:",
          "FAIL" if problems else "ok")
    return [f"{os.path.basename(path)}: {p}" for p in problems]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("capture")
    parser.add_argument("what")
    parser.add_argument("--samples", type=int)
    parser.add_argument("--rate", type=int, default=44100)
    parser.add_argument("--delay", type=float)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        if args.what != "fixtures":
            problems = check(args.capture, args.what, args.rate, args.samples, delay_ms=args.delay, folder=folder)
        else:
            def one(fixture):
                name, rate, samples, channels, encoder, once = fixture
                path = os.path.join(folder, name)
                ffmpeg("-y", "-f", "lavfi", "-i", f"aevalsrc={'|'.join(VOICES[:channels])}:s={rate}",
                       "-af", f"atrim=end_sample={samples}", *encoder, path)
                return check(args.capture, path, rate, samples, once, folder=folder)
            with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
                problems = sum(pool.map(one, FIXTURES), [])
    for p in problems:
        print("FAIL:", p)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
