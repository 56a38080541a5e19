// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/festival/festival_engine.h"

#include <festival/festival.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/festival/festival_piece.h"
#include "platform/festival/festival_voices.h"
#include "platform/library/discarded_standard_error.h"
#include "platform/speech/engine_text.h"
#include "platform/speech/sample_blocks.h"
#include "platform/speech/text_pieces.h"

namespace speech_bridge {
namespace {

// Cells of Festival's Scheme heap. Letter-to-sound rules for a word that the
// lexicon lacks take many: 210,000 run out on the first such word, and a
// piece of the longest kind (platform/speech/text_pieces.h) of the worst
// words (digits, symbols, emoji, scripts without rules, each cut to 32 bytes)
// fits in 600,000 with room to spare.
constexpr int kHeapCells = 600000;

// What Festival's own start-up file loads, less what a user or the system
// may add (/etc/festival.scm, ~/.festivalrc and the like), the audio set-up
// (this program plays the samples itself) and the default voice. Voices are
// not looked for on Festival's own path: the ones listed are declared one by
// one when loaded, so that the listing and what speaks never differ. Without
// them the voice file prints that it found no default voice, on standard
// output, where only events may go: `print` is mute while it loads.
constexpr const char* kLeanStart[] = {
    "(load (path-append datadir \"siod.scm\"))",
    "(defvar home-directory \"/\")",
    "(set! voice-path nil)",
    "(require 'cstr)",
    "(require 'festival)",
    "(require 'module_description)",
    "(require 'synthesis)",
    "(require 'intonation)",
    "(require 'duration)",
    "(require 'lexicons)",
    "(require 'pauses)",
    "(require 'pos)",
    "(require 'phrase)",
    "(require 'postlex)",
    "(set! speech_bridge_print print)",
    "(define (print x) nil)",
    "(require 'voices)",
    "(set! print speech_bridge_print)",
    "(require 'languages)",
    "(require 'token)",
    "(require 'tts)",
    // Festival's own copies each name it makes and never frees the copy; its
    // statistical voices ask for a name with every sentence and never use
    // it, and nothing else this program has Festival do writes a file.
    "(define (make_tmp_filename) \"/dev/null\")",
};

// Spoken once when a voice is loaded: it tells the voice's sample rate, and
// whatever the voice loads on its first sentence (its lexicon, letter-to-
// sound rules) is loaded before the first real one.
constexpr char kWarmUpText[] = "Ready.";

// Milliseconds of sound, at most, per block handed to the consumer.
constexpr int kBlockMilliseconds = 50;
// Of the pause before the first word and after the last: the sound starts
// with the speech and dies away.
constexpr double kOuterPauseSeconds = 0.02;
// A voice's first sound is often far softer than its speech, and begins some
// way after the pause Festival marks ends: what is quieter than this (about
// -54 dBFS) before the first word is silence, and is not waited for...
constexpr int kAudibleLevel = 64;
// ...save this much of it, so the sound does not start on a click.
constexpr double kLeadInSeconds = 0.005;
// Of each pause between pieces, at most: Festival pads each with as much as
// it would a whole text.
constexpr double kInnerPauseSeconds = 0.12;

// Quotes a string for Scheme.
std::string quoted(const std::string& text) {
  std::string result = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') result += '\\';
    result += c;
  }
  return result + "\"";
}

// Festival makes a word, and a deal of Scheme data, of each mark in a run of
// brackets or bars: a few runs of thirty can exhaust its heap. No run of one
// punctuation mark says more than three of it do, so longer runs are cut to
// three.
constexpr std::size_t kLongestPunctuationRun = 3;

std::string withShortPunctuationRuns(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    run = c < 0x80 && std::ispunct(c) && i > 0 && text[i - 1] == text[i] ? run + 1 : 1;
    if (run <= kLongestPunctuationRun) result += text[i];
  }
  return result;
}

// The first sample from `from` on that is audible, less the lead-in; `from`
// when there is none.
std::size_t audibleStart(const std::vector<std::int16_t>& samples, std::size_t from, int sampleRate) {
  const auto loud = std::find_if(samples.begin() + static_cast<std::ptrdiff_t>(from), samples.end(),
                                 [](std::int16_t sample) { return std::abs(sample) > kAudibleLevel; });
  if (loud == samples.end()) return from;
  const auto at = static_cast<std::size_t>(loud - samples.begin());
  const auto leadIn = static_cast<std::size_t>(kLeadInSeconds * sampleRate);
  return std::max(from, at - std::min(at, leadIn));
}

}  // namespace

FestivalEngine& FestivalEngine::shared() {
  static FestivalEngine engine;
  return engine;
}

