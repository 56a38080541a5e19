// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "e2e/pulse_server.h"
#include "e2e/spoken_order_suite.h"
#include "e2e/wav_file.h"

namespace speech_bridge::e2e {
namespace {

using Lines = std::vector<std::string>;
using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kReady = R"({"event":"ready","mode":"listen","on_device":true})";
// "go forward ten meters", 2.8 s, from pocketsphinx-testdata.
const std::string kRecording = kGoForwardRecording;
// Its grammar: "go forward|backward <number> meter|meters".
const std::string kGoForwardGrammar = "/usr/share/pocketsphinx/test/data/goforward.gram";

// --listen against a PulseAudio daemon of the suite's own, whose default
// microphone hears what the test plays into it. Needs pulseaudio,
// pulseaudio-utils, the PocketSphinx model and its test recordings.
class ListenTest : public SpokenOrderSuite {
 protected:
  // Starts listening and waits for "ready".
  std::unique_ptr<RunningProgram> startListening() {
    auto program = std::make_unique<RunningProgram>(Lines{"--listen"}, server->childEnvironment());
    EXPECT_TRUE(program->waitForLines(1, seconds(10)));
    EXPECT_EQ(program->linesSoFar(), Lines{kReady});
    return program;
  }

  struct Heard {
    Lines beforeStop;
    ProgramResult result;
    double playedFor = 0;  // how long the recording played, a little less than "ready" to its end
  };

  // Listens while the recording plays into the microphone, and stops 0.3 s
  // after it ended, or once a partial has come (a sanitizer's slowdown keeps
  // the model loading for seconds).
  Heard hearTheRecordingAndStop() {
    Heard heard;
    auto program = startListening();
    EXPECT_TRUE(server->waitForRecordingStreams(1));
    const auto playing = std::chrono::steady_clock::now();
    const pid_t player = server->startPlayingIntoMicrophone(recordingWav());
    EXPECT_EQ(PulseServer::waitClient(player), 0);
    heard.playedFor = std::chrono::duration<double>(std::chrono::steady_clock::now() - playing).count();
    std::this_thread::sleep_for(milliseconds(300));
    program->waitForLines(2, seconds(10));
    heard.beforeStop = program->linesSoFar();
    program->writeInput("stop\n");
    heard.result = program->wait(seconds(10));
    return heard;
  }

