// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "e2e/program_runner.h"

namespace speech_bridge::e2e {

// Which sound server serves the PulseAudio protocol.
enum class SoundServerKind {
  pulseAudio,
  // pipewire, wireplumber and pipewire-pulse, with a D-Bus session bus of
  // their own.
  pipeWire,
};

// For test names: "PulseAudio", "PipeWire".
std::string soundServerName(SoundServerKind kind);
inline void PrintTo(SoundServerKind kind, std::ostream* out) { *out << soundServerName(kind); }

// A sound server of the tests' own (the rig of tests/tools/sound_server.cpp,
// which the benches run too) that speaks the PulseAudio protocol on a private
// socket in a private runtime folder, with two null sinks: "speaker" (the
// default sink, whose monitor can be recorded) and "microphone" (whose
// monitor is the default source: what is played into it is what a program
// hears from the microphone). Only child processes given childEnvironment()
// reach it. Every process of it is stopped by its PID when destroyed.
class PulseServer {
 public:
  enum class Rendering {
    // A low-latency recording kept on each monitor makes both sinks render
    // in real time, as sound cards do: without one, a null sink renders up
    // to 2 s ahead, so that what is played into the microphone before a
    // program's stream connects has already passed it, and a recording of
    // the speaker started after a sound hears none of it.
    realTime,
    // Nothing else records them: they idle as a desktop's null sinks do.
    idle,
  };

  // Starts the server and waits until it answers with its sinks in place;
  // throws with the reason when it cannot. Its null sinks keep PulseAudio's
  // default settings, as on a desktop with no sound card: an idle sink
  // renders two-second blocks, so that a recording of its monitor with
  // nothing playing gets its first buffer up to 2 s after it starts (see
  // wakeMicrophone()). PipeWire's null sinks have no idle blocks. With
  // `roomMilliseconds`, what the speaker plays reaches the microphone that
  // late, as in a room (a loopback, one more recording the rig keeps).
  explicit PulseServer(SoundServerKind kind = SoundServerKind::pulseAudio, Rendering rendering = Rendering::realTime,
                       int roomMilliseconds = 0);
  ~PulseServer();

  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  SoundServerKind kind() const { return kind_; }
  // Every process of the server, in the order started.
  const std::vector<pid_t>& pids() const { return pids_; }

  // Kills the server at once, as a crash would.
  void kill();
  const std::string& socketPath() const { return socket_; }

  // For a child: PULSE_SERVER pointing at this daemon, and nothing else of
  // the user's sound setup.
  EnvironmentChanges childEnvironment() const;

  // For a child that must find no sound server at all.
  static EnvironmentChanges noServerEnvironment();

  // Runs a pulseaudio-utils command (pactl, paplay, parecord, ...) against
  // this daemon and waits for it; returns its exit status.
  int runClient(const std::vector<std::string>& command) const;

  // Runs a client and returns what it printed.
  std::string clientOutput(const std::vector<std::string>& command) const;

  // Waits until `count` recording streams (parecord, a program listening)
  // are connected, besides those the rig keeps for real-time rendering;
  // false after the timeout.
  bool waitForRecordingStreams(int count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

  // Suspends and resumes the microphone sink, as a desktop's sound server
  // does when a recording starts after a while of silence. With default
  // sinks, its monitor then sends its first buffer about 2 s later, however
  // long ago the last recording ended.
  void wakeMicrophone() const;

  // Starts `paplay` of an audio file into the microphone; returns its PID.
  pid_t startPlayingIntoMicrophone(const std::string& audioFile) const;
  // The same on the speaker (the default sink), as a desktop plays its sound.
  pid_t startPlayingOnSpeaker(const std::string& audioFile) const;

  // Starts recording the speaker's monitor into a WAV file; returns the PID
  // of `parecord`. Stop it with stopClient() so the file is finished.
  pid_t startRecordingSpeaker(const std::string& wavFile) const;
  // The same for any source, such as "microphone.monitor".
  pid_t spawnRecorder(const std::string& source, const std::string& wavFile) const;

  // Ends a client started above (SIGINT, then waits) and returns its status.
  static int stopClient(pid_t pid);
  // Waits for a client started above to end by itself.
  static int waitClient(pid_t pid);

 private:
  pid_t spawnClient(const std::vector<std::string>& command) const;

  std::unique_ptr<RunningProgram> rig_;
  SoundServerKind kind_;
  std::string directory_;
  std::string socket_;
  std::vector<pid_t> pids_;  // in the order started
  int rigRecordings_ = 0;    // recording streams the rig keeps itself
};

}  // namespace speech_bridge::e2e
