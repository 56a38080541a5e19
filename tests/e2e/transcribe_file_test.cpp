// SPDX-License-Identifier: GPL-3.0-or-later
// --transcribe-file run as a host runs it, on the recordings of the package
// pocketsphinx-testdata with the pocketsphinx-en-us model. Needs sox, and the
// package pocketsphinx's own pocketsphinx_continuous to compare with.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "e2e/program_runner.h"

namespace speech_bridge::e2e {
namespace {

using Lines = std::vector<std::string>;

const std::string kTestData = "/usr/share/pocketsphinx/test/data";
const std::string kClip = kTestData + "/librivox/sense_and_sensibility_01_austen_64kb-0920.wav";
const std::string kReady = R"({"event":"ready","mode":"transcribe-file","on_device":true})";

std::string final(const std::string& text) { return R"({"event":"final","text":")" + text + R"("})"; }
std::string partial(const std::string& text) { return R"({"event":"partial","text":")" + text + R"("})"; }
std::string error(const std::string& message) { return R"({"event":"error","message":")" + message + R"("})"; }

// The JSON form of a path: every solidus escaped.
std::string escaped(const std::string& path) {
  std::string out;
  for (const char c : path) {
    if (c == '/') out += '\\';
    out += c;
  }
  return out;
}

void sox(const std::string& arguments) {
  ASSERT_EQ(std::system(("sox -q " + arguments).c_str()), 0) << "sox " << arguments;
}

// What PocketSphinx's own tool hears in a file: its lines joined by spaces.
std::string continuousToolWords(const std::string& path) {
  FILE* tool = ::popen(("pocketsphinx_continuous -infile '" + path + "' 2>/dev/null").c_str(), "r");
  std::string output;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, tool)) > 0;) output.append(buffer, got);
  ::pclose(tool);
  std::string words;
  for (char c : output) words += c == '\n' ? ' ' : c;
  while (!words.empty() && words.back() == ' ') words.pop_back();
  return words;
}

// "ready", then changed non-empty interim texts, then the final `words`.
void expectTranscriptShape(const ProgramResult& result, const std::string& words) {
  EXPECT_EQ(result.standardError, "");
  EXPECT_EQ(result.exitStatus, 0);
  ASSERT_GE(result.lines.size(), 3u) << result.standardOutput;
  EXPECT_EQ(result.lines.front(), kReady);
  EXPECT_EQ(result.lines.back(), final(words));
  std::string previous;
  for (std::size_t i = 1; i + 1 < result.lines.size(); ++i) {
    const nlohmann::json event = nlohmann::json::parse(result.lines[i]);
    ASSERT_EQ(event["event"], "partial") << result.lines[i];
    const std::string text = event["text"];
    EXPECT_EQ(result.lines[i], partial(text));
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text, previous);
    previous = text;
  }
}

class TranscribeFile : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string pattern = (std::filesystem::temp_directory_path() / "speech-bridge-e2e-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder = pattern;
    sox("-t raw -r 16000 -e signed-integer -b 16 -c 1 " + kTestData + "/goforward.raw " + at("goforward.wav"));
    sox(at("goforward.wav") + " -r 44100 -c 2 " + at("goforward-44k-stereo.wav"));
    sox(at("goforward.wav") + " " + at("goforward.flac"));
    sox(kClip + " -r 44100 -c 2 " + at("clip-44k-stereo.wav"));
    std::ofstream(at("orders.txt")) << "go forward ten meters\n";
    std::filesystem::create_directory(at("recordings"));
  }

  static void TearDownTestSuite() { std::filesystem::remove_all(folder); }

  static std::string at(const std::string& name) { return folder + "/" + name; }

  static inline std::string folder;
};

TEST_F(TranscribeFile, WavRecordingGivesReadyInterimTextsAndTheFinalWords) {
  const ProgramResult result = runProgram({"--transcribe-file", at("goforward.wav")});
  EXPECT_EQ(result.lines,
            (Lines{kReady, partial("go"), partial("go for"), partial("go forward"), partial("go forward ten"),
                   partial("go forward can we"), partial("go forward ten meter"), partial("go forward ten meters"),
                   final("go forward ten meters")}));
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError, "");
}

TEST_F(TranscribeFile, RelativePathIsFoundFromTheWorkingDirectory) {
  RunningProgram program({"--transcribe-file", "goforward.flac", "--locale", "en_us"}, {}, folder);
  program.closeInput();
  expectTranscriptShape(program.wait(), "go forward ten meters");
}

