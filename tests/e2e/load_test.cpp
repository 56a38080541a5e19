// SPDX-License-Identifier: GPL-3.0-or-later
// Many jobs in a row, and several at once: every job ends with exactly one
// finishing event and exit status 0 or 1, leaves nothing behind, and its peak
// memory does not grow from job to job. The number of jobs per mode is
// SPEECH_BRIDGE_LOAD_JOBS (default 20; bench/load.sh runs 200).
#include <dirent.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <cstring>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/program_runner.h"
#include "e2e/pulse_server.h"
#include "e2e/sound_server_suite.h"
#include "e2e/wav_file.h"

namespace speech_bridge::e2e {
namespace {

using std::chrono::seconds;

constexpr double kSampledJobSeconds = 0.1;

int jobsPerMode() {
  const char* configured = std::getenv("SPEECH_BRIDGE_LOAD_JOBS");
  return configured ? std::max(5, std::atoi(configured)) : 20;
}

int openDescriptors() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

// Processes of the program under test that are still around, zombies included.
int programProcessesLeft() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    std::getline(stat, line);
    const auto open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    std::string state;
    int parent = 0;
    rest >> state >> parent;
    if (parent == ::getpid() && line.substr(open + 1, close - open - 1) == "speech-bridge") ++count;
  }
  return count;
}

double median(std::vector<long> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : static_cast<double>(values[values.size() / 2]);
}

class LoadTest : public ::testing::Test {
 protected:
  // Runs `job` N times; each must end with one finishing event of `kind`,
  // or with the line `alsoAccepted` and exit status 1. Only jobs that did
  // the same work, as `comparable` tells, have their peak memory compared.
  void runSequentially(const std::string& mode, const std::function<ProgramResult()>& job,
                       const std::string& kind, const std::string& alsoAccepted = {},
                       const std::function<bool(const ProgramResult&)>& comparable = {}) {
    // Counted once the test's sound server, if any, holds its own.
    const int descriptorsBefore = openDescriptors();
    const int jobs = jobsPerMode();
    std::vector<long> peaks;
    std::vector<double> durations;
    for (int i = 0; i < jobs; ++i) {
      const ProgramResult result = job();
      SCOPED_TRACE(mode + " job " + std::to_string(i + 1));
      ASSERT_FALSE(result.lines.empty()) << result.standardError;
      int finishing = 0;
      for (const std::string& line : result.lines) {
        const std::string event = nlohmann::json::parse(line)["event"];
        finishing += event == "final" || event == "error";
      }
      ASSERT_EQ(finishing, 1) << result.standardOutput;
      ASSERT_EQ(result.standardError, "");
      if (!alsoAccepted.empty() && result.lines.back() == alsoAccepted) {
        ASSERT_EQ(result.exitStatus, 1);
        continue;
      }
      ASSERT_EQ(nlohmann::json::parse(result.lines.back())["event"], kind) << result.lines.back();
      ASSERT_EQ(result.exitStatus, kind == "final" ? 0 : 1);
      if (comparable && !comparable(result)) continue;
      peaks.push_back(result.peakResidentKilobytes);
      durations.push_back(result.seconds);
    }
    // Memory is sampled from /proc while a job runs; a job of a few
    // milliseconds may end before its libraries are even loaded, so its
    // samples say nothing about growth.
    if (peaks.size() < 6) {
      std::cout << "[ load ] " << mode << ": " << peaks.size() << " of " << jobs
                << " jobs did the same work, too few to compare their memory\n";
    } else if (std::all_of(durations.begin(), durations.end(), [](double s) { return s >= kSampledJobSeconds; })) {
      const std::size_t tenth = std::max<std::size_t>(3, peaks.size() / 10);
      const double first = median({peaks.begin(), peaks.begin() + static_cast<long>(tenth)});
      const double last = median({peaks.end() - static_cast<long>(tenth), peaks.end()});
      std::cout << "[ load ] " << mode << ": " << jobs << " jobs, peak memory of the first tenth " << first
                << " kB, of the last tenth " << last << " kB\n";
      EXPECT_LT(last, first * 1.05 + 512) << "peak memory grows from job to job";
    } else {
      std::cout << "[ load ] " << mode << ": " << jobs << " jobs, too short to sample their memory\n";
    }
    EXPECT_EQ(programProcessesLeft(), 0);
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
  }
};

TEST_F(LoadTest, ManyVoiceListings) {
  runSequentially("--voices", [] { return runProgram({"--voices"}); }, "final");
}

TEST_F(LoadTest, ManyUsageErrors) {
  runSequentially("usage error", [] { return runProgram({"--bogus"}); }, "error");
}

