#!/usr/bin/python3
"""Synthesises the demo's disco loop as raw 32-bit float stereo PCM at 44.1 kHz.

Usage: gen_music.py OUT.f32 [LEAD_IN LEAD_OUT]

Prints the loop's length in samples. With LEAD_IN and LEAD_OUT, the file holds
the loop's last LEAD_IN samples, the loop, then its first LEAD_OUT samples:
the encoder then codes the loop's ends with the audio that surrounds them
when it plays round and round (tools/mp4_trim.py cuts the lead-in and out).

The loop is 32 bars at 120 BPM: four-on-the-floor kick, open hi-hats on the
off-beats, clap on 2 and 4, an octave bass line, chord stabs, string pads from
bar 9, a sixteenth-note arpeggio from bar 17, a snare fill in the last bar
and a crash on bars 1 and 17. The chords run Am7 Am7 Dm9 Dm9 Fmaj7 G7 Am7 E7;
the last bar's E7 and the bass's G# lead back into the Am7 of the first.

The buffer is circular: every note, and the delay and reverb, is added at its
position modulo the loop length, so tails that run past the end come back in
at the start and sample N-1 flows into sample 0 like any other pair. Noise
comes from a seeded generator, so the output is the same on every run.
"""
import sys

import numpy as np

SR = 44100
BPM = 120
BARS = 32
BEAT = SR * 60 // BPM          # 22050 samples
N = BARS * 4 * BEAT            # 2822400 samples = 64 s

rng = np.random.default_rng(1979)

# Chords, one per bar of an 8-bar cycle: (bass root, voicing) as MIDI notes.
AM7 = (45, (55, 60, 64, 69))
DM9 = (38, (53, 60, 64, 69))
FMAJ7 = (41, (53, 57, 60, 64))
G7 = (43, (55, 59, 62, 65))
E7SUS = (40, (52, 57, 59, 62))
E7 = (40, (52, 56, 59, 62))
CYCLE = [AM7, AM7, DM9, DM9, FMAJ7, G7, AM7, E7]


def hz(midi):
    return 440.0 * 2.0 ** ((midi - 69) / 12)


def at(bar, beat=0.0):
    """Sample position of a beat (from 0) in a bar (from 0)."""
    return (bar * 4 + beat) * BEAT


def chord_at(bar, beat):
    c = CYCLE[bar % 8]
    return E7SUS if c is E7 and beat < 2 else c


class Bus:
    """A circular stereo buffer of the loop's length."""

    def __init__(self):
        self.x = np.zeros((N, 2))

    def add(self, start, sig, pan=0.0):
        """Adds a mono (L,) or stereo (L, 2) signal that begins at sample
        floor(start); pan -1 (left) .. 1 (right) applies to mono signals."""
        if sig.ndim == 1:
            sig = np.outer(sig, [np.sqrt((1 - pan) / 2), np.sqrt((1 + pan) / 2)]) * np.sqrt(2)
        i = int(np.floor(start)) % N
        while len(sig):
            n = min(len(sig), N - i)
            self.x[i:i + n] += sig[:n]
            sig, i = sig[n:], 0


def clock(start, seconds):
    """Times in seconds of the samples floor(start) ... measured from the exact
    (possibly fractional) start, so events off the sample grid stay in time."""
    n = int(seconds * SR)
    return (np.arange(n) + np.floor(start) - start) / SR


def envelope(t, attack, decay, length=None, release=0.01):
    """Attack ramp, exponential decay, and a short fade at the end of the
    buffer (or after `length` seconds) so that nothing stops with a step."""
    env = np.clip(t / attack, 0, 1)
    if decay:
        env = env * np.exp(-np.maximum(t, 0) / decay)
    end = t[-1] if length is None else length
    env *= np.clip((end - t) / release, 0, 1)
    return env * (t >= 0)


def wavetable(harmonics):
    """One cycle of a band-limited wave from harmonic amplitudes (1st first)."""
    ph = np.arange(4096) / 4096
    table = sum(a * np.sin(2 * np.pi * (k + 1) * ph) for k, a in enumerate(harmonics) if a)
    return np.append(table, table[0])


