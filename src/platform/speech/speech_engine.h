// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/speech_synthesis.h"

namespace speech_bridge {

// Where an engine's samples go while it speaks one utterance. The engine's
// thread only, in this order: open(), then write() and wordStartsAt() as
// synthesis goes on.
class SpeechOutput {
 public:
  virtual ~SpeechOutput() = default;

  // Opens the default output device for mono samples at `sampleRate`. False
  // when there is no usable device or the utterance has been stopped.
  virtual bool open(int sampleRate) = 0;
  // Queues samples, waiting while the device's queue is full. False once the
  // output has been stopped or has failed: the engine stops synthesising.
  virtual bool write(const std::int16_t* samples, std::size_t count) = 0;
  // A word starts at this sample, counted from the first one written.
  virtual void wordStartsAt(std::size_t sample) = 0;
  // Whether the utterance has been stopped: the rest is not wanted.
  virtual bool stopped() const = 0;
};

// What a speech engine supplies to EngineSynthesis, which does the rest for
// every engine alike (routing, voice lookup, utterances, playback, callbacks):
// its voices, and how it speaks a text with one of them.
//
// A voice is named by its position in voices(); no position means the
// engine's own default voice.
class SpeechEngine {
 public:
  using VoiceIndex = std::optional<std::size_t>;

  virtual ~SpeechEngine() = default;

  // Every voice, in the engine's order; the same list on every call. Cheap:
  // loads no voice. Any thread but the engine's.
  virtual const std::vector<SpeechVoice>& voices() = 0;

  // The voice that speaks a language tag such as "en-US" by default, or
  // nothing. Any thread but the engine's.
  virtual VoiceIndex voiceForLanguage(const std::string& languageTag) = 0;

  // Runs `task` on the engine's thread after every task submitted before it.
  // Any thread.
  virtual void submit(std::function<void()> task) = 0;

  // The engine's thread: loads the engine and the voice ahead of the first
  // utterance, so that they are not between "ready" and the first sound.
  // Speaking works the same without it.
  virtual void prepare(VoiceIndex voice) = 0;

  // The engine's thread: speaks `text` with the voice, opening `output` at
  // the voice's rate and writing the samples as they come. False when the
  // engine or the device failed, or the voice cannot speak; a synthesis that
  // `output` cut short counts as done.
  virtual bool speak(VoiceIndex voice, const std::string& text, SpeechOutput& output) = 0;
};

// For an engine whose voices are a table of its own entries, each with the
// voice it lists as `voice`: the list voices() returns...
template <typename Entry>
std::vector<SpeechVoice> listedVoicesOf(const std::vector<Entry>& entries) {
  std::vector<SpeechVoice> voices;
  for (const Entry& entry : entries) voices.push_back(entry.voice);
  return voices;
}

// ...and an entry found in that table as what voiceForLanguage() returns.
template <typename Entry>
SpeechEngine::VoiceIndex positionIn(const std::vector<Entry>& entries, const Entry* entry) {
  if (!entry) return std::nullopt;
  return static_cast<std::size_t>(entry - entries.data());
}

}  // namespace speech_bridge
