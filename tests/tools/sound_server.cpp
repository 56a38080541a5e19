// SPDX-License-Identifier: GPL-3.0-or-later
// The sound rig of the end-to-end tests and of the benches: a sound server
// that speaks the PulseAudio protocol on a private socket in a private folder,
// with two null sinks, "speaker" (the default sink) and "microphone" (whose
// monitor is the default source: what is played into it is what a program
// hears from the microphone).
//
//   sound_server pulseaudio|pipewire [--null-sinks defaults|at-once] [--real-time]
//                [--room MILLISECONDS]
//
// pulseaudio is one daemon; pipewire is pipewire, wireplumber and
// pipewire-pulse with a D-Bus session bus of their own. --null-sinks at-once
// turns PulseAudio's rewinds off (a new stream then starts at once, as on a
// sound card); by default the null sinks keep PulseAudio's settings, as on a
// desktop without a sound card. --real-time keeps a low-latency recording
// on each sink's monitor, so that both render in real time as sound cards
// do: the microphone delivers what is played into it as it plays, and what
// is played to the speaker is heard from when a recording starts (see
// startRealTimeRendering()). --room carries what the speaker plays into the
// microphone, that many milliseconds late (module-loopback), as a room
// carries a desktop's sound to its microphone: anything played, a program's
// own speech included, is then heard, over what is played into the
// microphone.
//
// Once the server answers with its sinks in place it prints one line,
//   {"directory":"/tmp/...","server":"unix:/tmp/.../native","pids":[...],"recordings":N}
// (recordings: how many recording streams the rig keeps itself), and waits.
// A line "kill" on standard input kills every process at once, as a crash
// would, and answers "killed". The end of standard input, SIGTERM, SIGINT or
// SIGHUP stops every process by its PID, the last started first, removes the
// folder and exits 0. When the server cannot start it prints
// {"error":"..."} and exits 1, having stopped what it started.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tools/child_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using speech_bridge::tools::spawnProcess;
using speech_bridge::tools::waitForExit;

struct Options {
  bool pipeWire = false;
  bool nullSinksAtOnce = false;
  bool realTime = false;
  int roomMilliseconds = 0;  // 0: no room
};

sigset_t stopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
  return signals;
}

