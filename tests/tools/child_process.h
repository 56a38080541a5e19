// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace speech_bridge::tools {

// Starts `command` (found on PATH) with `environment` only, nothing on its
// standard input, its output and errors appended to `logFile`, and every
// signal unblocked and at its default, whatever the caller blocks. Throws
// when it cannot start.
inline pid_t spawnProcess(const std::vector<std::string>& command, const std::vector<std::string>& environment,
                          const std::string& logFile) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<std::string> argv = command;
  std::vector<std::string> envp = environment;
  std::vector<char*> argvPointers, envpPointers;
  for (auto& s : argv) argvPointers.push_back(s.data());
  for (auto& s : envp) envpPointers.push_back(s.data());
  argvPointers.push_back(nullptr);
  envpPointers.push_back(nullptr);
  pid_t pid = -1;
  const int failed =
      posix_spawnp(&pid, argv[0].c_str(), &actions, &attributes, argvPointers.data(), envpPointers.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) throw std::runtime_error("cannot start " + command[0]);
  return pid;
}

// Waits for a child to end; its exit status, or -1 when a signal ended it.
inline int waitForExit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace speech_bridge::tools
