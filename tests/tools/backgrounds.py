# SPDX-License-Identifier: GPL-3.0-or-later
"""Sounds of a room that are no speech, made with sox, 16 kHz mono, and the
mixing of an order into one of them.

    python3 tests/tools/backgrounds.py KIND SECONDS OUT.wav    (KIND: music, game, brown, hum, babble)
    python3 tests/tools/backgrounds.py mix SPEECH.wav BACKGROUND.wav DB_BELOW OUT.wav

music: a loop made here (pad chords, a plucked arpeggio, bass, kick and hi-hat
at 120 beats a minute), reverberant, as if from another device in the room; game: a game's own
music, four tracks of Debian's singularity-music, reverberant;
brown: brown noise, as a fan or an engine; hum: mains hum at 100 Hz with its
harmonics, as a cheap amplifier gives; babble: three of Flite's voices
talking at once, as a crew at the back of the room.
"""
import os
import re
import subprocess
import sys
import tempfile

RATE = "16000"
MAKING_RATE = "44100"  # sox plucks at 44.1 kHz or more
# Am, F, C, G: (pad notes, bass note), two seconds each.
CHORDS = [(("A3", "C4", "E4"), "A2"), (("F3", "A3", "C4"), "F2"), (("C4", "E4", "G4"), "C3"),
          (("G3", "B3", "D4"), "G2")]
BAR_SECONDS = 2.0
STEP_SECONDS = 0.25  # an eighth note


def sox(*arguments):
    subprocess.run(["sox", "-q", *arguments], check=True)


def seconds_of(path):
    return float(subprocess.run(["soxi", "-D", path], check=True, capture_output=True, text=True).stdout)


def rms_db(path):
    out = subprocess.run(["sox", path, "-n", "stats"], check=True, capture_output=True, text=True).stderr
    return float(re.search(r"^RMS lev dB\s+(-?[0-9.]+)", out, re.M).group(1))


def _bar(index, scratch):
    pad_notes, bass = CHORDS[index % len(CHORDS)]
    pad = os.path.join(scratch, f"pad{index}.wav")
    sox("-r", MAKING_RATE, "-c", str(len(pad_notes)), "-n", pad, "synth", str(BAR_SECONDS),
        *[part for note in pad_notes for part in ("triangle", note)], "remix", "-", "tremolo", "4", "30",
        "fade", "0.05", str(BAR_SECONDS), "0.3", "gain", "-16")
    steps = int(BAR_SECONDS / STEP_SECONDS)
    arpeggio_notes = [os.path.join(scratch, f"arp{index}-{step}.wav") for step in range(steps)]
    for step, path in enumerate(arpeggio_notes):
        note = pad_notes[(step * 2 + index) % len(pad_notes)].replace("3", "5").replace("4", "5")
        sox("-r", MAKING_RATE, "-c", "1", "-n", path, "synth", str(STEP_SECONDS), "pluck", note, "fade", "0", "0.25",
            "0.2", "gain", "-14")
    arpeggio = os.path.join(scratch, f"arp{index}.wav")
    sox(*arpeggio_notes, arpeggio)
    low = os.path.join(scratch, f"bass{index}.wav")
    sox("-r", MAKING_RATE, "-c", "1", "-n", low, "synth", str(BAR_SECONDS / 2), "pluck", bass, "fade", "0", "1", "0.6",
        "gain", "-8", "repeat", "1")
    kick = os.path.join(scratch, "kick.wav")
    sox("-r", MAKING_RATE, "-c", "1", "-n", kick, "synth", "0.15", "sine", "90-40", "fade", "0", "0.15", "0.12",
        "gain", "-6", "pad", "0", str(2 * STEP_SECONDS - 0.15))
    hat = os.path.join(scratch, "hat.wav")
    sox("-r", MAKING_RATE, "-c", "1", "-n", hat, "synth", "0.04", "whitenoise", "gain", "-6", "highpass", "5000", "fade", "0", "0.04",
        "0.035", "gain", "-12", "pad", "0", str(STEP_SECONDS - 0.04))
    beats = os.path.join(scratch, f"beats{index}.wav")
    sox("-m", kick, hat, os.path.join(scratch, "beat.wav"))
    sox(os.path.join(scratch, "beat.wav"), beats, "pad", "0", "0", "repeat", str(int(BAR_SECONDS / 0.5) - 1))
    bar = os.path.join(scratch, f"bar{index}.wav")
    sox("-m", pad, arpeggio, low, beats, bar, "trim", "0", str(BAR_SECONDS))
    return bar


