// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/messages.h"
#include "bridge/speech_bridge.h"
#include "bridge/unicode_text.h"
#include "platform/main_loop.h"
#include "platform/recognition_service.h"

namespace speech_bridge {
namespace {

constexpr std::size_t kTranscriptCharacterLimit = 2000;

// The final event's members. What a grammar adds appears only for a host
// that passed one.
EventFields finalFields(const SpeechBridge& bridge, const RecognitionResult& result) {
  EventFields fields{{"text", result.formattedString}};
  if (!bridge.grammarFile) return fields;
  if (result.rejected && result.formattedString.empty()) fields.emplace("rejected", true);
  if (result.rules.empty() || result.formattedString.empty()) return fields;
  std::vector<FieldRecord> rules;
  for (const RuleMatch& rule : result.rules) {
    FieldRecord record{{"rule", rule.rule}, {"text", rule.text}};
    if (rule.tag) record.emplace("tag", *rule.tag);
    rules.push_back(std::move(record));
  }
  fields.emplace("rules", std::move(rules));
  return fields;
}

// One answer of the task, on the main thread. A final or overlong result ends
// the job, so an error in the same answer is never reported after it; a
// changed interim text is written before the error.
void handleAnswer(SpeechBridge& bridge, const std::optional<RecognitionResult>& result,
                  const std::optional<RecognitionError>& error) {
  if (bridge.done) return;
  if (result) {
    const std::string& text = result->formattedString;
    if (graphemeClusterCount(text) > kTranscriptCharacterLimit) {
      bridge.fail(message::kTranscriptTooLong);
      return;
    }
    if (result->isFinal) {
      bridge.finish("final", finalFields(bridge, *result), 0);
      return;
    }
    bridge.heardInterim(result->wholeSentence);
    if (!canonicallyEquivalent(text, bridge.lastPartial)) {
      bridge.lastPartial = text;
      bridge.emit("partial", {{"text", text}});
    }
  }
  if (error) bridge.fail(message::kRecognitionFailed + error->localizedDescription);
}

}  // namespace

void SpeechBridge::recognition(const std::shared_ptr<SpeechRecognizer>& recognizer,
                               const std::shared_ptr<RecognitionRequest>& request) {
  request->setRequiresOnDeviceRecognition(true);
  request->setShouldReportPartialResults(true);
  request->setTaskHint(RecognitionTaskHint::dictation);
  if (grammarFile) request->setGrammarFile(*grammarFile);
  if (pronunciationFile) request->setPronunciationFile(*pronunciationFile);

  MainLoop& loop = platform_.loop;
  task = recognizer->recognitionTask(request, [&loop, weak = weak_from_this()](std::optional<RecognitionResult> result,
                                                                               std::optional<RecognitionError> error) {
    loop.post([weak, result = std::move(result), error = std::move(error)] {
      if (const std::shared_ptr<SpeechBridge> bridge = weak.lock()) handleAnswer(*bridge, result, error);
    });
  });
}

}  // namespace speech_bridge
