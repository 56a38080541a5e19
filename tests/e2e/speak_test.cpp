// SPDX-License-Identifier: GPL-3.0-or-later
// --speak as a host runs it, heard on the speaker of the tests' own sound
// servers. Needs pulseaudio, pulseaudio-utils, pipewire, wireplumber,
// pipewire-pulse, dbus and eSpeak NG's voice data.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <thread>

#include "e2e/program_runner.h"
#include "e2e/pulse_server.h"
#include "e2e/sound_server_suite.h"
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

class SpeakTest : public SoundServerSuite {
 protected:
  void SetUp() override {
    // Sound is what these tests are about: without the server they fail.
    SoundServerSuite::SetUp();
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');
    directory_ = std::filesystem::temp_directory_path() /
                 ("speech-bridge-speak-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  // Runs the program with `input` closed at once, recording the speaker
  // meanwhile; what was heard ends up in `heard`.
  ProgramResult speakAndRecord(const std::vector<std::string>& args, const std::string& input, PcmAudio& heard) {
    const std::string wav = directory_ + "/heard.wav";
    const pid_t recorder = server->startRecordingSpeaker(wav);
    EXPECT_TRUE(server->waitForRecordingStreams(1));
    ProgramResult result = runProgram(args, input, server->childEnvironment(), std::chrono::seconds(30));
    std::this_thread::sleep_for(milliseconds(300));  // what is still on its way to the monitor
    PulseServer::stopClient(recorder);
    heard = readWav(wav);
    return result;
  }

  // How long the engine's own rendering of the text sounds, without
  // playback: Flite's command-line tool for a voice "flite/NAME", Festival's
  // text2wave for "festival/NAME", eSpeak NG's for the others.
  double referenceSeconds(const std::string& voice, const std::string& text) {
    const std::string wav = directory_ + "/reference.wav";
    const std::string flite = "flite/", festival = "festival/";
    std::unique_ptr<RunningProgram> reference;
    if (voice.rfind(festival, 0) == 0) {
      const std::string textFile = directory_ + "/reference.txt";
      std::ofstream(textFile) << text;
      reference = std::make_unique<RunningProgram>(
          std::vector<std::string>{"-eval", "(voice_" + voice.substr(festival.size()) + ")", "-o", wav, textFile},
          EnvironmentChanges{}, std::string{}, "/usr/bin/text2wave");
    } else if (voice.rfind(flite, 0) == 0) {
      reference = std::make_unique<RunningProgram>(
          std::vector<std::string>{"-voice", voice.substr(flite.size()), "-t", text, "-o", wav},
          EnvironmentChanges{}, std::string{}, "/usr/bin/flite");
    } else {
      reference = std::make_unique<RunningProgram>(std::vector<std::string>{"-v", voice, "-w", wav, text},
                                                   EnvironmentChanges{}, std::string{}, "/usr/bin/espeak-ng");
    }
    EXPECT_EQ(reference->wait(std::chrono::seconds(20)).exitStatus, 0);
    return readWav(wav).audibleSeconds();
  }

  ProgramResult speak(const std::vector<std::string>& args, const std::string& input) {
    return runProgram(args, input, server->childEnvironment(), std::chrono::seconds(30));
  }

  std::string directory_;
};

// What does not depend on the sound server, or takes long: on one server.
class SpeakOnOneServerTest : public SpeakTest {};

TEST_P(SpeakTest, TheWordsAreHeardAndFinalComesOnlyAfterThem) {
  PcmAudio heard;
  const ProgramResult result = speakAndRecord({"--speak"}, kSentence, heard);
  ASSERT_EQ(result.lines, (std::vector<std::string>{kReady, kFinal})) << result.standardError;
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError, "");

  EXPECT_GT(heard.peak(), 0.1) << "not silent";
  // en-US: Festival's HTS voice, installed with the tests' packages.
  const double expected = referenceSeconds("festival/cmu_us_slt_arctic_hts", kSentence);
  EXPECT_GT(heard.audibleSeconds(), 0.8 * expected);
  EXPECT_LT(heard.audibleSeconds(), 1.25 * expected);
  // Had "final" come when synthesis ended, it would follow "ready" within
  // milliseconds; it must wait for everything that was heard.
  EXPECT_GE(result.lineSeconds[1] - result.lineSeconds[0], soundSpanSeconds(heard));
}

TEST_P(SpeakTest, AVoiceOfAnotherLanguageFromTheListingSpeaks) {
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

TEST_P(SpeakTest, AVoiceWhoseDataIsIncompleteSpeaksWithoutWritingToStandardError) {
  // eSpeak NG complains on its standard error about this voice's dictionary.
  const ProgramResult result = speak({"--speak", "--voice", "zle/be"}, "Dobry dzień");
  EXPECT_EQ(result.lines, (std::vector<std::string>{kReady, kFinal}));
  EXPECT_EQ(result.standardError, "");
}

// Word insertions, deletions and substitutions that turn `reference` into `heard`.
std::size_t wordErrors(const std::vector<std::string>& reference, const std::vector<std::string>& heard) {
  std::vector<std::size_t> row(heard.size() + 1);
  for (std::size_t j = 0; j <= heard.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= reference.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= heard.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (reference[i - 1] != heard[j - 1] ? 1 : 0)});
      diagonal = above;
    }
  }
  return row[heard.size()];
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream stream(text);
  return {std::istream_iterator<std::string>(stream), std::istream_iterator<std::string>()};
}