def music(seconds, out):
    with tempfile.TemporaryDirectory() as scratch:
        bars = [_bar(index, scratch) for index in range(len(CHORDS))]
        loop = os.path.join(scratch, "loop.wav")
        sox(*bars, loop)
        repeats = int(seconds / (BAR_SECONDS * len(CHORDS))) + 1
        sox(loop, "-b", "16", out, "repeat", str(repeats), "reverb", "50", "50", "80", "channels", "1", "rate", RATE, "trim", "0", str(seconds),
            "gain", "-n", "-3")


GAME_MUSIC = "/usr/share/games/singularity/music"


def game(seconds, out):
    """A game's own music (Debian's singularity-music), reverberant."""
    tracks = sorted(name for name in os.listdir(GAME_MUSIC) if name.endswith(".ogg"))
    with tempfile.TemporaryDirectory() as scratch:
        parts = []
        for index, name in enumerate(tracks[:4]):
            parts.append(os.path.join(scratch, f"{index}.wav"))
            sox(os.path.join(GAME_MUSIC, name), "-r", RATE, "-c", "1", parts[-1], "trim", "20", str(seconds / 4 + 1))
        sox(*parts, "-b", "16", out, "gain", "-n", "-12", "reverb", "50", "50", "80", "channels", "1", "trim", "0", str(seconds),
            "gain", "-n", "-3")


def brown(seconds, out):
    sox("-r", RATE, "-c", "1", "-n", "-b", "16", out, "synth", str(seconds), "brownnoise", "gain", "-n", "-3")


def hum(seconds, out):
    sox("-r", RATE, "-c", "3", "-n", "-b", "16", out, "synth", str(seconds), "sine", "100", "sine", "200", "sine", "300",
        "remix", "1v0.6,2v0.3,3v0.15", "gain", "-n", "-3")


CHATTER = [
    "did anybody see where I left my coffee this morning",
    "the engine room wants the report before the end of the watch",
    "we should have shore leave in about a week if the weather holds",
]


def babble(seconds, out):
    with tempfile.TemporaryDirectory() as scratch:
        tracks = []
        for track, voice in enumerate(("awb", "slt", "kal")):
            parts = []
            for index in range(len(CHATTER)):
                part = os.path.join(scratch, f"{track}-{index}.wav")
                subprocess.run(["flite", "-voice", voice, "-t", CHATTER[(index + track) % len(CHATTER)], "-o", part],
                               check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                parts.append(part)
            tracks.append(os.path.join(scratch, f"track{track}.wav"))
            repeats = int(seconds / 6) + 1
            sox(*parts, "-r", RATE, tracks[-1], "pad", str(0.7 * track), "0", "repeat", str(repeats))
        sox("-m", *tracks, "-b", "16", out, "trim", "0", str(seconds), "gain", "-n", "-3")


MAKERS = {"music": music, "game": game, "brown": brown, "hum": hum, "babble": babble}


def mix(speech, background, offset, below_db, out, lead=1.0, tail=0.5):
    """`speech` (any WAV) at 16 kHz mono with `lead` seconds of `background`
    (from `offset` seconds into it) before it and `tail` after, the background
    `below_db` dB below the speech (RMS against RMS), or none when None."""
    with tempfile.TemporaryDirectory() as scratch:
        voice = os.path.join(scratch, "voice.wav")
        sox(speech, "-r", RATE, "-c", "1", "-b", "16", voice)
        padded = os.path.join(scratch, "padded.wav")
        sox(voice, padded, "pad", str(lead), str(tail))
        if below_db is None:
            os.replace(padded, out)
            return
        piece = os.path.join(scratch, "piece.wav")
        sox(background, piece, "trim", f"{offset:.2f}", f"{seconds_of(padded):.3f}")
        gain = rms_db(voice) - below_db - rms_db(piece)
        sox("-m", padded, "-v", f"{10 ** (gain / 20):.5f}", piece, "-b", "16", out)


if __name__ == "__main__":
    if len(sys.argv) == 6 and sys.argv[1] == "mix":
        mix(sys.argv[2], sys.argv[3], 2.0, float(sys.argv[4]), sys.argv[5])
    elif len(sys.argv) == 4 and sys.argv[1] in MAKERS:
        MAKERS[sys.argv[1]](float(sys.argv[2]), sys.argv[3])
    else:
        sys.exit(__doc__)