class SoundServer {
 public:
  explicit SoundServer(const Options& options) : options_(options) {
    char pattern[] = "/tmp/speech-bridge-sound-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    directory_ = pattern;
  }
  ~SoundServer() {
    stopAll(SIGTERM);
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

  // Starts the server and waits until it answers with its sinks in place.
  void start() {
    // PipeWire's processes start side by side and, on a loaded machine, now
    // and then one of them loses a race with another and never gets ready; a
    // fresh start of all of them does. PulseAudio is one process: no retry.
    const int attempts = options_.pipeWire ? 3 : 1;
    for (int attempt = 1;; ++attempt) {
      try {
        options_.pipeWire ? startPipeWire() : startPulseAudio();
        waitUntilReady();
        if (options_.realTime) startRealTimeRendering();
        if (options_.roomMilliseconds > 0) startRoom();
        return;
      } catch (...) {
        stopAll(SIGKILL);
        if (attempt >= attempts) throw;
        std::error_code ignored;
        std::filesystem::remove_all(directory_ + "/runtime", ignored);
      }
    }
  }

  std::string description() const {
    std::string pids;
    for (const pid_t pid : pids_) pids += (pids.empty() ? "" : ",") + std::to_string(pid);
    return R"({"directory":")" + directory_ + R"(","server":"unix:)" + socket_ + R"(","pids":[)" + pids +
           R"(],"recordings":)" +
           std::to_string((options_.realTime ? 2 : 0) + (options_.roomMilliseconds > 0 ? 1 : 0)) + "}";
  }

  // Stops every process, the last started first.
  void stopAll(int signal) {
    for (auto pid = pids_.rbegin(); pid != pids_.rend(); ++pid) {
      ::kill(*pid, signal);
      waitForExit(*pid);
    }
    pids_.clear();
  }

 private:
  void startPulseAudio() {
    socket_ = directory_ + "/native";
    const std::string options = options_.nullSinksAtOnce ? " norewinds=1" : "";
    std::ofstream(directory_ + "/default.pa")
        << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << socket_ << "\n"
        << "load-module module-null-sink sink_name=speaker" << options << "\n"
        << "load-module module-null-sink sink_name=microphone" << options << "\n"
        << "set-default-sink speaker\n"
        << "set-default-source microphone.monitor\n";
    // The daemon keeps its state in its own folder, away from any user's.
    const std::vector<std::string> environment = {"HOME=" + directory_, "XDG_RUNTIME_DIR=" + directory_,
                                                  "XDG_CONFIG_HOME=" + directory_, "PATH=/usr/bin:/bin"};
    pids_.push_back(spawnProcess({"pulseaudio", "--daemonize=no", "-n", "--use-pid-file=no", "--disallow-exit",
                           "--exit-idle-time=-1", "--disable-shm=no", "-F", directory_ + "/default.pa"},
                          environment, log()));
  }

  void startPipeWire() {
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
    // Each waits for the socket of the one before: the session manager gives
    // up when PipeWire does not answer yet.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    const auto waitForSocket = [&](const std::string& path) {
      while (!std::filesystem::exists(path)) {
        if (Clock::now() > deadline) throw std::runtime_error(path + " did not appear; see " + log());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    };
    pids_.push_back(
        spawnProcess({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + bus}, environment, log()));
    waitForSocket(runtime + "/bus");
    pids_.push_back(spawnProcess({"pipewire"}, environment, log()));
    waitForSocket(runtime + "/pipewire-0");
    pids_.push_back(spawnProcess({"wireplumber"}, environment, log()));
    pids_.push_back(spawnProcess({"pipewire-pulse"}, environment, log()));
  }

  // Waits until the server answers with "microphone.monitor" as its default
  // source; throws when it does not.
  void waitUntilReady() {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    const auto failed = [&] {
      if (Clock::now() > deadline) return true;
      return std::any_of(pids_.begin(), pids_.end(), [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) == pid; });
    };
    const std::runtime_error notStarted(std::string(options_.pipeWire ? "PipeWire" : "PulseAudio") +
                                        " did not start; see " + log());
    while (runClient({"pactl", "info"}) != 0) {
      if (failed()) throw notStarted;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (options_.pipeWire) {
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

  // A null sink that no low-latency stream records renders up to its latency
  // (PulseAudio: 2 s) ahead, and hands the rendered sound to its monitor at
  // once: what was played into the microphone before a program's stream
  // connects has then already passed it, and a recording of the speaker that
  // starts after a sound hears none of it, which no sound card does. A
  // recording with a 10 ms latency kept on each monitor makes its sink render
  // in real time.
  void startRealTimeRendering() {
    for (const std::string sink : {"speaker", "microphone"}) {
      pids_.push_back(spawnClient({"parec", "--device=" + sink + ".monitor", "--latency-msec=10", "/dev/null"}));
    }
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    for (;;) {
      const std::string listing = clientOutput({"pactl", "list", "short", "source-outputs"});
      if (std::count(listing.begin(), listing.end(), '\n') >= 2) break;
      const bool ended = std::any_of(pids_.end() - 2, pids_.end(),
                                     [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) == pid; });
      if (Clock::now() > deadline || ended) {
        throw std::runtime_error("the monitors' recordings did not start; see " + directory_ + "/clients.log");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Each sink had rendered a block ahead of the recording's start, and
    // would take the recording's latency only once that block is done: a
    // fresh start renders in real time from now.
    for (const std::string sink : {"speaker", "microphone"}) {
      runClient({"pactl", "suspend-sink", sink, "1"});
      runClient({"pactl", "suspend-sink", sink, "0"});
    }
  }

  // The room: a loopback from the speaker's monitor into the microphone. Its
  // recording of the monitor is one the rig keeps.
  void startRoom() {
    const std::string listed = "source-outputs";
    const auto count = [&] {
      const std::string listing = clientOutput({"pactl", "list", "short", listed});
      return std::count(listing.begin(), listing.end(), '\n');
    };
    const auto before = count();
    if (runClient({"pactl", "load-module", "module-loopback", "source=speaker.monitor", "sink=microphone",
                   "latency_msec=" + std::to_string(options_.roomMilliseconds), "source_dont_move=true",
                   "sink_dont_move=true"}) != 0) {
      throw std::runtime_error("the room's loopback did not load; see " + directory_ + "/clients.log");
    }
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (count() <= before) {
      if (Clock::now() > deadline) throw std::runtime_error("the room's loopback did not start recording");
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  std::string log() const { return directory_ + "/daemon.log"; }

  std::vector<std::string> clientEnvironment() const {
    return {"PULSE_SERVER=unix:" + socket_, "HOME=" + directory_, "PATH=/usr/bin:/bin"};
  }
  pid_t spawnClient(const std::vector<std::string>& command) const {
    return spawnProcess(command, clientEnvironment(), directory_ + "/clients.log");
  }
  int runClient(const std::vector<std::string>& command) const { return waitForExit(spawnClient(command)); }
  std::string clientOutput(const std::vector<std::string>& command) const {
    const std::string file = directory_ + "/client-output";
    std::filesystem::remove(file);
    waitForExit(spawnProcess(command, clientEnvironment(), file));
    std::ifstream in(file);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  Options options_;
  std::string directory_;
  std::string socket_;
  std::vector<pid_t> pids_;  // in the order started
};

bool parse(int argc, char** argv, Options& options) {
  if (argc < 2) return false;
  const std::string kind = argv[1];
  if (kind != "pulseaudio" && kind != "pipewire") return false;
  options.pipeWire = kind == "pipewire";
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--real-time") {
      options.realTime = true;
    } else if (argument == "--room" && i + 1 < argc) {
      options.roomMilliseconds = std::atoi(argv[++i]);
      if (options.roomMilliseconds <= 0) return false;
    } else if (argument == "--null-sinks" && i + 1 < argc) {
      const std::string value = argv[++i];
      if (value != "defaults" && value != "at-once") return false;
      options.nullSinksAtOnce = value == "at-once";
    } else {
      return false;
    }
  }
  return true;
}

// Until the end of input or a stop signal; answers "kill" lines.
void serve(SoundServer& server, int signals) {
  std::string input;
  for (;;) {
    pollfd watched[] = {{STDIN_FILENO, POLLIN, 0}, {signals, POLLIN, 0}};
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[1].revents) return;
    if (!watched[0].revents) continue;
    char chunk[256];
    const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    input.append(chunk, static_cast<std::size_t>(got));
    for (std::size_t end; (end = input.find('\n')) != std::string::npos; input.erase(0, end + 1)) {
      if (input.compare(0, end, "kill") == 0) {
        server.stopAll(SIGKILL);
        std::printf("killed\n");
        std::fflush(stdout);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::fprintf(stderr, "usage: %s pulseaudio|pipewire [--null-sinks defaults|at-once] [--real-time] [--room MILLISECONDS]\n",
                 argv[0]);
    return 2;
  }
  // Blocked from the start, so that a stop during start-up still stops all.
  const sigset_t stops = stopSignals();
  sigprocmask(SIG_BLOCK, &stops, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  const int signals = ::signalfd(-1, &stops, SFD_CLOEXEC);
  try {
    SoundServer server(options);
    server.start();
    std::printf("%s\n", server.description().c_str());
    std::fflush(stdout);
    serve(server, signals);
  } catch (const std::exception& failure) {
    std::printf("{\"error\":\"%s\"}\n", failure.what());
    return 1;
  }
  return 0;
}