def osc(table, freq, t, phase=0.0):
    p = (freq * np.maximum(t, 0) + phase) % 1.0 * 4096
    return np.interp(p, np.arange(4097), table)


def harmonics(freq, rolloff, odd_only=False, top=16000.0):
    k = np.arange(1, int(min(top, SR / 2 - 500) // freq) + 1)
    amp = np.exp(-(k - 1) / rolloff) / k
    if odd_only:
        amp[k % 2 == 0] = 0
    return amp


def noise(seconds):
    return rng.standard_normal(int(seconds * SR))


def band(sig, lo, hi):
    """Brick-wall band-pass by FFT (fine for short noise bursts)."""
    f = np.fft.rfft(sig)
    freqs = np.fft.rfftfreq(len(sig), 1 / SR)
    f[(freqs < lo) | (freqs > hi)] = 0
    return np.fft.irfft(f, len(sig))


# ---------------------------------------------------------------- drums

def kick(start):
    t = clock(start, 0.6)
    phase = 2 * np.pi * (48 * t + 120 * 0.035 * (1 - np.exp(-np.maximum(t, 0) / 0.035)))
    body = np.sin(phase) * envelope(t, 0.001, 0.22)
    click = band(noise(0.6), 1000, 6000) * envelope(t, 0.0005, 0.004) * 0.15
    return body + click


def hat(start, open_):
    t = clock(start, 0.35 if open_ else 0.08)
    return band(noise(len(t) / SR), 7000, 16000) * envelope(t, 0.001, 0.09 if open_ else 0.018)


def clap(start):
    t = clock(start, 0.4)
    env = sum(envelope(t - d, 0.0005, 0.006) for d in (0.0, 0.011, 0.023))
    env += envelope(t - 0.03, 0.001, 0.09) * 0.8
    return band(noise(0.4), 900, 5000) * env


def snare(start):
    t = clock(start, 0.25)
    tone = np.sin(2 * np.pi * 185 * np.maximum(t, 0)) * envelope(t, 0.001, 0.05)
    return band(noise(0.25), 400, 9000) * envelope(t, 0.001, 0.06) + 0.6 * tone


def crash(start):
    t = clock(start, 2.5)
    return band(noise(2.5), 3500, 16000) * envelope(t, 0.002, 0.7, release=0.3)


# ---------------------------------------------------------------- tonal parts

def bass_note(start, midi, length):
    t = clock(start, length + 0.05)
    f = hz(midi)
    dull = osc(wavetable(harmonics(f, 2.5)), f, t)
    bright = osc(wavetable(harmonics(f, 10)), f, t)
    env = envelope(t, 0.003, 0.5, length, release=0.03)
    return dull * env + bright * env * np.exp(-np.maximum(t, 0) / 0.05)


def stab(start, notes):
    t = clock(start, 0.3)
    out = np.zeros((len(t), 2))
    for i, m in enumerate(notes):
        f = hz(m)
        s = osc(wavetable(harmonics(f, 5)), f, t) * envelope(t, 0.002, 0.09, 0.18, 0.05)
        pan = -0.3 + 0.2 * i
        out += np.outer(s, [np.sqrt((1 - pan) / 2), np.sqrt((1 + pan) / 2)])
    return out


def strings(start, notes, seconds):
    t = clock(start, seconds + 0.6)
    out = np.zeros((len(t), 2))
    env = envelope(t, 0.25, 0, seconds + 0.45, release=0.45)
    for m in notes + (notes[-1] + 12,):
        f = hz(m)
        table = wavetable(harmonics(f, 7, top=9000))
        for ch, cents in ((0, (-9, 4)), (1, (-4, 9))):
            for c, ph in zip(cents, (0.13, 0.61)):
                out[:, ch] += osc(table, f * 2 ** (c / 1200), t, ph) * env
    return out


def arp_note(start, midi):
    t = clock(start, 0.25)
    f = hz(midi)
    return osc(wavetable(harmonics(f, 6, odd_only=True)), f, t) * envelope(t, 0.002, 0.07)


# ---------------------------------------------------------------- effects

def circular_convolve(x, ir):
    h = np.zeros(N)
    h[:len(ir)] = ir
    return np.fft.irfft(np.fft.rfft(x) * np.fft.rfft(h), N)


def reverb(x, seconds=1.6):
    t = np.arange(int(seconds * SR)) / SR
    out = np.empty_like(x)
    for ch in range(2):
        ir = noise(seconds) * np.exp(-6.9 * t / seconds) * np.clip(t / 0.01, 0, 1)
        ir = np.convolve(ir, np.ones(4) / 4, "same") * 0.03
        out[:, ch] = circular_convolve(x[:, ch], ir)
    return out


def ping_pong(x, delay, feedback, taps=6):
    out = np.zeros_like(x)
    for k in range(1, taps + 1):
        out[:, k % 2] += np.roll(x.sum(axis=1), k * delay) * feedback ** k
    return out


def ducking():
    """Gain that dips on every kick and recovers within the beat."""
    t = (np.arange(N) % BEAT) / SR
    return 1 - 0.35 * np.exp(-t / 0.12)


# ---------------------------------------------------------------- arrangement

def render():
    drums, bass, music, arp, send = Bus(), Bus(), Bus(), Bus(), Bus()
    for bar in range(BARS):
        for beat in range(4):
            drums.add(at(bar, beat), kick(at(bar, beat)))
            drums.add(at(bar, beat + 0.5), 0.30 * hat(at(bar, beat + 0.5), True), 0.25)
            if bar >= 8:
                for q in (0.25, 0.75):
                    drums.add(at(bar, beat + q), 0.13 * hat(at(bar, beat + q), False), 0.35)
        for beat in (1, 3):
            c = 0.35 * clap(at(bar, beat))
            drums.add(at(bar, beat), c, -0.1)
            send.add(at(bar, beat), 0.5 * c)
        for beat in np.arange(8) / 2:
            root = chord_at(bar, beat)[0]
            note = root + (12 if beat % 1 else 0)
            if CYCLE[bar % 8] is E7 and beat == 3.5:
                note = 44                      # G#, a semitone under the A that follows
            bass.add(at(bar, beat), 0.28 * bass_note(at(bar, beat), note, 0.2))
        for beat in (1.5, 3.5):
            s = 0.12 * stab(at(bar, beat), chord_at(bar, beat)[1])
            music.add(at(bar, beat), s)
            send.add(at(bar, beat), 0.6 * s)
        if bar >= 8:
            for half in (0, 2):
                s = 0.035 * strings(at(bar, half), chord_at(bar, half)[1], 2 * BEAT / SR - 0.2)
                music.add(at(bar, half), s)
                send.add(at(bar, half), 0.8 * s)
        if bar >= 16:
            for i in range(16):
                notes = chord_at(bar, i / 4)[1]
                m = notes[(0, 1, 2, 3, 2, 1)[i % 6]] + 12
                a = 0.12 * arp_note(at(bar, i / 4), m)
                arp.add(at(bar, i / 4), a, (-0.4, 0.4)[i % 2])
                send.add(at(bar, i / 4), 0.3 * a)
    for bar in (0, 16):
        drums.add(at(bar), 0.22 * crash(at(bar)), 0.3)
    for i in range(8):                         # fill over the last two beats
        s = (0.12 + 0.03 * i) * snare(at(BARS - 1, 2 + i / 4))
        drums.add(at(BARS - 1, 2 + i / 4), s, 0.2 * (i % 2 * 2 - 1))
        send.add(at(BARS - 1, 2 + i / 4), 0.4 * s)

    music.x += arp.x + ping_pong(arp.x, 3 * BEAT // 4, 0.35) * 0.6
    mix = drums.x + bass.x + music.x * ducking()[:, None] + reverb(send.x)
    peak = np.abs(mix).max()
    mix = np.tanh(1.4 * mix / peak) / np.tanh(1.4) * 0.9
    return mix.astype("<f4")


def main():
    pcm = render()
    assert pcm.shape == (N, 2)
    lead_in, lead_out = (int(a) for a in sys.argv[2:4]) if len(sys.argv) > 2 else (0, 0)
    with open(sys.argv[1], "wb") as f:
        f.write(pcm[N - lead_in:].tobytes() + pcm.tobytes() + pcm[:lead_out].tobytes())
    print(N)


if __name__ == "__main__":
    main()