TEST_F(TranscribeFile, StereoAt44kHzIsMixedAndResampled) {
  expectTranscriptShape(runProgram({"--transcribe-file", at("goforward-44k-stereo.wav")}), "go forward ten meters");
}

TEST_F(TranscribeFile, FinalWordsAreThoseOfPocketSphinxsOwnTool) {
  const std::string words = continuousToolWords(kClip);
  ASSERT_GT(words.size(), 20u);
  expectTranscriptShape(runProgram({"--transcribe-file", kClip}), words);
  expectTranscriptShape(runProgram({"--transcribe-file", at("clip-44k-stereo.wav")}), words);
}

TEST_F(TranscribeFile, MissingFileIsOneErrorLineBeforeAnything) {
  const ProgramResult result = runProgram({"--transcribe-file", at("missing.wav")});
  EXPECT_EQ(result.lines, Lines{error("Audio fixture does not exist")});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardError, "");
}

TEST_F(TranscribeFile, LocaleWithoutModelIsRefused) {
  const ProgramResult result = runProgram({"--transcribe-file", at("goforward.wav"), "--locale", "fr-FR"});
  EXPECT_EQ(result.lines,
            Lines{error("On-device speech recognition is unavailable for this locale; no cloud fallback is allowed")});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardError, "");
}

TEST_F(TranscribeFile, DirectoryIsNamedForWhatItIs) {
  const ProgramResult result = runProgram({"--transcribe-file", at("recordings")});
  EXPECT_EQ(result.lines, (Lines{kReady, error("On-device recognition failed: " + escaped(at("recordings")) +
                                               " is a directory, not an audio file")}));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardError, "");
}

TEST_F(TranscribeFile, TextFileIsNamedForWhatItIs) {
  const ProgramResult result = runProgram({"--transcribe-file", at("orders.txt")});
  EXPECT_EQ(result.lines, (Lines{kReady, error("On-device recognition failed: " + escaped(at("orders.txt")) +
                                               " is a text file, not an audio file")}));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardError, "");
}

// A grammar: the sentences of goforward.gram, relative to the working folder.
TEST_F(TranscribeFile, UnderAGrammarTheTextIsOneOfItsSentences) {
  std::filesystem::copy_file(kTestData + "/goforward.gram", at("goforward.gram"),
                             std::filesystem::copy_options::overwrite_existing);
  RunningProgram program({"--transcribe-file", "goforward.wav", "--grammar", "goforward.gram"}, {}, folder);
  program.closeInput();
  const ProgramResult result = program.wait();
  EXPECT_EQ(result.lines,
            (Lines{kReady, partial("go"), partial("go forward"), partial("go forward two"), partial("go forward ten"),
                   partial("go forward ten meters"), partial("go forward ten meter"), partial("go forward ten meters"),
                   R"({"event":"final","rules":[{"rule":"move","text":"go forward ten meters"}],)"
                   R"("text":"go forward ten meters"})"}));
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError, "");
}

TEST_F(TranscribeFile, SpeechOutsideTheGrammarIsARejectedEmptyFinalText) {
  std::ofstream(at("turtle.txt")) << "go back\nturn around\n";
  const ProgramResult result = runProgram({"--transcribe-file", kClip, "--grammar", at("turtle.txt")});
  EXPECT_EQ(result.lines, (Lines{kReady, R"({"event":"final","rejected":true,"text":""})"}));
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError, "");
}

TEST_F(TranscribeFile, ABadGrammarIsOneErrorAfterReady) {
  std::ofstream(at("bad.gram")) << "#JSGF V1.0;\ngrammar turtle;\npublic <move> = go <where>;\n";
  const ProgramResult result = runProgram({"--transcribe-file", at("goforward.wav"), "--grammar", at("bad.gram")});
  EXPECT_EQ(result.lines,
            (Lines{kReady, error("On-device recognition failed: The grammar file " + escaped(at("bad.gram")) +
                                 " refers to the undefined rule <where> on line 3")}));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardError, "");
}

TEST_F(TranscribeFile, StandardInputIsLeftUnread) {
  const ProgramResult result = runProgram({"--transcribe-file", at("goforward.wav")}, "cancel\nstop\n");
  EXPECT_EQ(result.lines.back(), final("go forward ten meters"));
  EXPECT_EQ(result.exitStatus, 0);
}

}  // namespace
}  // namespace speech_bridge::e2e
