// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/flite/flite_engine.h"

#include <flite/flite.h>

#include <cstring>

#include "platform/flite/flite_errors.h"
#include "platform/flite/flite_sample_stream.h"
#include "platform/flite/flite_voice_library.h"
#include "platform/flite/flite_voices.h"
#include "platform/speech/engine_text.h"

namespace speech_bridge {
namespace {

// Milliseconds of sound, at most, per block handed to the consumer.
constexpr int kBlockMilliseconds = 50;

// Words after which a sentence that runs on is cut at the next comma, colon
// or semicolon, and the most words and characters it may have at all. A
// sentence is synthesised whole before its first sound is heard, and Flite's
// own limit is 500 words: cut so, a text without full stops starts about as
// soon as one with them.
constexpr int kWordsBeforeAClauseEnds = 16;
constexpr int kMostWordsPerSentence = 24;
constexpr std::size_t kMostCharactersPerSentence = 160;

// Where a sentence ends: where Flite's own rule says, or where it has run on.
// `tokens` holds the sentence so far; `token` would come next.
int endsSentence(cst_tokenstream* stream, const char* token, cst_relation* tokens) {
  if (default_utt_break(stream, token, tokens)) return TRUE;
  int words = 0;
  std::size_t characters = 0;
  // Paths give "0" for a feature an item lacks, where an item's own accessors
  // would raise an error.
  for (const cst_item* item = relation_head(tokens); item; item = item_next(item)) {
    ++words;
    characters += std::strlen(ffeature_string(item, "name"));
  }
  const char* punctuation = ffeature_string(relation_tail(tokens), "punc");
  const bool clauseEnds = std::strpbrk(punctuation, ",;:") != nullptr;
  return words >= kMostWordsPerSentence || characters >= kMostCharactersPerSentence ||
         (words >= kWordsBeforeAClauseEnds && clauseEnds);
}

struct Speaking {
  cst_voice* voice;
  const char* text;
};

// Sentence by sentence, as Flite's file reader does it, so that sound starts
// after the first sentence rather than after the whole text.
void speakText(void* context) {
  const auto& speaking = *static_cast<const Speaking*>(context);
  const cst_features* features = speaking.voice->features;
  cst_tokenstream* tokens = ts_open_string(speaking.text, get_param_string(features, "text_whitespace", nullptr),
                                           get_param_string(features, "text_singlecharsymbols", nullptr),
                                           get_param_string(features, "text_prepunctuation", nullptr),
                                           get_param_string(features, "text_postpunctuation", nullptr));
  if (tokens) flite_ts_to_speech(tokens, speaking.voice, "none");  // closes the stream
}

}  // namespace

FliteEngine& FliteEngine::shared() {
  static FliteEngine engine;
  return engine;
}

FliteEngine::FliteEngine()
    : thread_([] {
        silenceFlite();
        flite_init();
      }) {}

FliteEngine::~FliteEngine() = default;

const std::vector<SpeechVoice>& FliteEngine::voices() {
  static const std::vector<SpeechVoice> listed = listedVoicesOf(fliteVoices());
  return listed;
}

SpeechEngine::VoiceIndex FliteEngine::voiceForLanguage(const std::string& languageTag) {
  return positionIn(fliteVoices(), fliteVoiceForLanguage(languageTag));
}

void FliteEngine::submit(std::function<void()> task) { thread_.submit(std::move(task)); }

void FliteEngine::prepare(VoiceIndex voice) { loadVoice(fliteVoices()[voice.value_or(0)]); }

bool FliteEngine::speak(VoiceIndex voice, const std::string& text, SpeechOutput& output) {
  const FliteVoice& entry = fliteVoices()[voice.value_or(0)];
  if (!loadVoice(entry) || !output.open(entry.sampleRate)) return false;
  bool sampleRateAsOpened = true;
  const bool synthesized = synthesize(
      entry, text,
      [&](int sampleRate, const std::int16_t* samples, std::size_t count) {
        sampleRateAsOpened = sampleRate == entry.sampleRate;
        return sampleRateAsOpened && output.write(samples, count);
      },
      [&](std::size_t firstSample) { output.wordStartsAt(firstSample); });
  return synthesized && sampleRateAsOpened;
}

FliteVoiceLibrary* FliteEngine::library(const FliteVoice& voice) {
  auto& entry = loaded_[voice.voice.identifier];
  if (!entry) entry = FliteVoiceLibrary::load(voice);
  return entry.get();
}

bool FliteEngine::loadVoice(const FliteVoice& voice) { return library(voice) != nullptr; }

bool FliteEngine::synthesize(const FliteVoice& voice, const std::string& text, const SampleConsumer& consume,
                             const WordListener& words) {
  FliteVoiceLibrary* loaded = library(voice);
  if (!loaded) return false;
  cst_voice* const fliteVoice = loaded->voice();

  const auto blockSamples = static_cast<std::size_t>(voice.sampleRate * kBlockMilliseconds / 1000);
  FliteSampleStream stream(consume, words, blockSamples);
  cst_audio_streaming_info* info = new_audio_streaming_info();
  info->asc = &FliteSampleStream::receive;
  info->min_buffsize = static_cast<int>(blockSamples);
  info->userdata = &stream;
  // The voice's features own the information from here on.
  feat_set(fliteVoice->features, "streaming_info", audio_streaming_info_val(info));

  feat_set(fliteVoice->features, "utt_break", breakfunc_val(&endsSentence));
  feat_set_float(fliteVoice->features, "duration_stretch", voice.durationStretch);

  const std::string prepared = textForEngine(text);
  Speaking speaking{fliteVoice, prepared.c_str()};
  const bool spoken = callCatchingFliteErrors(&speakText, &speaking);
  feat_remove(fliteVoice->features, "streaming_info");
  return spoken;
}

}  // namespace speech_bridge
