// SPDX-License-Identifier: GPL-3.0-or-later
// The real recognition service. Needs the pocketsphinx-en-us model and the
// pocketsphinx-testdata recordings.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "platform/pocketsphinx/audio_file_source.h"
#include "platform/pocketsphinx/decoding_task.h"
#include "platform/pocketsphinx/pocketsphinx_recognition_service.h"
#include "platform/pocketsphinx/sphinx_decoder.h"
#include "platform/pocketsphinx/sphinx_logging.h"
#include "platform/pocketsphinx/streaming_transcriber.h"
#include "unit/recording_fixtures.h"

namespace speech_bridge {
namespace {

using namespace std::chrono_literals;
using fixtures::asFloat;
using fixtures::writeSoundFile;

struct Answer {
  std::optional<RecognitionResult> result;
  std::optional<RecognitionError> error;
};

// Answers of a task, collected from its thread.
class Answers {
 public:
  RecognitionResultHandler handler() {
    return [this](std::optional<RecognitionResult> result, std::optional<RecognitionError> error) {
      std::lock_guard lock(mutex_);
      answers_.push_back({std::move(result), std::move(error)});
      changed_.notify_all();
    };
  }

  // Waits for a final result or an error; false if none comes in time.
  bool waitForEnd(std::chrono::seconds timeout = 60s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] {
      return !answers_.empty() && (answers_.back().error || answers_.back().result->isFinal);
    });
  }

  bool waitForAny(std::chrono::seconds timeout = 60s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return !answers_.empty(); });
  }

  // Waits for a result with words in it.
  bool waitForWords(std::chrono::seconds timeout = 60s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] {
      return !answers_.empty() && answers_.back().result && !answers_.back().result->formattedString.empty();
    });
  }

  std::vector<Answer> all() {
    std::lock_guard lock(mutex_);
    return answers_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Answer> answers_;
};

class PocketsphinxRecognitionTest : public ::testing::Test {
 protected:
  std::string recording(const std::string& name, int repeats = 1, int channels = 1, int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16) {
    std::vector<std::int16_t> samples;
    for (int i = 0; i < repeats; ++i) samples.insert(samples.end(), goForward.begin(), goForward.end());
    const std::string path = folder.path(name);
    EXPECT_TRUE(writeSoundFile(path, asFloat(samples, channels), 16000, channels, format));
    return path;
  }

  std::shared_ptr<RecognitionTask> start(const std::string& path, Answers& answers, bool interim = true) {
    const std::shared_ptr<SpeechRecognizer> recognizer = service.recognizerForLocale("en-US");
    EXPECT_TRUE(recognizer);
    const std::shared_ptr<UrlRecognitionRequest> request = service.makeUrlRequest(path);
    request->setShouldReportPartialResults(interim);
    return recognizer->recognitionTask(request, answers.handler());
  }

  PocketsphinxRecognitionService service;
  fixtures::TemporaryFolder folder;
  const std::vector<std::int16_t> goForward = fixtures::goForwardSamples();
};

TEST_F(PocketsphinxRecognitionTest, RecognizersExistForInstalledModelsOnly) {
  for (const char* identifier : {"en-US", "en_US", "EN-us"}) {
    const auto recognizer = service.recognizerForLocale(identifier);
    ASSERT_TRUE(recognizer) << identifier;
    EXPECT_TRUE(recognizer->supportsOnDeviceRecognition());
  }
  for (const char* identifier : {"fr-FR", "en", "en-GB", ""}) EXPECT_FALSE(service.recognizerForLocale(identifier));
}

TEST_F(PocketsphinxRecognitionTest, AuthorizationIsGrantedInsideTheCallAndOnce) {
  std::vector<SpeechAuthorizationStatus> answers;
  service.requestAuthorization([&answers](SpeechAuthorizationStatus status) { answers.push_back(status); });
  EXPECT_EQ(answers, std::vector<SpeechAuthorizationStatus>{SpeechAuthorizationStatus::authorized})
      << "nothing to wait for, so no thread";
}

TEST_F(PocketsphinxRecognitionTest, TranscribesAFileWithGrowingInterimTexts) {
  Answers answers;
  const auto task = start(recording("go.wav"), answers);
  ASSERT_TRUE(answers.waitForEnd());
  const std::vector<Answer> all = answers.all();
  ASSERT_GE(all.size(), 2u);
  // Repeats are the bridge's to filter; the texts still grow.
  std::string previous;
  int changes = 0;
  for (std::size_t i = 0; i + 1 < all.size(); ++i) {
    ASSERT_TRUE(all[i].result && !all[i].error);
    EXPECT_FALSE(all[i].result->isFinal);
    if (all[i].result->formattedString != previous) {
      ++changes;
      EXPECT_FALSE(all[i].result->formattedString.empty());
    }
    previous = all[i].result->formattedString;
  }
  EXPECT_GE(changes, 2);
  // goforward.raw lasts 2.8 s: at most one interim text per 0.1 s of audio.
  EXPECT_LE(all.size() - 1, 28u);
  ASSERT_TRUE(all.back().result);
  EXPECT_FALSE(all.back().error);
  EXPECT_TRUE(all.back().result->isFinal);
  EXPECT_EQ(all.back().result->formattedString, "go forward ten meters");
}