TEST_P(SpeakOnOneServerTest, OurOwnRecognizerUnderstandsTheDefaultEnglishVoice) {
  // Ten orders of the fleet, each spoken with the voice of en-US, recorded at
  // the speaker and transcribed by --transcribe-file. eSpeak NG's American
  // English voice, the default before Flite's, made over 90 % word errors of
  // them; Flite's kal16 about 35 %, Festival's HTS voice, the default where
  // it is installed, about 40 %.
  const std::vector<std::string> orders = {
      "second ship set course north east", "first ship full speed ahead",    "all ships hold position",
      "flagship fire torpedoes",           "third ship turn left thirty degrees", "fleet return to base",
      "fourth ship raise shields",         "fifth ship follow the flagship", "eighth ship report status",
      "fleet launch fighters"};
  std::size_t errors = 0, spokenWords = 0;
  std::string transcripts;
  for (const std::string& order : orders) {
    PcmAudio heard;
    const ProgramResult spoken = speakAndRecord({"--speak", "--locale", "en-US"}, order + ".", heard);
    ASSERT_EQ(spoken.lines, (std::vector<std::string>{kReady, kFinal}));
    const ProgramResult transcribed = runProgram({"--transcribe-file", directory_ + "/heard.wav"});
    ASSERT_EQ(transcribed.exitStatus, 0) << transcribed.standardOutput;
    const std::string transcript = nlohmann::json::parse(transcribed.lines.back())["text"];
    errors += wordErrors(words(order), words(transcript));
    spokenWords += words(order).size();
    transcripts += transcript + "; ";
  }
  EXPECT_LE(static_cast<double>(errors) / static_cast<double>(spokenWords), 0.6) << transcripts;
}

TEST_P(SpeakTest, EveryFliteVoiceFromTheListingSpeaks) {
  const ProgramResult listing = runProgram({"--voices"});
  std::vector<std::string> flite;
  const nlohmann::json event = nlohmann::json::parse(listing.lines.at(0));
  for (const auto& voice : event["voices"]) {
    if (voice["id"].get<std::string>().rfind("flite/", 0) == 0) flite.push_back(voice["id"]);
  }
  ASSERT_EQ(flite.size(), 5u);
  const std::string text = "All ships, hold position.";
  for (const std::string& voice : flite) {
    PcmAudio heard;
    const ProgramResult result = speakAndRecord({"--speak", "--voice", voice}, text, heard);
    EXPECT_EQ(result.lines, (std::vector<std::string>{kReady, kFinal})) << voice;
    EXPECT_EQ(result.standardError, "");
    const double expected = referenceSeconds(voice, text);
    EXPECT_GT(heard.audibleSeconds(), 0.8 * expected) << voice;
    EXPECT_LT(heard.audibleSeconds(), 1.25 * expected) << voice;
  }
}

