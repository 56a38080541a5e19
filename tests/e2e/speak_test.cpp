// SPDX-License-Identifier: GPL-3.0-or-later
// --speak as a host runs it, heard on the speaker of the tests' own PulseAudio
// daemon. Needs pulseaudio, pulseaudio-utils and eSpeak NG's voice data.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <thread>

#include "e2e/program_runner.h"
#include "e2e/pulse_server.h"
#include "e2e/wav_file.h"

namespace speech_bridge::e2e {
namespace {

using std::chrono::milliseconds;

const std::string kReady = R"({"event":"ready","mode":"speak"})";
const std::string kFinal = R"({"event":"final","mode":"speak"})";
const std::string kSentence = "The fleet will hold position near the northern gate until dawn.";

std::string errorLine(const std::string& message) { return R"({"event":"error","message":")" + message + R"("})"; }

// "Hi" and zero-width joiners: valid UTF-8, two characters, short to speak.
std::string twoCharactersOfLength(std::size_t bytes) {
  std::string text = "Hi";
  while (text.size() < bytes) text += "\xE2\x80\x8D";
  return text;
}

// Seconds from the start of the first audible 10 ms window to the end of the
// last one: how long sound was coming out, pauses between words included.
double soundSpanSeconds(const PcmAudio& audio, double threshold = 0.01) {
  const std::size_t window = static_cast<std::size_t>(audio.sampleRate / 100) * audio.channels;
  std::size_t first = 0, last = 0;
  bool found = false;
  for (std::size_t start = 0, index = 0; start + window <= audio.samples.size(); start += window, ++index) {
    double sum = 0;
    for (std::size_t i = start; i < start + window; ++i) sum += double(audio.samples[i]) * audio.samples[i];
    if (std::sqrt(sum / static_cast<double>(window)) / 32768.0 <= threshold) continue;
    if (!found) first = index;
    found = true;
    last = index;
  }
  return found ? static_cast<double>(last + 1 - first) * 0.01 : 0.0;
}

class SpeakTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    try {
      server_ = std::make_unique<PulseServer>();
    } catch (const std::exception& failure) {
      startFailure_ = failure.what();
    }
  }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    // Sound is what these tests are about: without the daemon they fail.
    ASSERT_TRUE(server_) << startFailure_;
    directory_ = std::filesystem::temp_directory_path() /
                 ("speech-bridge-speak-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  // Runs the program with `input` closed at once, recording the speaker
  // meanwhile; what was heard ends up in `heard`.
  ProgramResult speakAndRecord(const std::vector<std::string>& args, const std::string& input, PcmAudio& heard) {
    const std::string wav = directory_ + "/heard.wav";
    const pid_t recorder = server_->startRecordingSpeaker(wav);
    EXPECT_TRUE(server_->waitForRecordingStreams(1));
    ProgramResult result = runProgram(args, input, server_->childEnvironment(), std::chrono::seconds(30));
    std::this_thread::sleep_for(milliseconds(300));  // what is still on its way to the monitor
    PulseServer::stopClient(recorder);
    heard = readWav(wav);
    return result;
  }

  // How long eSpeak NG's own rendering of the text sounds, without playback.
  double referenceSeconds(const std::string& voice, const std::string& text) {
    const std::string wav = directory_ + "/reference.wav";
    RunningProgram reference({"-v", voice, "-w", wav, text}, {}, {}, "/usr/bin/espeak-ng");
    EXPECT_EQ(reference.wait(std::chrono::seconds(20)).exitStatus, 0);
    return readWav(wav).audibleSeconds();
  }

  ProgramResult speak(const std::vector<std::string>& args, const std::string& input) {
    return runProgram(args, input, server_->childEnvironment(), std::chrono::seconds(30));
  }

  static std::unique_ptr<PulseServer> server_;
  static std::string startFailure_;
  std::string directory_;
};

std::unique_ptr<PulseServer> SpeakTest::server_;
std::string SpeakTest::startFailure_;

TEST_F(SpeakTest, TheWordsAreHeardAndFinalComesOnlyAfterThem) {
  PcmAudio heard;
  const ProgramResult result = speakAndRecord({"--speak"}, kSentence, heard);
  ASSERT_EQ(result.lines, (std::vector<std::string>{kReady, kFinal})) << result.standardError;
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError, "");

