#!/usr/bin/env python3
"""Checks the music loop: its length in the container and its seam.

Usage: check_music.py length|seam FILE --bars B --bpm T [--ffprobe P] [--ffmpeg P]

length: AAC-LC, 44.1 kHz stereo, >= 128 kbit/s, in an MP4 container whose
        track lasts exactly B bars at T beats per minute, and which decodes to
        at least that many samples.
seam:   played round and round, the step from the loop's last sample to its
        first is no bigger than the music's usual sample-to-sample change,
        and neither end of the loop is silent.
"""
import argparse
import array
import json
import math
import subprocess
import sys

from checklist import check, finish

RATE = 44100
def loop_samples(args):
    n = args.bars * 4 * 60 * RATE / args.bpm
    if n != int(n):
        sys.exit(f"{args.bars} bars at {args.bpm} BPM is no whole number of samples")
    return int(n)


def probe(args):
    out = subprocess.run([args.ffprobe, "-v", "error", "-print_format", "json", "-show_streams",
                          "-show_format", args.file], check=True, capture_output=True, text=True)
    return json.loads(out.stdout)


def decode(args):
    """Decoded samples as 16-bit stereo, interleaved."""
    out = subprocess.run([args.ffmpeg, "-v", "error", "-i", args.file, "-f", "s16le", "-ac", "2",
                          "-ar", str(RATE), "-"], check=True, capture_output=True).stdout
    pcm = array.array("h")
    pcm.frombytes(out)
    if sys.byteorder == "big":
        pcm.byteswap()
    return pcm


def length(args):
    n = loop_samples(args)
    info = probe(args)
    audio = [s for s in info["streams"] if s["codec_type"] == "audio"]
    if not check(len(audio) == 1, f"want one audio stream, found {len(audio)}"):
        return
    s = audio[0]
    check(s["codec_name"] == "aac" and s.get("profile") == "LC",
          f"codec {s['codec_name']} {s.get('profile')}, want AAC LC")
    check(int(s["sample_rate"]) == RATE and s["channels"] == 2,
          f"{s['sample_rate']} Hz, {s['channels']} channels; want {RATE} Hz stereo")
    check(int(s.get("bit_rate", 0)) >= 128000, f"bit rate {s.get('bit_rate')}, want >= 128 kbit/s")
    brand = info["format"].get("tags", {}).get("major_brand", "").strip()
    check("mp4" in info["format"]["format_name"] and brand in ("M4A", "isom", "mp42", "mp41"),
          f"container {info['format']['format_name']} brand {brand!r}, want MP4/M4A")
    check(s["time_base"] == f"1/{RATE}", f"time base {s['time_base']}")
    got = int(s.get("duration_ts", -1))
    check(got == n, f"track lasts {got} samples, the loop is {n} ({args.bars} bars at {args.bpm} BPM)")
    decoded = len(decode(args)) // 2
    check(decoded >= n, f"decodes to {decoded} samples, fewer than the track's {n}")


def seam(args):
    n = loop_samples(args)
    pcm = decode(args)
    if not check(len(pcm) >= 2 * n, f"decodes to {len(pcm) // 2} samples, want {n}"):
        return
    for ch, name in ((0, "left"), (1, "right")):
        x = pcm[ch:2 * n:2]
        steps = sorted(abs(x[i + 1] - x[i]) for i in range(0, n - 1, 3))
        usual = steps[int(0.99 * len(steps))]
        joint = abs(x[0] - x[n - 1])
        check(joint <= usual, f"{name}: step {joint} from the last sample to the first, "
                              f"99% of steps are <= {usual}")
        for where, part in (("start", x[:2048]), ("end", x[n - 2048:])):
            rms = math.sqrt(sum(v * v for v in part) / len(part)) / 32768
            db = 20 * math.log10(max(rms, 1e-9))
            check(db > -40, f"{name}: the loop's {where} is silent ({db:.1f} dBFS)")
        # A gap shows up as a run of digital silence near the joint.
        for where, part in (("start", x[:4096]), ("end", x[n - 4096:])):
            run = longest = 0
            for v in part:
                run = run + 1 if abs(v) <= 2 else 0
                longest = max(longest, run)
            check(longest < 32, f"{name}: {longest} silent samples in a row at the loop's {where}")
        print(f"{name}: joint step {joint}, 99th percentile step {usual}")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("what", choices=["length", "seam"])
    p.add_argument("file")
    p.add_argument("--bars", type=int, required=True)
    p.add_argument("--bpm", type=float, required=True)
    p.add_argument("--ffprobe", default="ffprobe")
    p.add_argument("--ffmpeg", default="ffmpeg")
    args = p.parse_args()
    {"length": length, "seam": seam}[args.what](args)
    finish(args.what)


if __name__ == "__main__":
    main()
