// SPDX-License-Identifier: GPL-3.0-or-later
#include "e2e/pulse_server.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include <nlohmann/json.hpp>

#include "tools/child_process.h"

namespace speech_bridge::e2e {
using tools::spawnProcess;
using tools::waitForExit;

std::string soundServerName(SoundServerKind kind) {
  return kind == SoundServerKind::pulseAudio ? "PulseAudio" : "PipeWire";
}

PulseServer::PulseServer(SoundServerKind kind, Rendering rendering, int roomMilliseconds) : kind_(kind) {
  std::vector<std::string> arguments = {kind == SoundServerKind::pulseAudio ? "pulseaudio" : "pipewire"};
  if (rendering == Rendering::realTime) arguments.push_back("--real-time");
  if (roomMilliseconds > 0) arguments.insert(arguments.end(), {"--room", std::to_string(roomMilliseconds)});
  rig_ = std::make_unique<RunningProgram>(arguments, EnvironmentChanges{}, std::string(), SOUND_SERVER_EXECUTABLE);
  // PipeWire may take three attempts of up to 10 s each.
  if (!rig_->waitForLines(1, std::chrono::seconds(60))) {
    rig_->closeInput();
    const ProgramResult result = rig_->wait(std::chrono::seconds(30));
    throw std::runtime_error("the test " + soundServerName(kind) + " server did not start: " + result.standardOutput +
                             result.standardError);
  }
  const nlohmann::json started = nlohmann::json::parse(rig_->linesSoFar().front());
  if (started.contains("error")) {
    rig_->wait(std::chrono::seconds(30));
    throw std::runtime_error("the test " + soundServerName(kind) + " server did not start: " +
                             started["error"].get<std::string>());
  }
  directory_ = started["directory"];
  socket_ = started["server"].get<std::string>().substr(std::string("unix:").size());
  pids_ = started["pids"].get<std::vector<pid_t>>();
  rigRecordings_ = started["recordings"];
}

PulseServer::~PulseServer() {
  // The end of its input stops every process of the rig by its PID.
  rig_->closeInput();
  rig_->wait(std::chrono::seconds(30));
}

void PulseServer::kill() {
  const std::size_t answered = rig_->linesSoFar().size();
  rig_->writeInput("kill\n");
  rig_->waitForLines(answered + 1, std::chrono::seconds(10));
  pids_.clear();
}

EnvironmentChanges PulseServer::childEnvironment() const {
  return {{"PULSE_SERVER", "unix:" + socket_}, {"PULSE_SINK", std::nullopt}, {"PULSE_SOURCE", std::nullopt}};
}

EnvironmentChanges PulseServer::noServerEnvironment() {
  return {{"PULSE_SERVER", "unix:/nonexistent/speech-bridge-test"}, {"PULSE_SINK", std::nullopt},
          {"PULSE_SOURCE", std::nullopt}};
}

pid_t PulseServer::spawnClient(const std::vector<std::string>& command) const {
  std::vector<std::string> environment = {"PULSE_SERVER=unix:" + socket_, "HOME=" + directory_,
                                          "PATH=/usr/bin:/bin"};
  return spawnProcess(command, environment, directory_ + "/clients.log");
}

int PulseServer::runClient(const std::vector<std::string>& command) const {
  return waitForExit(spawnClient(command));
}

std::string PulseServer::clientOutput(const std::vector<std::string>& command) const {
  const std::string file = directory_ + "/client-output";
  std::filesystem::remove(file);
  std::vector<std::string> environment = {"PULSE_SERVER=unix:" + socket_, "HOME=" + directory_,
                                          "PATH=/usr/bin:/bin"};
  waitForExit(spawnProcess(command, environment, file));
  std::ifstream in(file);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool PulseServer::waitForRecordingStreams(int count, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const std::string listing = clientOutput({"pactl", "list", "short", "source-outputs"});
    if (std::count(listing.begin(), listing.end(), '\n') >= count + rigRecordings_) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void PulseServer::wakeMicrophone() const {
  runClient({"pactl", "suspend-sink", "microphone", "1"});
  runClient({"pactl", "suspend-sink", "microphone", "0"});
}

pid_t PulseServer::startPlayingIntoMicrophone(const std::string& audioFile) const {
  return spawnClient({"paplay", "--device=microphone", audioFile});
}

pid_t PulseServer::startPlayingOnSpeaker(const std::string& audioFile) const {
  return spawnClient({"paplay", "--device=speaker", audioFile});
}

pid_t PulseServer::startRecordingSpeaker(const std::string& wavFile) const {
  return spawnRecorder("speaker.monitor", wavFile);
}

pid_t PulseServer::spawnRecorder(const std::string& source, const std::string& wavFile) const {
  // A short latency, so that stopping the recorder loses little of what was heard.
  return spawnClient({"parecord", "--device=" + source, "--latency-msec=20", "--file-format=wav", wavFile});
}

int PulseServer::stopClient(pid_t pid) {
  ::kill(pid, SIGINT);
  return waitForExit(pid);
}

int PulseServer::waitClient(pid_t pid) { return waitForExit(pid); }

}  // namespace speech_bridge::e2e