  EXPECT_GT(heard.peak(), 0.1) << "not silent";
  const double expected = referenceSeconds("gmw/en-US", kSentence);
  EXPECT_GT(heard.audibleSeconds(), 0.8 * expected);
  EXPECT_LT(heard.audibleSeconds(), 1.25 * expected);
  // Had "final" come when synthesis ended, it would follow "ready" within
  // milliseconds; it must wait for everything that was heard.
  EXPECT_GE(result.lineSeconds[1] - result.lineSeconds[0], soundSpanSeconds(heard));
}

TEST_F(SpeakTest, AVoiceOfAnotherLanguageFromTheListingSpeaks) {
  const ProgramResult listing = runProgram({"--voices"});
  std::string german;
  const nlohmann::json event = nlohmann::json::parse(listing.lines.at(0));
  for (const auto& voice : event["voices"]) {
    if (voice["language"] == "de") german = voice["id"];
  }
  ASSERT_FALSE(german.empty());

  const std::string text = "Die Flotte wartet am Tor bis zum Morgengrauen.";
  PcmAudio heard;
  const ProgramResult result = speakAndRecord({"--speak", "--voice", german, "--locale", "en-US"}, text, heard);
  EXPECT_EQ(result.lines, (std::vector<std::string>{kReady, kFinal}));
  EXPECT_EQ(result.standardError, "");
  const double expected = referenceSeconds(german, text);
  EXPECT_GT(heard.audibleSeconds(), 0.8 * expected);
  EXPECT_LT(heard.audibleSeconds(), 1.25 * expected);
}

TEST_F(SpeakTest, AVoiceWhoseDataIsIncompleteSpeaksWithoutWritingToStandardError) {
  // eSpeak NG complains on its standard error about this voice's dictionary.
  const ProgramResult result = speak({"--speak", "--voice", "zle/be"}, "Dobry dzień");
  EXPECT_EQ(result.lines, (std::vector<std::string>{kReady, kFinal}));
  EXPECT_EQ(result.standardError, "");
}

TEST_F(SpeakTest, RejectedTextIsNeverHeard) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "Speech text is empty"},
      {" \t\n \n", "Speech text is empty"},
      {"Hold \xFF position", "Speech input must be UTF-8"},
      {std::string(2000, 'a') + "\n", "Speech text exceeded 2000 characters"},
  };
  for (const auto& [input, message] : cases) {
    const ProgramResult result = speak({"--speak"}, input);
    EXPECT_EQ(result.lines, std::vector<std::string>{errorLine(message)});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardError, "");
  }
  PcmAudio heard;
  const ProgramResult unknown = speakAndRecord({"--speak", "--voice", "gmw/en-us"}, kSentence, heard);
  EXPECT_EQ(unknown.lines, std::vector<std::string>{errorLine("Selected speech voice is unavailable")});
  EXPECT_EQ(unknown.exitStatus, 1);
  EXPECT_EQ(heard.audibleSeconds(), 0.0);
}

TEST_F(SpeakTest, TheLargestInputIsSpoken) {
  const ProgramResult result = speak({"--speak"}, twoCharactersOfLength(8192));
  EXPECT_EQ(result.lines, (std::vector<std::string>{kReady, kFinal}));
  EXPECT_EQ(result.exitStatus, 0);
}

TEST_F(SpeakTest, OneByteTooManyFailsWhileTheInputIsStillOpen) {
  RunningProgram program({"--speak"}, server_->childEnvironment());
  program.writeInput(std::string(8193, 'a'));
  ASSERT_TRUE(program.waitForLines(1, std::chrono::seconds(3)));
  const ProgramResult result = program.wait(std::chrono::seconds(3));
  EXPECT_EQ(result.lines, std::vector<std::string>{errorLine("Speech input exceeded 8192 bytes")});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_LT(result.lineSeconds[0], 2.0);
}

