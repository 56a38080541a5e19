#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Figures for a grammar of a game's own words, side by side for two builds.

    bench/fleet_words.py [--bridge PATH] [--baseline PATH] [--cache DIR] [--runs N] [--details]

With bench/fleet_words.gram (invented ship names, words the en-US dictionary
lacks, digits and an acronym):
  - the orders of fleet_orders.txt, each rendered by four voices of three
    engines (Flite rms and slt, eSpeak NG en-us, Festival's slt HTS voice):
    exact, mistaken for another order, rejected;
  - the near misses of fleet_near_misses.txt (ships the grammar lacks), each
    by two voices of two engines: how many give an order;
  - eSpeak NG's renders as it writes them (22.05 kHz) beside the 16 kHz
    copies that sox makes, both through the program's own conversion;
  - goforward under a phrase list of 500 invented words that the dictionary
    lacks, beside one of 500 dictionary words of the same lengths (both with
    the line "go forward ten meters"): wall time of the whole job (median of
    N runs), its peak memory, and start -> "ready".
Renders are cached in DIR (default: build/bench-fleet). Needs flite,
espeak-ng, festival's text2wave with its slt HTS voice and sox.
"""
import argparse
import concurrent.futures
import json
import os
import random
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
GRAMMAR = os.path.join(HERE, "fleet_words.gram")
DICTIONARY = "/usr/share/pocketsphinx/model/en-us/cmudict-en-us.dict"
GOFORWARD = "/usr/share/pocketsphinx/test/data/goforward.raw"

VOICES = [
    ("flite-rms", ["flite", "-voice", "rms", "-t", "{text}", "-o", "{out}"]),
    ("flite-slt", ["flite", "-voice", "slt", "-t", "{text}", "-o", "{out}"]),
    ("espeak-ng-en-us", ["espeak-ng", "-v", "en-us", "-w", "{out}", "{text}"]),
    ("festival-slt-hts", ["text2wave", "-eval", "(voice_cmu_us_slt_arctic_hts)", "-o", "{out}", "{textfile}"]),
]
NEAR_MISS_VOICES = [(0, 2), (2, 3), (1, 2), (3, 0)]  # two engines each


def listed(name):
    with open(os.path.join(HERE, name)) as listing:
        return [line.strip() for line in listing if line.strip() and not line.startswith("#")]


def render(voice, text, out):
    """The voice's own file (`out`.raw.wav) and a 16 kHz mono copy with half a second around it (`out`)."""
    if os.path.exists(out):
        return
    raw = out + ".raw.wav"
    textfile = out + ".txt"
    with open(textfile, "w") as f:
        f.write(text + "\n")
    subprocess.run([p.format(text=text, out=raw, textfile=textfile) for p in voice[1]], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["sox", "-q", raw, out + ".padded.wav", "pad", "0.5", "0.5"], check=True)
    subprocess.run(["sox", "-q", raw, "-r", "16000", "-c", "1", "-b", "16", out + ".tmp.wav", "pad", "0.5", "0.5"],
                   check=True)
    os.rename(out + ".tmp.wav", out)


def renders(cache):
    """(path, expected text, voice name) of the orders, and of the near misses."""
    folder = os.path.join(cache, "renders")
    os.makedirs(folder, exist_ok=True)
    jobs, orders, near = [], [], []
    for index, text in enumerate(listed("fleet_orders.txt")):
        for voice in VOICES:
            path = os.path.join(folder, f"order{index:02d}-{voice[0]}.wav")
            jobs.append((voice, text, path))
            orders.append((path, text.lower(), voice[0]))
    for index, text in enumerate(listed("fleet_near_misses.txt")):
        for number in NEAR_MISS_VOICES[index % len(NEAR_MISS_VOICES)]:
            voice = VOICES[number]
            path = os.path.join(folder, f"near{index:02d}-{voice[0]}.wav")
            jobs.append((voice, text, path))
            near.append((path, text.lower(), voice[0]))
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        list(pool.map(lambda job: render(*job), jobs))
    return orders, near


def final_text(bridge, path, grammar):
    out = subprocess.run([bridge, "--transcribe-file", path, "--grammar", grammar], capture_output=True, text=True)
    if out.stderr:
        sys.exit(f"{bridge} wrote to stderr: {out.stderr}")
    last = json.loads(out.stdout.splitlines()[-1])
    return last["text"] if last["event"] == "final" else "error: " + last["message"]


def run_all(jobs):
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        return list(pool.map(lambda job: job(), jobs))


def dictionary_words():
    words = set()
    with open(DICTIONARY, encoding="utf-8", errors="replace") as dictionary:
        for line in dictionary:
            entry = line.split(" ", 1)[0]
            if entry.isalpha() and entry.isascii():
                words.add(entry)
    return words


def word_grammars(cache):
    """Two phrase lists: 500 invented words, and 500 dictionary words of the same lengths."""
    known = dictionary_words()
    rng = random.Random(23)
    onsets = ["b", "d", "f", "g", "k", "l", "m", "n", "p", "r", "s", "t", "v", "z", "th", "dr", "kr", "st", "qu", "x"]
    vowels = ["a", "e", "i", "o", "u", "ae", "io", "y"]
    codas = ["", "", "n", "r", "s", "th", "x", "l"]
    invented = []
    while len(invented) < 500:
        word = "".join(rng.choice(onsets) + rng.choice(vowels) + rng.choice(codas) for _ in range(rng.randint(2, 4)))
        if word not in known and word not in invented:
            invented.append(word)
    by_length = {}
    for word in sorted(known):
        by_length.setdefault(len(word), []).append(word)
    for words in by_length.values():
        rng.shuffle(words)
    same = [by_length[len(word)].pop() for word in invented]
    paths = []
    for name, words in (("invented", invented), ("dictionary", same)):
        path = os.path.join(cache, f"500-{name}.txt")
        with open(path, "w") as f:
            f.write("go forward ten meters\n" + "".join(w + "\n" for w in words))
        paths.append(path)
    return paths


def timed_job(bridge, recording, grammar):
    """Seconds to "ready", seconds to the end, peak resident kilobytes, last line."""
    start = time.perf_counter()
    job = subprocess.Popen([bridge, "--transcribe-file", recording, "--grammar", grammar], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, text=True)
    ready = None
    last = ""
    for line in job.stdout:
        if ready is None:
            ready = time.perf_counter() - start
        last = line
    _, _, usage = os.wait4(job.pid, 0)
    end = time.perf_counter() - start
    job.returncode = 0
    return ready, end, usage.ru_maxrss, json.loads(last)


def cost(bridge, recording, grammar, runs):
    results = [timed_job(bridge, recording, grammar) for _ in range(runs)]
    return (statistics.median(r[0] for r in results), statistics.median(r[1] for r in results),
            max(r[2] for r in results), results[0][3])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bridge", default=os.path.join(TOP, "build", "speech-bridge"))
    parser.add_argument("--baseline", help="another build (such as main's) for a column of its own")
    parser.add_argument("--cache", default=os.path.join(TOP, "build", "bench-fleet"))
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--details", action="store_true", help="list every order that is not exact")
    options = parser.parse_args()
    cache = os.path.abspath(options.cache)
    orders, near = renders(cache)
    columns = [("this build", os.path.abspath(options.bridge))]
    if options.baseline:
        columns.append(("baseline", os.path.abspath(options.baseline)))

    espeak = [row for row in orders if row[2].startswith("espeak")]
    results = {}
    for _, bridge in columns:
        results[bridge] = (
            run_all([lambda p=p: final_text(bridge, p, GRAMMAR) for p, *_ in orders]),
            run_all([lambda p=p: final_text(bridge, p, GRAMMAR) for p, *_ in near]),
            run_all([lambda p=p: final_text(bridge, p + ".padded.wav", GRAMMAR) for p, *_ in espeak]))

    recording = os.path.join(cache, "goforward.wav")
    subprocess.run(["sox", "-q", "-t", "raw", "-r", "16000", "-e", "signed-integer", "-b", "16", "-c", "1",
                    GOFORWARD, recording], check=True)
    invented, known = word_grammars(cache)
    costs = {bridge: (cost(bridge, recording, invented, options.runs), cost(bridge, recording, known, options.runs))
             for _, bridge in columns}

    def row(label, values):
        print(f"{label:<62}" + "".join(f" {value:>16}" for value in values))

    row("figure", [name for name, _ in columns])
    n = len(orders)
    voices = len({r[2] for r in orders})
    for name, pick in [("all", lambda r: True)] + [(v[0], lambda r, v=v: r[2] == v[0]) for v in VOICES]:
        chosen = [i for i, r in enumerate(orders) if pick(r)]
        label = f"fleet orders ({n // voices} x {voices} voices): exact of {len(chosen)}" if name == "all" \
            else f"  {name}: exact of {len(chosen)}"
        row(label, [sum(1 for i in chosen if results[b][0][i] == orders[i][1]) for _, b in columns])
    row("  the same in percent", [f"{100 * sum(1 for t, r in zip(results[b][0], orders) if t == r[1]) / n:.1f}%"
                                  for _, b in columns])
    row("  mistaken for another order",
        [sum(1 for t, r in zip(results[b][0], orders) if t and t != r[1] and not t.startswith("error"))
         for _, b in columns])
    row("  rejected (empty text)", [sum(1 for t in results[b][0] if t == "") for _, b in columns])
    row("  ended with an error", [sum(1 for t in results[b][0] if t.startswith("error")) for _, b in columns])
    row(f"near misses ({len(near) // 2} x 2 voices of 2 engines): give an order, of {len(near)}",
        [sum(1 for t in results[b][1] if t and not t.startswith("error")) for _, b in columns])
    row(f"eSpeak NG orders at 16 kHz (sox): exact of {len(espeak)}",
        [sum(1 for i, r in enumerate(orders) if r[2].startswith("espeak") and results[b][0][i] == r[1])
         for _, b in columns])
    row(f"eSpeak NG orders at 22.05 kHz (as written): exact of {len(espeak)}",
        [sum(1 for t, r in zip(results[b][2], espeak) if t == r[1]) for _, b in columns])
    for label, index in (("500 invented words", 0), ("500 dictionary words", 1)):
        row(f"goforward, {label}: wall time median (s)", [f"{costs[b][index][1]:.3f}" for _, b in columns])
        row("  start -> ready median (s)", [f"{costs[b][index][0]:.4f}" for _, b in columns])
        row("  peak memory (MB)", [f"{costs[b][index][2] / 1024:.1f}" for _, b in columns])
        row("  final", [(costs[b][index][3].get("text") or costs[b][index][3].get("message", ""))[:16]
                         for _, b in columns])
    row("invented / dictionary: wall time", [f"{costs[b][0][1] / costs[b][1][1]:.3f}" for _, b in columns])
    row("invented - dictionary: peak memory (MB)",
        [f"{(costs[b][0][2] - costs[b][1][2]) / 1024:.1f}" for _, b in columns])
    if options.details:
        bridge = columns[0][1]
        for (path, text, voice), got in zip(orders, results[bridge][0]):
            if got != text:
                print(f"{os.path.basename(path)} ({voice}): {text!r} -> {got!r}")
        for (path, text, voice), got in zip(near, results[bridge][1]):
            if got:
                print(f"near miss {os.path.basename(path)} ({voice}): {text!r} -> {got!r}")
        for (path, text, voice), got in zip(espeak, results[bridge][2]):
            if got != text:
                print(f"22.05 kHz {os.path.basename(path)}: {text!r} -> {got!r}")


if __name__ == "__main__":
    main()
