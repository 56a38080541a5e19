#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Measures --speak against eSpeak NG's own command-line tool, in one run.

    bench/speak_bench.py [--runs N] [--program build/speech-bridge]

Starts a PulseAudio daemon of its own (private socket, null sinks, stopped by
its PID at the end) and records its speaker's monitor with timestamps (see
sink_recorder.py for what the stamps mean and how late they are). Prints one
table of medians:

  stdin closed -> "ready"      the host closes standard input at once after
                               writing, or 300 ms after starting the program
  "ready" -> first sound       first sample above 2% full scale at the sink
  last sound -> "final"        last such sample to the arrival of "final"
  whole job                    process start to exit, speech-bridge and
                               `espeak-ng -v gmw/en-US TEXT`, alternating
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pulse_daemon import PulseDaemon  # noqa: E402
from sink_recorder import SinkRecorder  # noqa: E402

SENTENCE = "The fleet will hold position near the northern gate tonight."  # ten words
TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def speak_once(program, daemon, recorder, close_after):
    """One --speak job; returns the moments that matter, on time.monotonic()."""
    started = time.monotonic()
    child = subprocess.Popen([program, "--speak"], env=daemon.environment, stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if close_after:
        time.sleep(close_after)
    child.stdin.write(SENTENCE.encode())
    child.stdin.close()
    closed = time.monotonic()
    arrivals = []
    for line in child.stdout:
        arrivals.append((time.monotonic(), line.decode().strip()))
    child.wait()
    exited = time.monotonic()
    error = child.stderr.read()
    if [line for _, line in arrivals] != ['{"event":"ready","mode":"speak"}', '{"event":"final","mode":"speak"}'] \
            or error:
        raise RuntimeError("unexpected job: %r %r" % (arrivals, error))
    time.sleep(0.3)  # let the recorder catch the tail
    first, last = recorder.sound_span(after=started, before=exited + 0.2)
    if first is None:
        raise RuntimeError("nothing was heard")
    return {"closed": closed, "ready": arrivals[0][0], "final": arrivals[1][0], "first": first, "last": last,
            "started": started, "exited": exited}


def whole_job(command, daemon, stdin_text=None):
    started = time.monotonic()
    child = subprocess.Popen(command, env=daemon.environment, stdin=subprocess.PIPE if stdin_text else None,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if stdin_text:
        child.stdin.write(stdin_text.encode())
        child.stdin.close()
    if child.wait() != 0:
        raise RuntimeError("%s failed" % command[0])
    return time.monotonic() - started


def median_ms(values):
    return statistics.median(values) * 1000


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--program", default=os.path.join(TOP, "build", "speech-bridge"))
    arguments = parser.parse_args()

    daemon = PulseDaemon()
    try:
        recorder = SinkRecorder(daemon.server)
        try:
            at_once, later = [], []
            for _ in range(arguments.runs):
                at_once.append(speak_once(arguments.program, daemon, recorder, 0))
                later.append(speak_once(arguments.program, daemon, recorder, 0.3))
        finally:
            recorder.stop()
        ours, theirs = [], []
        for _ in range(arguments.runs):
            ours.append(whole_job([arguments.program, "--speak"], daemon, SENTENCE))
            theirs.append(whole_job(["espeak-ng", "-v", "gmw/en-US", SENTENCE], daemon))
    finally:
        daemon.stop()

    runs = at_once + later
    rows = [
        ("stdin closed at once -> ready", median_ms([r["ready"] - r["closed"] for r in at_once]), "<= 20 ms"),
        ("stdin closed after 300 ms -> ready", median_ms([r["ready"] - r["closed"] for r in later]), "<= 20 ms"),
        ("ready -> first sound at the sink", median_ms([r["first"] - r["ready"] for r in runs]), "<= 100 ms"),
        ("last sound at the sink -> final", median_ms([r["final"] - r["last"] for r in runs]), "<= 150 ms"),
        ("whole job, speech-bridge --speak", median_ms(ours), ""),
        ("whole job, espeak-ng -v gmw/en-US", median_ms(theirs), ""),
    ]
    print("%d runs each; sentence: %s" % (arguments.runs, SENTENCE))
    print("%-38s %10s   %s" % ("measure (median)", "ms", "target"))
    for name, value, target in rows:
        print("%-38s %10.1f   %s" % (name, value, target))
    ratio = statistics.median(ours) / statistics.median(theirs)
    print("%-38s %10.3f   %s" % ("whole job ratio, ours / espeak-ng", ratio, "<= 1.15"))
    print("(sound stamps are late by the recorder's smallest delay, a few ms: 'ready -> first sound'"
          " reads high and 'last sound -> final' low by that much)")


if __name__ == "__main__":
    main()
