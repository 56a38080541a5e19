#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""--listen figures, measured against a sound server of this script's own (--server).

Prints one table: process start to "ready" (and pocketsphinx_continuous's
start until it listens, side by side), "stop" written to "final" read, the
word error rate of the live path against --transcribe-file on the same
recordings, and CPU while listening. Run after building build/:

    python3 bench/listen.py [--runs N]

A second table times "stop" written to "final" read for stops 0.3 s to 10 s
after "ready" on two kinds of source: an idle one (a second PulseAudio whose
microphone nothing else records, nothing playing, its microphone woken before
each job: its first buffer comes about 2 s after capture starts) and the
server above with a recording playing. --stops-only prints just that table.

    python3 bench/listen.py --grammar PATH [--recordings TSV]

lists the same figures with every job listening with that grammar, on the
recordings of TSV (path, tab, expected text a line: render_orders.py's
orders.tsv) instead of the LibriVox clips.
"""

import argparse
import os
import select
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bridge_job import final_of_file  # noqa: E402
from sound_rig import SoundServer  # noqa: E402
from word_errors import edit_distance  # noqa: E402

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BRIDGE = os.path.join(TOP, "build", "speech-bridge")
LIBRIVOX = "/usr/share/pocketsphinx/test/data/librivox"
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


class Listening:
    """One --listen job, its lines read with their arrival times."""

    def __init__(self, env, extra=()):
        self.started = time.monotonic()
        self.process = subprocess.Popen([BRIDGE, "--listen", *extra], env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.pending = b""

    def line(self, timeout=10.0):
        deadline = time.monotonic() + timeout
        while b"\n" not in self.pending:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.process.stdout], [], [], left)[0]:
                raise RuntimeError("no line from speech-bridge in time")
            chunk = os.read(self.process.stdout.fileno(), 65536)
            if not chunk:
                raise RuntimeError("speech-bridge ended without a line")
            self.pending += chunk
        text, self.pending = self.pending.split(b"\n", 1)
        return time.monotonic(), text.decode()

    def lines_until_final(self):
        while True:
            at, text = self.line()
            if '"event":"final"' in text or '"event":"error"' in text:
                return at, text

    def write(self, text):
        self.process.stdin.write(text.encode())
        self.process.stdin.flush()

    def end(self):
        self.process.stdin.close()
        self.process.wait()
        error = self.process.stderr.read()
        if error:
            raise RuntimeError("speech-bridge wrote to stderr: " + error.decode(errors="replace"))


def start_to_ready(daemon, runs, extra=()):
    times = []
    for _ in range(runs):
        job = Listening(daemon.environment, extra)
        at, text = job.line()
        if '"ready"' not in text:
            raise RuntimeError(text)
        times.append(at - job.started)
        job.write("cancel\n")
        job.lines_until_final()
        job.end()
    return times


def continuous_start(daemon, runs):
    """pocketsphinx_continuous -inmic yes: start until it says it is listening."""
    tool = shutil.which("pocketsphinx_continuous")
    if not tool:
        return None
    times = []
    for _ in range(runs):
        started = time.monotonic()
        process = subprocess.Popen([tool, "-inmic", "yes"], env=daemon.environment, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE)
        text = b""
        while b"Ready" not in text:
            chunk = process.stderr.read1(65536) if select.select([process.stderr], [], [], 10)[0] else b""
            if not chunk:
                break
            text += chunk
        ready = time.monotonic()
        process.kill()
        process.wait()
        if b"Ready" not in text:
            return None
        times.append(ready - started)
    return times


def words(text):
    return text.lower().replace("<s>", "").replace("</s>", "").split()


def final_text(line):
    import json
    event = json.loads(line)
    if event["event"] != "final":
        raise RuntimeError(line)
    return event["text"]


def live_utterance(daemon, wav, extra=()):
    """Plays one recording into the microphone while listening; returns
    (final text, stop-to-final seconds, CPU share while listening, partials)."""
    job = Listening(daemon.environment, extra)
    ready_at, text = job.line()
    cpu_before = cpu_seconds(job.process.pid)
    player = daemon.play(wav)
    player.wait()
    time.sleep(0.3)
    cpu_share = (cpu_seconds(job.process.pid) - cpu_before) / (time.monotonic() - ready_at)
    stopped = time.monotonic()
    job.write("stop\n")
    final_at, line = job.lines_until_final()
    job.end()
    return final_text(line), final_at - stopped, cpu_share


STOP_DELAYS = (0.3, 0.6, 1.0, 2.5, 5.0, 10.0)
# 7.1 s of speech: it is still playing at most of the stops.
LONG_RECORDING = os.path.join(LIBRIVOX, "sense_and_sensibility_01_austen_64kb-0870.wav")


def stops_after_ready(daemon, runs, recording=None, extra=(), delays=STOP_DELAYS, wake=None):
    """Stops --listen jobs each of `delays` after "ready", while `recording`
    plays into the microphone if given; the microphone is woken first when
    `wake` says so (by default when nothing plays). Returns stop-to-final
    seconds by delay, start-to-ready seconds, and the CPU share from "ready"
    to the latest stops."""
    if wake is None:
        wake = not recording
    latencies = {delay: [] for delay in delays}
    ready, cpu = [], []
    for _ in range(runs):
        for delay in delays:
            player = daemon.play(recording) if recording else None
            if wake:
                daemon.wake_microphone()
            job = Listening(daemon.environment, extra)
            ready_at, text = job.line()
            if '"ready"' not in text:
                raise RuntimeError(text)
            ready.append(ready_at - job.started)
            cpu_before = cpu_seconds(job.process.pid)
            time.sleep(max(0.0, ready_at + delay - time.monotonic()))
            share = (cpu_seconds(job.process.pid) - cpu_before) / (time.monotonic() - ready_at)
            stopped = time.monotonic()
            job.write("stop\n")
            final_at, line = job.lines_until_final()
            final_text(line)
            job.end()
            if player:
                player.kill()
                player.wait()
            latencies[delay].append(final_at - stopped)
            if delay == delays[-1]:
                cpu.append(share)
    return latencies, ready, cpu


def print_stop_table(sources):
    """sources: (name, (latencies, ready, cpu)) pairs from stops_after_ready."""
    print("\nstop written to final read (ms, median / worst), by the stop's time after ready")
    print(f"{'source':34}" + "".join(f"{f'{delay:g} s':>12}" for delay in STOP_DELAYS) + f"{'all':>12}")
    for name, (latencies, _, _) in sources:
        every = [seconds for delay in STOP_DELAYS for seconds in latencies[delay]]
        cells = [latencies[delay] for delay in STOP_DELAYS] + [every]
        print(f"{name:34}" + "".join(f"{statistics.median(c) * 1000:6.0f} /{max(c) * 1000:4.0f}" for c in cells))
    print(f"{'target: worst':34}" + f"{'<= 200':>12}" * (len(STOP_DELAYS) + 1))
    for name, (latencies, ready, cpu) in sources:
        runs = len(latencies[STOP_DELAYS[0]])
        print(f"{name}: {runs} runs per stop; start to ready median {statistics.median(ready) * 1000:.0f} ms "
              f"(<= 100 ms); CPU from ready to a stop {STOP_DELAYS[-1]:g} s later median "
              f"{statistics.median(cpu):.2f}, worst {max(cpu):.2f} of one core (<= 0.50)")


def file_transcript(wav, extra=()):
    return final_of_file(BRIDGE, wav, *extra)["text"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=20, help="start-up runs per program")
    parser.add_argument("--rounds", type=int, default=2, help="passes over the recordings")
    parser.add_argument("--stop-runs", type=int, default=5, help="jobs per stop time in the stop table")
    parser.add_argument("--stops-only", action="store_true", help="print only the stop table")
    parser.add_argument("--grammar", help="listen with this grammar file")
    parser.add_argument("--details", action="store_true", help="list each live transcript that is not exact")
    parser.add_argument("--bridge", help="the speech-bridge to measure (default: build/speech-bridge)")
    parser.add_argument("--recordings", help="TSV of recordings and their texts (with --grammar)")
    parser.add_argument("--server", default="PulseAudio", help="PulseAudio or PipeWire (the idle source is "
                        "always PulseAudio's); bench/live_start.py puts both side by side")
    options = parser.parse_args()
    global BRIDGE
    if options.bridge:
        BRIDGE = os.path.abspath(options.bridge)
    extra = ("--grammar", os.path.abspath(options.grammar)) if options.grammar else ()
    if not os.access(BRIDGE, os.X_OK):
        raise SystemExit(f"build first: cmake -S {TOP} -B {TOP}/build && cmake --build {TOP}/build")

    references = {}
    if options.recordings:
        with open(options.recordings) as listing:
            for entry in listing:
                path, text = entry.rstrip("\n").split("\t")[:2]
                references[path] = words(text)
    else:
        with open(os.path.join(LIBRIVOX, "transcription")) as listing:
            for entry in listing:
                text, name = entry.rsplit("(", 1)
                references[os.path.join(LIBRIVOX, name.strip(" )\n") + ".wav")] = words(text)

    daemon = SoundServer(options.server)
    try:
        playing = stops_after_ready(daemon, options.stop_runs, LONG_RECORDING, extra)
    finally:
        daemon.stop()
    idle_daemon = SoundServer("PulseAudio", real_time=False)
    try:
        idle = stops_after_ready(idle_daemon, options.stop_runs, extra=extra)
    finally:
        idle_daemon.stop()
    stop_sources = [("idle source, nothing playing", idle), ("the rig, recording playing", playing)]
    if options.stops_only:
        print_stop_table(stop_sources)
        return

    daemon = SoundServer(options.server)
    try:
        ready = start_to_ready(daemon, options.runs, extra)
        continuous = continuous_start(daemon, min(options.runs, 5))
        stop_to_final, cpu, live_edits, file_edits, total_words = [], [], 0, 0, 0
        for _ in range(options.rounds):
            for wav, reference in sorted(references.items()):
                live, latency, share = live_utterance(daemon, wav, extra)
                stop_to_final.append(latency)
                cpu.append(share)
                live_edits += edit_distance(reference, words(live))
                if options.details and words(live) != reference:
                    print(f"live {os.path.basename(wav)}: {' '.join(reference)!r} -> {live!r}", flush=True)
                file_edits += edit_distance(reference, words(file_transcript(wav, extra)))
                total_words += len(reference)
    finally:
        daemon.stop()

    ms = lambda seconds: f"{statistics.median(seconds) * 1000:9.1f} ms"
    print(f"{'figure':52} {'measured':>12} {'target':>10}")
    print(f"{'--listen, process start to ready (median of %d)' % len(ready):52} {ms(ready):>12} {'<= 100 ms':>10}")
    if continuous:
        print(f"{'pocketsphinx_continuous -inmic yes, start to Ready':52} {ms(continuous):>12}")
    else:
        print(f"{'pocketsphinx_continuous -inmic yes, start to Ready':52} {'n/a':>12}")
    print(f"{'stop written to final read (median)':52} {ms(stop_to_final):>12} {'<= 200 ms':>10}")
    print(f"{'stop written to final read, worst':52} {max(stop_to_final) * 1000:9.1f} ms")
    live_wer, file_wer = 100 * live_edits / total_words, 100 * file_edits / total_words
    print(f"{'word error rate, live through the microphone':52} {live_wer:10.1f} % {'':>10}")
    print(f"{'word error rate, --transcribe-file':52} {file_wer:10.1f} % {'':>10}")
    print(f"{'difference':52} {live_wer - file_wer:+9.1f} pt {'<= +10 pt':>10}")
    print(f"{'CPU while listening to speech (median, of one core)':52} {statistics.median(cpu):12.2f} {'<= 0.50':>10}")
    print(f"{'CPU while listening to speech (worst)':52} {max(cpu):12.2f}")
    print_stop_table(stop_sources)


if __name__ == "__main__":
    main()
