// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/decoding_task.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "grammar/grammar_file.h"
#include "platform/pocketsphinx/background_gate.h"
#include "platform/pocketsphinx/grammar_search.h"
#include "platform/pocketsphinx/pronunciations.h"
#include "platform/pocketsphinx/sphinx_decoder.h"
#include "platform/pocketsphinx/sphinx_logging.h"
#include "platform/pocketsphinx/streaming_transcriber.h"
#include "platform/pocketsphinx/word_pronunciations.h"

namespace speech_bridge {
namespace {

// A grammar file, compiled and with its words' pronunciations, or what makes
// it unusable.
struct PreparedGrammar {
  std::optional<GrammarGraph> graph;
  std::unordered_map<std::string, std::vector<Pronunciation>> words;
  std::string error;
};

PreparedGrammar prepareGrammar(const DecodingOptions& options, const SpeechModel& model) {
  CompiledGrammar compiled = compileGrammarFile(*options.grammarFile);
  if (!compiled.graph) return {std::nullopt, {}, compiled.error};
  GrammarPronunciations words =
      pronounceGrammarWords(model, *compiled.graph, *options.grammarFile, options.pronunciationFile,
                            options.wordReaders);
  if (!words.error.empty()) return {std::nullopt, {}, words.error};
  return {std::move(compiled.graph), std::move(words.found), {}};
}

// Samples decoded between two looks at cancellation: 50 ms of audio takes
// well under 50 ms to decode.
constexpr double kBlockSeconds = 0.05;
// How often a task waiting for its model looks whether the audio ended
// without speech: a small part of the time a stop may take.
constexpr auto kSilentEndCheck = std::chrono::milliseconds(5);
// Less speech than this (0.2 s of the gate's frames) is none.
constexpr std::size_t kLeastSpeechFrames = 20;
// Live under a grammar: once the gate has heard this much speech (1 s), what
// was heard is decoded once more, normalised from its own sound...
constexpr std::size_t kNormalisingSpeechFrames = 100;
// ...if it is no longer than this.
constexpr double kKeptLiveSeconds = 30.0;
// Judging at pauses: the pause is this long (0.4 s of the gate's frames)
// once its frames are decoded, the gate giving them out 0.2 s late.
constexpr std::size_t kJudgedPauseFrames = 40;
// ...while what was heard is no longer than this: an order is far shorter,
// and each judging decodes it all once more.
constexpr double kLongestJudgedSeconds = 10.0;

}  // namespace

DecodingTask::DecodingTask(SpeechModel model, std::shared_ptr<AudioSource> source, bool reportInterimResults,
                           RecognitionResultHandler handler, DecodingOptions options)
    : model_(std::move(model)),
      source_(std::move(source)),
      reportInterimResults_(reportInterimResults),
      options_(std::move(options)),
      handler_(std::move(handler)),
      thread_([this] { run(); }) {}

DecodingTask::~DecodingTask() {
  cancel();
  if (thread_.joinable()) thread_.join();
}

void DecodingTask::finish() { source_->endInput(); }

void DecodingTask::cancel() {
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::ended) state_ = State::cancelled;
  }
  source_->endInput();
}

bool DecodingTask::isCancelled() {
  std::lock_guard lock(mutex_);
  return state_ == State::cancelled;
}

bool DecodingTask::report(std::optional<RecognitionResult> result, std::optional<RecognitionError> error, State next) {
  std::lock_guard lock(mutex_);
  if (state_ == State::cancelled) return false;
  state_ = next;
  handler_(std::move(result), std::move(error));
  return true;
}

