// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/flite/flite_engine.h"

#include <flite/flite.h>

#include <algorithm>

#include "platform/flite/flite_errors.h"
#include "platform/flite/flite_voice_library.h"
#include "platform/flite/flite_voices.h"

namespace speech_bridge {
namespace {

// Milliseconds of sound, at least, per block handed to the consumer.
constexpr int kBlockMilliseconds = 50;

// The synthesis under way, as Flite's stream callback sees it.
struct Streaming {
  const FliteEngine::SampleConsumer* consume = nullptr;
  const FliteEngine::WordListener* words = nullptr;
  std::size_t delivered = 0;        // samples of every block so far
  std::size_t utteranceStart = 0;   // where the current sentence began
};

// Where each word of the sentence starts: the end of the segment before its
// first one.
void reportWords(cst_utterance* utterance, int sampleRate, const Streaming& streaming) {
  if (!*streaming.words || !utt_relation_present(utterance, "Word")) return;
  for (const cst_item* word = relation_head(utt_relation(utterance, "Word")); word; word = item_next(word)) {
    const float seconds = ffeature_float(word, "R:SylStructure.daughter1.daughter1.R:Segment.p.end");
    (*streaming.words)(streaming.utteranceStart + static_cast<std::size_t>(seconds * static_cast<float>(sampleRate)));
  }
}

// Flite calls this as the samples of each sentence come: `start` counts from
// the sentence's first sample.
int receiveSamples(const cst_wave* wave, int start, int size, int, cst_audio_streaming_info* info) {
  Streaming& streaming = *static_cast<Streaming*>(info->userdata);
  if (start == 0) {
    streaming.utteranceStart = streaming.delivered;
    // Flite's accessors take the sentence as changeable; nothing is changed.
    if (info->utt) reportWords(const_cast<cst_utterance*>(info->utt), wave->sample_rate, streaming);
  }
  if (size <= 0) return CST_AUDIO_STREAM_CONT;
  streaming.delivered += static_cast<std::size_t>(size);
  const bool goOn = (*streaming.consume)(wave->sample_rate, wave->samples + start, static_cast<std::size_t>(size));
  return goOn ? CST_AUDIO_STREAM_CONT : CST_AUDIO_STREAM_STOP;
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

FliteEngine::FliteEngine() {
  silenceFlite();
  thread_.submit([] { flite_init(); });
}

FliteEngine::~FliteEngine() = default;

void FliteEngine::submit(std::function<void()> task) { thread_.submit(std::move(task)); }

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

  Streaming streaming;
  streaming.consume = &consume;
  streaming.words = &words;
  cst_audio_streaming_info* info = new_audio_streaming_info();
  info->asc = &receiveSamples;
  info->min_buffsize = voice.sampleRate * kBlockMilliseconds / 1000;
  info->userdata = &streaming;
  // The voice's features own the information from here on.
  feat_set(fliteVoice->features, "streaming_info", audio_streaming_info_val(info));

  // Flite reads text up to its first NUL; U+0000 is valid UTF-8 and must not
  // cut the rest of the text off.
  std::string whole = text;
  std::replace(whole.begin(), whole.end(), '\0', ' ');
  Speaking speaking{fliteVoice, whole.c_str()};
  const bool spoken = callCatchingFliteErrors(&speakText, &speaking);
  feat_remove(fliteVoice->features, "streaming_info");
  return spoken;
}

}  // namespace speech_bridge
