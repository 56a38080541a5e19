// SPDX-License-Identifier: GPL-3.0-or-later
#include "e2e/pulse_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace speech_bridge::e2e {
namespace {

pid_t spawn(const std::vector<std::string>& command, const std::vector<std::string>& environment,
            const std::string& logFile) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::vector<std::string> argv = command;
  std::vector<std::string> envp = environment;
  std::vector<char*> argvPointers, envpPointers;
  for (auto& s : argv) argvPointers.push_back(s.data());
  for (auto& s : envp) envpPointers.push_back(s.data());
  argvPointers.push_back(nullptr);
  envpPointers.push_back(nullptr);
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, argvPointers.data(), envpPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  if (failed) throw std::runtime_error("cannot start " + command[0]);
  return pid;
}

int waitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string soundServerName(SoundServerKind kind) {
  return kind == SoundServerKind::pulseAudio ? "PulseAudio" : "PipeWire";
}

PulseServer::PulseServer(NullSinks sinks, SoundServerKind kind) : kind_(kind) {
  char pattern[] = "/tmp/speech-bridge-sound-XXXXXX";
  if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  directory_ = pattern;
  // PipeWire's processes start side by side and, on a loaded machine, now
  // and then one of them loses a race with another and never gets ready; a
  // fresh start of all of them does. PulseAudio is one process: no retry.
  const int attempts = kind == SoundServerKind::pipeWire ? 3 : 1;
  for (int attempt = 1;; ++attempt) {
    try {
      if (kind == SoundServerKind::pulseAudio) {
        startPulseAudio(sinks);
      } else {
        startPipeWire();
      }
      waitUntilReady();
      return;
    } catch (...) {
      stopAll(SIGKILL);
      std::error_code ignored;
      if (attempt < attempts) {
        std::filesystem::remove_all(directory_ + "/runtime", ignored);
        continue;
      }
      std::filesystem::remove_all(directory_, ignored);
      throw;
    }
  }
}

void PulseServer::startPulseAudio(NullSinks sinks) {
  socket_ = directory_ + "/native";
  // Without rewinds a null sink starts a new stream at once, as a sound card
  // does; with them it may hold it back for up to its two-second idle block,
  // which would blur every timing a test takes unless that is the point.
  const std::string options = sinks == NullSinks::startingAtOnce ? " norewinds=1" : "";
  std::ofstream(directory_ + "/default.pa")
      << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << socket_ << "\n"
      << "load-module module-null-sink sink_name=speaker" << options << "\n"
      << "load-module module-null-sink sink_name=microphone" << options << "\n"
      << "set-default-sink speaker\n"
      << "set-default-source microphone.monitor\n";

  // The daemon keeps its state in its own folder, away from any user's.
  const std::vector<std::string> environment = {"HOME=" + directory_, "XDG_RUNTIME_DIR=" + directory_,
                                                "XDG_CONFIG_HOME=" + directory_, "PATH=/usr/bin:/bin"};
  pids_.push_back(spawn({"pulseaudio", "--daemonize=no", "-n", "--use-pid-file=no", "--disallow-exit",
                         "--exit-idle-time=-1", "--disable-shm=no", "-F", directory_ + "/default.pa"},
                        environment, directory_ + "/daemon.log"));
}

void PulseServer::startPipeWire() {
  // A runtime folder, configuration and state of its own, and a session bus
  // of its own for the session manager: nothing reaches the user's.
  const std::string runtime = directory_ + "/runtime";
  std::filesystem::create_directories(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  socket_ = runtime + "/pulse/native";
  const std::string bus = "unix:path=" + runtime + "/bus";
  const std::vector<std::string> environment = {
      "HOME=" + directory_, "XDG_RUNTIME_DIR=" + runtime, "XDG_CONFIG_HOME=" + directory_ + "/config",
      "XDG_STATE_HOME=" + directory_ + "/state", "XDG_DATA_HOME=" + directory_ + "/data",
      "DBUS_SESSION_BUS_ADDRESS=" + bus, "PATH=/usr/bin:/bin"};
  const std::string log = directory_ + "/daemon.log";
  // Each waits for the socket of the one before: the session manager gives
  // up when PipeWire does not answer yet.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  const auto waitForSocket = [&](const std::string& path) {
    while (!std::filesystem::exists(path)) {
      if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error(path + " did not appear; see " + log);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  };
  pids_.push_back(spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + bus}, environment, log));
  waitForSocket(runtime + "/bus");
  pids_.push_back(spawn({"pipewire"}, environment, log));
  waitForSocket(runtime + "/pipewire-0");
  pids_.push_back(spawn({"wireplumber"}, environment, log));
  pids_.push_back(spawn({"pipewire-pulse"}, environment, log));
}

void PulseServer::waitUntilReady() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  const auto failed = [&] {
    if (std::chrono::steady_clock::now() > deadline) return true;
    return std::any_of(pids_.begin(), pids_.end(), [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) == pid; });
  };
  const std::runtime_error notStarted("the test " + soundServerName(kind_) + " server did not start; see " +
                                      directory_ + "/daemon.log");
  while (runClient({"pactl", "info"}) != 0) {
    if (failed()) throw notStarted;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (kind_ == SoundServerKind::pipeWire) {
    for (const char* sink : {"speaker", "microphone"}) {
      runClient({"pactl", "load-module", "module-null-sink", std::string("sink_name=") + sink});
    }
    runClient({"pactl", "set-default-sink", "speaker"});
    runClient({"pactl", "set-default-source", "microphone.monitor"});
  }
  // The session manager makes a configured default the default a moment later.
  while (clientOutput({"pactl", "get-default-source"}) != "microphone.monitor\n") {
    if (failed()) throw notStarted;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void PulseServer::stopAll(int signal) {
  for (auto pid = pids_.rbegin(); pid != pids_.rend(); ++pid) {
    ::kill(*pid, signal);
    waitFor(*pid);
  }
  pids_.clear();
}

PulseServer::~PulseServer() {
  stopAll(SIGTERM);
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

void PulseServer::kill() { stopAll(SIGKILL); }

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
  return spawn(command, environment, directory_ + "/clients.log");
}

int PulseServer::runClient(const std::vector<std::string>& command) const {
  return waitFor(spawnClient(command));
}

std::string PulseServer::clientOutput(const std::vector<std::string>& command) const {
  const std::string file = directory_ + "/client-output";
  std::filesystem::remove(file);
  std::vector<std::string> environment = {"PULSE_SERVER=unix:" + socket_, "HOME=" + directory_,
                                          "PATH=/usr/bin:/bin"};
  waitFor(spawn(command, environment, file));
  std::ifstream in(file);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool PulseServer::waitForRecordingStreams(int count, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const std::string listing = clientOutput({"pactl", "list", "short", "source-outputs"});
    if (std::count(listing.begin(), listing.end(), '\n') >= count) return true;
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

pid_t PulseServer::startRecordingSpeaker(const std::string& wavFile) const {
  return spawnRecorder("speaker.monitor", wavFile);
}

pid_t PulseServer::spawnRecorder(const std::string& source, const std::string& wavFile) const {
  // A short latency, so that stopping the recorder loses little of what was heard.
  return spawnClient({"parecord", "--device=" + source, "--latency-msec=20", "--file-format=wav", wavFile});
}

int PulseServer::stopClient(pid_t pid) {
  ::kill(pid, SIGINT);
  return waitFor(pid);
}

int PulseServer::waitClient(pid_t pid) { return waitFor(pid); }

}  // namespace speech_bridge::e2e
