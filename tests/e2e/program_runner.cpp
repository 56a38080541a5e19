// SPDX-License-Identifier: GPL-3.0-or-later
#include "e2e/program_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace speech_bridge::e2e {
namespace {

// Writing to a child that has exited must fail, not kill the test.
const bool kPipeSignalIgnored = (::signal(SIGPIPE, SIG_IGN), true);

std::vector<std::string> childEnvironment(const EnvironmentChanges& changes) {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const auto equals = text.find('=');
    if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : changes) {
    if (value) {
      variables[name] = *value;
    } else {
      variables.erase(name);
    }
  }
  std::vector<std::string> result;
  for (const auto& [name, value] : variables) result.push_back(name + "=" + value);
  return result;
}

// The child's peak memory since its exec, while it runs. (The exit status's
// resource usage would also count the test process's memory that the child
// shared before its exec.)
long highWaterKilobytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (std::string& s : strings) result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

}  // namespace

std::string programPath() { return SPEECH_BRIDGE_EXECUTABLE; }

RunningProgram::RunningProgram(const std::vector<std::string>& args, const EnvironmentChanges& environment,
                               const std::string& workingDirectory, const std::string& executable) {
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  if (!workingDirectory.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());

  std::vector<std::string> argv = {executable.empty() ? programPath() : executable};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> envp = childEnvironment(environment);
  auto argvPointers = pointers(argv);
  auto envpPointers = pointers(envp);
  started_ = std::chrono::steady_clock::now();
  const int spawned =
      posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, argvPointers.data(), envpPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  if (spawned != 0) throw std::runtime_error(std::string("spawn failed: ") + std::strerror(spawned));
  input_ = in[1];
  output_ = out[0];
  error_ = err[0];
  collector_ = std::thread([this] { collect(); });
}

RunningProgram::~RunningProgram() {
  if (!finished_) wait(std::chrono::milliseconds(0));
}

bool RunningProgram::writeInput(const std::string& bytes) {
  std::string_view rest = bytes;
  while (!rest.empty() && input_ >= 0) {
    const ssize_t written = ::write(input_, rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    rest.remove_prefix(static_cast<std::size_t>(written));
  }
  return input_ >= 0;
}

void RunningProgram::closeInput() {
  if (input_ >= 0) ::close(input_);
  input_ = -1;
}

void RunningProgram::closeOutput() {
  std::lock_guard lock(mutex_);
  outputClosed_ = true;
}

bool RunningProgram::waitForLines(std::size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return result_.lines.size() >= count || finished_; }) &&
         result_.lines.size() >= count;
}

std::vector<std::string> RunningProgram::linesSoFar() {
  std::lock_guard lock(mutex_);
  return result_.lines;
}

void RunningProgram::collect() {
  pollfd fds[2] = {{output_, POLLIN, 0}, {error_, POLLIN, 0}};
  std::string partial;
  int open = 2;
  while (open > 0) {
    if (::poll(fds, 2, 100) < 0 && errno != EINTR) break;
    {
      std::lock_guard lock(mutex_);
      if (outputClosed_ && fds[0].fd >= 0) {
        ::close(fds[0].fd);
        fds[0].fd = -1;
        --open;
      }
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[65536];
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
        continue;
      }
      const double at = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
      std::lock_guard lock(mutex_);
      if (i == 1) {
        result_.standardError.append(buffer, static_cast<std::size_t>(got));
        continue;
      }
      result_.standardOutput.append(buffer, static_cast<std::size_t>(got));
      partial.append(buffer, static_cast<std::size_t>(got));
      for (std::size_t end; (end = partial.find('\n')) != std::string::npos;) {
        result_.lines.push_back(partial.substr(0, end));
        result_.lineSeconds.push_back(at);
        partial.erase(0, end + 1);
      }
      changed_.notify_all();
    }
  }
  std::lock_guard lock(mutex_);
  if (!partial.empty()) result_.lines.push_back(partial + "<no line feed>");
  finished_ = true;
  changed_.notify_all();
}

ProgramResult RunningProgram::wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  long peakKilobytes = 0;
  bool killed = false;
  for (;;) {
    peakKilobytes = std::max(peakKilobytes, highWaterKilobytes(pid_));
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (done < 0 && errno != EINTR) break;
    if (std::chrono::steady_clock::now() >= deadline && !killed) {
      ::kill(pid_, SIGKILL);
      killed = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  closeInput();
  if (collector_.joinable()) collector_.join();
  std::lock_guard lock(mutex_);
  finished_ = true;
  result_.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result_.timedOut = killed;
  result_.seconds = seconds;
  result_.peakResidentKilobytes = peakKilobytes;
  return result_;
}

ProgramResult runProgram(const std::vector<std::string>& args, const std::string& input,
                         const EnvironmentChanges& environment, std::chrono::milliseconds timeout) {
  RunningProgram program(args, environment);
  program.writeInput(input);
  program.closeInput();
  return program.wait(timeout);
}

}  // namespace speech_bridge::e2e
