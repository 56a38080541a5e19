// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/sphinx_decoder.h"

#include <pocketsphinx.h>
#include <sphinxbase/cmn.h>
#include <sphinxbase/fe.h>
#include <sphinxbase/feat.h>
#include <sphinxbase/fsg_model.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "platform/pocketsphinx/grammar_search.h"
#include "platform/pocketsphinx/sphinx_logging.h"
#include "platform/pocketsphinx/transcript_text.h"

namespace speech_bridge {
namespace {

std::vector<std::string> wordsOf(const std::string& text) {
  std::vector<std::string> words;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t space = std::min(text.find(' ', at), text.size());
    if (space > at) words.push_back(text.substr(at, space - at));
    at = space + 1;
  }
  return words;
}

// The tools' defaults are 1e-48 and narrower.
constexpr const char* kGrammarBeam = "1e-100";

// Loading sets the engine's process-wide log file (-logfn), which two loads
// on two threads must not do at once: a task still loading while the next
// one starts would.
std::mutex loading;

}  // namespace

LoadedDecoder SphinxDecoder::load(const SpeechModel& model, SearchPasses passes, Vocabulary vocabulary) {
  takeSphinxError();
  const std::string rate = std::to_string(model.sampleRate);
  // -logfn is a second guard: should the log callback ever be reset, the
  // engine's chatter still goes nowhere near standard error.
  std::vector<const char*> arguments = {"-hmm",      model.acousticModel.c_str(),
                                        "-samprate", rate.c_str(),
                                        "-logfn",    "/dev/null",
                                        "-fwdflat",  passes == SearchPasses::two ? "yes" : "no"};
  if (vocabulary == Vocabulary::openLanguage) {
    arguments.insert(arguments.end(), {"-dict", model.dictionary.c_str(), "-lm", model.languageModel.c_str()});
  } else {
    // A grammar's best sentence is the search's own, which ends where the
    // grammar does; the lattice's best path may stop anywhere. The beams are
    // wide so that the grammar and the phone loop both live to the end of an
    // utterance whose verdict is close (see grammar_search.h): the grammar's
    // search is small, and a search as wide costs it about half as much
    // again, still far less than the language model's.
    arguments.insert(arguments.end(), {"-bestpath", "no", "-beam", kGrammarBeam, "-pbeam", kGrammarBeam, "-wbeam",
                                       kGrammarBeam, "-lpbeam", kGrammarBeam, "-lponlybeam", kGrammarBeam});
  }
  const std::lock_guard lock(loading);
  cmd_ln_t* config = cmd_ln_parse_r(nullptr, ps_args(), static_cast<int32>(arguments.size()),
                                    const_cast<char**>(arguments.data()), TRUE);
  const auto failure = [&model](const std::string& fallback) {
    std::string reason = takeSphinxError();
    if (reason.empty()) reason = fallback;
    return LoadedDecoder{nullptr, "The " + model.locale + " speech model could not be loaded: " + reason};
  };
  if (!config) return failure("its settings were refused");
  ps_decoder_t* decoder = ps_init(config);
  cmd_ln_free_r(config);  // the decoder keeps its own reference
  if (!decoder) return failure("PocketSphinx gave no reason");
  return LoadedDecoder{std::unique_ptr<SphinxDecoder>(new SphinxDecoder(decoder, model)), {}};
}

SphinxDecoder::~SphinxDecoder() {
  ps_free(decoder_);
  fsg_model_free(fsg_);
}

void SphinxDecoder::normaliseFor(std::span<const std::int16_t> samples) {
  // A front end of its own, with the decoder's settings (its voice activity
  // detection too, so that only speech counts), leaves the decoder's untouched.
  // Without the detector's margins around speech, which are silence: a pause
  // within an order would count half a second of it twice over.
  cmd_ln_t* config = ps_get_config(decoder_);
  const long prespeech = cmd_ln_int32_r(config, "-vad_prespeech");
  const long postspeech = cmd_ln_int32_r(config, "-vad_postspeech");
  cmd_ln_set_int32_r(config, "-vad_prespeech", 0);
  cmd_ln_set_int32_r(config, "-vad_postspeech", 0);
  fe_t* frontEnd = fe_init_auto_r(config);
  cmd_ln_set_int32_r(config, "-vad_prespeech", prespeech);
  cmd_ln_set_int32_r(config, "-vad_postspeech", postspeech);
  if (!frontEnd) return;
  constexpr int kFrames = 256;
  const auto width = static_cast<std::size_t>(fe_get_output_size(frontEnd));
  std::vector<mfcc_t> storage(kFrames * width);
  std::vector<mfcc_t*> rows(kFrames);
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = storage.data() + i * width;
  std::vector<double> sum(width, 0.0);
  long frames = 0;
  const auto add = [&](int32 count) {
    for (int32 frame = 0; frame < count; ++frame) {
      for (std::size_t i = 0; i < width; ++i) sum[i] += rows[static_cast<std::size_t>(frame)][i];
    }
    frames += count;
  };
  fe_start_utt(frontEnd);
  const int16* next = samples.data();
  std::size_t left = samples.size();
  while (left > 0) {
    int32 count = kFrames;
    int32 first = 0;
    if (fe_process_frames(frontEnd, &next, &left, rows.data(), &count, &first) < 0) break;
    add(count);
  }
  int32 last = 0;
  fe_end_utt(frontEnd, rows[0], &last);
  add(last);
  fe_free(frontEnd);
  takeSphinxError();
  if (frames == 0) return;
  std::vector<mfcc_t> mean(width);
  for (std::size_t i = 0; i < width; ++i) mean[i] = static_cast<mfcc_t>(sum[i] / static_cast<double>(frames));
  cmn_live_set(ps_get_feat(decoder_)->cmn_struct, mean.data());
}

