#!/usr/bin/env python3
"""Synthesizes Postvane's new-mail sound, a short two-tone chime.

Run from anywhere: writes resources/sounds/NewMail.wav (16-bit mono PCM).
Each tone is a small bell: a sine with two quiet overtones, a soft 6 ms
attack and an exponential decay, so nothing clicks and it never sounds
like an alarm. The output is the same byte for byte on every run.
"""

import math
import pathlib
import struct
import wave

OUT = (pathlib.Path(__file__).resolve().parent.parent
       / "resources" / "sounds" / "NewMail.wav")

RATE = 22050            # plenty for tones below 4 kHz, keeps the file small
LENGTH = 1.1            # seconds
PEAK = 0.55             # of full scale: audible, not startling
ATTACK = 0.006          # seconds
# (start in seconds, fundamental in Hz, decay time constant in seconds):
# G5 then E6, a rising major sixth: a friendly "ding-ding".
TONES = [
    (0.00, 783.99, 0.22),
    (0.16, 1318.51, 0.30),
]
# Overtones of a small bell: (frequency ratio, relative level).
PARTIALS = [(1.0, 1.0), (2.0, 0.28), (3.01, 0.10)]
FADE_OUT = 0.05         # seconds of linear fade at the end, so the file ends at zero


def tone_at(t, start, freq, decay):
    if t < start:
        return 0.0
    u = t - start
    envelope = math.exp(-u / decay) * min(1.0, u / ATTACK)
    return envelope * sum(level * math.sin(2 * math.pi * freq * ratio * u)
                          for ratio, level in PARTIALS)


def main():
    count = int(RATE * LENGTH)
    raw = []
    for n in range(count):
        t = n / RATE
        raw.append(sum(tone_at(t, *tone) for tone in TONES))
    loudest = max(abs(v) for v in raw)
    frames = bytearray()
    for n, v in enumerate(raw):
        remaining = (count - 1 - n) / RATE
        fade = min(1.0, remaining / FADE_OUT)
        sample = round(v / loudest * PEAK * fade * 32767)
        frames += struct.pack("<h", sample)
    OUT.parent.mkdir(parents=True, exist_ok=True)
    with wave.open(str(OUT), "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(bytes(frames))
    print(f"wrote {OUT} ({count / RATE:.2f} s, {OUT.stat().st_size} bytes)")


if __name__ == "__main__":
    main()
