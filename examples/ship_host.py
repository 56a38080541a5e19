#!/usr/bin/env python3
"""A small host for speech-bridge: listen for a spoken order, then answer aloud.

Starts `speech-bridge --listen`, shows the interim text live, sends "stop"
when you press Enter, prints the final text, then speaks a reply with
`speech-bridge --speak`. Uses the Python standard library only.

    python3 examples/ship_host.py [--bridge PATH] [--locale en-US] [--voice ID]
"""

import argparse
import json
import shutil
import subprocess
import sys
import threading


class BridgeError(Exception):
    """The bridge ended its job with an "error" event (or not at all)."""


def events(process):
    """Yields each event the bridge writes, one JSON object per line."""
    for line in process.stdout:
        yield json.loads(line)


def finish(process, last):
    """Waits for the bridge to exit and checks that its last event ended the job."""
    status = process.wait()
    if last is None:
        raise BridgeError(f"speech-bridge exited with status {status} without a result")
    if last["event"] == "error":
        raise BridgeError(last["message"])
    return last


def listen(bridge, locale, show):
    """Records one spoken order; returns its text once Enter has been pressed."""
    process = subprocess.Popen(
        [bridge, "--listen", "--locale", locale],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, encoding="utf-8", bufsize=1)

    def stop_on_enter():
        sys.stdin.readline()
        try:
            process.stdin.write("stop\n")
            process.stdin.flush()
        except (BrokenPipeError, ValueError):
            pass  # the job has already ended

    last = None
    try:
        for event in events(process):
            last = event
            if event["event"] == "ready":
                show("Listening. Speak your order, then press Enter.", final=True)
                threading.Thread(target=stop_on_enter, daemon=True).start()
            elif event["event"] == "partial":
                show(event["text"])
    finally:
        # Standard input stays open until the last event has been read:
        # closing it earlier would cancel the job.
        process.stdin.close()
    return finish(process, last)["text"]


def speak(bridge, text, locale, voice):
    """Speaks `text` and returns once it has been heard to its end."""
    command = [bridge, "--speak", "--locale", locale]
    if voice:
        command += ["--voice", voice]
    process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               text=True, encoding="utf-8")
    process.stdin.write(text)
    process.stdin.close()  # the end of the text
    last = None
    for event in events(process):
        last = event
    finish(process, last)


def terminal_line():
    """Rewrites one terminal line in place for interim text."""
    width = shutil.get_terminal_size().columns - 1

    def show(text, final=False):
        line = text[-width:]
        sys.stdout.write("\r" + line.ljust(width) + ("\n" if final else "\r"))
        sys.stdout.flush()
    return show


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bridge", default="speech-bridge", help="path of the speech-bridge program")
    parser.add_argument("--locale", default="en-US")
    parser.add_argument("--voice", help="a voice id that `speech-bridge --voices` lists")
    options = parser.parse_args()

    show = terminal_line()
    try:
        order = listen(options.bridge, options.locale, show)
        show(f"Heard: {order}", final=True)
        reply = f"Aye, captain. {order}." if order else "Say again, captain?"
        speak(options.bridge, reply, options.locale, options.voice)
        print(f"Answered: {reply}")
    except BridgeError as error:
        show(f"speech-bridge: {error}", final=True)
        return 1
    except FileNotFoundError:
        print(f"cannot start {options.bridge}; install speech-bridge or pass --bridge", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
