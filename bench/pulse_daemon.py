# SPDX-License-Identifier: GPL-3.0-or-later
"""Sound servers of the bench's own, on a private socket, stopped by their PIDs.

PulseDaemon is a PulseAudio daemon; PipeWireDaemon is pipewire, wireplumber
and pipewire-pulse on a private runtime folder with a D-Bus session bus of
their own. Both serve the PulseAudio protocol and offer the same methods;
sound_server() makes either by name.

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
    name = "PulseAudio"

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


class PipeWireDaemon:
    """PipeWire with the same null sinks made through pactl; PipeWire's null
    sinks have no idle blocks, so there is no idle_defaults."""
    name = "PipeWire"

    def __init__(self, microphone=False):
        self.directory = tempfile.mkdtemp(prefix="speech-bridge-bench-")
        runtime = os.path.join(self.directory, "runtime")
        os.mkdir(runtime, 0o700)
        bus = "unix:path=" + os.path.join(runtime, "bus")
        private = {"HOME": self.directory, "XDG_RUNTIME_DIR": runtime, "PATH": "/usr/bin:/bin",
                   "XDG_CONFIG_HOME": os.path.join(self.directory, "config"),
                   "XDG_STATE_HOME": os.path.join(self.directory, "state"), "DBUS_SESSION_BUS_ADDRESS": bus}
        self.processes = []

        def start(command):
            self.processes.append(subprocess.Popen(command, env=private, stdout=subprocess.DEVNULL,
                                                   stderr=subprocess.DEVNULL))
        deadline = time.monotonic() + 20

        def wait_for(socket):
            # The session manager gives up when PipeWire does not answer yet.
            while not os.path.exists(os.path.join(runtime, socket)):
                if time.monotonic() > deadline:
                    self.stop()
                    raise RuntimeError(f"the bench's {socket} socket did not appear")
                time.sleep(0.005)
        start(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + bus])
        wait_for("bus")
        start(["pipewire"])
        wait_for("pipewire-0")
        start(["wireplumber"])
        start(["pipewire-pulse"])
        self.server = "unix:" + os.path.join(runtime, "pulse", "native")
        self.environment = dict(os.environ, PULSE_SERVER=self.server)
        self.environment.pop("PULSE_SOURCE", None)
        self.environment.pop("PULSE_SINK", None)
        while self.pactl("info") != 0:
            if time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("the bench's PipeWire did not start")
            time.sleep(0.02)
        self.pactl("load-module", "module-null-sink", "sink_name=speaker")
        self.pactl("set-default-sink", "speaker")
        wanted = "speaker.monitor"
        if microphone:
            self.pactl("load-module", "module-null-sink", "sink_name=microphone")
            self.pactl("set-default-source", "microphone.monitor")
            wanted = "microphone.monitor"
        # The session manager makes the configured default the default a moment later.
        while subprocess.run(["pactl", "get-default-source"], env=self.environment, capture_output=True,
                             text=True).stdout.strip() != wanted:
            if time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("the bench's PipeWire did not take its default source")
            time.sleep(0.01)

    def pactl(self, *arguments):
        return subprocess.run(["pactl", *arguments], env=self.environment, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode

    def wake_microphone(self):
        """PipeWire's null sinks send their first buffer at once: nothing to wake."""

    def play(self, wav):
        return subprocess.Popen(["paplay", "--device=microphone", wav], env=self.environment)

    def stop(self):
        for process in reversed(self.processes):
            process.send_signal(signal.SIGTERM)
            process.wait()
        shutil.rmtree(self.directory, ignore_errors=True)


def sound_server(name, microphone=False):
    """"PulseAudio" or "PipeWire"."""
    return (PulseDaemon if name == "PulseAudio" else PipeWireDaemon)(microphone=microphone)
