#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Measures --speak and --voices against eSpeak NG's own command-line tool, in one run.

    bench/speak_bench.py [--runs N] [--program build/speech-bridge]

Starts a sound server of its own (PulseAudio, then PipeWire; private socket,
null sinks, stopped by their PIDs at the end; --servers picks) and records
its speaker's monitor with timestamps (see
sink_recorder.py for what the stamps mean and how late they are). Each case
is a --speak job of the default voice of en-US (Festival's HTS voice where it
is installed), of Flite's kal16 (the default before it) or of eSpeak NG's
American English voice, with a sentence or with a text of 2,000 characters,
the host closing standard input at once after writing or 300 ms after
starting the program; the cases take turns. Prints one table of medians
per server:

  stdin closed -> "ready"      from closing standard input to the line
  stdin closed -> first sound  first sample above 2% full scale at the sink
  "ready" -> first sound
  last sound -> "final"        last such sample to the arrival of "final"
  peak memory of --speak       the largest resident set of any job
  processor per second of speech   user and system time of the sentence's
                               job over the seconds it was heard
  2,000 characters to the deadline  one job of the default voice heard until
                               the 60 s playback deadline ends it: its peak
                               memory, after synthesising a minute of speech
  whole job                    process start to exit, speech-bridge --speak and
                               `espeak-ng -v gmw/en-US TEXT`, taking turns
  --voices                     process start to exit, speech-bridge --voices and
                               `espeak-ng --voices`, taking turns, spawned without
                               a shell: wall time, and processor time (user and
                               system), which other work on the machine disturbs less
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sound_rig import SoundServer  # noqa: E402
from sink_recorder import SinkRecorder  # noqa: E402

SENTENCE = "The fleet will hold position near the northern gate tonight."  # ten words
TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
READY = '{"event":"ready","mode":"speak"}'
FINAL = '{"event":"final","mode":"speak"}'


def long_text():
    """The sentence, then ship orders as a captain would read them out: 2,000 characters, two minutes of
    speech. It begins as the sentence does, so that its first sound is the sentence's."""
    with open(os.path.join(TOP, "bench", "ship_orders.txt")) as listing:
        orders = [line.strip() for line in listing if line.strip() and not line.startswith("#")]
    text = SENTENCE + " "
    while len(text) < 2000:
        for order in orders:
            text += order[0].upper() + order[1:] + ". "
    return (text[:2000].rsplit(" ", 1)[0] + ".").ljust(2000)