void DecodingTask::run() {
  silenceSphinxLogging();
  if (auto problem = source_->open(model_.sampleRate)) {
    report(std::nullopt, RecognitionError{*problem}, State::ended);
    return;
  }
  // The model loads on a thread of its own (or, when no thread can be had,
  // at get()), and the grammar is read and compiled, and its words looked
  // up, on another, while this one waits for the grammar's verdict and then
  // for audio: a grammar that cannot be used is reported at once, and audio
  // that ends before any of it came, or before the model is loaded with no
  // speech in it, needs no model: its empty final text goes at once. The
  // load is then waited for after the report.
  std::future<PreparedGrammar> preparing;
  if (options_.grammarFile) {
    preparing = std::async(std::launch::async | std::launch::deferred,
                           [this] { return prepareGrammar(options_, model_); });
  }
  const Vocabulary vocabulary = options_.grammarFile ? Vocabulary::grammar : Vocabulary::openLanguage;
  std::future<LoadedDecoder> loading = std::async(std::launch::async | std::launch::deferred, [this, vocabulary] {
    return SphinxDecoder::load(model_, options_.passes, vocabulary);
  });
  PreparedGrammar grammar;
  if (preparing.valid()) {
    grammar = preparing.get();
    if (!grammar.error.empty()) {
      report(std::nullopt, RecognitionError{grammar.error}, State::ended);
      return;
    }
  }
  if (!source_->waitForAudio() || !waitForModelOrSilentEnd(loading)) {
    report(RecognitionResult{"", true}, std::nullopt, State::ended);
    return;
  }
  LoadedDecoder loaded = loading.get();
  if (loaded.decoder && grammar.graph) {
    if (const std::optional<GrammarProblem> problem = loaded.decoder->useGrammar(*grammar.graph, grammar.words)) {
      loaded = LoadedDecoder{nullptr, grammarFileSentence(*options_.grammarFile, *problem)};
    }
  }
  if (!loaded.decoder) {
    report(std::nullopt, RecognitionError{loaded.error}, State::ended);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    if (state_ == State::cancelled) return;
    state_ = State::decoding;
  }
  decode(std::move(loaded.decoder));
}

bool DecodingTask::waitForModelOrSilentEnd(std::future<LoadedDecoder>& loading) {
  while (loading.wait_for(kSilentEndCheck) == std::future_status::timeout) {
    if (source_->endedWithoutSpeech()) return false;
  }
  return true;
}

bool DecodingTask::readAhead(std::vector<std::int16_t>& samples) {
  const auto most = static_cast<std::size_t>(model_.sampleRate * kReadAheadSeconds);
  std::vector<std::int16_t> block(static_cast<std::size_t>(model_.sampleRate * kBlockSeconds));
  while (samples.size() < most && !isCancelled()) {
    const AudioRead got = source_->read(block);
    if (got.error) {
      report(std::nullopt, RecognitionError{*got.error}, State::ended);
      return false;
    }
    if (got.samples == 0) break;
    samples.insert(samples.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got.samples));
  }
  return true;
}

