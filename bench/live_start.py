#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A microphone live from the start, on PulseAudio and on PipeWire, side by side in one run.

    bench/live_start.py [--runs N] [--stop-runs N] [--servers PulseAudio,PipeWire] [--start-only]
                        [--onset-only] [--idle] [--details] [--bridge PATH]

For each sound server of the bench's own (sound_rig.py) it prints:
  - process start to "ready", N jobs, with examples/ship_orders.gram and
    with open vocabulary (median and worst);
  - orders spoken from the moment the process starts: 15 ship orders
    (bench/ship_orders.txt, Flite's slt voice, leading silence cut), each
    played into the microphone by paplay launched together with the job,
    listened to with the ship grammar; how many finals are exact, with the
    speech starting at once and 100 ms later, and how many are a plain empty
    final (nobody spoke);
  - "stop" written to "final" read, 0.3, 0.6, 1 and 5 s after "ready", with
    and without the grammar, with nothing playing (a second server whose
    null sinks idle, its microphone woken before each job: on PulseAudio its
    first buffer comes about 2 s after capture starts) and with a
    LibriVox recording playing from before the start;
  - CPU from "ready" to the 5 s stop with the grammar, while the recording plays.
--onset-only prints just the orders. The null sinks render in real time, as
sound cards do (sound_rig.py); with --idle nothing else records them, so that
on PulseAudio the microphone's sink renders up to 2 s ahead and what paplay
plays before the job's stream connects has passed it before the job hears it.
Needs flite, sox, paplay and what sound_rig.py needs.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import listen  # noqa: E402
from listen import LONG_RECORDING, Listening, start_to_ready, stops_after_ready  # noqa: E402
from sound_rig import SoundServer  # noqa: E402

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GRAMMAR = ("--grammar", os.path.join(TOP, "examples", "ship_orders.gram"))
STOP_DELAYS = (0.3, 0.6, 1.0, 5.0)
ORDERS = 15


def render_orders(folder):
    """(path with speech at once, path with 100 ms of silence first, text) for the first ORDERS orders."""
    with open(os.path.join(TOP, "bench", "ship_orders.txt")) as listing:
        texts = [line.strip() for line in listing if line.strip() and not line.startswith("#")][:ORDERS]
    rendered = []
    for index, text in enumerate(texts):
        raw, at_once, later = (os.path.join(folder, f"{index}-{kind}.wav") for kind in ("raw", "now", "later"))
        subprocess.run(["flite", "-voice", "slt", "-t", text, "-o", raw], check=True)
        # Cut everything before the first sound above 0.1% of full scale
        # (at 1% the cut takes the quiet "f" of "fifth" and "fleet").
        subprocess.run(["sox", "-q", raw, at_once, "silence", "1", "0.005", "0.1%"], check=True)
        subprocess.run(["sox", "-q", at_once, later, "pad", "0.1", "0"], check=True)
        rendered.append((at_once, later, text))
    return rendered


def spoken_from_the_start(server, orders, which, details=False):
    """How many orders are heard exactly when paplay starts with the job, and
    how many end as a plain empty final; with `details`, prints the others."""
    exact = empty = 0
    for at_once, later, text in orders:
        job = Listening(server.environment, GRAMMAR)
        player = server.play(at_once if which == "now" else later)
        job.line()
        player.wait()
        time.sleep(0.3)
        job.write("stop\n")
        _, line = job.lines_until_final()
        job.end()
        final = json.loads(line)
        exact += final.get("text") == text
        if details and final.get("text") != text:
            print(f"    {text!r} -> {final.get('text')!r}{' rejected' if final.get('rejected') else ''}")
        empty += final == {"event": "final", "text": ""}
    return exact, empty


def ms(values):
    return f"{statistics.median(values) * 1000:5.0f} /{max(values) * 1000:4.0f}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=20, help="start-up jobs per vocabulary")
    parser.add_argument("--stop-runs", type=int, default=3, help="jobs per cell of the stop table")
    parser.add_argument("--servers", default="PulseAudio,PipeWire")
    parser.add_argument("--start-only", action="store_true", help="print only start -> ready")
    parser.add_argument("--onset-only", action="store_true", help="print only the orders spoken from the start")
    parser.add_argument("--idle", action="store_true", help="null sinks that idle (nothing else records them)")
    parser.add_argument("--details", action="store_true", help="list each order not heard exactly")
    parser.add_argument("--bridge", help="the speech-bridge to measure (default: build/speech-bridge)")
    options = parser.parse_args()
    if options.bridge:
        listen.BRIDGE = os.path.abspath(options.bridge)
    servers = options.servers.split(",")
    scratch = tempfile.mkdtemp(prefix="speech-bridge-live-start-")
    orders = [] if options.start_only else render_orders(scratch)
    print(f"load average at the start: {os.getloadavg()[0]:.2f}", flush=True)
    for name in servers:
        print(f"== {name} (ms: median / worst)", flush=True)
        server = SoundServer(name, real_time=not options.idle)
        try:
            for extra, vocabulary in () if options.onset_only else ((GRAMMAR, "grammar"), ((), "open vocabulary")):
                print(f"{'start -> ready, ' + vocabulary + f', {options.runs} jobs':58} "
                      f"{ms(start_to_ready(server, options.runs, extra))}", flush=True)
            if options.start_only:
                continue
            for which, label in (("now", "at once"), ("later", "100 ms later")):
                heard, empty = spoken_from_the_start(server, orders, which, options.details)
                print(f"{f'orders exact, speech {label}':58} {heard} of {len(orders)}, "
                      f"{empty} plain empty finals", flush=True)
            if options.onset_only:
                continue
            playing = {}
            for extra, vocabulary in ((GRAMMAR, "grammar"), ((), "open")):
                playing[vocabulary], _, cpu = stops_after_ready(server, options.stop_runs, LONG_RECORDING, extra,
                                                                 STOP_DELAYS, wake=False)
                if extra:
                    print(f"{'CPU from ready to a stop 5 s later, grammar, speech':58} "
                          f"median {statistics.median(cpu):.3f}, worst {max(cpu):.3f} of a core", flush=True)
        finally:
            server.stop()
        if options.start_only or options.onset_only:
            continue
        # An idle source: on PulseAudio, default null sinks that wake slowly.
        idle = SoundServer(name, real_time=False)
        quiet = {}
        try:
            for extra, vocabulary in ((GRAMMAR, "grammar"), ((), "open")):
                quiet[vocabulary], _, _ = stops_after_ready(idle, options.stop_runs, None, extra, STOP_DELAYS, wake=True)
        finally:
            idle.stop()
        print("stop written -> final read, by the stop's time after ready")
        print(f"{'vocabulary, source':44}" + "".join(f"{f'{delay:g} s':>12}" for delay in STOP_DELAYS))
        for source, table in (("idle source", quiet), ("recording playing", playing)):
            for vocabulary, latencies in table.items():
                print(f"{f'{vocabulary}, {source}':44}" + "".join(f"{ms(latencies[d]):>12}" for d in STOP_DELAYS))
    print(f"load average at the end: {os.getloadavg()[0]:.2f}")
    subprocess.run(["rm", "-rf", scratch], check=False)


if __name__ == "__main__":
    main()