TEST_P(SpeakTest, AFliteVoiceThatWarnsSpeaksWithoutWritingToStandardError) {
  // Flite's diphone voice lacks the diphone y-k and says so on its standard error.
  const ProgramResult result = speak({"--speak", "--voice", "flite/kal16"}, "The yk fleet.");
  EXPECT_EQ(result.lines, (std::vector<std::string>{kReady, kFinal}));
  EXPECT_EQ(result.standardError, "");
}

TEST_P(SpeakTest, RejectedTextIsNeverHeard) {
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

TEST_P(SpeakOnOneServerTest, TheLargestInputIsSpoken) {
  const ProgramResult result = speak({"--speak"}, twoCharactersOfLength(8192));
  EXPECT_EQ(result.lines, (std::vector<std::string>{kReady, kFinal}));
  EXPECT_EQ(result.exitStatus, 0);
}

TEST_P(SpeakOnOneServerTest, OneByteTooManyFailsWhileTheInputIsStillOpen) {
  RunningProgram program({"--speak"}, server->childEnvironment());
  program.writeInput(std::string(8193, 'a'));
  ASSERT_TRUE(program.waitForLines(1, std::chrono::seconds(3)));
  const ProgramResult result = program.wait(std::chrono::seconds(3));
  EXPECT_EQ(result.lines, std::vector<std::string>{errorLine("Speech input exceeded 8192 bytes")});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_LT(result.lineSeconds[0], 2.0);
}

TEST_P(SpeakOnOneServerTest, InputLeftOpenFailsAfterFiveSeconds) {
  RunningProgram program({"--speak"}, server->childEnvironment());
  program.writeInput(kSentence);
  ASSERT_TRUE(program.waitForLines(1, std::chrono::seconds(8)));
  const ProgramResult result = program.wait(std::chrono::seconds(3));
  EXPECT_EQ(result.lines, std::vector<std::string>{errorLine("Speech input was not completed within 5 seconds")});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_GE(result.lineSeconds[0], 5.0);
  EXPECT_LT(result.lineSeconds[0], 6.0);
}

TEST(SpeakWithoutSoundServer, PlaybackIsCancelled) {
  const ProgramResult result = runProgram({"--speak"}, kSentence, PulseServer::noServerEnvironment());
  EXPECT_EQ(result.lines, (std::vector<std::string>{kReady, errorLine("Speech playback cancelled")}));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardError, "");
}

// Waiting for a missing device would take seconds. It measures real time, so
// the sanitizer builds leave it out.
TEST(SpeakWithoutSoundServerTiming, PlaybackIsCancelledPromptly) {
  EXPECT_LT(runProgram({"--speak"}, kSentence, PulseServer::noServerEnvironment()).seconds, 1.0);
}

// The synthesizer on its own, through the probe: what the bridge cannot show
// before 60 seconds have passed.
// They measure real time, so the sanitizer builds leave them out.
class SynthesizerTimingTest : public SpeakTest {
 protected:
  ProgramResult probe(const std::vector<std::string>& args, PcmAudio& heard) {
    const std::string wav = directory_ + "/heard.wav";
    const pid_t recorder = server->startRecordingSpeaker(wav);
    EXPECT_TRUE(server->waitForRecordingStreams(1));
    RunningProgram program(args, server->childEnvironment(), {}, SYNTHESIS_PROBE_EXECUTABLE);
    ProgramResult result = program.wait(std::chrono::seconds(30));
    std::this_thread::sleep_for(milliseconds(300));
    PulseServer::stopClient(recorder);
    heard = readWav(wav);
    return result;
  }

