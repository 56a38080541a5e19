// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/festival/festival_piece.h"

#include <festival/festival.h>

#include "platform/festival/festival_errors.h"

namespace speech_bridge {
namespace {

// Synthesises the text in the variable speech_bridge_text (Utterance takes
// its text unevaluated, hence the eval) and leaves the
// wave, where each word starts (its first segment begins where the one before
// ends) and where speech begins and ends (after and before the pauses Festival
// puts at both ends) in variables of their own.
constexpr char kDefinition[] = R"((begin
  (define (speech_bridge_keep utt segments)
    (set! speech_bridge_wave (utt.wave utt))
    (set! speech_bridge_words
          (mapcar (lambda (word) (item.feat word "R:SylStructure.daughter1.daughter1.R:Segment.p.end"))
                  (utt.relation.items utt 'Word)))
    (set! speech_bridge_speech
          (list (speech_bridge_pause_edge (car segments) "end" 0)
                (speech_bridge_pause_edge (and segments (car (last segments))) "p.end" -1)))
    t)
  (define (speech_bridge_pause_edge segment feature otherwise)
    (if (and segment (string-equal (item.name segment) "pau")) (item.feat segment feature) otherwise))
  (define (speech_bridge_synthesize)
    (let ((utt (utt.synth (eval (list 'Utterance 'Text speech_bridge_text)))))
      (speech_bridge_keep utt (utt.relation.items utt 'Segment))))))";

constexpr char kText[] = "speech_bridge_text";
constexpr char kWave[] = "speech_bridge_wave";
constexpr char kWords[] = "speech_bridge_words";
constexpr char kSpeech[] = "speech_bridge_speech";

struct Synthesis {
  const std::string& text;
  const EST_String& call;
  FestivalPiece& piece;
  bool done = false;
};

// Within Festival's error catching: no object here needs destroying, and the
// samples are copied into vectors that live outside.
void synthesize(void* context) {
  auto& synthesis = *static_cast<Synthesis*>(context);
  FestivalPiece& piece = synthesis.piece;
  siod_set_lval(kText, strcons(static_cast<long>(synthesis.text.size()), synthesis.text.data()));
  if (!festival_eval_command(synthesis.call)) return;
  LISP made = siod_get_lval(kWave, nullptr);
  if (!wave_p(made)) return;
  const EST_Wave& wave = *::wave(made);
  // Nothing to say (emoji, a script without rules): no samples, any shape.
  if (wave.num_samples() == 0) {
    synthesis.done = true;
    return;
  }
  if (wave.num_channels() != 1 || wave.sample_rate() <= 0) return;
  piece.sampleRate = wave.sample_rate();
  piece.samples.resize(static_cast<std::size_t>(wave.num_samples()));
  for (int i = 0; i < wave.num_samples(); ++i) piece.samples[static_cast<std::size_t>(i)] = wave.a_no_check(i);
  for (LISP word = siod_get_lval(kWords, nullptr); word != NIL; word = cdr(word)) {
    piece.wordStarts.push_back(get_c_float(car(word)));
  }
  LISP speech = siod_get_lval(kSpeech, nullptr);
  piece.speechStart = get_c_float(car(speech));
  piece.speechEnd = get_c_float(car(cdr(speech)));
  synthesis.done = true;
}

// Lets go of the utterance's values, so that the next collection frees them.
void forget(void*) {
  for (const char* name : {kText, kWave, kWords, kSpeech}) siod_set_lval(name, NIL);
}

}  // namespace

bool defineFestivalPieceSynthesis() { return festival_eval_command(kDefinition); }

bool synthesizeFestivalPiece(const std::string& text, FestivalPiece& piece) {
  static const EST_String call("(speech_bridge_synthesize)");
  piece = FestivalPiece{};
  Synthesis synthesis{text, call, piece};
  const bool returned = callCatchingFestivalErrors(&synthesize, &synthesis);
  callCatchingFestivalErrors(&forget, nullptr);
  const double seconds = piece.sampleRate > 0 ? static_cast<double>(piece.samples.size()) / piece.sampleRate : 0;
  if (piece.speechEnd < 0 || piece.speechEnd > seconds) piece.speechEnd = seconds;
  return returned && synthesis.done;
}

}  // namespace speech_bridge