FestivalEngine::FestivalEngine() : thread_([this] { start(); }) {}

FestivalEngine::~FestivalEngine() = default;

const std::vector<SpeechVoice>& FestivalEngine::voices() {
  static const std::vector<SpeechVoice> listed = listedVoicesOf(festivalVoices());
  return listed;
}

SpeechEngine::VoiceIndex FestivalEngine::voiceForLanguage(const std::string& languageTag) {
  return positionIn(festivalVoices(), festivalVoiceForLanguage(languageTag));
}

void FestivalEngine::submit(std::function<void()> task) { thread_.submit(std::move(task)); }

void FestivalEngine::prepare(VoiceIndex voice) {
  if (voice) loadVoice(festivalVoices()[*voice]);
}

bool FestivalEngine::speak(VoiceIndex voice, const std::string& text, SpeechOutput& output) {
  if (!voice) return false;
  const FestivalVoice& entry = festivalVoices()[*voice];
  const int sampleRate = loadVoice(entry);
  if (sampleRate == 0 || !output.open(sampleRate)) return false;
  return synthesize(
      entry, text, [&](const std::int16_t* samples, std::size_t count) { return output.write(samples, count); },
      [&](std::size_t firstSample) { output.wordStartsAt(firstSample); }, [&] { return !output.stopped(); });
}

void FestivalEngine::start() {
  // Festival's error messages and warnings go to `stderr` and std::cerr.
  discardStandardErrorStream();
  festival_initialize(0, kHeapCells);
  started_ = true;
  for (const char* command : kLeanStart) started_ = started_ && festival_eval_command(command);
  started_ = started_ && defineFestivalPieceSynthesis();
}

int FestivalEngine::loadVoice(const FestivalVoice& voice) {
  if (!started_) return 0;
  const auto known = sampleRates_.find(voice.name);
  if (known != sampleRates_.end() && (known->second == 0 || selected_ == voice.name)) return known->second;
  // Declared as Festival's own voice search declares a voice it finds:
  // voice_<name> then loads festvox/<name>.scm from the folder.
  const std::string declaration =
      "(voice-location " + quoted(voice.name) + " " + quoted(voice.folder) + " \"speech-bridge\")";
  bool ready = known != sampleRates_.end() || festival_eval_command(declaration.c_str());
  ready = ready && festival_eval_command(("(voice_" + voice.name + ")").c_str());
  // A voice file may fail without an error, leaving another voice selected.
  ready = ready && festival_eval_command(("(if (not (equal? current-voice '" + voice.name + ")) (error))").c_str());
  selected_ = ready ? voice.name : std::string();
  FestivalPiece warmUp;
  const int sampleRate = ready && synthesizeFestivalPiece(kWarmUpText, warmUp) ? warmUp.sampleRate : 0;
  sampleRates_[voice.name] = sampleRate;
  return sampleRate;
}

bool FestivalEngine::synthesize(const FestivalVoice& voice, const std::string& text, const SampleConsumer& consume,
                                const WordListener& words, const Wanted& wanted) {
  const int sampleRate = loadVoice(voice);
  if (sampleRate == 0) return false;
  const auto samplesAt = [sampleRate](double seconds) {
    return static_cast<std::size_t>(std::max(0.0, seconds) * sampleRate);
  };
  const auto blockSamples = static_cast<std::size_t>(sampleRate * kBlockMilliseconds / 1000);
  const std::vector<std::string> pieces = piecesOfText(textForEngine(withShortPunctuationRuns(text)));
  SampleBlocks blocks(blockSamples, consume, words);
  FestivalPiece piece;
  for (std::size_t index = 0; index < pieces.size(); ++index) {
    if (wanted && !wanted()) return true;
    if (!synthesizeFestivalPiece(pieces[index], piece)) return false;
    if (piece.samples.empty()) continue;
    if (piece.sampleRate != sampleRate) return false;
    const double before = index == 0 ? kOuterPauseSeconds : kInnerPauseSeconds;
    const double after = index + 1 == pieces.size() ? kOuterPauseSeconds : kInnerPauseSeconds;
    std::size_t from = std::min(piece.samples.size(), samplesAt(piece.speechStart - before));
    if (index == 0) from = audibleStart(piece.samples, from, sampleRate);
    const std::size_t to = std::max(from, std::min(piece.samples.size(), samplesAt(piece.speechEnd + after)));
    for (const double start : piece.wordStarts) {
      const std::size_t at = samplesAt(start);
      if (at < to) blocks.wordStartsIn(at - std::min(at, from));
    }
    if (!blocks.pass(piece.samples.data() + from, to - from)) return true;
  }
  return true;
}

}  // namespace speech_bridge
