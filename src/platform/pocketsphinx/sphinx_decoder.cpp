// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/sphinx_decoder.h"

#include <pocketsphinx.h>

#include <vector>

#include "platform/pocketsphinx/grammar_search.h"
#include "platform/pocketsphinx/sphinx_logging.h"

namespace speech_bridge {

LoadedDecoder SphinxDecoder::load(const SpeechModel& model, SearchPasses passes, Vocabulary vocabulary) {
  takeSphinxError();
  const std::string rate = std::to_string(model.sampleRate);
  // -logfn is a second guard: should the log callback ever be reset, the
  // engine's chatter still goes nowhere near standard error.
  std::vector<const char*> arguments = {"-hmm", model.acousticModel.c_str(), "-dict", model.dictionary.c_str(),
                                        "-samprate", rate.c_str(), "-logfn", "/dev/null", "-fwdflat",
                                        passes == SearchPasses::two ? "yes" : "no"};
  if (vocabulary == Vocabulary::openLanguage) {
    arguments.insert(arguments.end(), {"-lm", model.languageModel.c_str()});
  }
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

SphinxDecoder::~SphinxDecoder() { ps_free(decoder_); }

void SphinxDecoder::startUtterance() { ps_start_utt(decoder_); }

void SphinxDecoder::process(std::span<const std::int16_t> samples) {
  ps_process_raw(decoder_, samples.data(), samples.size(), FALSE, FALSE);
}

bool SphinxDecoder::inSpeech() const { return ps_get_in_speech(decoder_) != 0; }

void SphinxDecoder::endUtterance() { ps_end_utt(decoder_); }

std::string SphinxDecoder::hypothesis() const {
  // The engine owns the string and overwrites it on the next call: copy it.
  const char* hypothesis = ps_get_hyp(decoder_, nullptr);
  if (!hypothesis || (rejecting_ && isRejection(hypothesis))) return std::string();
  return std::string(hypothesis);
}

}  // namespace speech_bridge