TEST_F(PocketsphinxRecognitionTest, StereoFlacGivesTheSameWords) {
  Answers answers;
  const auto task = start(recording("go.flac", 1, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16), answers, false);
  ASSERT_TRUE(answers.waitForEnd());
  const std::vector<Answer> all = answers.all();
  ASSERT_EQ(all.size(), 1u) << "without interim results only the final comes";
  EXPECT_EQ(all[0].result->formattedString, "go forward ten meters");
  EXPECT_TRUE(all[0].result->isFinal);
}

TEST_F(PocketsphinxRecognitionTest, ADirectoryEndsInOneError) {
  Answers answers;
  auto task = start(folder.path(""), answers);
  ASSERT_TRUE(answers.waitForEnd());
  task.reset();  // the thread has ended: nothing else can follow
  const std::vector<Answer> all = answers.all();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_FALSE(all[0].result);
  EXPECT_EQ(all[0].error->localizedDescription, folder.path("") + " is a directory, not an audio file");
}

TEST_F(PocketsphinxRecognitionTest, AModelThatCannotLoadEndsInItsReason) {
  SpeechModel broken = *installedModelForLocale("en-US");
  broken.acousticModel = folder.path("no-model");
  Answers answers;
  {
    DecodingTask task(broken, std::make_shared<AudioFileSource>(recording("go.wav")), true, answers.handler());
    ASSERT_TRUE(answers.waitForEnd());
  }
  const std::vector<Answer> all = answers.all();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].error->localizedDescription,
            "The en-US speech model could not be loaded: Folder '" + broken.acousticModel +
                "' does not contain acoustic model definition 'mdef'");
}

// A file source that counts what the task has taken from it.
class CountingSource final : public AudioSource {
 public:
  explicit CountingSource(const std::string& path) : file_(path) {}
  std::optional<std::string> open(int sampleRate) override { return file_.open(sampleRate); }
  AudioRead read(std::span<std::int16_t> out) override {
    const AudioRead got = file_.read(out);
    taken += got.samples;
    return got;
  }
  void endInput() override { file_.endInput(); }

  std::atomic<std::size_t> taken{0};

 private:
  AudioFileSource file_;
};

TEST_F(PocketsphinxRecognitionTest, CancelStopsDecodingAndEveryAnswer) {
  Answers answers;
  const auto source = std::make_shared<CountingSource>(recording("long.wav", 40));
  auto task = std::make_unique<DecodingTask>(*installedModelForLocale("en-US"), source, true, answers.handler());
  ASSERT_TRUE(answers.waitForAny());
  task->cancel();
  const std::size_t answered = answers.all().size();
  const std::size_t taken = source->taken;
  task.reset();  // joins the decoder thread
  EXPECT_LE(source->taken - taken, 800u) << "decoding goes on for more than one 50 ms block after cancel";
  EXPECT_LT(source->taken, 40u * goForward.size() / 2);
  const std::vector<Answer> all = answers.all();
  EXPECT_EQ(all.size(), answered) << "an answer came after cancel returned";
  for (const Answer& answer : all) EXPECT_FALSE(answer.error || answer.result->isFinal);
}

TEST_F(PocketsphinxRecognitionTest, FinishGivesTheFinalTextOfTheAudioSoFar) {
  Answers answers;
  const auto task = start(recording("long.wav", 40), answers);
  ASSERT_TRUE(answers.waitForWords());
  task->finish();
  ASSERT_TRUE(answers.waitForEnd(10s));
  const std::vector<Answer> all = answers.all();
  const RecognitionResult& last = *all.back().result;
  EXPECT_TRUE(last.isFinal);
  EXPECT_EQ(last.formattedString.rfind("go", 0), 0u) << last.formattedString;
  EXPECT_LT(last.formattedString.size(), 40u * 21u / 2u) << "the final covers far less than the whole file";
}

// The decoder core alone, without a thread.
class StreamingTranscriberTest : public ::testing::Test {
 protected:
  StreamingTranscriber transcriber() {
    silenceSphinxLogging();
    LoadedDecoder loaded = SphinxDecoder::load(*installedModelForLocale("en-US"));
    EXPECT_TRUE(loaded.decoder) << loaded.error;
    return StreamingTranscriber(std::move(loaded.decoder));
  }
};

TEST_F(StreamingTranscriberTest, AnyPieceSizeGivesTheSameWords) {
  StreamingTranscriber words = transcriber();
  const std::vector<std::int16_t> samples = fixtures::goForwardSamples();
  for (std::size_t at = 0; at < samples.size(); at += 37) {
    words.accept(std::span<const std::int16_t>(samples.data() + at, std::min<std::size_t>(37, samples.size() - at)));
  }
  EXPECT_EQ(words.finish(), "go forward ten meters");
  EXPECT_EQ(words.text(), "go forward ten meters");
}

TEST_F(StreamingTranscriberTest, UtterancesSeparatedBySilenceAreJoined) {
  StreamingTranscriber words = transcriber();
  const std::vector<std::int16_t> samples = fixtures::goForwardSamples();
  const std::vector<std::int16_t> silence(16000, 0);
  for (int i = 0; i < 2; ++i) {
    words.accept(samples);
    words.accept(silence);
  }
  EXPECT_EQ(words.finish(), "go forward ten meters go forward ten meters");
}

TEST_F(StreamingTranscriberTest, SilenceAloneHasNoWords) {
  StreamingTranscriber words = transcriber();
  words.accept(std::vector<std::int16_t>(48000, 0));
  EXPECT_EQ(words.text(), "");
  EXPECT_EQ(words.finish(), "");
}

}  // namespace
}  // namespace speech_bridge
