#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""--transcribe-file side by side with PocketSphinx's own pocketsphinx_continuous.

On the LibriVox clips of the package pocketsphinx-testdata (same engine, same
en-US model, the tool's default settings), prints a table of:
  - word error rate against the clips' transcription, for the 16 kHz clips and
    for copies resampled to 44.1 kHz stereo (the tool reads only 16 kHz, so it
    is scored on the originals);
  - wall time from process start to exit, median per file;
  - process start to the "ready" line, median;
  - peak resident memory.

Usage: bench/transcribe_file.py [path/to/speech-bridge] [--runs N]
Needs: sox, hyperfine, pocketsphinx, pocketsphinx-en-us, pocketsphinx-testdata.
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bridge_job import final_of_file  # noqa: E402
from word_errors import word_error_rate  # noqa: E402

DATA = "/usr/share/pocketsphinx/test/data"
LIBRIVOX = os.path.join(DATA, "librivox")
TOOL = "pocketsphinx_continuous"


def references():
    clips = {}
    with open(os.path.join(LIBRIVOX, "transcription")) as lines:
        for line in lines:
            words, _, name = line.strip().rpartition(" (")
            words = [w for w in words.split() if w not in ("<s>", "</s>")]
            clips[name.rstrip(")")] = words
    return clips


def ours(bridge, path):
    return final_of_file(bridge, path)["text"].split()


def theirs(path):
    out = subprocess.run([TOOL, "-infile", path], capture_output=True, text=True, check=True)
    return out.stdout.split()


def rusage_peak_mb(command):
    """Peak resident set of one run, from the kernel's accounting of the child."""
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, _, usage = os.wait4(child.pid, 0)
    return usage.ru_maxrss / 1024.0


def ready_seconds(bridge, path, runs):
    times = []
    for _ in range(runs):
        started = time.perf_counter()
        child = subprocess.Popen([bridge, "--transcribe-file", path], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        first = json.loads(child.stdout.readline())
        times.append(time.perf_counter() - started)
        child.stdout.read()
        child.wait()
        if first.get("event") != "ready":
            sys.exit(f"first line was {first}")
    return statistics.median(times)


def wall_medians(bridge, path, runs, folder):
    exported = os.path.join(folder, "hyperfine.json")
    subprocess.run(["hyperfine", "-N", "--warmup", "2", "--runs", str(runs), "--export-json", exported,
                    f"{bridge} --transcribe-file {path}", f"{TOOL} -infile {path}"],
                   check=True, stdout=subprocess.DEVNULL)
    with open(exported) as results:
        ours_run, theirs_run = json.load(results)["results"]
    return ours_run["median"], theirs_run["median"]


def main():
    args = sys.argv[1:]
    runs = 10
    if "--runs" in args:
        at = args.index("--runs")
        runs = int(args[at + 1])
        del args[at:at + 2]
    bridge = os.path.abspath(args[0] if args else os.path.join(os.path.dirname(__file__), "..", "build", "speech-bridge"))
    clips = references()

    with tempfile.TemporaryDirectory(prefix="speech-bridge-bench-") as folder:
        originals, stereo = [], []
        for name in sorted(clips):
            original = os.path.join(LIBRIVOX, name + ".wav")
            copy = os.path.join(folder, name + "-44k-stereo.wav")
            subprocess.run(["sox", "-q", original, "-r", "44100", "-c", "2", copy], check=True)
            originals.append((name, original))
            stereo.append((name, copy))

        tool_pairs = [(clips[name], theirs(path)) for name, path in originals]
        our_pairs = [(clips[name], ours(bridge, path)) for name, path in originals]
        our_stereo_pairs = [(clips[name], ours(bridge, path)) for name, path in stereo]
        print(f"{'figure':<52} {'speech-bridge':>14} {TOOL:>24} {'ratio/diff':>11}")

        def row(label, mine, reference, kind):
            relation = f"{mine - reference:+.2f}" if kind == "diff" else f"{mine / reference:.3f}"
            print(f"{label:<52} {mine:>14.3f} {reference:>24.3f} {relation:>11}")

        tool_wer = word_error_rate(tool_pairs)
        row("WER %, 5 LibriVox clips, 16 kHz mono", word_error_rate(our_pairs), tool_wer, "diff")
        row("WER %, same clips at 44.1 kHz stereo (tool: 16 kHz)", word_error_rate(our_stereo_pairs), tool_wer, "diff")
        identical = sum(1 for (_, a), (_, b) in zip(our_pairs, tool_pairs) if a == b)
        print(f"{'clips whose words equal the tool words':<52} {identical:>14d} {len(tool_pairs):>24d}")

        goforward = os.path.join(folder, "goforward.wav")
        subprocess.run(["sox", "-q", "-t", "raw", "-r", "16000", "-e", "signed-integer", "-b", "16", "-c", "1",
                        os.path.join(DATA, "goforward.raw"), goforward], check=True)
        longest = dict(originals)["sense_and_sensibility_01_austen_64kb-0870"]
        for label, path in (("goforward 2.8 s", goforward), ("LibriVox 0870 7.1 s", longest)):
            mine, reference = wall_medians(bridge, path, runs, folder)
            row(f"wall time start->exit median s, {label}", mine, reference, "ratio")

        ready = ready_seconds(bridge, longest, max(runs, 20))
        print(f"{'start->ready median ms':<52} {ready * 1000:>14.1f}")

        my_peak = max(rusage_peak_mb([bridge, "--transcribe-file", longest]) for _ in range(3))
        tool_peak = max(rusage_peak_mb([TOOL, "-infile", longest]) for _ in range(3))
        print(f"{'peak RSS MB, LibriVox 0870':<52} {my_peak:>14.1f} {tool_peak:>24.1f} {my_peak - tool_peak:>+11.1f}")
        my_stereo_peak = max(rusage_peak_mb([bridge, "--transcribe-file", dict(stereo)["sense_and_sensibility_01_austen_64kb-0870"]]) for _ in range(3))
        print(f"{'peak RSS MB, same clip 44.1 kHz stereo':<52} {my_stereo_peak:>14.1f} {tool_peak:>24.1f} {my_stereo_peak - tool_peak:>+11.1f}")


if __name__ == "__main__":
    main()
