#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A small host for speech-bridge: listen for a spoken order, then answer aloud.

Starts `speech-bridge --listen` with the fleet's order grammar (ship_orders.gram
beside this script, or --grammar PATH), shows the interim text as it changes,
sends "stop" when you press Enter, prints the order it heard, then speaks the
fleet's answer with `speech-bridge --speak`. The answer is built from the
order's parse (the "rules" of the final event and their tags), not from its
words. Speech that is no order ends in a "final" event marked "rejected": the
answer is then "Not understood, say again." A final with no text that is not
rejected means nobody spoke, and gets no answer. Every job ends with one
"final" or one "error" event; an error is printed and ends this program with
status 1. Uses the Python standard library only.

With --hands-free SECONDS there is no key to press: the bridge ends each job
itself once the order has been followed by SECONDS of silence (twice that
after words that are not yet a whole order), and the host listens for the
next order after each answer, until Ctrl-C.

    python3 examples/ship_host.py [--bridge PATH] [--grammar PATH] [--locale en-US] [--voice ID]
                                  [--hands-free SECONDS]
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import threading


class BridgeError(Exception):
    """A job ended with an "error" event, or without a finishing event."""


HERE = os.path.dirname(os.path.abspath(__file__))

# The rules whose words complete a command's answer ("setting course" +
# "north east"), as ship_orders.gram names them.
ARGUMENTS = ("side", "amount", "weapon", "target", "direction", "digit")


def answer(text, rules):
    """The fleet's answer to an order, from the rules and tags of its parse."""
    first = {}
    for rule in rules:  # the parse in pre-order: a command before the rules inside it
        first.setdefault(rule["rule"], rule)
    if "addressee" not in first or "command" not in first:
        return f"Aye, captain. {text.capitalize()}."  # a grammar other than the fleet's
    addressee, command = first["addressee"], first["command"]
    if "tag" in command:
        words = [rule["text"] for rule in rules if rule["rule"] in ARGUMENTS]
        doing = " ".join([command["tag"]] + words)
    else:  # speeds and "all stop" answer as they were given
        doing = command["text"]
    return f"Aye, captain. {addressee['text'].capitalize()}, {doing}."


def outcome(last_event, status):
    """The "final" event that ended a job; raises BridgeError for anything else."""
    if last_event is None or last_event["event"] not in ("final", "error"):
        raise BridgeError(f"ended with status {status} without a result")
    if last_event["event"] == "error":
        raise BridgeError(last_event["message"])
    return last_event


class Display:
    """Interim text rewrites one line of a terminal in place; when the output
    is a pipe or a file, each interim text gets a line of its own."""

    def __init__(self):
        self.in_place = sys.stdout.isatty()
        self.width = shutil.get_terminal_size().columns - 1
        self.interim_shown = False

    def interim(self, text):
        if self.in_place:
            # Cut to the width: a wrapped line could not be rewritten.
            sys.stdout.write("\r" + text[-self.width:].ljust(self.width))
            self.interim_shown = True
        else:
            sys.stdout.write(f"... {text}\n")
        sys.stdout.flush()

    def line(self, text, stream=sys.stdout):
        if self.interim_shown:
            sys.stdout.write("\r" + " " * self.width + "\r")
            sys.stdout.flush()
            self.interim_shown = False
        print(text, file=stream, flush=True)


def stop_on_enter(process):
    sys.stdin.readline()  # Enter, or the end of our own input
    try:
        process.stdin.write("stop\n")
        process.stdin.flush()
    except (BrokenPipeError, ValueError):
        pass  # the job has ended already


def listen(bridge, grammar, locale, display, hands_free=None):
    """Records one spoken order and returns its final event. Hands free, the
    bridge stops by itself after `hands_free` seconds of silence."""
    command = [bridge, "--listen", "--grammar", grammar, "--locale", locale]
    if hands_free:
        command += ["--stop-on-silence", hands_free]
    process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, encoding="utf-8")
    last = None
    try:
        for line in process.stdout:  # one event per line, as it happens
            last = json.loads(line)
            if last["event"] == "ready" and hands_free:
                display.line("Listening. Speak your order.")
            elif last["event"] == "ready":
                display.line("Listening. Speak your order, then press Enter.")
                threading.Thread(target=stop_on_enter, args=(process,), daemon=True).start()
            elif last["event"] == "partial":
                display.interim(last["text"])
    finally:
        # Standard input stays open until the last event has been read:
        # closing it earlier cancels the job.
        try:
            process.stdin.close()
        except BrokenPipeError:
            pass
    return outcome(last, process.wait())


def speak(bridge, text, locale, voice):
    """Speaks `text`; returns once it has been heard to its end."""
    command = [bridge, "--speak", "--locale", locale] + (["--voice", voice] if voice else [])
    process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               text=True, encoding="utf-8")
    output, _ = process.communicate(text)  # closing standard input ends the text
    events = [json.loads(line) for line in output.splitlines()]
    outcome(events[-1] if events else None, process.returncode)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bridge", default="speech-bridge", help="path of the speech-bridge program")
    parser.add_argument("--grammar", default=os.path.join(HERE, "ship_orders.gram"),
                        help="the orders the fleet understands (JSGF, or one phrase a line)")
    parser.add_argument("--locale", default="en-US")
    parser.add_argument("--voice", help="a voice id that `speech-bridge --voices` lists")
    parser.add_argument("--hands-free", metavar="SECONDS",
                        help="no Enter: the silence (0.2 to 10 s) after an order ends it; one order after another")
    options = parser.parse_args()

    display = Display()
    try:
        while True:
            final = listen(options.bridge, options.grammar, options.locale, display, options.hands_free)
            if final["text"]:
                display.line(f"Heard: {final['text']}")
                reply = answer(final["text"], final["rules"])
            elif final.get("rejected"):
                display.line("Heard no order.")
                reply = "Not understood, say again."
            else:
                display.line("Heard nothing.")
                reply = None
            if reply:
                print(f"Replying: {reply}", flush=True)
                speak(options.bridge, reply, options.locale, options.voice)
            if not options.hands_free:
                return 0
    except BridgeError as error:
        display.line(f"speech-bridge: {error}", sys.stderr)
        return 1
    except OSError as error:
        display.line(f"cannot run {options.bridge}: {error.strerror}", sys.stderr)
        return 1
    except KeyboardInterrupt:
        return 130  # Ctrl-C reached the bridge too, which ends its job
    return 0


if __name__ == "__main__":
    sys.exit(main())