  static void expectEnded(const ProgramResult& result, const Lines& lines, int status) {
    EXPECT_EQ(result.lines, lines);
    EXPECT_EQ(result.exitStatus, status);
    EXPECT_EQ(result.standardError, "");
  }
};

TEST_P(ListenTest, SpokenWordsStreamAsPartialsAndStopBringsTheFinalText) {
  const Heard heard = hearTheRecordingAndStop();
  const ProgramResult& result = heard.result;
  ASSERT_GE(result.lines.size(), 3u);
  EXPECT_EQ(result.lines.front(), kReady);
  EXPECT_EQ(result.lines.back(), R"({"event":"final","text":"go forward ten meters"})");
  for (std::size_t i = 1; i + 1 < result.lines.size(); ++i) {
    EXPECT_EQ(result.lines[i].rfind(R"({"event":"partial","text":")", 0), 0u) << result.lines[i];
  }
  EXPECT_GE(heard.beforeStop.size(), 2u) << "a partial arrives before the stop";
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError, "");
}

// A sanitizer's slowdown may keep the model loading past the recording's end,
// so this runs in the normal build only.
class ListenTimingTest : public ListenTest {};

TEST_P(ListenTimingTest, TheFirstPartialArrivesWhileTheWordsAreSpoken) {
  const Heard heard = hearTheRecordingAndStop();
  ASSERT_GE(heard.result.lines.size(), 3u);
  EXPECT_LT(heard.result.lineSeconds[1] - heard.result.lineSeconds[0], heard.playedFor);
}

// The microphone runs when "ready" comes, and "ready" comes within tens of
// milliseconds: an order whose first word starts as the job starts (played
// into the microphone from that moment) is heard whole, on null sinks with
// PulseAudio's default settings as on a desktop.
TEST_P(ListenTimingTest, UnderAGrammarAnOrderSpokenAsTheJobStartsIsHeardWhole) {
  PcmAudio order = readRaw16kMono(kGoForwardRecording);
  order.samples.erase(order.samples.begin(), order.samples.begin() + 8000);  // its first 0.5 s are silent
  const std::string wav = directory + "/order-at-once-" + soundServerName(GetParam()) + ".wav";
  writeWav(wav, order);
  RunningProgram program({"--listen", "--grammar", kGoForwardGrammar}, server->childEnvironment());
  const pid_t player = server->startPlayingIntoMicrophone(wav);
  ASSERT_TRUE(program.waitForLines(1, seconds(10)));
  EXPECT_EQ(PulseServer::waitClient(player), 0);
  std::this_thread::sleep_for(milliseconds(300));
  program.writeInput("stop\n");
  const ProgramResult result = program.wait(seconds(10));
  ASSERT_GE(result.lines.size(), 2u);
  EXPECT_EQ(result.lines.back(),
            R"({"event":"final","rules":[{"rule":"move","text":"go forward ten meters"}],"text":"go forward ten meters"})");
}

// With nothing said, a stop soon after "ready" answers at once, while the
// model is still loading, with and without a grammar.
// --stop-on-silence: the order ends the job without any "stop", soon after
// its last word; a steady hum played with no order in it ends nothing.
TEST_P(ListenTimingTest, StopOnSilenceEndsTheJobAfterAnOrderButNotAfterAHum) {
  RunningProgram program({"--listen", "--grammar", kGoForwardGrammar, "--stop-on-silence", "0.6"},
                         server->childEnvironment());
  ASSERT_TRUE(program.waitForLines(1, seconds(10)));
  EXPECT_TRUE(server->waitForRecordingStreams(1));
  const auto playing = std::chrono::steady_clock::now();
  const pid_t player = server->startPlayingIntoMicrophone(recordingWav());
  EXPECT_EQ(PulseServer::waitClient(player), 0);
  const double played = std::chrono::duration<double>(std::chrono::steady_clock::now() - playing).count();
  const ProgramResult result = program.wait(seconds(10));
  ASSERT_GE(result.lines.size(), 2u);
  EXPECT_EQ(result.lines.back(),
            R"({"event":"final","rules":[{"rule":"move","text":"go forward ten meters"}],"text":"go forward ten meters"})");
  EXPECT_EQ(result.exitStatus, 0);
  // The recording's speech ends about 0.3 s before the recording does.
  EXPECT_LT(result.lineSeconds.back() - result.lineSeconds.front(), played + 1.5);

  PcmAudio hum{16000, 1, {}};
  for (int i = 0; i < 16000 * 4; ++i) {
    hum.samples.push_back(static_cast<std::int16_t>(6000 * std::sin(2 * 3.14159265 * 120 * i / 16000.0)));
  }
  const std::string wav = directory + "/hum-" + soundServerName(GetParam()) + ".wav";
  writeWav(wav, hum);
  RunningProgram humming({"--listen", "--stop-on-silence", "0.5"}, server->childEnvironment());
  ASSERT_TRUE(humming.waitForLines(1, seconds(10)));
  EXPECT_TRUE(server->waitForRecordingStreams(1));
  EXPECT_EQ(PulseServer::waitClient(server->startPlayingIntoMicrophone(wav)), 0);
  std::this_thread::sleep_for(milliseconds(1000));
  for (const std::string& line : humming.linesSoFar()) {
    EXPECT_EQ(line.find(R"("event":"final")"), std::string::npos) << "no final before the host's stop";
  }
  humming.writeInput("stop\n");
  const ProgramResult stopped = humming.wait(seconds(10));
  EXPECT_EQ(stopped.lines.back().rfind(R"({"event":"final")", 0), 0u) << stopped.lines.back();
  EXPECT_EQ(stopped.standardError, "");
}

TEST_P(ListenTimingTest, AStopWithNothingSaidDoesNotWaitForTheModel) {
  for (const Lines& arguments : {Lines{"--listen"}, Lines{"--listen", "--grammar", kGoForwardGrammar}}) {
    SCOPED_TRACE(arguments.size() == 1 ? "open vocabulary" : "grammar");
    RunningProgram program(arguments, server->childEnvironment());
    ASSERT_TRUE(program.waitForLines(1, seconds(10)));
    std::this_thread::sleep_for(milliseconds(50));
    const auto stopped = std::chrono::steady_clock::now();
    program.writeInput("stop\n");
    ASSERT_TRUE(program.waitForLines(2, seconds(10)));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count(), 0.05);
    expectEnded(program.wait(seconds(10)), {kReady, R"({"event":"final","text":""})"}, 0);
  }
}

// Under a grammar the final text is one of its sentences, and the interim
// texts are made of its words.
TEST_P(ListenTest, UnderAGrammarTheFinalTextIsItsSentence) {
  RunningProgram program({"--listen", "--grammar", kGoForwardGrammar}, server->childEnvironment());
  ASSERT_TRUE(program.waitForLines(1, seconds(10)));
  ASSERT_TRUE(server->waitForRecordingStreams(1));
  EXPECT_EQ(PulseServer::waitClient(server->startPlayingIntoMicrophone(recordingWav())), 0);
  std::this_thread::sleep_for(milliseconds(300));
  program.writeInput("stop\n");
  const ProgramResult result = program.wait(seconds(10));
  ASSERT_GE(result.lines.size(), 2u);
  EXPECT_EQ(result.lines.front(), kReady);
  EXPECT_EQ(result.lines.back(),
            R"({"event":"final","rules":[{"rule":"move","text":"go forward ten meters"}],"text":"go forward ten meters"})");
  const std::set<std::string> vocabulary = {"go",    "forward", "backward", "ten", "meter", "meters", "one", "two",
                                            "three", "four",    "five",     "six", "seven", "eight",  "nine"};
  for (std::size_t i = 1; i + 1 < result.lines.size(); ++i) {
    const std::string& line = result.lines[i];
    ASSERT_EQ(line.rfind(R"({"event":"partial","text":")", 0), 0u) << line;
    std::istringstream words(line.substr(27, line.size() - 29));
    for (std::string word; words >> word;) EXPECT_TRUE(vocabulary.count(word)) << line;
  }
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError, "");
}

TEST_P(ListenTest, StopWithCarriageReturnEndsWithTheFinalTextOfSilence) {
  auto program = startListening();
  std::this_thread::sleep_for(milliseconds(500));
  program->writeInput("stop\r\n");
  expectEnded(program->wait(seconds(10)), {kReady, R"({"event":"final","text":""})"}, 0);
}

TEST_P(ListenTest, CancelEndsTheJob) {
  auto program = startListening();
  program->writeInput("cancel\n");
  expectEnded(program->wait(seconds(10)), {kReady, R"({"event":"error","message":"Listening cancelled"})"}, 1);
}

TEST_P(ListenTest, ClosingStandardInputCancels) {
  auto program = startListening();
  program->closeInput();
  expectEnded(program->wait(seconds(10)),
              {kReady, R"({"event":"error","message":"Listening cancelled: controller input closed"})"}, 1);
}

TEST_P(ListenTest, AnUnknownLineFails) {
  auto program = startListening();
  program->writeInput("Stop\n");
  expectEnded(program->wait(seconds(10)), {kReady, R"({"event":"error","message":"Unknown speech control command"})"},
              1);
}

TEST_P(ListenTest, OversizedInputFails) {
  auto program = startListening();
  program->writeInput(std::string(5000, 'x'));
  expectEnded(program->wait(seconds(10)),
              {kReady, R"({"event":"error","message":"Invalid oversized speech control input"})"}, 1);
}

// A server of the test's own, which it kills.
class ListenSoundServerFault : public ::testing::TestWithParam<SoundServerKind> {};

TEST_P(ListenSoundServerFault, TheSoundServerDyingEndsCaptureButNotTheJob) {
  PulseServer server(GetParam());
  RunningProgram program({"--listen"}, server.childEnvironment());
  ASSERT_TRUE(program.waitForLines(1, seconds(10)));
  std::this_thread::sleep_for(milliseconds(300));
  server.kill();
  std::this_thread::sleep_for(milliseconds(300));
  program.writeInput("stop\n");
  const ProgramResult result = program.wait(seconds(10));
  EXPECT_EQ(result.lines, (Lines{kReady, R"({"event":"final","text":""})"}));
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError, "") << "the client library's own complaints stay silent";
}

