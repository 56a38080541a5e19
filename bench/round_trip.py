#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""How well our own recognizer understands what --speak says: the round trip.

    bench/round_trip.py [--program build/speech-bridge] [--orders N] [--voice ID ...] [--as-sentences]

Starts a PulseAudio daemon of its own (private socket, null sinks, stopped by
its PID at the end) and records its speaker's monitor. Each ship order of
bench/ship_orders.txt (N of them, spread over the list; all by default) is
spoken with `--speak` (and `--voice ID`), the sound the sink rendered during
that job is written to a WAV file, and `--transcribe-file` turns it back into
words. Prints, per voice, the word error rate against the order's words, the
same with compass points written as one word or two alike ("northeast" for
"north east" is one word the recognizer knows, not two errors), and how many
orders came back exactly. The voices: the default one of en-US (no --voice),
Festival's HTS voice, every Flite voice and eSpeak NG's English voices,
unless --voice names others. With --as-sentences each order is spoken as a host would write it,
"Second ship, set course north east.", rather than as bare words.
"""
import argparse
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bridge_job import final_of_file, run_job  # noqa: E402
from sound_rig import SoundServer  # noqa: E402
from sink_recorder import SinkRecorder  # noqa: E402
from word_errors import edit_distance, word_error_rate  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
DEFAULT_VOICES = [None, "festival/cmu_us_slt_arctic_hts", "flite/rms", "flite/slt", "flite/awb", "flite/kal16", "flite/kal",
                  "gmw/en-US", "gmw/en"]


def orders(count):
    with open(os.path.join(HERE, "ship_orders.txt")) as listing:
        every = [line.strip() for line in listing if line.strip() and not line.startswith("#")]
    if not count or count >= len(every):
        return every
    return [every[i * len(every) // count] for i in range(count)]


def as_sentence(order):
    """'second ship set course north east' -> 'Second ship, set course north east.'"""
    words = order.split()
    addressee = 2 if len(words) > 2 and words[1] in ("ship", "ships") else 1
    return " ".join(words[:addressee]).capitalize() + ", " + " ".join(words[addressee:]) + "."


COMPASS = {"northeast": ["north", "east"], "northwest": ["north", "west"], "southeast": ["south", "east"],
           "southwest": ["south", "west"]}


def compass_points_split(words):
    return [part for word in words for part in COMPASS.get(word, [word])]


def speak(program, daemon, voice, text):
    """One --speak job; returns when it started and ended, on time.monotonic()."""
    command = [program, "--speak"] + (["--voice", voice] if voice else [])
    started = time.monotonic()
    events = run_job(program, command[1:], text, daemon.environment)
    ended = time.monotonic()
    if not events or events[-1].get("event") != "final":
        raise RuntimeError("%s: %r" % (" ".join(command), events))
    return started, ended


def transcribe(program, wav):
    return final_of_file(program, wav)["text"].split()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", default=os.path.join(TOP, "build", "speech-bridge"))
    parser.add_argument("--orders", type=int, default=0, help="how many orders (0: all)")
    parser.add_argument("--voice", action="append", help="a voice id; repeat for more")
    parser.add_argument("--show", action="store_true", help="print every transcript")
    parser.add_argument("--as-sentences", action="store_true", help="speak each order as a written sentence")
    arguments = parser.parse_args()
    voices = arguments.voice or DEFAULT_VOICES
    texts = orders(arguments.orders)

    results = {}
    daemon = SoundServer("PulseAudio")
    try:
        recorder = SinkRecorder(daemon.server)
        try:
            with tempfile.TemporaryDirectory(prefix="speech-bridge-round-trip-") as folder:
                for voice in voices:
                    pairs = []
                    for index, text in enumerate(texts):
                        spoken = as_sentence(text) if arguments.as_sentences else text
                        started, ended = speak(arguments.program, daemon, voice, spoken)
                        time.sleep(0.5)  # the silence after it, as a recording has it
                        wav = os.path.join(folder, "order%02d.wav" % index)
                        recorder.save(wav, started - 0.5, ended + 0.5)
                        heard = transcribe(arguments.program, wav)
                        pairs.append((text.split(), heard))
                        if arguments.show:
                            print("%-12s %-40s -> %s" % (voice or "default", text, " ".join(heard)))
                    results[voice] = pairs
        finally:
            recorder.stop()
    finally:
        daemon.stop()

    print("round trip of %d ship orders%s: --speak into a private sound server, its speaker recorded,"
          " --transcribe-file" % (len(texts), " as sentences" if arguments.as_sentences else ""))
    print("%-32s %8s %22s %8s" % ("voice", "WER %", "WER %, compass alike", "exact"))
    for voice in voices:
        pairs = results[voice]
        alike = [(compass_points_split(reference), compass_points_split(heard)) for reference, heard in pairs]
        exact = sum(1 for reference, heard in alike if edit_distance(reference, heard) == 0)
        name = voice or "default for en-US (no --voice)"
        print("%-32s %8.1f %22.1f %5d/%d" % (name, word_error_rate(pairs), word_error_rate(alike), exact,
                                             len(pairs)))
    print("target: the default for en-US <= 20 %")


if __name__ == "__main__":
    main()