TEST_F(SpeakTest, InputLeftOpenFailsAfterFiveSeconds) {
  RunningProgram program({"--speak"}, server_->childEnvironment());
  program.writeInput(kSentence);
  ASSERT_TRUE(program.waitForLines(1, std::chrono::seconds(8)));
  const ProgramResult result = program.wait(std::chrono::seconds(3));
  EXPECT_EQ(result.lines, std::vector<std::string>{errorLine("Speech input was not completed within 5 seconds")});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_GE(result.lineSeconds[0], 5.0);
  EXPECT_LT(result.lineSeconds[0], 6.0);
}

TEST_F(SpeakTest, WithoutASoundServerPlaybackIsCancelledPromptly) {
  const ProgramResult result = runProgram({"--speak"}, kSentence, PulseServer::noServerEnvironment());
  EXPECT_EQ(result.lines, (std::vector<std::string>{kReady, errorLine("Speech playback cancelled")}));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardError, "");
  EXPECT_LT(result.seconds, 1.0);
}

// The synthesizer on its own, through the probe: what the bridge cannot show
// before 60 seconds have passed.
// They measure real time, so the sanitizer builds leave them out.
class SynthesizerTimingTest : public SpeakTest {
 protected:
  ProgramResult probe(const std::vector<std::string>& args, PcmAudio& heard) {
    const std::string wav = directory_ + "/heard.wav";
    const pid_t recorder = server_->startRecordingSpeaker(wav);
    EXPECT_TRUE(server_->waitForRecordingStreams(1));
    RunningProgram program(args, server_->childEnvironment(), {}, SYNTHESIS_PROBE_EXECUTABLE);
    ProgramResult result = program.wait(std::chrono::seconds(30));
    std::this_thread::sleep_for(milliseconds(300));
    PulseServer::stopClient(recorder);
    heard = readWav(wav);
    return result;
  }
};

TEST_F(SynthesizerTimingTest, AnImmediateStopSilencesAtOnceAndTheCancelComesLater) {
  PcmAudio heard;
  const ProgramResult result = probe({kSentence, "", "1.0"}, heard);
  ASSERT_EQ(result.lines.size(), 2u) << result.standardOutput;
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError, "");

  // "stop <milliseconds> <callbacks delivered during the call>"
  double stopMilliseconds = 0;
  int callbacksDuringStop = -1;
  ASSERT_EQ(std::sscanf(result.lines[0].c_str(), "stop %lf %d", &stopMilliseconds, &callbacksDuringStop), 2);
  EXPECT_LT(stopMilliseconds, 50.0);
  EXPECT_EQ(callbacksDuringStop, 0);
  double cancelledAfter = 0;
  ASSERT_EQ(std::sscanf(result.lines[1].c_str(), "cancel %lf", &cancelledAfter), 1);
  EXPECT_GE(cancelledAfter, 1.0);
  EXPECT_LT(cancelledAfter, 1.2);

  // Sound began after the utterance was handed over and ended with the stop,
  // within 50 ms; the sentence itself would have lasted about three seconds.
  EXPECT_GT(soundSpanSeconds(heard), 0.8);
  EXPECT_LT(soundSpanSeconds(heard), 1.05);
}

TEST_F(SynthesizerTimingTest, AStopAtAWordBoundaryLetsTheWordEnd) {
  // Stopped 1.2 s in, in the middle of "position" (about 0.95 s to 1.45 s).
  PcmAudio heard;
  const ProgramResult result = probe({kSentence, "gmw/en-US", "1.2", "word"}, heard);
  ASSERT_EQ(result.lines.size(), 2u) << result.standardOutput;
  EXPECT_EQ(result.lines[0].rfind("stop ", 0), 0u);
  double cancelledAfter = 0;
  ASSERT_EQ(std::sscanf(result.lines[1].c_str(), "cancel %lf", &cancelledAfter), 1);
  EXPECT_GT(cancelledAfter, 1.3);
  EXPECT_LT(cancelledAfter, 2.0);
  EXPECT_GT(soundSpanSeconds(heard), 1.25) << "the word went on after the stop";
  EXPECT_LT(soundSpanSeconds(heard), 1.8) << "but the sentence did not";
}

}  // namespace
}  // namespace speech_bridge::e2e
