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
"""
import os
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


def orders():
    with open(os.path.join(HERE, "ship_orders.txt")) as listing:
        return [line.strip() for line in listing if line.strip() and not line.startswith("#")]


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
    with open(os.path.join(out_dir, "orders.tsv"), "w") as f:
        for row in rows:
            f.write("\t".join(row) + "\n")

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
    print(f"{len(rows)} order recordings, {len(other)} other recordings in {out_dir}")


if __name__ == "__main__":
    main()
