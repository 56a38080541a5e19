// SPDX-License-Identifier: GPL-3.0-or-later
// Faults a host, the sound server or a file can cause: every job still ends
// with exactly one finishing event, the recorded exit status, within its
// limits, and nothing on stderr.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "e2e/program_runner.h"
#include "e2e/pulse_server.h"
#include "e2e/sound_server_suite.h"
#include "e2e/wav_file.h"

namespace speech_bridge::e2e {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// The one finishing event: the last line, and the only "final" or "error".
void expectOneFinishingEvent(const ProgramResult& result, const std::string& expectedKind) {
  ASSERT_FALSE(result.lines.empty()) << result.standardError;
  int finishing = 0;
  for (const std::string& line : result.lines) {
    const nlohmann::json event = nlohmann::json::parse(line);
    if (event["event"] == "final" || event["event"] == "error") ++finishing;
  }
  EXPECT_EQ(finishing, 1);
  EXPECT_EQ(nlohmann::json::parse(result.lines.back())["event"], expectedKind) << result.lines.back();
  EXPECT_EQ(result.exitStatus, expectedKind == "final" ? 0 : 1);
  EXPECT_EQ(result.standardError, "");
  EXPECT_FALSE(result.timedOut);
}

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A parameterised test's name (".../PulseAudio") would make two folders
    // of which TearDown() removes one.
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');
    directory_ = std::filesystem::temp_directory_path() /
                 ("speech-bridge-fault-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  std::string at(const std::string& name) const { return directory_ + "/" + name; }

  static PcmAudio recording() { return readRaw16kMono(kGoForwardRecording); }

  std::string directory_;
};

TEST_F(FaultTest, HostClosingItsOutputStillGetsTheTranscriptionStatus) {
  writeWav(at("order.wav"), recording());
  RunningProgram program({"--transcribe-file", at("order.wav")});
  ASSERT_TRUE(program.waitForLines(1, seconds(10)));
  program.closeOutput();
  const ProgramResult result = program.wait(seconds(30));
  EXPECT_EQ(result.exitStatus, 0) << "the final event could not be read, but the job succeeded";
  EXPECT_EQ(result.standardError, "");
}

TEST_F(FaultTest, HostClosingItsOutputStillGetsAnErrorStatus) {
  RunningProgram program({"--speak"});  // standard input left open: the input deadline fails the job
  program.closeOutput();
  const ProgramResult result = program.wait(seconds(30));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardError, "");
  EXPECT_GE(result.seconds, 5.0);
  EXPECT_LT(result.seconds, 6.0);
}

TEST_F(FaultTest, DamagedAudioFilesEndInOneRecognitionError) {
  PcmAudio audio = recording();
  writeWav(at("whole.wav"), audio);
  std::ifstream in(at("whole.wav"), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  std::ofstream(at("header-cut.wav"), std::ios::binary) << bytes.substr(0, 20);
  std::string scrambled = bytes;
  for (std::size_t i = 12; i < 44; ++i) scrambled[i] = static_cast<char>(0xA5 ^ i);
  std::ofstream(at("scrambled.wav"), std::ios::binary) << scrambled;
  std::ofstream(at("empty.wav"), std::ios::binary);

  for (const std::string name : {"header-cut.wav", "scrambled.wav", "empty.wav"}) {
    SCOPED_TRACE(name);
    const ProgramResult result = runProgram({"--transcribe-file", at(name)}, {}, {}, seconds(30));
    expectOneFinishingEvent(result, "error");
    ASSERT_EQ(result.lines.size(), 2u) << result.standardOutput;
    EXPECT_EQ(result.lines[0], R"({"event":"ready","mode":"transcribe-file","on_device":true})");
    EXPECT_EQ(nlohmann::json::parse(result.lines[1])["message"].get<std::string>().rfind(
                  "On-device recognition failed: ", 0),
              0u)
        << result.lines[1];
  }
}

// An hour of speech ends at the transcription deadline, and the file is
// streamed: it takes no more memory than a three-second one. It measures real
// time and memory, which the sanitizers' slowdown and quarantine distort, so
// the sanitizer builds leave it out.
class FaultTimingTest : public FaultTest {};

TEST_F(FaultTimingTest, AnHourLongFileEndsAtTheDeadlineWithBoundedMemory) {
  const PcmAudio order = recording();
  PcmAudio hour{16000, 1, {}};
  hour.samples.reserve(16000u * 3600u);
  while (hour.samples.size() < 16000u * 3600u) {
    hour.samples.insert(hour.samples.end(), order.samples.begin(), order.samples.end());
    hour.samples.insert(hour.samples.end(), 8000, 0);
  }
  writeWav(at("hour.wav"), hour);
  const auto fileKilobytes = static_cast<long>(std::filesystem::file_size(at("hour.wav")) / 1024);
  hour.samples = {};

  writeWav(at("order.wav"), order);
  const ProgramResult shortJob = runProgram({"--transcribe-file", at("order.wav")}, {}, {}, seconds(60));
  ASSERT_EQ(shortJob.exitStatus, 0);

  const ProgramResult result = runProgram({"--transcribe-file", at("hour.wav")}, {}, {}, seconds(60));
  expectOneFinishingEvent(result, "error");
  EXPECT_EQ(result.lines.back(), R"({"event":"error","message":"File transcription exceeded 20 seconds"})");
  ASSERT_GE(result.lines.size(), 2u);
  // Lines are timed when the test reads them, so "ready" may be seen a little
  // late on a busy machine; the job itself never ends before its deadline.
  const double fromReady = result.lineSeconds.back() - result.lineSeconds.front();
  EXPECT_GE(fromReady, 19.9);
  EXPECT_LT(fromReady, 21.0);
  EXPECT_LT(result.peakResidentKilobytes, shortJob.peakResidentKilobytes + 30 * 1024)
      << "the file (" << fileKilobytes << " kB) must not be held whole";
}

class SoundServerFaultTest : public FaultTest, public ::testing::WithParamInterface<SoundServerKind> {
 protected:
  void SetUp() override {
    FaultTest::SetUp();
    server_ = std::make_unique<PulseServer>(GetParam());
  }
  void TearDown() override {
    server_.reset();
    FaultTest::TearDown();
  }
  std::unique_ptr<PulseServer> server_;
};

TEST_P(SoundServerFaultTest, SpeakingEndsOnceWhenTheSoundServerDies) {
  RunningProgram program({"--speak"}, server_->childEnvironment());
  program.writeInput("The fleet will hold position near the northern gate until dawn, and then sail west.");
  program.closeInput();
  ASSERT_TRUE(program.waitForLines(1, seconds(10)));
  std::this_thread::sleep_for(milliseconds(500));
  server_->kill();
  const ProgramResult result = program.wait(seconds(70));
  expectOneFinishingEvent(result, "error");
  EXPECT_EQ(result.lines.back(), R"({"event":"error","message":"Speech playback cancelled"})");
  EXPECT_LT(result.lineSeconds.back() - result.lineSeconds.front(), 5.0) << "noticed promptly";
}

INSTANTIATE_TEST_SUITE_P(BothServers, SoundServerFaultTest, kBothSoundServers, soundServerTestName);

}  // namespace
}  // namespace speech_bridge::e2e
