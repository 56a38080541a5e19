// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/espeak-ng/espeak_engine.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cstring>

#include "platform/espeak-ng/espeak_language_tag.h"
#include "platform/espeak-ng/espeak_voice_choice.h"
#include "platform/library/discarded_standard_error.h"

namespace speech_bridge {
namespace {

// Milliseconds of sound per block handed to the consumer.
constexpr int kBlockMilliseconds = 50;
// The listeners of the synthesis under way; the engine thread's alone.
const EspeakEngine::SampleConsumer* currentConsumer = nullptr;
const EspeakEngine::WordListener* currentWordListener = nullptr;

int receiveSamples(short* samples, int count, espeak_EVENT* events) {
  if (currentWordListener && *currentWordListener) {
    for (const espeak_EVENT* event = events; event && event->type != espeakEVENT_LIST_TERMINATED; ++event) {
      if (event->type == espeakEVENT_WORD && event->sample >= 0) {
        (*currentWordListener)(static_cast<std::size_t>(event->sample));
      }
    }
  }
  // No samples: the end, or a block of events only.
  if (!samples || count <= 0 || !currentConsumer) return 0;
  return (*currentConsumer)(samples, static_cast<std::size_t>(count)) ? 0 : 1;
}

// eSpeak NG reads text up to its first NUL; U+0000 is valid UTF-8 and must
// not cut the rest of the text off.
std::string withoutNulCharacters(const std::string& text) {
  std::string result = text;
  std::replace(result.begin(), result.end(), '\0', ' ');
  return result;
}

}  // namespace

EspeakEngine& EspeakEngine::shared() {
  static EspeakEngine engine;
  return engine;
}

EspeakEngine::EspeakEngine() : listed_(listedPromise_.get_future().share()), thread_([this] { listVoices(); }) {}

EspeakEngine::~EspeakEngine() = default;

const std::vector<EspeakVoice>& EspeakEngine::inventory() {
  thread_.start();
  listed_.wait();
  return inventory_;
}

const std::vector<SpeechVoice>& EspeakEngine::voices() {
  inventory();
  return voices_;
}

SpeechEngine::VoiceIndex EspeakEngine::voiceForLanguage(const std::string& languageTag) {
  return positionIn(inventory(), speech_bridge::voiceForLanguage(inventory(), languageTag));
}

void EspeakEngine::submit(std::function<void()> task) { thread_.submit(std::move(task)); }

void EspeakEngine::prepare(VoiceIndex) { startSynthesis(); }

bool EspeakEngine::speak(VoiceIndex voice, const std::string& text, SpeechOutput& output) {
  if (!startSynthesis()) return false;
  if (!(voice ? selectVoice(inventory_[*voice].voice.identifier) : selectDefaultVoice())) return false;
  if (!output.open(sampleRate())) return false;
  return synthesize(
      withoutNulCharacters(text),
      [&](const std::int16_t* samples, std::size_t count) { return output.write(samples, count); },
      [&](std::size_t firstSample) { output.wordStartsAt(firstSample); });
}

void EspeakEngine::listVoices() {
  // eSpeak NG prints some diagnostics (a voice's missing dictionary, a bad
  // voice file) straight to `stderr`.
  discardStandardErrorStream();
  espeak_ng_InitializePath(nullptr);
  const espeak_VOICE** list = espeak_ListVoices(nullptr);
  for (; list && *list; ++list) {
    const espeak_VOICE& voice = **list;
    EspeakVoice entry;
    // `languages` holds entries of a priority byte and a name, ended by a
    // zero priority.
    for (const char* at = voice.languages; at && *at; at += std::strlen(at + 1) + 2) {
      entry.languages.emplace_back(static_cast<unsigned char>(*at), std::string(at + 1));
    }
    entry.voice.identifier = voice.identifier ? voice.identifier : "";
    entry.voice.name = voice.name ? voice.name : "";
    entry.voice.language = languageTagFromEspeak(entry.languages.empty() ? "" : entry.languages.front().second);
    inventory_.push_back(std::move(entry));
  }
  voices_ = listedVoicesOf(inventory_);
  listedPromise_.set_value();
}

bool EspeakEngine::startSynthesis() {
  if (!synthesisStarted_) {
    synthesisStarted_ = true;
    // Without the flag, missing data would end the process.
    sampleRate_ = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, kBlockMilliseconds, nullptr,
                                    espeakINITIALIZE_DONT_EXIT);
    if (sampleRate_ > 0) espeak_SetSynthCallback(&receiveSamples);
  }
  return sampleRate_ > 0;
}

bool EspeakEngine::selectVoice(const std::string& identifier) {
  // eSpeak NG also takes names and parts of identifiers here: the voice it
  // chose must be exactly the one asked for.
  if (espeak_SetVoiceByName(identifier.c_str()) != EE_OK) return false;
  const espeak_VOICE* current = espeak_GetCurrentVoice();
  return current && current->identifier && identifier == current->identifier;
}

bool EspeakEngine::selectDefaultVoice() { return espeak_SetVoiceByName(ESPEAKNG_DEFAULT_VOICE) == EE_OK; }

bool EspeakEngine::synthesize(const std::string& text, const SampleConsumer& consume, const WordListener& words) {
  currentConsumer = &consume;
  currentWordListener = &words;
  const espeak_ERROR result = espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8,
                                           nullptr, nullptr);
  currentConsumer = nullptr;
  currentWordListener = nullptr;
  return result == EE_OK;
}

}  // namespace speech_bridge