void SphinxDecoder::startUtterance() {
  ps_start_utt(decoder_);
  lastRejected_ = false;
  inUtterance_ = true;
  leadingSentence_.clear();
}

std::string SphinxDecoder::restartUtterance(std::span<const std::int16_t> samples) {
  ps_end_utt(decoder_);
  const std::string sentence = grammar_ ? judgedSentence() : std::string();
  normaliseFor(samples);
  ps_start_utt(decoder_);
  lastRejected_ = false;
  return sentence;
}

void SphinxDecoder::process(std::span<const std::int16_t> samples) {
  ps_process_raw(decoder_, samples.data(), samples.size(), FALSE, FALSE);
}

bool SphinxDecoder::inSpeech() const { return ps_get_in_speech(decoder_) != 0; }

void SphinxDecoder::endUtterance() {
  ps_end_utt(decoder_);
  inUtterance_ = false;
  if (grammar_) judged_ = judgedSentence();
}

std::string SphinxDecoder::judgedSentence() {
  lastMargin_.reset();
  const BestPath words = wordLooping_ ? bestPathTo(wordLoopState_) : BestPath{};
  // Speech that is no sentence is rejected. Sound in which neither loop
  // hears kMinSpeechFrames of words or phones is no speech (silence, noise:
  // a loop's path must hold one, and takes the shortest that fits).
  const BestPath phones = rejecting_ ? bestPathTo(loopState_) : BestPath{};
  const auto speechFrames = [](const BestPath& path, std::string_view prefix) {
    int frames = 0;
    for (const PathSegment& stretch : path.segments) {
      if (stretch.word.starts_with(prefix)) frames += stretch.last - stretch.first + 1;
    }
    return frames;
  };
  lastRejected_ = std::max(speechFrames(words, kWordLoopPrefix), speechFrames(phones, kRejectionWordPrefix)) >=
                  kMinSpeechFrames;
  const BestPath sentence = bestPathTo(grammarEnd_);
  // What the engine found must be a sentence of the grammar.
  if (!sentence.found || !isSentenceOf(*grammar_, wordsOf(readableTranscript(sentence.words)))) return {};
  const int frames = ps_get_n_frames(decoder_);
  if (rejecting_ && frames > 0) {
    // Without the loop's path, the loop fell far behind: the sentence fits.
    if (phones.found) {
      lastMargin_ = (sentence.sounds - phones.sounds) * naturalLogPerUnit() / frames;
      if (*lastMargin_ < -kRejectionMargin) return {};
      const std::optional<double> inner = innerFillerShortfall(sentence.segments, phones.segments);
      if (inner && *inner >= kInnerFillerRejection) return {};
    }
  }
  const std::optional<StretchVerdict> verdict = judgeStretches(sentence.segments, words.segments);
  if (verdict && (verdict->weakestShortfall >= kStretchRejection || verdict->meanShortfall >= kMeanStretchRejection)) {
    return {};
  }
  lastRejected_ = false;
  return sentence.words;
}

std::vector<RuleMatch> SphinxDecoder::parse(const std::string& text) const {
  if (!grammar_ || !grammar_->parser) return {};
  return grammar_->parser->parse(wordsOf(text));
}

bool SphinxDecoder::isSentence(const std::string& text) const {
  return grammar_ && isSentenceOf(*grammar_, wordsOf(text));
}

double SphinxDecoder::naturalLogPerUnit() const {
  return std::log(logmath_get_base(ps_get_logmath(decoder_))) * (1 << kEngineScoreShift);
}

std::string SphinxDecoder::hypothesis() const {
  if (grammar_ && !inUtterance_) return judged_;
  // The engine owns the string and overwrites it on the next call: copy it.
  const char* hypothesis = ps_get_hyp(decoder_, nullptr);
  const std::string text = hypothesis ? hypothesis : "";
  if (!grammar_) return text;
  // While free phones fit the speech best, the sentence so far stays what it
  // was: the verdict comes when the utterance ends.
  if (!isRejection(text)) leadingSentence_ = text;
  return leadingSentence_;
}

}  // namespace speech_bridge
