// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/messages.h"
#include "bridge/speech_bridge.h"
#include "bridge/unicode_text.h"
#include "platform/main_loop.h"
#include "platform/recognition_service.h"

namespace speech_bridge {
namespace {

constexpr std::size_t kTranscriptCharacterLimit = 2000;

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
      bridge.finish("final", {{"text", text}}, 0);
      return;
    }
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

  MainLoop& loop = platform_.loop;
  task = recognizer->recognitionTask(request, [&loop, weak = weak_from_this()](std::optional<RecognitionResult> result,
                                                                               std::optional<RecognitionError> error) {
    loop.post([weak, result = std::move(result), error = std::move(error)] {
      if (const std::shared_ptr<SpeechBridge> bridge = weak.lock()) handleAnswer(*bridge, result, error);
    });
  });
}

}  // namespace speech_bridge