  // The probe stops speaking 1 s after handing the utterance over; sound
  // begins within `soundWithin` seconds of that.
  void expectAnImmediateStopOneSecondIn(const std::vector<std::string>& arguments, double soundWithin = 0.2) {
    PcmAudio heard;
    const ProgramResult result = probe(arguments, heard);
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
    // within 50 ms; what was to be said would have lasted far longer.
    EXPECT_GT(soundSpanSeconds(heard), 1.0 - soundWithin);
    EXPECT_LT(soundSpanSeconds(heard), 1.05);
  }
};

TEST_P(SynthesizerTimingTest, AnImmediateStopSilencesAtOnceAndTheCancelComesLater) {
  expectAnImmediateStopOneSecondIn({kSentence, "", "1.0"});
}

TEST_P(SynthesizerTimingTest, AnImmediateStopSilencesFliteAtOnceAlsoWhileItIsStillSynthesising) {
  // Two thousand characters: Flite is still at work on them when the stop comes.
  std::string text;
  while (text.size() + kSentence.size() < 2000) text += kSentence + " ";
  expectAnImmediateStopOneSecondIn({text, "flite/rms", "1.0"});
}

TEST_P(SynthesizerTimingTest, AnImmediateStopSilencesFestivalAtOnceInTheMiddleOfALongText) {
  // Festival synthesises piece by piece ahead of what is heard; the stop
  // drops the piece under way. Sound begins once the first piece (ten
  // words) is synthesised.
  std::string text;
  while (text.size() + kSentence.size() < 2000) text += kSentence + " ";
  expectAnImmediateStopOneSecondIn({text, "festival/cmu_us_slt_arctic_hts", "1.0"}, 0.35);
}

TEST_P(SynthesizerTimingTest, AFliteVoiceFinishesAfterItsLastSampleAndStopsAtAWordBoundary) {
  PcmAudio whole;
  const ProgramResult finished = probe({kSentence, "flite/slt"}, whole);
  ASSERT_EQ(finished.lines.size(), 1u) << finished.standardOutput;
  double finishedAfter = 0;
  ASSERT_EQ(std::sscanf(finished.lines[0].c_str(), "finish %lf", &finishedAfter), 1);
  EXPECT_GE(finishedAfter, soundSpanSeconds(whole));
  EXPECT_GT(soundSpanSeconds(whole), 2.5);

  // Stopped 1.2 s in: the word under way may end (where it ends depends on
  // when sound began), the sentence does not.
  PcmAudio heard;
  const ProgramResult stopped = probe({kSentence, "flite/slt", "1.2", "word"}, heard);
  ASSERT_EQ(stopped.lines.size(), 2u) << stopped.standardOutput;
  double cancelledAfter = 0;
  ASSERT_EQ(std::sscanf(stopped.lines[1].c_str(), "cancel %lf", &cancelledAfter), 1);
  EXPECT_GE(cancelledAfter, 1.2);
  EXPECT_LT(cancelledAfter, finishedAfter - 0.5);
  EXPECT_LT(soundSpanSeconds(heard), soundSpanSeconds(whole) - 0.5) << "the sentence did not go on";
}

TEST_P(SynthesizerTimingTest, AStopAtAWordBoundaryLetsTheWordEnd) {
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

INSTANTIATE_TEST_SUITE_P(BothServers, SpeakTest, kBothSoundServers, soundServerTestName);
INSTANTIATE_TEST_SUITE_P(PulseAudio, SpeakOnOneServerTest, kPulseAudioOnly, soundServerTestName);
INSTANTIATE_TEST_SUITE_P(BothServers, SynthesizerTimingTest, kBothSoundServers, soundServerTestName);

}  // namespace
}  // namespace speech_bridge::e2e
