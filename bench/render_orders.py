#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Renders the ship orders of bench/ship_orders.txt as recordings, and gathers recordings that are no order.

    bench/render_orders.py OUT_DIR

Each order is rendered twice, by two different voices of the five below: once
clean (16 kHz mono), once as if heard in a room (44.1 kHz stereo, reverberant,
with noise about 20 dB below the speech). OUT_DIR/orders.tsv lists path,
expected text, voice and condition; OUT_DIR/other.tsv lists recordings that
hold no ship order (pocketsphinx-testdata's LibriVox clips, numbers,
something, go forward and the cards recordings).

Also, in the same columns:
  - OUT_DIR/near_misses.tsv: every line of bench/near_misses.txt (the
    grammar's words in orders it lacks), clean, by two voices of two
    different engines;
  - OUT_DIR/babble.tsv: the first 15 orders, clean, each with crew babble
    (six other voices talking at once, overlapping) mixed in at 20 dB and
    at 15 dB below the order (RMS of the speech against RMS of the babble).
"""
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TESTDATA = "/usr/share/pocketsphinx/test/data"

# (name, command that writes the WAV file named by {out} for the text {text})
VOICES = [
    ("flite-rms", ["flite", "-voice", "rms", "-t", "{text}", "-o", "{out}"]),
    ("espeak-ng-en-us", ["espeak-ng", "-v", "en-us", "-w", "{out}", "{text}"]),
    ("flite-slt", ["flite", "-voice", "slt", "-t", "{text}", "-o", "{out}"]),
    ("festival-slt-hts", ["text2wave", "-eval", "(voice_cmu_us_slt_arctic_hts)", "-o", "{out}", "{textfile}"]),
    ("flite-awb", ["flite", "-voice", "awb", "-t", "{text}", "-o", "{out}"]),
]


# Near misses go to one voice of Flite's and one of another engine.
NEAR_MISS_PAIRS = [(0, 1), (2, 3), (4, 1), (0, 3), (2, 1), (4, 3)]

# What the crew says around the player: no order, several voices at once.
CHATTER = [
    "did anybody see where I left my coffee this morning",
    "the engine room wants the report before the end of the watch",
    "I told him twice that the door on deck three sticks",
    "we should have shore leave in about a week if the weather holds",
    "my brother writes that the harvest was good this year",
    "has anyone got a spare pen I lost mine again",
]
BABBLE_ORDERS = 15
BABBLE_LEVELS_DB = (20, 15)


def listed(name):
    with open(os.path.join(HERE, name)) as listing:
        return [line.strip() for line in listing if line.strip() and not line.startswith("#")]


def orders():
    return listed("ship_orders.txt")


def rms_db(path):
    out = subprocess.run(["sox", path, "-n", "stats"], check=True, capture_output=True, text=True).stderr
    return float(re.search(r"^RMS lev dB\s+(-?[0-9.]+)", out, re.M).group(1))


def sox(*arguments):
    subprocess.run(["sox", "-q", *arguments], check=True)


def render(voice, text, out, scratch):
    name, command = voice
    textfile = os.path.join(scratch, "text.txt")
    with open(textfile, "w") as f:
        f.write(text + "\n")
    raw = os.path.join(scratch, "raw.wav")
    subprocess.run([part.format(text=text, out=raw, textfile=textfile) for part in command], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return raw


def clean(raw, out):
    # Half a second of silence around the speech, as a recording has.
    sox(raw, "-r", "16000", "-c", "1", "-b", "16", out, "pad", "0.5", "0.5")


def room(raw, out, scratch):
    wet = os.path.join(scratch, "wet.wav")
    sox(raw, "-r", "44100", "-c", "2", "-b", "16", wet, "pad", "0.5", "0.5", "reverb", "40", "50", "60",
        "gain", "-n", "-3")
    seconds = subprocess.run(["soxi", "-D", wet], check=True, capture_output=True, text=True).stdout.strip()
    noise = os.path.join(scratch, "noise.wav")
    sox("-n", "-r", "44100", "-c", "2", "-b", "16", noise, "synth", seconds, "pinknoise", "vol", "0.03")
    sox("-m", wet, noise, out)


def write_rows(path, rows):
    with open(path, "w") as f:
        for row in rows:
            f.write("\t".join(row) + "\n")


def crew_babble(scratch):
    """Six voices talking at once, each through the chatter in its own order, 16 kHz mono."""
    tracks = []
    for track, voice in enumerate(VOICES + [VOICES[0]]):
        parts = []
        for index in range(len(CHATTER)):
            text = CHATTER[(index + 2 * track) % len(CHATTER)]
            part = os.path.join(scratch, f"chatter{track}-{index}.wav")
            sox(render(voice, text, part + ".raw.wav", scratch), "-r", "16000", "-c", "1", "-b", "16", part,
                "gain", "-n", "-6", "pad", "0", "0.3")
            parts.append(part)
        tracks.append(os.path.join(scratch, f"track{track}.wav"))
        sox(*parts, tracks[-1], "pad", str(0.9 * track), "0", "repeat", "2")
    babble = os.path.join(scratch, "babble.wav")
    sox("-m", *tracks, babble)
    return babble


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out_dir = os.path.abspath(sys.argv[1])
    scratch = os.path.join(out_dir, "scratch")
    os.makedirs(scratch, exist_ok=True)
    rows = []
    for index, text in enumerate(orders()):
        for condition, voice in (("clean", VOICES[index % len(VOICES)]),
                                 ("room", VOICES[(index + 2) % len(VOICES)])):
            path = os.path.join(out_dir, f"order{index:02d}-{condition}-{voice[0]}.wav")
            raw = render(voice, text, path, scratch)
            if condition == "clean":
                clean(raw, path)
            else:
                room(raw, path, scratch)
            rows.append((path, text, voice[0], condition))
    write_rows(os.path.join(out_dir, "orders.tsv"), rows)

    near = []
    for index, text in enumerate(listed("near_misses.txt")):
        for voice in NEAR_MISS_PAIRS[index % len(NEAR_MISS_PAIRS)]:
            path = os.path.join(out_dir, f"near{index:02d}-{VOICES[voice][0]}.wav")
            clean(render(VOICES[voice], text, path, scratch), path)
            near.append((path, text, VOICES[voice][0], "clean"))
    write_rows(os.path.join(out_dir, "near_misses.tsv"), near)

    babble = crew_babble(scratch)
    mixed = []
    for index, text in enumerate(orders()[:BABBLE_ORDERS]):
        voice = VOICES[(index * 2) % len(VOICES)]
        speech = os.path.join(scratch, "speech.wav")
        sox(render(voice, text, speech, scratch), "-r", "16000", "-c", "1", "-b", "16", speech + ".16k.wav")
        level = rms_db(speech + ".16k.wav")
        padded = os.path.join(scratch, "padded.wav")
        sox(speech + ".16k.wav", padded, "pad", "0.5", "0.5")
        seconds = subprocess.run(["soxi", "-D", padded], check=True, capture_output=True, text=True).stdout.strip()
        for db in BABBLE_LEVELS_DB:
            path = os.path.join(out_dir, f"babble{index:02d}-{db}dB-{voice[0]}.wav")
            # A stretch of the babble of the order's length, from a place of its own.
            piece = os.path.join(scratch, "piece.wav")
            sox(babble, piece, "trim", str(1.3 * index), seconds)
            sox(piece, piece + ".level.wav", "gain", f"{level - db - rms_db(piece):.2f}")
            sox("-m", "-v", "1", padded, "-v", "1", piece + ".level.wav", path)
            mixed.append((path, text, voice[0], f"babble {db} dB"))
    write_rows(os.path.join(out_dir, "babble.tsv"), mixed)

    other = []
    with open(os.path.join(TESTDATA, "librivox", "fileids")) as fileids:
        for clip in fileids.read().split():
            other.append(os.path.join(TESTDATA, "librivox", clip + ".wav"))
    for raw in ("numbers.raw", "something.raw", "goforward.raw"):
        path = os.path.join(out_dir, raw.replace(".raw", ".wav"))
        sox("-t", "raw", "-r", "16000", "-e", "signed-integer", "-b", "16", "-c", "1",
            os.path.join(TESTDATA, raw), path)
        other.append(path)
    for card in sorted(os.listdir(os.path.join(TESTDATA, "cards"))):
        if card.endswith(".wav"):
            other.append(os.path.join(TESTDATA, "cards", card))
    with open(os.path.join(out_dir, "other.tsv"), "w") as f:
        for path in other:
            f.write(path + "\n")
    for name in os.listdir(scratch):
        os.remove(os.path.join(scratch, name))
    os.rmdir(scratch)
    print(f"{len(rows)} order recordings, {len(near)} near misses, {len(mixed)} orders in babble, "
          f"{len(other)} other recordings in {out_dir}")


if __name__ == "__main__":
    main()
