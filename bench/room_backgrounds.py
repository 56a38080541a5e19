#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Orders heard in a room: --transcribe-file --grammar over backgrounds, side by side with another build.

    bench/room_backgrounds.py CORPUS_DIR [--bridge PATH] [--baseline PATH] [--only CONDITION...] [--details]
                              [--live [--servers PulseAudio,PipeWire]]

Renders into CORPUS_DIR (once) the ship orders of bench/ship_orders.txt by
three voices of two engines (Flite's rms and awb, Festival's slt HTS, in
turn; eSpeak NG's en-us is left out: in silence it loses 5 of the 36
orders already, so it would measure the voice rather than the room), the near misses of bench/near_misses.txt and the crew's chatter, each
with one second of background before the speech and half a second after it
(tests/tools/backgrounds.py): none, music 30, 20 and 10 dB below the speech
(a game's own, Debian's singularity-music, when installed; else a loop made
with sox),
brown noise and a 100 Hz hum 20 dB below it; near misses and chatter in
silence and under each background at 20 dB; and the backgrounds alone, with
nobody speaking. Then, for each build, with examples/ship_orders.gram:
orders exact, rejected and mistaken for another order; near misses and
chatter that give an order; recordings of nobody that end in anything but a
plain empty final. With --live, instead: on each sound server of the
bench's own (sound_rig.py), the first LIVE_ORDERS orders with music 20 dB
below them are played into the microphone from the moment a --listen job
starts (music from a second before the order), and "stop" is written 0.3 s
after the playing ends: orders exact, per build. Needs sox, flite and
festival with festvox-us-slt-hts (and for --live what sound_rig.py needs).
"""
import argparse
import concurrent.futures
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(TOP, "tests", "tools"))
import backgrounds  # noqa: E402
import listen  # noqa: E402
from bridge_job import final_of_file  # noqa: E402
from live_start import spoken_from_the_start  # noqa: E402
from render_orders import CHATTER  # noqa: E402
from sound_rig import SoundServer  # noqa: E402

GRAMMAR = os.path.join(TOP, "examples", "ship_orders.gram")
VOICES = [
    ("flite-rms", ["flite", "-voice", "rms", "-t", "{text}", "-o", "{out}"]),
    ("flite-awb", ["flite", "-voice", "awb", "-t", "{text}", "-o", "{out}"]),
    ("festival-slt-hts", ["text2wave", "-eval", "(voice_cmu_us_slt_arctic_hts)", "-o", "{out}", "{textfile}"]),
]
# A game's own music when Debian's singularity-music is installed, else a loop made here.
MUSIC = "game" if os.path.isdir(backgrounds.GAME_MUSIC) else "music"
# (condition, background, dB below the speech)
ORDER_CONDITIONS = [("silence", None, None), ("music 30 dB", MUSIC, 30), ("music 20 dB", MUSIC, 20),
                    ("music 10 dB", MUSIC, 10), ("brown 20 dB", "brown", 20), ("hum 20 dB", "hum", 20)]
OTHER_CONDITIONS = [("silence", None, None), ("music 20 dB", MUSIC, 20), ("brown 20 dB", "brown", 20),
                    ("hum 20 dB", "hum", 20)]
# Nobody speaking: the background at the level it has 20 dB below a typical order.
NOBODY_DBFS = -42.0
MUSIC_SECONDS = 64.0
LIVE_ORDERS = 15


def listed(name):
    with open(os.path.join(HERE, name)) as listing:
        return [line.strip() for line in listing if line.strip() and not line.startswith("#")]


def render(voice, text, out):
    name, command = voice
    textfile = out + ".txt"
    with open(textfile, "w") as f:
        f.write(text + "\n")
    subprocess.run([part.format(text=text, out=out, textfile=textfile) for part in command], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.remove(textfile)


def build_corpus(directory):
    listing = os.path.join(directory, "recordings.tsv")
    if os.path.exists(listing):
        with open(listing) as f:
            return [line.rstrip("\n").split("\t") for line in f if line.strip()]
    os.makedirs(directory, exist_ok=True)
    sounds = {}
    for kind in (MUSIC, "brown", "hum"):
        sounds[kind] = os.path.join(directory, f"{kind}.wav")
        backgrounds.MAKERS[kind](MUSIC_SECONDS, sounds[kind])
    rows = []  # path, set, condition, expected text

    def add(set_name, conditions, texts, voice_of):
        for index, text in enumerate(texts):
            voice = voice_of(index)
            speech = os.path.join(directory, f"{set_name}{index:02d}-{voice[0]}.speech.wav")
            render(voice, text, speech)
            for condition, kind, db in conditions:
                path = os.path.join(directory, f"{set_name}{index:02d}-{condition.replace(' ', '')}.wav")
                offset = (index * 3.7) % (MUSIC_SECONDS - 10)
                backgrounds.mix(speech, sounds.get(kind), offset, db, path)
                rows.append((path, set_name, condition, text))
            os.remove(speech)

    add("order", ORDER_CONDITIONS, listed("ship_orders.txt"), lambda i: VOICES[i % len(VOICES)])
    add("near", OTHER_CONDITIONS, listed("near_misses.txt"), lambda i: VOICES[(i + 1) % len(VOICES)])
    add("chatter", OTHER_CONDITIONS, CHATTER, lambda i: VOICES[(i + 2) % len(VOICES)])
    for kind in ("silence", MUSIC, "brown", "hum"):
        path = os.path.join(directory, f"nobody-{kind}.wav")
        if kind == "silence":
            backgrounds.sox("-r", backgrounds.RATE, "-c", "1", "-n", "-b", "16", path, "synth", "3", "sine", "0",
                            "gain", "-100")
        else:
            piece = path + ".piece.wav"
            backgrounds.sox(sounds[kind], piece, "trim", "5", "3")
            backgrounds.sox(piece, "-b", "16", path, "gain", f"{NOBODY_DBFS - backgrounds.rms_db(piece):.2f}")
            os.remove(piece)
        rows.append((path, "nobody", kind, ""))
    with open(listing, "w") as f:
        for row in rows:
            f.write("\t".join(row) + "\n")
    return rows


def outcome(bridge, row):
    path, set_name, condition, text = row
    final = final_of_file(bridge, path, "--grammar", GRAMMAR)
    return final.get("text", ""), bool(final.get("rejected"))


def tally(rows, results):
    """{(set, condition): counts} for one build."""
    table = {}
    for row, (text, rejected) in zip(rows, results):
        _, set_name, condition, expected = row
        cell = table.setdefault((set_name, condition), {"n": 0, "exact": 0, "rejected": 0, "wrong": 0, "order": 0,
                                                         "not plain": 0, "misses": []})
        cell["n"] += 1
        if set_name == "order":
            if text == expected:
                cell["exact"] += 1
            else:
                cell["misses"].append(f"{os.path.basename(row[0])}: {text or ('rejected' if rejected else '-')}")
            cell["rejected"] += rejected
            cell["wrong"] += bool(text) and text != expected
        elif set_name == "nobody":
            cell["not plain"] += bool(text) or rejected
            if text or rejected:
                cell["misses"].append(f"{os.path.basename(row[0])}: {text or 'rejected'}")
        else:
            cell["order"] += bool(text)
            if text:
                cell["misses"].append(f"{os.path.basename(row[0])}: {text}")
    return table


def describe(set_name, cell):
    n = cell["n"]
    if set_name == "order":
        return f"{cell['exact']}/{n} exact ({100 * cell['exact'] / n:.0f} %), {cell['rejected']} rejected, " \
               f"{cell['wrong']} wrong"
    if set_name == "nobody":
        return f"{cell['not plain']}/{n} not a plain empty final"
    return f"{cell['order']}/{n} give an order"


def live(rows, builds, servers):
    chosen = [row for row in rows if row[1] == "order" and row[2] == "music 20 dB"][:LIVE_ORDERS]
    print("| server | " + " | ".join(name for name, _ in builds) + " |")
    print("|---|" + "---|" * len(builds))
    for name in servers:
        server = SoundServer(name)
        try:
            cells = []
            for _, bridge in builds:
                listen.BRIDGE = os.path.abspath(bridge)
                heard, _ = spoken_from_the_start(server, [(path, path, text) for path, _, _, text in chosen], "now")
                cells.append(f"{heard}/{len(chosen)} exact")
        finally:
            server.stop()
        print(f"| {name}, music 20 dB from 1 s before the order | " + " | ".join(cells) + " |", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("corpus")
    parser.add_argument("--bridge", default=os.path.join(TOP, "build", "speech-bridge"))
    parser.add_argument("--baseline", help="another build, for a column of its own")
    parser.add_argument("--only", nargs="*", help="conditions to run, such as 'music 20 dB'")
    parser.add_argument("--details", action="store_true", help="list what each build got wrong")
    parser.add_argument("--live", action="store_true", help="orders over music played into the microphone")
    parser.add_argument("--servers", default="PulseAudio,PipeWire")
    options = parser.parse_args()
    rows = build_corpus(os.path.abspath(options.corpus))
    builds = [("this build", options.bridge)] + ([("baseline", options.baseline)] if options.baseline else [])
    if options.live:
        live(rows, builds, options.servers.split(","))
        return
    if options.only:
        rows = [row for row in rows if row[2] in options.only or row[1] == "nobody"]
    tables = []
    for _, bridge in builds:
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            results = list(pool.map(lambda row, bridge=bridge: outcome(bridge, row), rows))
        tables.append(tally(rows, results))
    keys = list(dict.fromkeys((row[1], row[2]) for row in rows))
    print("| set | condition | " + " | ".join(name for name, _ in builds) + " |")
    print("|---|---|" + "---|" * len(builds))
    for key in keys:
        print(f"| {key[0]} | {key[1]} | " + " | ".join(describe(key[0], table[key]) for table in tables) + " |")
    if options.details:
        for (name, _), table in zip(builds, tables):
            for key in keys:
                for miss in table[key]["misses"]:
                    print(f"{name}: {key[0]} {key[1]}: {miss}")


if __name__ == "__main__":
    main()
