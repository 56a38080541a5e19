#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""--grammar figures, side by side with pocketsphinx_continuous -jsgf and with open vocabulary.

    bench/grammar.py CORPUS_DIR [--bridge PATH] [--runs N] [--details]

CORPUS_DIR holds the recordings of bench/render_orders.py (rendered there
first when it has no orders.tsv). In one run, for
  - pocketsphinx-testdata's cards/ recordings with cards.gram,
  - the rendered ship orders with examples/ship_orders.gram,
  - the recordings that hold no ship order, under the same grammar,
it prints exact transcripts (and, for speech outside the grammar, how many
give a non-empty text) of speech-bridge --transcribe-file --grammar, of
pocketsphinx_continuous -jsgf (which reads 16 kHz mono only, so it hears
copies converted with sox) and of speech-bridge without a grammar; then the
wall time of goforward with goforward.gram, median of N runs (hyperfine).
A second table, with a column for --baseline PATH (another build, such as
main's) beside this one's: the near misses of near_misses.tsv (how many give
a non-empty final, how many a rejected one), the ship orders exact and
rejected, the orders in crew babble of babble.tsv exact and rejected, the
recordings that hold no order, and goforward with its grammar.
Needs sox, hyperfine, pocketsphinx, pocketsphinx-testdata and what
render_orders.py needs.
"""
import argparse
import concurrent.futures
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bridge_job import final_of_file  # noqa: E402
from word_errors import word_error_rate  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
DATA = "/usr/share/pocketsphinx/test/data"
SHIP_GRAMMAR = os.path.join(TOP, "examples", "ship_orders.gram")
CARDS_GRAMMAR = os.path.join(DATA, "cards", "cards.gram")
TOOL = "pocketsphinx_continuous"


def final_event(bridge, path, grammar=None):
    return final_of_file(bridge, path, *(["--grammar", grammar] if grammar else []))


def ours(bridge, path, grammar=None):
    return final_event(bridge, path, grammar)["text"]


def theirs(path, grammar, scratch):
    """The tool's words for the file, joined over its utterances."""
    if not path.endswith(".raw"):
        converted = os.path.join(scratch, os.path.basename(os.path.dirname(path)) + "-" + os.path.basename(path))
        if not os.path.exists(converted):
            subprocess.run(["sox", "-q", path, "-r", "16000", "-c", "1", "-b", "16", converted], check=True)
        path = converted
    out = subprocess.run([TOOL, "-infile", path, "-jsgf", grammar, "-logfn", "/dev/null"], capture_output=True,
                         text=True, check=False)
    return " ".join(out.stdout.split())


def run_all(jobs):
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        return list(pool.map(lambda job: job(), jobs))


def corpus(directory):
    if not os.path.exists(os.path.join(directory, "orders.tsv")):
        subprocess.run([sys.executable, os.path.join(HERE, "render_orders.py"), directory], check=True)
    with open(os.path.join(directory, "orders.tsv")) as listing:
        orders = [line.rstrip("\n").split("\t") for line in listing if line.strip()]
    with open(os.path.join(directory, "other.tsv")) as listing:
        other = [line.strip() for line in listing if line.strip()]
    return orders, other


def listed(directory, name):
    with open(os.path.join(directory, name)) as listing:
        return [line.rstrip("\n").split("\t") for line in listing if line.strip()]


def cards():
    references = {}
    with open(os.path.join(DATA, "cards", "cards.transcription")) as listing:
        for line in listing:
            words, _, name = line.strip().rpartition(" (")
            references[os.path.join(DATA, "cards", name.rstrip(")") + ".wav")] = " ".join(
                w for w in words.split() if w not in ("<s>", "</s>"))
    return sorted(references.items())


def wall_medians(bridge, runs, scratch):
    goforward = os.path.join(scratch, "goforward.wav")
    subprocess.run(["sox", "-q", "-t", "raw", "-r", "16000", "-e", "signed-integer", "-b", "16", "-c", "1",
                    os.path.join(DATA, "goforward.raw"), goforward], check=True)
    grammar = os.path.join(DATA, "goforward.gram")
    exported = os.path.join(scratch, "hyperfine.json")
    subprocess.run(["hyperfine", "-N", "--warmup", "3", "--runs", str(runs), "--export-json", exported,
                    f"{bridge} --transcribe-file {goforward} --grammar {grammar}",
                    f"{TOOL} -infile {goforward} -jsgf {grammar} -logfn /dev/null",
                    f"{bridge} --transcribe-file {goforward}"],
                   check=True, stdout=subprocess.DEVNULL)
    with open(exported) as results:
        return [run["median"] for run in json.load(results)["results"]]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("corpus")
    parser.add_argument("--bridge", default=os.path.join(TOP, "build", "speech-bridge"))
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--details", action="store_true", help="list every recording that is not exact")
    parser.add_argument("--baseline", help="another speech-bridge (such as main's) for a column of its own "
                                           "in the near-miss table")
    options = parser.parse_args()
    bridge = os.path.abspath(options.bridge)
    orders, other = corpus(os.path.abspath(options.corpus))

    with tempfile.TemporaryDirectory(prefix="speech-bridge-grammar-") as scratch:
        card_set = cards()
        card_ours = run_all([lambda p=p: ours(bridge, p, CARDS_GRAMMAR) for p, _ in card_set])
        card_theirs = run_all([lambda p=p: theirs(p, CARDS_GRAMMAR, scratch) for p, _ in card_set])
        card_open = run_all([lambda p=p: ours(bridge, p) for p, _ in card_set])

        ship_ours = run_all([lambda p=p: ours(bridge, p, SHIP_GRAMMAR) for p, *_ in orders])
        ship_theirs = run_all([lambda p=p: theirs(p, SHIP_GRAMMAR, scratch) for p, *_ in orders])
        ship_open = run_all([lambda p=p: ours(bridge, p) for p, *_ in orders])

        other_ours = run_all([lambda p=p: ours(bridge, p, SHIP_GRAMMAR) for p in other])
        other_theirs = run_all([lambda p=p: theirs(p, SHIP_GRAMMAR, scratch) for p in other])

        near = listed(os.path.abspath(options.corpus), "near_misses.tsv")
        babble = listed(os.path.abspath(options.corpus), "babble.tsv")
        goforward_wav = os.path.join(scratch, "goforward-exact.wav")
        subprocess.run(["sox", "-q", "-t", "raw", "-r", "16000", "-e", "signed-integer", "-b", "16", "-c", "1",
                        os.path.join(DATA, "goforward.raw"), goforward_wav], check=True)
        second = [os.path.abspath(options.baseline)] if options.baseline else []
        hard = {}  # bridge -> (near-miss events, babble events, orders' events, chatter's, goforward's)
        for candidate in [bridge] + second:
            hard[candidate] = (
                run_all([lambda p=p: final_event(candidate, p, SHIP_GRAMMAR) for p, *_ in near]),
                run_all([lambda p=p: final_event(candidate, p, SHIP_GRAMMAR) for p, *_ in babble]),
                run_all([lambda p=p: final_event(candidate, p, SHIP_GRAMMAR) for p, *_ in orders]),
                run_all([lambda p=p: final_event(candidate, p, SHIP_GRAMMAR) for p in other]),
                final_event(candidate, goforward_wav, os.path.join(DATA, "goforward.gram")))
        near_theirs = run_all([lambda p=p: theirs(p, SHIP_GRAMMAR, scratch) for p, *_ in near])

        wall = wall_medians(bridge, options.runs, scratch)

    def exact(texts, references):
        return sum(1 for text, reference in zip(texts, references) if text == reference)

    card_refs = [text for _, text in card_set]
    ship_refs = [row[1] for row in orders]
    print(f"{'figure':<58} {'speech-bridge':>14} {TOOL + ' -jsgf':>28} {'open vocabulary':>16}")
    print(f"{'cards/ with cards.gram, exact of %d' % len(card_set):<58} {exact(card_ours, card_refs):>14} "
          f"{exact(card_theirs, card_refs):>28} {exact(card_open, card_refs):>16}")
    n = len(orders)
    ours_exact, theirs_exact, open_exact = exact(ship_ours, ship_refs), exact(ship_theirs, ship_refs), exact(ship_open, ship_refs)
    print(f"{'ship orders with ship_orders.gram, exact of %d' % n:<58} {ours_exact:>14} {theirs_exact:>28} {open_exact:>16}")
    print(f"{'  the same in percent':<58} {100 * ours_exact / n:>13.1f}% {100 * theirs_exact / n:>27.1f}% "
          f"{100 * open_exact / n:>15.1f}%")
    rejected = sum(1 for text in ship_ours if text == "")
    print(f"{'  orders rejected (empty text)':<58} {rejected:>14} {sum(1 for t in ship_theirs if t == ''):>28}")
    pairs = lambda texts: [(reference.split(), text.split()) for reference, text in zip(ship_refs, texts)]
    print(f"{'  word error rate %':<58} {word_error_rate(pairs(ship_ours)):>14.1f} "
          f"{word_error_rate(pairs(ship_theirs)):>28.1f} {word_error_rate(pairs(ship_open)):>16.1f}")
    print(f"{'no ship order, under ship_orders.gram: non-empty of %d' % len(other):<58} "
          f"{sum(1 for t in other_ours if t):>14} {sum(1 for t in other_theirs if t):>28}")
    print(f"{'goforward with goforward.gram, wall time median (s)':<58} {wall[0]:>14.3f} {wall[1]:>28.3f} {wall[2]:>16.3f}")
    print(f"{'  speech-bridge / ' + TOOL:<58} {wall[0] / wall[1]:>14.3f}")

    print()
    columns = [("speech-bridge", bridge)] + [("baseline", b) for b in second]
    print(f"{'figure':<58}" + "".join(f" {name:>14}" for name, _ in columns) + f" {TOOL + ' -jsgf':>28}")

    def row(label, values, tool=""):
        print(f"{label:<58}" + "".join(f" {value:>14}" for value in values) + f" {tool:>28}")

    engines = sorted({row_[2].split("-")[0] for row_ in near})
    row(f"near misses ({len(near) // 2} x 2 voices; {', '.join(engines)}): non-empty of {len(near)}",
        [sum(1 for e in hard[b][0] if e["text"]) for _, b in columns], sum(1 for t in near_theirs if t))
    row("  of them rejected", [sum(1 for e in hard[b][0] if e.get("rejected")) for _, b in columns])
    row("ship orders: exact / rejected",
        [f"{sum(1 for e, r in zip(hard[b][2], orders) if e['text'] == r[1])} / "
         f"{sum(1 for e in hard[b][2] if not e['text'])}" for _, b in columns])
    for level in ("20", "15"):
        picked = [i for i, r in enumerate(babble) if r[3] == f"babble {level} dB"]
        row(f"orders in crew babble {level} dB below: exact / rejected of {len(picked)}",
            [f"{sum(1 for i in picked if hard[b][1][i]['text'] == babble[i][1])} / "
             f"{sum(1 for i in picked if not hard[b][1][i]['text'])}" for _, b in columns])
    row(f"no ship order (chatter): non-empty of {len(other)}", [sum(1 for e in hard[b][3] if e["text"]) for _, b in columns])
    row("goforward with goforward.gram: exact",
        ["yes" if hard[b][4]["text"] == "go forward ten meters" else repr(hard[b][4]["text"]) for _, b in columns])

    if options.details:
        print()
        for row_, event, tool in zip(near, hard[bridge][0], near_theirs):
            if event["text"]:
                print(f"near miss {os.path.basename(row_[0])}: {row_[1]!r} -> ours {event['text']!r}, tool {tool!r}")
        for row_, event in zip(babble, hard[bridge][1]):
            if event["text"] != row_[1]:
                print(f"babble {os.path.basename(row_[0])}: {row_[1]!r} -> ours {event['text']!r}")
        for (path, reference), text, tool in zip(card_set, card_ours, card_theirs):
            if text != reference or tool != reference:
                print(f"cards {os.path.basename(path)}: {reference!r} -> ours {text!r}, tool {tool!r}")
        for row, text, tool in zip(orders, ship_ours, ship_theirs):
            if text != row[1] or tool != row[1]:
                print(f"{os.path.basename(row[0])}: {row[1]!r} -> ours {text!r}, tool {tool!r}")
        for path, text, tool in zip(other, other_ours, other_theirs):
            print(f"no order {os.path.basename(path)}: ours {text!r}, tool {tool!r}")


if __name__ == "__main__":
    main()
