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

PulseServer::PulseServer(NullSinks sinks) {
  char pattern[] = "/tmp/speech-bridge-pulse-XXXXXX";
  if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  directory_ = pattern;
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
  pid_ = spawn({"pulseaudio", "--daemonize=no", "-n", "--use-pid-file=no", "--disallow-exit",
                "--exit-idle-time=-1", "--disable-shm=no", "-F", directory_ + "/default.pa"},
               environment, directory_ + "/daemon.log");

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (runClient({"pactl", "info"}) != 0) {
    if (std::chrono::steady_clock::now() > deadline || ::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
      throw std::runtime_error("the test PulseAudio daemon did not start; see " + directory_ + "/daemon.log");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

PulseServer::~PulseServer() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    waitFor(pid_);
  }
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

void PulseServer::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  waitFor(pid_);
  pid_ = -1;
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