def run_job(command, daemon, text, close_after=0.0, heard_for=None):
    """One job; returns when it started, when standard input was closed, the arrival of each line, when it
    ended, its standard error and its peak memory. With `heard_for`, the job is ended (by its PID) that many
    seconds after "ready"."""
    started = time.monotonic()
    child = subprocess.Popen(command, env=daemon.environment, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
    if close_after:
        time.sleep(close_after)
    child.stdin.write(text.encode())
    child.stdin.close()
    closed = time.monotonic()
    arrivals = []
    for line in child.stdout:
        arrivals.append((time.monotonic(), line.decode().strip()))
        if heard_for is not None:
            time.sleep(heard_for)
            child.terminate()
            break
    _, _, usage = os.wait4(child.pid, 0)
    child.returncode = 0
    exited = time.monotonic()
    error = child.stderr.read()
    return started, closed, arrivals, exited, error, usage.ru_maxrss / 1024.0, usage.ru_utime + usage.ru_stime


def speak_once(program, voice, daemon, recorder, text, close_after, heard_for):
    """One --speak job; returns the moments that matter, on time.monotonic()."""
    command = [program, "--speak"] + (["--voice", voice] if voice else [])
    started, closed, arrivals, exited, error, peak, processor = run_job(command, daemon, text, close_after,
                                                                         heard_for)
    expected = [READY] if heard_for is not None else [READY, FINAL]
    if [line for _, line in arrivals] != expected or error:
        raise RuntimeError("unexpected job: %r %r" % (arrivals, error))
    time.sleep(0.3)  # let the recorder catch the tail
    first, last = recorder.sound_span(after=started, before=exited + 0.2)
    if first is None:
        raise RuntimeError("nothing was heard")
    return {"closed": closed, "ready": arrivals[0][0], "final": arrivals[-1][0] if heard_for is None else None,
            "first": first, "last": last, "peak": peak, "processor": processor}


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


def start_to_exit(command):
    """Wall and processor seconds of one run, output discarded; spawned without a shell, as hyperfine -N does."""
    devnull = os.open(os.devnull, os.O_WRONLY)
    try:
        started = time.perf_counter()
        pid = os.posix_spawnp(command[0], command, os.environ,
                              file_actions=[(os.POSIX_SPAWN_DUP2, devnull, 1), (os.POSIX_SPAWN_DUP2, devnull, 2)])
        _, status, usage = os.wait4(pid, 0)
        wall = time.perf_counter() - started
    finally:
        os.close(devnull)
    if status != 0:
        raise RuntimeError("%s failed" % " ".join(command))
    return wall, usage.ru_utime + usage.ru_stime


def median_ms(values):
    return statistics.median(values) * 1000


def print_speak_table(server, runs_per_case, cases, runs, ours, theirs, deadline):
    print("== %s: %d runs of each case; sentence: %s" % (server, runs_per_case, SENTENCE))
    print("%-52s %10s   %s" % ("measure (median)", "ms", "target"))
    for label, _, _, heard_for in cases:
        at_once, later = runs[label]["at once"], runs[label]["later"]
        both = at_once + later
        print("-- " + label)
        rows = [("stdin closed at once -> ready", median_ms([r["ready"] - r["closed"] for r in at_once]), "<= 20"),
                ("stdin closed after 300 ms -> ready", median_ms([r["ready"] - r["closed"] for r in later]), "<= 20"),
                ("stdin closed at once -> first sound", median_ms([r["first"] - r["closed"] for r in at_once]),
                 "<= 250"),
                ("stdin closed after 300 ms -> first sound", median_ms([r["first"] - r["closed"] for r in later]),
                 "<= 150"),
                ("ready -> first sound at the sink", median_ms([r["first"] - r["ready"] for r in both]), "")]
        if heard_for is None:
            rows.append(("last sound at the sink -> final", median_ms([r["final"] - r["last"] for r in both]),
                         "<= 150"))
            rows.append(("peak memory of --speak, MB (median)", statistics.median(r["peak"] for r in both),
                         "<= 40"))
            rows.append(("peak memory of --speak, MB (largest)", max(r["peak"] for r in both), "<= 40"))
            rows.append(("processor s per second of speech (x1000)",
                         1000 * statistics.median(r["processor"] / (r["last"] - r["first"]) for r in both), ""))
        for name, value, target in rows:
            print("   %-49s %10.1f   %s" % (name, value, target))
    print("%-52s %10.1f   %s" % ("default voice, 2000 characters to the deadline, peak MB", deadline[5], "<= 60"))
    print("%-52s %10.1f" % ("whole job, speech-bridge --speak (sentence)", median_ms(ours)))
    print("%-52s %10.1f" % ("whole job, espeak-ng -v gmw/en-US (sentence)", median_ms(theirs)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--program", default=os.path.join(TOP, "build", "speech-bridge"))
    parser.add_argument("--servers", default="PulseAudio,PipeWire", help="comma-separated: PulseAudio, PipeWire")
    arguments = parser.parse_args()
    program = arguments.program
    long = long_text()
    # (label, voice, text, seconds heard before the job is ended): two
    # minutes of speech would end at the playback deadline, and only their
    # start is measured.
    cases = [("default voice, sentence", None, SENTENCE, None),
             ("default voice, 2000 characters (ended after 1 s)", None, long, 1.0),
             ("Flite flite/kal16, sentence", "flite/kal16", SENTENCE, None),
             ("Flite flite/kal16, 2000 characters (ended after 1 s)", "flite/kal16", long, 1.0),
             ("eSpeak NG gmw/en-US, sentence", "gmw/en-US", SENTENCE, None)]

    for server in arguments.servers.split(","):
        daemon = SoundServer(server)
        try:
            recorder = SinkRecorder(daemon.server)
            runs = {label: {"at once": [], "later": []} for label, _, _, _ in cases}
            try:
                for _ in range(arguments.runs):
                    for label, voice, text, heard_for in cases:
                        for when, close_after in (("at once", 0), ("later", 0.3)):
                            runs[label][when].append(
                                speak_once(program, voice, daemon, recorder, text, close_after, heard_for))
                deadline = run_job([program, "--speak"], daemon, long)
                if [line for _, line in deadline[2]] != [READY, '{"event":"error","message":"Speech playback '
                                                         'exceeded 60 seconds"}'] or deadline[4]:
                    raise RuntimeError("unexpected job: %r %r" % (deadline[2], deadline[4]))
            finally:
                recorder.stop()
            ours, theirs = [], []
            for _ in range(arguments.runs):
                ours.append(whole_job([program, "--speak"], daemon, SENTENCE))
                theirs.append(whole_job(["espeak-ng", "-v", "gmw/en-US", SENTENCE], daemon))
        finally:
            daemon.stop()
        print_speak_table(server, arguments.runs, cases, runs, ours, theirs, deadline)

    voices, their_voices = [], []
    for _ in range(max(30 * arguments.runs, 300)):
        voices.append(start_to_exit([program, "--voices"]))
        their_voices.append(start_to_exit(["espeak-ng", "--voices"]))
    for index, kind in ((0, "wall"), (1, "processor")):
        ours_ms = median_ms([run[index] for run in voices])
        theirs_ms = median_ms([run[index] for run in their_voices])
        print("%-52s %10.2f" % ("--voices, start to exit, %s time" % kind, ours_ms))
        print("%-52s %10.2f" % ("espeak-ng --voices, start to exit, %s time" % kind, theirs_ms))
        print("%-52s %10.3f   %s" % ("--voices ratio, ours / espeak-ng, %s time" % kind, ours_ms / theirs_ms,
                                      "<= 1.30"))
    print("(sound stamps are late by the recorder's smallest delay, a few ms: 'ready -> first sound'"
          " reads high and 'last sound -> final' low by that much)")


if __name__ == "__main__":
    main()
