// SPDX-License-Identifier: GPL-3.0-or-later
// Any text that the input rules of --speak let through, spoken by Flite's
// real engine with one of its voices, or by Festival's with its HTS voice
// (the samples go nowhere), cut short by the consumer as a stop would. Flite
// is C code and Festival a Scheme interpreter, neither written for hostile
// text: they must neither crash nor raise an error (Festival's heap must
// hold any piece), every block must come at the voice's rate, and the words
// must start in order within the sound.
//
// Input: one settings byte (low three bits: the voice, Flite's five then
// Festival's; the next three: stop after that many blocks, 0 for after two
// seconds of sound), then the text.
// Every text is cut short so: under the sanitizers a text of 2,000
// characters takes Flite minutes, and the first sentences see every kind of
// text as well as the last.
#include <sanitizer/lsan_interface.h>

#include <cstdint>
#include <cstdio>
#include <future>
#include <string>
#include <vector>

#include "bridge/unicode_text.h"
#include "fuzz_check.h"
#include "platform/festival/festival_engine.h"
#include "platform/festival/festival_voices.h"
#include "platform/flite/flite_engine.h"
#include "platform/flite/flite_voices.h"

using namespace speech_bridge;

namespace {

constexpr std::size_t kLargestInput = 8192;
constexpr std::size_t kLongestText = 2000;
constexpr std::size_t kMostBlocks = 40;  // of 50 ms

// The engine points `stderr` at a sink, as the program does; findings are
// reported on the stream the fuzzer started with.
FILE* const reports = stderr;

#define TEXT_CHECK(condition) ((condition) ? static_cast<void>(0) : (stderr = reports, FUZZ_CHECK(condition)))

bool passesTheInputRules(const std::string& text) {
  return text.size() <= kLargestInput && isWellFormedUtf8(text) && !trimWhitespaceAndNewlines(text).empty() &&
         graphemeClusterCount(text) <= kLongestText;
}

struct Heard {
  bool done = false;
  bool stopped = false;
  std::size_t blocks = 0, samples = 0;
  bool everyBlockAtTheVoicesRate = true;
  std::vector<std::size_t> wordStarts;
};

Heard spokenByFestival(const std::string& text, std::size_t stopAfter) {
  const FestivalVoice* voice = festivalVoiceWithIdentifier("festival/cmu_us_slt_arctic_hts");
  TEXT_CHECK(voice != nullptr);
  FestivalEngine& engine = FestivalEngine::shared();
  std::promise<Heard> result;
  engine.submit([&] {
    // Festival's interpreter keeps a little of every sentence (regular
    // expressions it compiles, names it copies) where LeakSanitizer cannot
    // see it; the program speaks one text per process, so that is no finding.
    __lsan_disable();
    Heard heard;
    const int sampleRate = engine.loadVoice(*voice);
    heard.done = sampleRate > 0 && engine.synthesize(
                                       *voice, text,
                                       [&](const std::int16_t*, std::size_t count) {
                                         ++heard.blocks;
                                         heard.samples += count;
                                         heard.stopped = heard.blocks >= stopAfter;
                                         return !heard.stopped;
                                       },
                                       [&](std::size_t firstSample) { heard.wordStarts.push_back(firstSample); },
                                       [&] { return !heard.stopped; });
    __lsan_enable();
    result.set_value(heard);
  });
  return result.get_future().get();
}

// What every synthesis must show.
void checkHeard(const Heard& heard, std::size_t stopAfter) {
  TEXT_CHECK(heard.done);
  TEXT_CHECK(heard.everyBlockAtTheVoicesRate);
  TEXT_CHECK(heard.blocks <= stopAfter);
  for (std::size_t i = 1; i < heard.wordStarts.size(); ++i) TEXT_CHECK(heard.wordStarts[i - 1] <= heard.wordStarts[i]);
  if (!heard.stopped && !heard.wordStarts.empty()) TEXT_CHECK(heard.wordStarts.back() <= heard.samples);
}

Heard spokenByFlite(const FliteVoice& voice, const std::string& text, std::size_t stopAfter) {
  FliteEngine& engine = FliteEngine::shared();
  std::promise<Heard> result;
  engine.submit([&] {
    Heard heard;
    heard.done = engine.synthesize(
        voice, text,
        [&](int sampleRate, const std::int16_t*, std::size_t count) {
          heard.everyBlockAtTheVoicesRate = heard.everyBlockAtTheVoicesRate && sampleRate == voice.sampleRate;
          ++heard.blocks;
          heard.samples += count;
          heard.stopped = heard.blocks >= stopAfter;
          return !heard.stopped;
        },
        [&](std::size_t firstSample) { heard.wordStarts.push_back(firstSample); });
    result.set_value(heard);
  });
  return result.get_future().get();
}

}  // namespace

extern "C" const char* __asan_default_options() { return "suppressions=" FLITE_TEXT_ASAN_SUPPRESSIONS; }
// Festival compiles regular expressions as it starts, on its own thread, and
// keeps them where LeakSanitizer cannot see them.
extern "C" const char* __lsan_default_suppressions() { return "leak:make_regex\nleak:hs_regcomp\n"; }

// Festival starts, and its HTS engine loads the voice's model, once for the
// process, before the first input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const FestivalVoice* voice = festivalVoiceWithIdentifier("festival/cmu_us_slt_arctic_hts");
  FestivalEngine& engine = FestivalEngine::shared();
  std::promise<void> loaded;
  engine.submit([&] {
    __lsan_disable();
    if (voice) engine.loadVoice(*voice);
    __lsan_enable();
    loaded.set_value();
  });
  loaded.get_future().wait();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::vector<FliteVoice>& voices = fliteVoices();
  const std::size_t choice = (data[0] & 7) % (voices.size() + 1);
  const std::size_t stopAfter = (data[0] >> 3 & 7) == 0 ? kMostBlocks : (data[0] >> 3 & 7);
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (!passesTheInputRules(text)) return 0;
  const bool festival = choice == voices.size();
  checkHeard(festival ? spokenByFestival(text, stopAfter) : spokenByFlite(voices[choice], text, stopAfter), stopAfter);
  return 0;
}