// With PulseAudio's default null sinks and nothing playing, the default source
// sends its first buffer about 2 s after it wakes. A stop before then ends the
// job on what was heard (nothing) without waiting for that buffer. It measures
// real time, so the sanitizer builds leave it out.
TEST(ListenOnAnIdleSourceTiming, FinalFollowsAStopBeforeTheFirstBufferPromptly) {
  const PulseServer idle(SoundServerKind::pulseAudio, PulseServer::Rendering::idle);
  for (const double stopAfter : {0.3, 1.0}) {
    SCOPED_TRACE("stop " + std::to_string(stopAfter) + " s after ready");
    idle.wakeMicrophone();
    RunningProgram program({"--listen"}, idle.childEnvironment());
    ASSERT_TRUE(program.waitForLines(1, seconds(10)));
    std::this_thread::sleep_for(std::chrono::duration<double>(stopAfter));
    const auto stopped = std::chrono::steady_clock::now();
    program.writeInput("stop\n");
    ASSERT_TRUE(program.waitForLines(2, seconds(10)));
    const double stopToFinal = std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count();
    const ProgramResult result = program.wait(seconds(10));
    EXPECT_EQ(result.lines, (Lines{kReady, R"({"event":"final","text":""})"}));
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardError, "");
    EXPECT_LT(stopToFinal, 0.2);
  }
}

TEST(ListenWithoutSoundServer, NoUsableMicrophone) {
  RunningProgram program({"--listen"}, PulseServer::noServerEnvironment());
  const ProgramResult result = program.wait(seconds(10));
  EXPECT_EQ(result.lines, Lines{R"({"event":"error","message":"No usable microphone input device"})"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardError, "");
}

// It measures real time, so the sanitizer builds leave it out.
TEST(ListenWithoutSoundServerTiming, NoUsableMicrophonePromptly) {
  RunningProgram program({"--listen"}, PulseServer::noServerEnvironment());
  EXPECT_LT(program.wait(seconds(10)).seconds, 1.0);
}

INSTANTIATE_TEST_SUITE_P(BothServers, ListenTest, kBothSoundServers, soundServerTestName);
INSTANTIATE_TEST_SUITE_P(BothServers, ListenTimingTest, kBothSoundServers, soundServerTestName);
INSTANTIATE_TEST_SUITE_P(BothServers, ListenSoundServerFault, kBothSoundServers, soundServerTestName);

}  // namespace
}  // namespace speech_bridge::e2e
