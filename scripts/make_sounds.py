#!/usr/bin/python3
"""Makes the monitor's two notification sounds as WAV files (16-bit PCM, mono, 44100 Hz) in
resources/sounds/, synthesised here so they can be renewed:
    scripts/make_sounds.py
Wardlet.sound: a document changed, two soft chime notes rising (E5, then A5).
Wardlet.alert: a document can no longer be fetched, a lower tone falling (A4, then E4).
The names carry no extension because the monitor looks for exactly these names. The output is
the same bytes on every run."""
import math, os, struct, wave

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "sounds")
RATE = 44100


def note(frequency, start, length, volume, decay, partials):
    """One note: a sum of sine partials (multiple, relative level) under an envelope that rises
    over 8 ms, decays exponentially (`decay` per second) and fades to zero over its last 40 ms,
    so the note neither starts nor stops with a click."""
    attack, release = 0.008, 0.040

    def sample(t):
        t -= start
        if t < 0 or t >= length:
            return 0.0
        envelope = math.exp(-decay * t)
        if t < attack:
            envelope *= 0.5 - 0.5 * math.cos(math.pi * t / attack)
        if t > length - release:
            envelope *= 0.5 - 0.5 * math.cos(math.pi * (length - t) / release)
        return volume * envelope * sum(level * math.sin(2 * math.pi * frequency * multiple * t)
                                       for multiple, level in partials)
    return sample


def write(path, seconds, notes):
    count = int(RATE * seconds)
    values = [sum(n(i / RATE) for n in notes) for i in range(count)]
    # The very first and last samples are silent whatever the notes do.
    values[0] = values[-1] = 0.0
    peak = max(abs(v) for v in values)
    assert peak <= 1.0, "clipping in " + path
    frames = b"".join(struct.pack("<h", int(round(v * 32767))) for v in values)
    with wave.open(path, "wb") as f:
        f.setnchannels(1)
        f.setsampwidth(2)
        f.setframerate(RATE)
        f.writeframes(frames)


# A chime: the fundamental with a little of the octave and the twelfth, decaying like a struck bar.
CHIME = [(1, 1.0), (2, 0.25), (3, 0.08)]
# The alert: rounder, mostly the fundamental, decaying slowly so it is heard as a held tone.
TONE = [(1, 1.0), (2, 0.12)]

os.makedirs(OUT, exist_ok=True)
write(os.path.join(OUT, "Wardlet.sound"), 0.62,
      [note(659.26, 0.00, 0.30, 0.30, 6.0, CHIME),    # E5
       note(880.00, 0.14, 0.48, 0.34, 5.0, CHIME)])   # A5
write(os.path.join(OUT, "Wardlet.alert"), 0.78,
      [note(440.00, 0.00, 0.36, 0.40, 2.5, TONE),     # A4
       note(329.63, 0.30, 0.48, 0.42, 2.2, TONE)])    # E4
print("sounds written to", os.path.normpath(OUT))
