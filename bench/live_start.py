#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A microphone live from the start, on PulseAudio and on PipeWire, side by side in one run.

    bench/live_start.py [--runs N] [--stop-runs N] [--servers PulseAudio,PipeWire] [--start-only]

For each sound server of the bench's own (pulse_daemon.py) it prints:
  - process start to "ready", N jobs, with examples/ship_orders.gram and
    with open vocabulary (median and worst);
  - orders spoken from the moment the process starts: 15 ship orders
    (bench/ship_orders.txt, Flite's slt voice, leading silence cut), each
    played into the microphone by paplay launched together with the job,
    listened to with the ship grammar; how many finals are exact, with the
    speech starting at once and 100 ms later;
  - "stop" written to "final" read, 0.3, 0.6, 1 and 5 s after "ready", with
    and without the grammar, with nothing playing (on PulseAudio a second
    daemon with default null sinks, its microphone woken before each job, so
    that its first buffer comes about 2 s after capture starts) and with a
    LibriVox recording playing from before the start;
  - CPU from "ready" to the 5 s stop with the grammar, while the recording plays.
Needs flite, sox, paplay and what pulse_daemon.py needs.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from listen import LONG_RECORDING, Listening, final_text, start_to_ready, stops_after_ready  # noqa: E402
from pulse_daemon import PulseDaemon, sound_server  # noqa: E402

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
        # Cut everything before the first sound above 1% of full scale.
        subprocess.run(["sox", "-q", raw, at_once, "silence", "1", "0.005", "1%"], check=True)
        subprocess.run(["sox", "-q", at_once, later, "pad", "0.1", "0"], check=True)
        rendered.append((at_once, later, text))
    return rendered


def spoken_from_the_start(server, orders, which):
    """How many orders are heard exactly when paplay starts with the job."""
    exact = 0
    for at_once, later, text in orders:
        job = Listening(server.environment, GRAMMAR)
        player = server.play(at_once if which == "now" else later)
        job.line()
        player.wait()
        time.sleep(0.3)
        job.write("stop\n")
        _, line = job.lines_until_final()
        job.end()
        exact += final_text(line) == text
    return exact


def ms(values):
    return f"{statistics.median(values) * 1000:5.0f} /{max(values) * 1000:4.0f}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=20, help="start-up jobs per vocabulary")
    parser.add_argument("--stop-runs", type=int, default=3, help="jobs per cell of the stop table")
    parser.add_argument("--servers", default="PulseAudio,PipeWire")
    parser.add_argument("--start-only", action="store_true", help="print only start -> ready")
    options = parser.parse_args()
    servers = options.servers.split(",")
    scratch = tempfile.mkdtemp(prefix="speech-bridge-live-start-")
    orders = [] if options.start_only else render_orders(scratch)
    print(f"load average at the start: {os.getloadavg()[0]:.2f}", flush=True)
    for name in servers:
        print(f"== {name} (ms: median / worst)", flush=True)
        server = sound_server(name, microphone=True)
        try:
            for extra, vocabulary in ((GRAMMAR, "grammar"), ((), "open vocabulary")):
                print(f"{'start -> ready, ' + vocabulary + f', {options.runs} jobs':58} "
                      f"{ms(start_to_ready(server, options.runs, extra))}", flush=True)
            if options.start_only:
                continue
            for which, label in (("now", "at once"), ("later", "100 ms later")):
                heard = spoken_from_the_start(server, orders, which)
                print(f"{f'orders exact, speech {label}':58} {heard} of {len(orders)}", flush=True)
            playing = {}
            for extra, vocabulary in ((GRAMMAR, "grammar"), ((), "open")):
                playing[vocabulary], _, cpu = stops_after_ready(server, options.stop_runs, LONG_RECORDING, extra,
                                                                 STOP_DELAYS, wake=False)
                if extra:
                    print(f"{'CPU from ready to a stop 5 s later, grammar, speech':58} "
                          f"median {statistics.median(cpu):.3f}, worst {max(cpu):.3f} of a core", flush=True)
        finally:
            server.stop()
        if options.start_only:
            continue
        # An idle source: on PulseAudio, default null sinks that wake slowly.
        idle = PulseDaemon(microphone=True, idle_defaults=True) if name == "PulseAudio" else \
            sound_server(name, microphone=True)
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
