# SPDX-License-Identifier: GPL-3.0-or-later
"""The bench's sound servers: the rig the end-to-end tests use too
(tests/tools/sound_server.cpp, built as build/tests/sound_server, or the
program named by SPEECH_BRIDGE_SOUND_SERVER).

SoundServer("PulseAudio") is a PulseAudio daemon, SoundServer("PipeWire") is
pipewire, wireplumber and pipewire-pulse with a D-Bus session bus of their
own, each on a private socket, with null sinks "speaker" (the default sink)
and "microphone" (whose monitor is the default source, so that what is played
into it is heard). The null sinks keep PulseAudio's default settings, as on a
desktop. By default they render in real time, as sound cards do: a
low-latency recording kept on each monitor does that, so that the microphone
delivers what is played into it as it plays. With real_time=False they idle as
a desktop's null sinks do: on PulseAudio a sink then renders up to 2 s ahead,
what is played into the microphone before a job's stream connects has passed
it already, and a recording with nothing playing gets its first buffer up to
2 s after it starts, and about 2 s after wake_microphone(). With room_ms,
what the speaker plays reaches the microphone that many milliseconds late
(a loopback), as in a room: music on the speaker, or a program's own speech,
is heard over what is played into the microphone.
"""
import json
import os
import subprocess

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RIG = os.environ.get("SPEECH_BRIDGE_SOUND_SERVER", os.path.join(TOP, "build", "tests", "sound_server"))


class SoundServer:
    def __init__(self, name, real_time=True, null_sinks="defaults", room_ms=0):
        self.name = name
        command = [RIG, {"PulseAudio": "pulseaudio", "PipeWire": "pipewire"}[name], "--null-sinks", null_sinks]
        if real_time:
            command.append("--real-time")
        if room_ms:
            command += ["--room", str(room_ms)]
        # The rig stops every process it started, by PID, when its input ends.
        self.rig = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        started = json.loads(self.rig.stdout.readline() or '{"error": "the rig ended without a word"}')
        if "error" in started:
            self.rig.wait()
            raise RuntimeError(f"the bench's {name} did not start: {started['error']}")
        self.server = started["server"]
        self.pids = started["pids"]
        # What the programs under test run with: only the server's address changes.
        self.environment = dict(os.environ, PULSE_SERVER=self.server)
        self.environment.pop("PULSE_SOURCE", None)
        self.environment.pop("PULSE_SINK", None)

    def pactl(self, *arguments):
        return subprocess.run(["pactl", *arguments], env=self.environment, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode

    def wake_microphone(self):
        """Suspends and resumes the microphone sink, as a desktop's server does
        when a recording starts after a while of silence."""
        for state in ("1", "0"):
            self.pactl("suspend-sink", "microphone", state)

    def play(self, wav):
        """Plays a recording into the microphone; returns the paplay process."""
        return subprocess.Popen(["paplay", "--device=microphone", wav], env=self.environment)

    def stop(self):
        self.rig.stdin.close()
        self.rig.wait()