void DecodingTask::decode(std::unique_ptr<SphinxDecoder> decoder) {
  const int rate = decoder->sampleRate();
  // Under a grammar the room around the words is quieted before the decoder
  // hears it (see background_gate.h), in a recording and live alike.
  std::optional<BackgroundGate> gate;
  if (options_.grammarFile) gate.emplace(rate);
  std::vector<std::int16_t> ahead;
  if (options_.grammarFile && options_.recording) {
    if (!readAhead(ahead)) return;
    std::vector<std::int16_t> gated;
    gate->process(ahead, gated);
    ahead = std::move(gated);
    decoder->normaliseFor(ahead);
  }
  StreamingTranscriber transcriber(std::move(decoder),
                                   options_.grammarFile ? Segmentation::none : Segmentation::atPauses);
  std::vector<std::int16_t> block(static_cast<std::size_t>(rate * kBlockSeconds));
  const auto interimSamples = static_cast<std::size_t>(rate * kInterimSeconds);
  std::size_t samplesSinceInterim = 0;
  std::size_t aheadRead = 0;
  std::vector<std::int16_t> gated;
  // Live, the decoder must start from the model's usual mean of the sound,
  // which a microphone's level and a room make wrong for its first seconds,
  // and the first word of an order suffers most. So under a grammar, once
  // the first second of speech is heard, everything so far is decoded once
  // more from the start, normalised from its own sound as a recording is,
  // and decoding goes on from there. Done while the player speaks, it costs
  // a stop nothing.
  std::optional<std::vector<std::int16_t>> heardLive;
  if (gate && !options_.recording) heardLive.emplace();
  bool normalised = false;
  // Judged at the latest pause, while no speech followed it (see
  // DecodingOptions::judgeAtPauses): the words so far, or nothing when they
  // are no whole sentence.
  std::optional<std::string> judgedAtPause;
  std::size_t speechFramesJudged = 0;
  const auto keepHeard = [&heardLive, most = static_cast<std::size_t>(rate * kKeptLiveSeconds)](
                             std::span<const std::int16_t> samples) {
    if (!heardLive) return;
    if (heardLive->size() + samples.size() > most) {
      heardLive.reset();  // too long: the decode as it went stands
      return;
    }
    heardLive->insert(heardLive->end(), samples.begin(), samples.end());
  };

  while (!isCancelled()) {
    AudioRead got;
    const bool fromAhead = aheadRead < ahead.size();  // gated already
    if (fromAhead) {
      got.samples = std::min(block.size(), ahead.size() - aheadRead);
      std::copy_n(ahead.begin() + static_cast<std::ptrdiff_t>(aheadRead), got.samples, block.begin());
      aheadRead += got.samples;
    } else {
      got = source_->read(block);
    }
    if (got.error) {
      report(std::nullopt, RecognitionError{*got.error}, State::ended);
      return;
    }
    if (got.samples == 0) break;
    const std::span<const std::int16_t> heard(block.data(), got.samples);
    if (gate && !fromAhead) {
      gated.clear();
      gate->process(heard, gated);
      transcriber.accept(gated);
      keepHeard(gated);
      if (heardLive && !normalised && gate->speechFrames() >= kNormalisingSpeechFrames) {
        transcriber.decodeAfresh(*heardLive);
        normalised = true;
        if (!options_.judgeAtPauses) heardLive.reset();
      }
      if (gate->speechFrames() != speechFramesJudged) judgedAtPause.reset();
      // The decoding afresh that judges is skipped when the search's own
      // sentence is already whole.
      if (options_.judgeAtPauses && heardLive && heardLive->size() <= rate * kLongestJudgedSeconds &&
          !judgedAtPause && gate->speechFrames() >= kLeastSpeechFrames &&
          gate->framesSinceSpeech() >= kJudgedPauseFrames && !transcriber.isSentence(transcriber.text())) {
        judgedAtPause = transcriber.decodeAfresh(*heardLive);
        speechFramesJudged = gate->speechFrames();
      }
    } else {
      transcriber.accept(heard);
    }
    samplesSinceInterim += got.samples;
    if (!reportInterimResults_ || samplesSinceInterim < interimSamples) continue;
    samplesSinceInterim = 0;
    // Unchanged texts go too: the receiver keeps the last one and filters.
    RecognitionResult interim{transcriber.text(), false};
    if (judgedAtPause && !judgedAtPause->empty()) interim.formattedString = *judgedAtPause;
    if (options_.grammarFile) interim.wholeSentence = transcriber.isSentence(interim.formattedString);
    if (!report(std::move(interim), std::nullopt, State::decoding)) return;
  }
  if (isCancelled()) return;
  if (gate) {
    gated.clear();
    gate->flush(gated);
    transcriber.accept(gated);
  }
  RecognitionResult final = transcriber.finalResult();
  // What the loops heard in sound that the gate never took for speech was
  // the room: nobody spoke, which is no rejection.
  if (gate && gate->speechFrames() < kLeastSpeechFrames) final.rejected = false;
  report(std::move(final), std::nullopt, State::ended);
}

}  // namespace speech_bridge
