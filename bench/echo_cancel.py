#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Orders heard over the computer's own sound: --listen with echo cancelling
(the default) and with --no-echo-cancel, side by side in one run, on
PulseAudio and on PipeWire.

    bench/echo_cancel.py [--servers PulseAudio,PipeWire] [--levels none,-5,0] [--room MS] [--runs N]
                         [--replies N] [--details] [--bridge PATH]

Each server is the bench's rig (sound_rig.py) with a room: what the speaker
plays reaches the microphone --room milliseconds late (120 by default; the
sink's own latency comes on top). For each it prints, for each setting:
  - the 15 ship orders of bench/ship_orders.txt (Flite's slt voice) played
    into the microphone while game music plays on the speaker, already
    playing a second before the order: music absent, 5 dB below the speech,
    as loud; how many finals are exact and how many are a different order;
  - a ship's reply spoken by speech-bridge --speak while a listen job runs
    and nobody speaks: how many of the jobs' finals are an order;
  - process start to "ready" (median and worst), and "stop" written to
    "final" read with the music playing;
  - CPU from "ready" to the stop, the music playing at speech level.
The music is a game's own (Debian's singularity-music) when installed, else a
loop made with sox (tests/tools/backgrounds.py), reverberant. Needs flite, sox, paplay and what sound_rig.py needs.
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
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests", "tools"))
import backgrounds  # noqa: E402
import listen  # noqa: E402
from listen import Listening, cpu_seconds  # noqa: E402
from live_start import render_orders  # noqa: E402
from sound_rig import SoundServer  # noqa: E402

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GRAMMAR = ("--grammar", os.path.join(TOP, "examples", "ship_orders.gram"))
SETTINGS = (("cancelling", ()), ("--no-echo-cancel", ("--no-echo-cancel",)))
REPLY = "Aye, second ship setting course north east."
MUSIC_SECONDS = 90


def sox(*arguments):
    subprocess.run(["sox", "-q", *arguments], check=True)


def rms(wav):
    stats = subprocess.run(["sox", wav, "-n", "stat"], capture_output=True, text=True, check=True).stderr
    return next(float(line.split(":")[1]) for line in stats.splitlines() if line.startswith("RMS     amplitude"))


def game_music(folder):
    """About MUSIC_SECONDS of game music, reverberant (tests/tools/backgrounds.py:
    a game's own when singularity-music is installed, else a loop made with
    sox); the path of its WAV."""
    music = os.path.join(folder, "music.wav")
    backgrounds.MAKERS["game" if os.path.isdir(backgrounds.GAME_MUSIC) else "music"](MUSIC_SECONDS, music)
    return music


def at_level(music, speech_rms, decibels, folder):
    """The music scaled so that its RMS is `decibels` from the speech's."""
    scaled = os.path.join(folder, f"music{decibels:+g}.wav")
    gain = 20 * __import__("math").log10(speech_rms / rms(music)) + decibels
    sox(music, scaled, "gain", f"{gain:.2f}")
    return scaled


class Music:
    """Music on the speaker, from now until end()."""

    def __init__(self, server, wav):
        self.process = subprocess.Popen(["paplay", "--device=speaker", wav], env=server.environment) if wav else None
        time.sleep(1.0 if wav else 0.0)

    def end(self):
        if self.process:
            self.process.kill()
            self.process.wait()


def final_event(job):
    _, line = job.lines_until_final()
    job.end()
    event = json.loads(line)
    if event["event"] != "final":
        raise RuntimeError(line)
    return event


def orders_heard(server, orders, music, extra, details):
    """(exact, taken for another order) over the orders, the music playing."""
    exact = mistaken = 0
    playing = Music(server, music)
    try:
        for wav, _, text in orders:
            job = Listening(server.environment, (*GRAMMAR, *extra))
            job.line()
            server.play(wav).wait()
            time.sleep(0.3)
            job.write("stop\n")
            final = final_event(job)
            heard = final.get("text", "")
            exact += heard == text
            mistaken += heard not in (text, "")
            if details and heard != text:
                print(f"    {text!r} -> {heard!r}{' rejected' if final.get('rejected') else ''}", flush=True)
    finally:
        playing.end()
    return exact, mistaken


def replies_heard(server, replies, extra, details):
    """How many listen jobs took the ships' own spoken reply for an order."""
    taken = 0
    for _ in range(replies):
        job = Listening(server.environment, (*GRAMMAR, *extra))
        job.line()
        subprocess.run([listen.BRIDGE, "--speak"], input=REPLY.encode(), env=server.environment,
                       stdout=subprocess.DEVNULL, check=True)
        time.sleep(0.5)
        job.write("stop\n")
        heard = final_event(job).get("text", "")
        taken += bool(heard)
        if details and heard:
            print(f"    reply -> {heard!r}", flush=True)
    return taken


def start_and_stop(server, runs, music, extra):
    """Start -> ready, stop -> final (seconds, each run) and the CPU share
    from ready to a stop 5 s later, the music playing."""
    ready, final, cpu = [], [], []
    playing = Music(server, music)
    try:
        for run in range(runs):
            job = Listening(server.environment, (*GRAMMAR, *extra))
            ready_at, text = job.line()
            if '"ready"' not in text:
                raise RuntimeError(text)
            ready.append(ready_at - job.started)
            before = cpu_seconds(job.process.pid)
            time.sleep(5.0 if run < 2 else 0.5)
            if run < 2:
                cpu.append((cpu_seconds(job.process.pid) - before) / (time.monotonic() - ready_at))
            stopped = time.monotonic()
            job.write("stop\n")
            final_at, _ = job.lines_until_final()
            job.end()
            final.append(final_at - stopped)
    finally:
        playing.end()
    return ready, final, cpu


def ms(values):
    return f"{statistics.median(values) * 1000:.0f} / {max(values) * 1000:.0f} ms"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--servers", default="PulseAudio,PipeWire")
    parser.add_argument("--levels", default="none,-5,0", help="music in dB from the speech, or none")
    parser.add_argument("--room", type=int, default=120, help="the room's delay, milliseconds")
    parser.add_argument("--runs", type=int, default=12, help="jobs for start -> ready and stop -> final")
    parser.add_argument("--replies", type=int, default=5, help="spoken replies while nobody speaks")
    parser.add_argument("--details", action="store_true", help="list each order not heard exactly")
    parser.add_argument("--bridge", help="the speech-bridge to measure (default: build/speech-bridge)")
    options = parser.parse_args()
    if options.bridge:
        listen.BRIDGE = os.path.abspath(options.bridge)
    scratch = tempfile.mkdtemp(prefix="speech-bridge-echo-")
    orders = render_orders(scratch)
    speech_rms = statistics.mean(rms(wav) for wav, _, _ in orders)
    music = game_music(scratch)
    levels = [(level, None if level == "none" else at_level(music, speech_rms, float(level), scratch))
              for level in options.levels.split(",")]
    print(f"load average at the start: {os.getloadavg()[0]:.2f}; room {options.room} ms", flush=True)
    width = 44
    for name in options.servers.split(","):
        server = SoundServer(name, room_ms=options.room)
        try:
            print(f"== {name}" + "".join(f"{label:>22}" for label, _ in SETTINGS), flush=True)
            for level, wav in levels:
                cells = []
                for label, extra in SETTINGS:
                    if options.details:
                        print(f"  {label}, music {level}:", flush=True)
                    exact, mistaken = orders_heard(server, orders, wav, extra, options.details)
                    cells.append(f"{exact}/{len(orders)}, {mistaken} mistaken")
                title = "orders exact, no music" if wav is None else f"orders exact, music {float(level):+g} dB"
                print(f"{title:{width}}" + "".join(f"{cell:>22}" for cell in cells), flush=True)
            cells = [f"{replies_heard(server, options.replies, extra, options.details)} of {options.replies}"
                     for _, extra in SETTINGS]
            print(f"{'spoken reply taken for an order':{width}}" + "".join(f"{cell:>22}" for cell in cells),
                  flush=True)
            loud = levels[-1][1]
            timings = [start_and_stop(server, options.runs, loud, extra) for _, extra in SETTINGS]
            for index, title in enumerate(("start -> ready (median / worst)", "stop -> final (median / worst)")):
                print(f"{title:{width}}" + "".join(f"{ms(timing[index]):>22}" for timing in timings), flush=True)
            print(f"{'CPU, ready to a stop 5 s later (worst)':{width}}" +
                  "".join(f"{max(timing[2]):>17.3f} core" for timing in timings), flush=True)
        finally:
            server.stop()
    print(f"load average at the end: {os.getloadavg()[0]:.2f}")
    subprocess.run(["rm", "-rf", scratch], check=False)


if __name__ == "__main__":
    main()
