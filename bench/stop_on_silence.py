#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""--stop-on-silence figures, on both sound servers side by side.

Renders the first ship orders of bench/ship_orders.txt with Flite (and each
once more with a 0.9 s pause after the ship's name), plays each into the
microphone of a private server 0.3 s after "ready", and never writes "stop":
the job must end itself. Prints, per server: exact orders and the time from
the end of the speech to the final (median and worst) under the ship grammar
with 0.6 s; exact orders with the pause; the same for open vocabulary with
1.5 s; with nothing played and 0.5 s, whether any final came before the
host's stop; and CPU while listening. Run after building build/:

    python3 bench/stop_on_silence.py [--orders N] [--servers PulseAudio,PipeWire] [--verbose] [--bridge PATH]
"""

import argparse
import array
import os
import statistics
import subprocess
import sys
import tempfile
import time
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import listen  # noqa: E402
from listen import Listening, cpu_seconds, final_text  # noqa: E402
from sound_rig import SoundServer  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
GRAMMAR = os.path.join(os.path.dirname(HERE), "examples", "ship_orders.gram")
SHIPS = ("first ship", "second ship", "third ship", "all ships")
VERBOSE = False


def render(text, out):
    subprocess.run(["flite", "-voice", "slt", "-t", text, "-o", out], check=True)
    with wave.open(out) as w:
        return w.getframerate(), array.array("h", w.readframes(w.getnframes()))


def write(out, rate, samples):
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(samples.tobytes())


def trimmed(samples):
    """Without the silence Flite puts before and after the words."""
    loud = [i for i, s in enumerate(samples) if abs(s) > 328]
    return samples[loud[0]:loud[-1] + 1] if loud else samples


def speech_end(rate, samples):
    """Seconds from the start to the last sample louder than -40 dBFS."""
    last = max((i for i, s in enumerate(samples) if abs(s) > 328), default=0)
    return last / rate


def orders(directory, count):
    """(text, plain wav, its speech end, paused wav, its speech end) per order."""
    with open(os.path.join(HERE, "ship_orders.txt")) as listing:
        texts = [line.strip() for line in listing if line.strip() and not line.startswith("#")][:count]
    made = []
    for n, text in enumerate(texts):
        plain = os.path.join(directory, f"order-{n}.wav")
        rate, samples = render(text, plain)
        ship = next((s for s in SHIPS if text.startswith(s + " ")), None)
        paused = os.path.join(directory, f"paused-{n}.wav")
        if ship:
            _, head = render(ship, os.path.join(directory, "head.wav"))
            _, tail = render(text[len(ship) + 1:], os.path.join(directory, "tail.wav"))
            # The pause is 0.9 s of silence between the two pieces' words.
            joined = (array.array("h", bytes(2 * int(0.3 * rate))) + trimmed(head) +
                      array.array("h", bytes(2 * int(0.9 * rate))) + trimmed(tail) +
                      array.array("h", bytes(2 * int(0.3 * rate))))
        else:
            joined = samples
        write(paused, rate, joined)
        made.append((text, plain, speech_end(rate, samples), paused, speech_end(rate, joined)))
    return made


def hands_free(daemon, wav, end, extra, stop_after=10.0):
    """One job that hears `wav` 0.3 s after "ready"; returns (final text,
    end of speech to final, CPU share) or (None, None, share) when no final
    came within `stop_after` seconds of the playing (then the host stops)."""
    job = Listening(daemon.environment, extra)
    ready_at, _ = job.line()
    cpu_before = cpu_seconds(job.process.pid)
    time.sleep(0.3)
    played_at = time.monotonic()
    player = daemon.play(wav) if wav else None
    try:
        at, line = job.lines_until_final_within(stop_after)
    except TimeoutError:
        at, line = None, None
    share = (cpu_seconds(job.process.pid) - cpu_before) / (time.monotonic() - ready_at)
    if player:
        player.wait()
    if line is None:
        job.write("stop\n")
        job.lines_until_final()
        job.end()
        return None, None, share
    job.end()
    return final_text(line), at - (played_at + end), share


def lines_until_final_within(self, seconds):
    deadline = time.monotonic() + seconds
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            raise TimeoutError
        try:
            at, text = self.line(left)
        except RuntimeError:
            raise TimeoutError
        if VERBOSE:
            print("   ", text, file=sys.stderr)
        if '"event":"final"' in text or '"event":"error"' in text:
            return at, text


Listening.lines_until_final_within = lines_until_final_within


def measure(daemon, made):
    figures = {}
    grammar = ["--grammar", GRAMMAR, "--stop-on-silence", "0.6"]
    exact, delays, shares = 0, [], []
    for text, plain, end, _, _ in made:
        heard, delay, share = hands_free(daemon, plain, end, grammar)
        if VERBOSE:
            print(f"{daemon.name}: {text!r} -> {heard!r} after {delay}", file=sys.stderr)
        exact += heard == text
        shares.append(share)
        if delay is not None:
            delays.append(delay)
    figures["0.6 s, grammar: exact"] = f"{exact}/{len(made)}"
    figures["  speech end -> final, median"] = f"{statistics.median(delays):.2f} s" if delays else "-"
    figures["  speech end -> final, worst"] = f"{max(delays):.2f} s" if delays else "-"
    figures["  CPU while listening, median"] = f"{statistics.median(shares):.3f}"
    exact = 0
    for text, _, _, paused, end in made:
        heard, delay, _ = hands_free(daemon, paused, end, grammar)
        if VERBOSE:
            print(f"{daemon.name} paused: {text!r} -> {heard!r} after {delay}", file=sys.stderr)
        exact += heard == text
    figures["0.9 s pause after the ship: exact"] = f"{exact}/{len(made)}"
    delays = []
    for text, plain, end, _, _ in made[:5]:
        _, delay, _ = hands_free(daemon, plain, end, ["--stop-on-silence", "1.5"])
        delays.append(delay if delay is not None else float("inf"))
    figures["open vocabulary, 1.5 s: speech end -> final, worst of 5"] = f"{max(delays):.2f} s"
    early = sum(hands_free(daemon, None, 0.0, ["--stop-on-silence", "0.5"], stop_after=5.0)[0] is not None
                for _ in range(3))
    figures["nothing said, 0.5 s: finals before the stop (of 3)"] = str(early)
    return figures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--orders", type=int, default=15)
    parser.add_argument("--servers", default="PulseAudio,PipeWire")
    parser.add_argument("--verbose", action="store_true", help="each order's text and time on standard error")
    parser.add_argument("--bridge", help="the speech-bridge to measure (default: build/speech-bridge)")
    options = parser.parse_args()
    if options.bridge:
        listen.BRIDGE = os.path.abspath(options.bridge)
    global VERBOSE
    VERBOSE = options.verbose
    with tempfile.TemporaryDirectory(prefix="speech-bridge-silence-") as directory:
        made = orders(directory, options.orders)
        table = {}
        for name in options.servers.split(","):
            daemon = SoundServer(name)
            try:
                table[name] = measure(daemon, made)
            finally:
                daemon.stop()
    rows = list(next(iter(table.values())))
    width = max(len(row) for row in rows)
    print(f"{'':{width}}  " + "  ".join(f"{name:>10}" for name in table))
    for row in rows:
        print(f"{row:{width}}  " + "  ".join(f"{table[name][row]:>10}" for name in table))


if __name__ == "__main__":
    main()
