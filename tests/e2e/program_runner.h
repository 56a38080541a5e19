// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace speech_bridge::e2e {

// Path of the speech-bridge executable under test.
std::string programPath();

// Changes to the child's environment: a value sets the variable, nothing
// removes it. The test process's own environment is left alone.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

struct ProgramResult {
  std::vector<std::string> lines;   // standard output, split at line feeds
  std::vector<double> lineSeconds;  // when each line arrived, from the start
  std::string standardOutput;
  std::string standardError;
  int exitStatus = -1;  // -1 when the child was killed
  bool timedOut = false;
  double seconds = 0;  // from start to exit
  long peakResidentKilobytes = 0;  // the child's peak memory
};

// The program as a host runs it: pipes on all three standard streams.
class RunningProgram {
 public:
  // `executable` is the program under test unless another is named.
  RunningProgram(const std::vector<std::string>& args, const EnvironmentChanges& environment = {},
                 const std::string& workingDirectory = {}, const std::string& executable = {});
  ~RunningProgram();

  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  pid_t pid() const { return pid_; }

  // Writes to the child's standard input; false once the child has closed it.
  bool writeInput(const std::string& bytes);
  void closeInput();
  // The host stops reading its standard output.
  void closeOutput();

  // Waits until the child has written at least `count` lines; false on timeout.
  bool waitForLines(std::size_t count, std::chrono::milliseconds timeout);
  std::vector<std::string> linesSoFar();

  // Waits for the child to exit (killing it after `timeout`) and collects the
  // rest of its output.
  ProgramResult wait(std::chrono::milliseconds timeout = std::chrono::seconds(120));

 private:
  void collect();

  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  int error_ = -1;
  std::chrono::steady_clock::time_point started_;
  std::thread collector_;
  std::mutex mutex_;
  std::condition_variable changed_;
  ProgramResult result_;
  bool outputClosed_ = false;
  bool finished_ = false;
};

// Runs the program to its end with `input` on standard input (then closed).
ProgramResult runProgram(const std::vector<std::string>& args, const std::string& input = {},
                         const EnvironmentChanges& environment = {},
                         std::chrono::milliseconds timeout = std::chrono::seconds(120));

}  // namespace speech_bridge::e2e
