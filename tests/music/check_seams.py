#!/usr/bin/env python3
"""Records what the music player sends to the sound device and checks every seam.

Usage: check_seams.py MUSIC_CAPTURE fixtures
       check_seams.py MUSIC_CAPTURE FILE --samples N [--rate R] [--delay MS]

SDL's disk audio driver writes the device's samples (32-bit float at the file's own rate and
channel count) to a file. That must hold silence until play(), then the track, i.e. the first
N samples ffmpeg decodes (it also hands out the encoder's end padding), over and over.
"fixtures" makes short files of several codecs, rates and channel counts and plays them in real
time round two seams (one once: exactly one pass, then silence). --delay speeds the driver up:
milliseconds per device buffer instead of its real duration. The player plays until the recording
holds those passes, however long a busy machine takes. A gap of silence anywhere (the device ran
dry: a dropout) fails, at a seam or mid-pass.
"""
import argparse
import concurrent.futures
import os
import subprocess
import sys
import tempfile
import time

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


def expected(track, at, count, once):
    """`count` bytes of what the device should get from byte `at` on: the track over and over,
    or once and then silence."""
    out = b""
    while len(out) < count:
        here = at + len(out)
        if once and here >= len(track):
            return out + bytes(count - len(out))
        out += track[here % len(track):here % len(track) + count - len(out)]
    return out


NOT_YET = "the track's first samples never reach the device"
DEVICE_BUFFER = 16384 / 44100  # seconds the player asks of the device per buffer


def first_difference(a, b, frame_bytes):
    """Byte offset of the first frame where a and b differ (they do)."""
    lo, hi = 0, len(a)  # a[:lo] == b[:lo], a[:hi] != b[:hi]
    while hi - lo > 1:
        mid = (lo + hi) // 2
        lo, hi = (mid, hi) if a[:mid] == b[:mid] else (lo, mid)
    return lo - lo % frame_bytes


def track_start(recording, track, frame_bytes, anywhere):
    """(byte offset in the recording where the track is first heard, byte offset in the track
    there), or None. The track is found from its first sample on, or, `anywhere`, from the first
    sound in the recording on (a player that went on after its sound server came back)."""
    if anywhere:
        at = len(recording) - len(recording.lstrip(b"\0"))
        at -= at % frame_bytes
        key = recording[at:at + 64 * frame_bytes]
        into = track.find(key)
        while into >= 0 and into % frame_bytes:
            into = track.find(key, into + 1)
        return (at, into) if len(key) == 64 * frame_bytes and into >= 0 else None
    start = recording.find(track[:64 * frame_bytes])
    while start >= 0 and start % frame_bytes:
        start = recording.find(track[:64 * frame_bytes], start + 1)
    return (start, 0) if start >= 0 else None


def compare(recording, track, frame_bytes, once, seam_frames, anywhere=False):
    """(problems, passes of the track heard, gaps). Silence until the track starts, then the
    track, over and over (or once). A gap of silence after which the track goes on where it was
    (the device ran dry: a dropout a listener hears) is a problem of its own, and the
    comparison goes on after it; anything else ends it."""
    found = track_start(recording, track, frame_bytes, anywhere)
    if found is None:
        return [NOT_YET], 0.0, 0
    start, heard = found  # bytes into the recording; into the expected stream
    if recording[:start].strip(b"\0"):
        return ["sound before the track's first sample"], 0.0, 0
    body = recording[start:len(recording) - (len(recording) - start) % frame_bytes]
    frames = len(track) // frame_bytes
    at, first, gaps = 0, heard, []  # bytes into body
    while at < len(body):
        count = len(body) - at if once and heard >= len(track) else min(len(body) - at, len(track) - heard % len(track))
        want = expected(track, heard, count, once)
        if body[at:at + count] == want:
            at, heard = at + count, heard + count
            continue
        step = first_difference(body[at:at + count], want, frame_bytes)
        at, heard = at + step, heard + step
        zeros = (len(body) - at) - len(body[at:].lstrip(b"\0"))
        zeros -= zeros % frame_bytes
        frame = heard // frame_bytes
        if zeros == len(body) - at:
            break  # the player was stopped in a gap: nothing after it to be out of place
        if zeros:
            after = min(len(body) - at - zeros, 4096 * frame_bytes)
            if body[at + zeros:at + zeros + after] == expected(track, heard, after, once):
                where = "at the seam" if min(frame % frames, frames - frame % frames) <= seam_frames else \
                    f"mid-pass, at frame {frame % frames} of {frames}"
                gaps.append(f"pass {frame // frames + 1}: {zeros // frame_bytes} frames of silence {where}")
                at += zeros
                continue
        what = "silence" if not body[at:at + frame_bytes].strip(b"\0") else "other samples"
        return gaps + [f"pass {frame // frames + 1}, frame {frame % frames} of {frames}: {what} instead of the track's"], \
            (heard - first) / len(track), len(gaps)
    passes = len(body) / len(track) if once else (heard - first) / len(track)
    return gaps, passes, len(gaps)


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
        speed = DEVICE_BUFFER * 1000 / delay_ms  # seconds of sound per second
    # Plays until the recording holds enough passes (a busy machine makes that take longer),
    # then closes the player's input; the deadline only ends a player that never gets there.
    needed = 1.1 if once else 2.1
    seam_frames = int(DEVICE_BUFFER * rate)  # a device buffer either side of a seam
    deadline = time.monotonic() + 10 * ((needed + 0.2) * samples / rate / speed) + 60
    capture_run = subprocess.Popen([capture, path, str(deadline - time.monotonic())] + (["once"] if once else []),
                                   env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    goal = (needed + 0.1) * len(track)
    while capture_run.poll() is None and time.monotonic() < deadline:
        if os.path.exists(recording) and os.path.getsize(recording) >= goal:
            with open(recording, "rb") as f:
                heard = f.read()
            problems, passes, _ = compare(heard, track, 4 * channels, once, seam_frames)
            if problems == [NOT_YET]:
                # Only the silence before play() so far: a whole device buffer of it can come
                # first. Wait for more; the final check still fails a track that never comes.
                goal = len(heard) + len(track)
                time.sleep(0.1)
                continue
            if problems or passes >= needed:
                break
            goal += (needed - passes + 0.05) * len(track)
        time.sleep(0.1)
    out, err = capture_run.communicate(timeout=120)  # ends the capture's input
    if "player open" not in out:
        return [f"{path}: no player: {out} {err}"]
    with open(recording, "rb") as f:
        problems, passes, gaps = compare(f.read(), track, 4 * channels, once, seam_frames)
    if not problems and passes < needed:
        problems = [f"only {passes:.2f} passes recorded"]
    costs = " ".join(out.split("\n")[1:]).strip()
    print(f"{os.path.basename(path)}: {samples} samples, {rate} Hz x {channels}; {costs};"
          f" {gaps} gaps:", "FAIL" if problems else "ok")
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
