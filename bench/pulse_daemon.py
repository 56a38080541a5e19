# SPDX-License-Identifier: GPL-3.0-or-later
"""A PulseAudio daemon of the bench's own, on a private socket, stopped by its PID.

Null sinks without rewinds, so that a new stream starts at once, as on a sound
card: "speaker" (the default sink) and, when asked for, "microphone", whose
monitor is then the default source, so that what is played into it is heard.
With idle_defaults, the null sinks keep PulseAudio's default settings, as on a
desktop without a sound card: with nothing playing, a recording of a monitor
gets its first buffer up to 2 s after it starts, and about 2 s after
wake_microphone().
"""
import os
import shutil
import signal
import subprocess
import tempfile
import time


class PulseDaemon:
    def __init__(self, microphone=False, idle_defaults=False):
        self.directory = tempfile.mkdtemp(prefix="speech-bridge-bench-")
        socket = os.path.join(self.directory, "native")
        options = "" if idle_defaults else " norewinds=1"
        with open(os.path.join(self.directory, "default.pa"), "w") as config:
            config.write(f"load-module module-native-protocol-unix auth-anonymous=1 socket={socket}\n"
                         f"load-module module-null-sink sink_name=speaker{options}\n"
                         "set-default-sink speaker\n")
            if microphone:
                config.write(f"load-module module-null-sink sink_name=microphone{options}\n"
                             "set-default-source microphone.monitor\n")
        private = {"HOME": self.directory, "XDG_RUNTIME_DIR": self.directory,
                   "XDG_CONFIG_HOME": self.directory, "PATH": "/usr/bin:/bin"}
        self.process = subprocess.Popen(
            ["pulseaudio", "--daemonize=no", "-n", "--use-pid-file=no", "--disallow-exit", "--exit-idle-time=-1",
             "-F", os.path.join(self.directory, "default.pa")],
            env=private, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.server = "unix:" + socket
        # What the programs under test run with: only the server's address changes.
        self.environment = dict(os.environ, PULSE_SERVER=self.server)
        self.environment.pop("PULSE_SOURCE", None)
        self.environment.pop("PULSE_SINK", None)
        deadline = time.monotonic() + 10
        while subprocess.run(["pactl", "info"], env=self.environment, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL).returncode != 0:
            if time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("the bench's PulseAudio daemon did not start")
            time.sleep(0.02)

    def wake_microphone(self):
        """Suspends and resumes the microphone sink, as a desktop's server does
        when a recording starts after a while of silence."""
        for state in ("1", "0"):
            subprocess.run(["pactl", "suspend-sink", "microphone", state], env=self.environment, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def play(self, wav):
        """Plays a recording into the microphone; returns the paplay process."""
        return subprocess.Popen(["paplay", "--device=microphone", wav], env=self.environment)

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait()
        shutil.rmtree(self.directory, ignore_errors=True)