TEST_F(LoadTest, ManyFileTranscriptions) {
  const std::string folder = std::filesystem::temp_directory_path() / ("speech-bridge-load-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  writeWav(folder + "/order.wav", readRaw16kMono(kGoForwardRecording));
  runSequentially("--transcribe-file", [&] { return runProgram({"--transcribe-file", folder + "/order.wav"}); },
                  "final");
  std::filesystem::remove_all(folder);
}

// The jobs that need sound, on each sound server.
class SoundLoadTest : public LoadTest, public ::testing::WithParamInterface<SoundServerKind> {};

TEST_P(SoundLoadTest, ManySpokenReplies) {
  const PulseServer server(GetParam());
  runSequentially("--speak on " + soundServerName(GetParam()),
                  [&] { return runProgram({"--speak"}, "Aye.", server.childEnvironment()); }, "final");
}

// "ready" comes before the model has loaded; on a machine loaded by other
// tests the load can outlast the three seconds a final result may take. Each
// job hears speech from its start and is stopped once it has heard some. A job
// that heard nothing (its player started late) ends without loading the model,
// and one that gave up on its final may not have loaded all of it: neither is
// compared with the others for memory.
TEST_P(SoundLoadTest, ManyListensStoppedAtOnce) {
  const PulseServer server(GetParam());
  const std::string folder = std::filesystem::temp_directory_path() /
                             ("speech-bridge-load-listen-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  PcmAudio order = readRaw16kMono(kGoForwardRecording);
  order.samples.erase(order.samples.begin(), order.samples.begin() + 8000);  // its first 0.5 s are silent
  writeWav(folder + "/order.wav", order);
  runSequentially("--listen on " + soundServerName(GetParam()), [&] {
    RunningProgram program({"--listen"}, server.childEnvironment());
    const pid_t player = server.startPlayingIntoMicrophone(folder + "/order.wav");
    if (program.waitForLines(1, seconds(10))) {
      program.waitForLines(2, seconds(5));
      program.writeInput("stop\n");
    }
    ProgramResult result = program.wait(seconds(10));
    PulseServer::stopClient(player);
    return result;
  }, "final", R"({"event":"error","message":"Recognition did not produce a final result after listening stopped"})",
  [](const ProgramResult& result) {
    return std::any_of(result.lines.begin(), result.lines.end(),
                       [](const std::string& line) { return line.find(R"("event":"partial")") != std::string::npos; });
  });
  std::filesystem::remove_all(folder);
}

// Eight hosts listening at once on one sound server, all hearing the same
// spoken order. Each ends with one finishing event: its final text or, when
// eight decoders outrun the machine, the final-result error in time.
TEST_P(SoundLoadTest, EightListenersAtOnceOnOneSoundServer) {
  const PulseServer server(GetParam());
  const int descriptorsBefore = openDescriptors();
  const std::string folder =
      std::filesystem::temp_directory_path() / ("speech-bridge-load-listen-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  writeWav(folder + "/order.wav", readRaw16kMono(kGoForwardRecording));

  std::vector<std::unique_ptr<RunningProgram>> listeners;
  for (int i = 0; i < 8; ++i) listeners.push_back(std::make_unique<RunningProgram>(
                                  std::vector<std::string>{"--listen"}, server.childEnvironment()));
  for (auto& listener : listeners) ASSERT_TRUE(listener->waitForLines(1, seconds(20)));
  ASSERT_TRUE(server.waitForRecordingStreams(8));
  EXPECT_EQ(PulseServer::waitClient(server.startPlayingIntoMicrophone(folder + "/order.wav")), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (auto& listener : listeners) listener->writeInput("stop\n");

  int heard = 0;
  for (auto& listener : listeners) {
    const ProgramResult result = listener->wait(seconds(20));
    ASSERT_FALSE(result.lines.empty());
    EXPECT_EQ(result.lines.front(), R"({"event":"ready","mode":"listen","on_device":true})");
    if (result.exitStatus == 0) {
      EXPECT_EQ(result.lines.back(), R"({"event":"final","text":"go forward ten meters"})");
      ++heard;
    } else {
      EXPECT_EQ(result.lines.back(),
                R"({"event":"error","message":"Recognition did not produce a final result after listening stopped"})");
      EXPECT_EQ(result.exitStatus, 1);
    }
    EXPECT_LT(result.seconds, 15.0);
    EXPECT_EQ(result.standardError, "");
  }
  std::cout << "[ load ] 8 listeners at once on " << soundServerName(GetParam()) << ": " << heard
            << " heard the order in time\n";
  listeners.clear();
  EXPECT_EQ(programProcessesLeft(), 0);
  EXPECT_EQ(openDescriptors(), descriptorsBefore);
  std::filesystem::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(BothServers, SoundLoadTest, kBothSoundServers, soundServerTestName);

}  // namespace
}  // namespace speech_bridge::e2e
