// SPDX-License-Identifier: GPL-3.0-or-later
// The real recognition service restricted to a grammar. Needs the
// pocketsphinx-en-us model and the pocketsphinx-testdata recordings.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <thread>

#include "grammar/grammar_file.h"
#include "platform/espeak-ng/espeak_word_reader.h"
#include "platform/flite/flite_lexicon.h"
#include "platform/pocketsphinx/pocketsphinx_recognition_service.h"
#include "unit/recording_fixtures.h"

namespace speech_bridge {
namespace {

using namespace std::chrono_literals;
using fixtures::kTestData;

const std::string kShipGrammar = SPEECH_BRIDGE_SOURCE_DIR "/examples/ship_orders.gram";

// Everything a task answered, collected from its thread.
class Answers {
 public:
  RecognitionResultHandler handler() {
    return [this](std::optional<RecognitionResult> result, std::optional<RecognitionError> error) {
      std::lock_guard lock(mutex_);
      if (result && !result->isFinal) {
        interims_.push_back(result->formattedString);
        if (result->wholeSentence) wholeInterims_.push_back(result->formattedString);
      }
      if (result && result->isFinal) {
        final_ = result->formattedString;
        finalResult_ = *result;
      }
      if (error) errors_.push_back(error->localizedDescription);
      ++answers_;
      changed_.notify_all();
    };
  }
  // The final text, or what ended the task instead, once it has ended.
  std::string waitForEnd() {
    std::unique_lock lock(mutex_);
    const bool ended = changed_.wait_for(lock, 60s, [this] { return final_ || !errors_.empty(); });
    if (!ended) return "(no end)";
    return final_ ? *final_ : "error: " + errors_.front();
  }
  std::vector<std::string> interims() {
    std::lock_guard lock(mutex_);
    return interims_;
  }
  int answers() {
    std::lock_guard lock(mutex_);
    return answers_;
  }
  // The interim texts that said they were a whole sentence.
  std::vector<std::string> wholeInterims() {
    std::lock_guard lock(mutex_);
    return wholeInterims_;
  }
  RecognitionResult finalResult() {
    std::lock_guard lock(mutex_);
    return finalResult_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<std::string> final_;
  RecognitionResult finalResult_;
  std::vector<std::string> interims_;
  std::vector<std::string> errors_;
  int answers_ = 0;
  std::vector<std::string> wholeInterims_;
};

class PocketsphinxGrammarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::writeSoundFile(goForward, fixtures::asFloat(fixtures::goForwardSamples()), 16000, 1,
                             SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  }

  // The final text of a recording under a grammar, or its error.
  std::string transcribe(const std::string& recording, const std::string& grammar, Answers& answers,
                         const std::optional<std::string>& pronunciations = std::nullopt) {
    const auto request = service.makeUrlRequest(recording);
    request->setGrammarFile(grammar);
    if (pronunciations) request->setPronunciationFile(*pronunciations);
    task = service.recognizerForLocale("en-US")->recognitionTask(request, answers.handler());
    return answers.waitForEnd();
  }
  std::string transcribe(const std::string& recording, const std::string& grammar) {
    Answers answers;
    return transcribe(recording, grammar, answers);
  }

  // The final text of a recording under the ship grammar, its samples
  // appended as a microphone's buffers are.
  std::string transcribeLive(const std::string& recording) {
    Answers answers;
    return transcribeLive(recording, answers);
  }
  // With `endsAtPauses`, as for a host that ends listening at a pause.
  std::string transcribeLive(const std::string& recording, Answers& answers, bool endsAtPauses = false) {
    SF_INFO info{};
    SNDFILE* file = sf_open(recording.c_str(), SFM_READ, &info);
    if (!file) return "(unreadable)";
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    const auto request = service.makeAudioBufferRequest();
    request->setGrammarFile(kShipGrammar);
    if (endsAtPauses) request->setSpeechActivityHandler([](SpeechActivity) {});
    task = service.recognizerForLocale("en-US")->recognitionTask(request, answers.handler());
    constexpr std::size_t kBufferFrames = 480;
    const auto channels = static_cast<std::uint32_t>(info.channels);
    for (std::size_t at = 0; at < samples.size(); at += kBufferFrames * channels) {
      const auto frames = static_cast<std::uint32_t>(std::min(kBufferFrames * channels, samples.size() - at) / channels);
      request->appendAudioPcmBuffer(AudioPcmBuffer{samples.data() + at, frames, {double(info.samplerate), channels}});
    }
    task->finish();
    return answers.waitForEnd();
  }

  FliteLexicon lexicon;
  EspeakWordReader espeakReadings;
  PocketsphinxRecognitionService service{{lexicon, espeakReadings}};
  fixtures::TemporaryFolder folder;
  const std::string goForward = folder.path("goforward.wav");
  std::shared_ptr<RecognitionTask> task;
};

TEST_F(PocketsphinxGrammarTest, GoForwardWithItsGrammarIsExactAndInterimTextsAreItsWords) {
  const std::string grammar = std::string(kTestData) + "/goforward.gram";
  Answers answers;
  EXPECT_EQ(transcribe(goForward, grammar, answers), "go forward ten meters");
  const std::vector<std::string> interims = answers.interims();
  ASSERT_FALSE(interims.empty());
  const std::vector<std::string> vocabulary = compileGrammarFile(grammar).graph->words;
  for (const std::string& text : interims) {
    std::istringstream words(text);
    for (std::string word; words >> word;) {
      EXPECT_NE(std::find(vocabulary.begin(), vocabulary.end(), word), vocabulary.end()) << text;
    }
  }
}

TEST_F(PocketsphinxGrammarTest, EveryCardsRecordingIsExact) {
  const std::string grammar = std::string(kTestData) + "/cards/cards.gram";
  const std::vector<std::pair<const char*, const char*>> cards = {
      {"001", "ten of clubs"},
      {"002", "four queen of clubs"},
      {"003", "seven of clubs"},
      {"004", "five five"},
      {"005", "eight of spades four of clubs seven of hearts"}};
  for (const auto& [name, text] : cards) {
    EXPECT_EQ(transcribe(std::string(kTestData) + "/cards/" + name + ".wav", grammar), text) << name;
  }
}

// Read speech, card names and go forward are no ship orders: the texts are
// empty, not the nearest order.
TEST_F(PocketsphinxGrammarTest, SpeechOutsideTheGrammarGivesAnEmptyText) {
  for (const std::string& recording :
       {std::string(kTestData) + "/librivox/sense_and_sensibility_01_austen_64kb-0880.wav",
        std::string(kTestData) + "/cards/003.wav", goForward}) {
    EXPECT_EQ(transcribe(recording, kShipGrammar), "") << recording;
  }
}

struct Spoken {
  const char* words;  // what flite's rms voice says; nothing: two seconds of silence
  const char* text;   // the final text
  bool rejected;
};

// Speech made of the ship grammar's words in orders it lacks (a wrong verb
// or number, an order cut short, two orders run together) is rejected, not
// taken for the nearest order; orders are kept with their rules; silence is
// not rejected, as nobody spoke. Needs flite and sox.
TEST_F(PocketsphinxGrammarTest, NearMissesAreRejectedWordByWord) {
  const std::vector<Spoken> cases = {
      {"second ship drop torpedoes", "", true},
      {"second ship scan sector twenty", "", true},
      {"flagship fire", "", true},
      {"first ship retreat second ship retreat", "", true},
      {"second ship set course north east", "second ship set course north east", false},
      {"fleet raise shields", "fleet raise shields", false},
      {"", "", false},
  };
  for (const Spoken& spoken : cases) {
    const std::string recording = folder.path("spoken.wav");
    const std::string command =
        *spoken.words ? "flite -voice rms -t '" + std::string(spoken.words) + "' -o " + folder.path("raw.wav") +
                            " && sox -q " + folder.path("raw.wav") + " -r 16000 " + recording + " pad 0.5 0.5"
                      : "sox -q -n -r 16000 -b 16 -c 1 " + recording + " trim 0 2";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    Answers answers;
    EXPECT_EQ(transcribe(recording, kShipGrammar, answers), spoken.text) << spoken.words;
    EXPECT_EQ(answers.finalResult().rejected, spoken.rejected) << spoken.words;
    EXPECT_EQ(answers.finalResult().rules.empty(), !*spoken.text) << spoken.words;
  }
}

// The room around the words (music, brown noise, a hum, a crew talking at
// the back) is no reason to refuse an order, nor to take a near miss for
// one; the room alone is nobody speaking. Each recording has a second of
// the background before the speech and half a second after it, 20 dB below
// the speech. Music is heard live too, as a microphone delivers it. Needs
// flite, sox and python3.
TEST_F(PocketsphinxGrammarTest, TheRoomAroundTheWordsIsNoReasonToRefuse) {
  const std::string tool = "python3 " SPEECH_BRIDGE_SOURCE_DIR "/tests/tools/backgrounds.py";
  const auto run = [](const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; };
  const std::vector<Spoken> cases = {
      {"second ship set course north east", "second ship set course north east", false},
      {"second ship drop torpedoes", "", true},
      {"", "", false},
  };
  for (const char* background : {"music", "brown", "hum", "babble"}) {
    const std::string room = folder.path(std::string(background) + ".wav");
    run(tool + " " + background + " 12 " + room);
    for (const Spoken& spoken : cases) {
      const std::string recording = folder.path("heard.wav");
      if (*spoken.words) {
        run("flite -voice rms -t '" + std::string(spoken.words) + "' -o " + folder.path("raw.wav"));
        run(tool + " mix " + folder.path("raw.wav") + " " + room + " 20 " + recording);
      } else {
        run("sox -q " + room + " -b 16 " + recording + " trim 3 3 gain -n -25");
      }
      const std::string label = std::string(background) + ": " + (*spoken.words ? spoken.words : "nobody");
      Answers answers;
      EXPECT_EQ(transcribe(recording, kShipGrammar, answers), spoken.text) << label;
      EXPECT_EQ(answers.finalResult().rejected, spoken.rejected) << label;
      if (std::string(background) == "music") {
        EXPECT_EQ(transcribeLive(recording), spoken.text) << label << ", live";
      }
    }
  }
}

// A player who pauses within an order (0.9 s after the ship's name) gives
// the order, in a recording and live. Live, for a host that ends listening
// at a pause, the sentence so far never empties meanwhile, half the order
// is never taken for a whole one, and once the order ends it is judged whole
// though the search may still lead with free phones. The sound is
// normalised from the speech, not from the silence about it. Needs flite
// and sox.
TEST_F(PocketsphinxGrammarTest, APauseWithinAnOrderIsNoReasonToRefuse) {
  for (const auto& [ship, command] :
       {std::pair{"second ship", "half speed"}, {"all ships", "all stop"}, {"all ships", "hold position"}}) {
    const std::string trim = " rate 16000 silence 1 0.005 0.1% reverse silence 1 0.005 0.1% reverse";
    const std::string recording = folder.path("paused.wav");
    const std::string make = "flite -voice slt -t '" + std::string(ship) + "' -o " + folder.path("a.wav") +
                             " && flite -voice slt -t '" + command + "' -o " + folder.path("b.wav") + " && sox -q " +
                             folder.path("a.wav") + " -p" + trim + " pad 0.5 0.9 | sox -q - \"|sox -q " +
                             folder.path("b.wav") + " -p" + trim + "\" " + recording + " pad 0 1";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    const std::string order = std::string(ship) + " " + command;
    EXPECT_EQ(transcribe(recording, kShipGrammar), order);
    Answers live;
    EXPECT_EQ(transcribeLive(recording, live, true), order) << "live";
    const std::vector<std::string> interims = live.interims();
    const auto first = std::find_if(interims.begin(), interims.end(), [](const auto& t) { return !t.empty(); });
    EXPECT_EQ(std::count(first, interims.end(), ""), 0) << order;
    ASSERT_FALSE(live.wholeInterims().empty()) << order;
    for (const std::string& whole : live.wholeInterims()) EXPECT_EQ(whole, order);
    EXPECT_EQ(interims.back(), order);
  }
}

TEST_F(PocketsphinxGrammarTest, APhraseListIsAGrammarToo) {
  folder.writeFile("phrases.txt", "# what the turtle hears\nGo forward ten meters\ngo back\n\nturn around\n");
  EXPECT_EQ(transcribe(goForward, folder.path("phrases.txt")), "go forward ten meters");
  folder.writeFile("other.txt", "turn around\ngo back\n");
  EXPECT_EQ(transcribe(goForward, folder.path("other.txt")), "");
}

// Each kind of unusable grammar file ends the task with one error and
// nothing else.
TEST_F(PocketsphinxGrammarTest, EachBadGrammarFileEndsTheTaskWithOneError) {
  folder.writeFile("large.gram", std::string(1048577, 'a'));
  folder.writeFile("latin1.gram", "go forward\nvoil\xe0\n");
  folder.writeFile("syntax.gram", "#JSGF V1.0;\ngrammar g;\npublic <a> = go (forward | back;\n");
  folder.writeFile("words.gram", "#JSGF V1.0;\ngrammar g;\npublic <a> = Go Zorblax [\"?!\"] [\"a(2)\"];\n");
  folder.writeFile("words.txt", "go forward\n<sil>\nzorblax\n[noise]\n++breath++\n1.5\n\"quoted\"\n");
  folder.writeFile("empty.txt", "# nothing\n\n");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {folder.path("absent.gram"), "does not exist"},
      {folder.path(""), "is a directory"},
      {"/proc/self/mem", "cannot be read: Input/output error"},
      {folder.path("large.gram"), "is larger than 1 MiB"},
      {folder.path("latin1.gram"), "is not UTF-8 text (see line 2)"},
      {folder.path("syntax.gram"),
       "has a JSGF syntax error on line 3: expected \")\" to close the group opened on line 3, found \";\""},
      {folder.path("words.gram"),
       "uses the words \"?!\" and \"a(2)\", which no rule can pronounce (not in the en-US dictionary, nor written in "
       "letters or digits)"},
      {folder.path("words.txt"),
       "uses the words \"<sil>\", \"[noise]\", \"++breath++\" and 2 more, which no rule can pronounce (not in the "
       "en-US dictionary, nor written in letters or digits)"},
      {folder.path("empty.txt"), "holds no sentence: every line is blank or a comment"},
  };
  for (const auto& [grammar, problem] : cases) {
    Answers answers;
    EXPECT_EQ(transcribe(goForward, grammar, answers), "error: The grammar file " + grammar + " " + problem);
    task.reset();  // joins the task's thread: nothing more can come
    EXPECT_EQ(answers.answers(), 1) << grammar;
  }
}

// Listening that is stopped before any sound came ends at once with an empty
// text, but never hides a grammar that cannot be used.
TEST_F(PocketsphinxGrammarTest, NoAudioStillReportsABadGrammar) {
  folder.writeFile("words.txt", "go ?!\n");
  const auto bad = service.makeAudioBufferRequest();
  bad->setGrammarFile(folder.path("words.txt"));
  Answers refused;
  task = service.recognizerForLocale("en-US")->recognitionTask(bad, refused.handler());
  bad->endAudio();
  EXPECT_EQ(refused.waitForEnd(), "error: The grammar file " + folder.path("words.txt") +
                                      " uses the word \"?!\", which no rule can pronounce (not in the en-US "
                                      "dictionary, nor written in letters or digits)");
  const auto good = service.makeAudioBufferRequest();
  good->setGrammarFile(std::string(kTestData) + "/goforward.gram");
  Answers silent;
  task = service.recognizerForLocale("en-US")->recognitionTask(good, silent.handler());
  good->endAudio();
  EXPECT_EQ(silent.waitForEnd(), "");
}

// A fleet's own words: invented names, words the dictionary lacks, digits
// and an acronym, as voices of two engines read them.
const char* const kFleetGrammar =
    "#JSGF V1.0;\ngrammar fleet;\npublic <order> = <ship> <command>;\n"
    "<ship> = vandaris | zephyrion | korvath | the kestrel | ship <number>;\n"
    "<number> = 3 | 42 | 1024;\n"
    "<command> = fire phasers | arm the railguns | engage FTL | set waypoint <number> | belay that;\n";

struct Voiced {
  const char* voice;  // flite's rms or slt, or espeak-ng
  const char* words;  // as the grammar writes them
  const char* text;   // the final text
};

// Needs flite, espeak-ng and sox.
TEST_F(PocketsphinxGrammarTest, EveryWordOfAFleetIsRecognised) {
  folder.writeFile("fleet.gram", kFleetGrammar);
  const std::vector<Voiced> cases = {
      {"rms", "vandaris fire phasers", "vandaris fire phasers"},
      {"espeak-ng", "zephyrion engage FTL", "zephyrion engage ftl"},
      {"slt", "the kestrel arm the railguns", "the kestrel arm the railguns"},
      {"espeak-ng", "ship 42 set waypoint 3", "ship 42 set waypoint 3"},
      {"rms", "korvath belay that", "korvath belay that"},
      {"espeak-ng", "ship 1024 fire phasers", "ship 1024 fire phasers"},
      {"slt", "ship 3 engage FTL", "ship 3 engage ftl"},
      {"espeak-ng", "the kestrel belay that", "the kestrel belay that"},
  };
  for (const Voiced& spoken : cases) {
    const std::string raw = folder.path("raw.wav");
    const std::string render = std::string(spoken.voice) == "espeak-ng"
                                   ? "espeak-ng -v en-us -w " + raw + " '" + spoken.words + "'"
                                   : "flite -voice " + std::string(spoken.voice) + " -t '" + spoken.words + "' -o " + raw;
    const std::string command = render + " && sox -q " + raw + " -r 16000 " + folder.path("order.wav") + " pad 0.5 0.5";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    Answers answers;
    EXPECT_EQ(transcribe(folder.path("order.wav"), folder.path("fleet.gram"), answers), spoken.text)
        << spoken.voice << ": " << spoken.words;
    if (std::string(spoken.words) != "ship 42 set waypoint 3") continue;
    // The parse keeps the grammar's tokens.
    EXPECT_EQ(answers.finalResult().rules,
              (std::vector<RuleMatch>{{"order", "ship 42 set waypoint 3", std::nullopt},
                                      {"ship", "ship 42", std::nullopt},
                                      {"number", "42", std::nullopt},
                                      {"command", "set waypoint 3", std::nullopt},
                                      {"number", "3", std::nullopt}}));
  }
}

// The host's pronunciations come before the dictionary's: "go forward ten
// meters" is heard as whatever the file says sounds like it.
TEST_F(PocketsphinxGrammarTest, TheHostsPronunciationsComeFirst) {
  folder.writeFile("orders.txt", "go zorg ten meters\ngo fourth ten meters\ngo forward ten meters\n");
  folder.writeFile("mine.txt", "# the host's\nzorg four word\nforward B AE K\n");
  Answers answers;
  EXPECT_EQ(transcribe(goForward, folder.path("orders.txt"), answers, folder.path("mine.txt")), "go zorg ten meters");
}

// Each kind of unusable pronunciation file ends the task with one error
// that names it, and the line when one line is at fault.
TEST_F(PocketsphinxGrammarTest, EachBadPronunciationFileEndsTheTaskWithOneError) {
  folder.writeFile("large.txt", std::string(1048577, 'a'));
  folder.writeFile("latin1.txt", "go G OW\nvoil\xe0 V W AA L AA\n");
  folder.writeFile("nul.txt", "go G OW\n\n" + std::string("ten T EH\0N\n", 11));
  folder.writeFile("long.txt", "go G OW\nten" + std::string(998, ' ') + "N\n");
  folder.writeFile("alone.txt", "# names\nzephyrion\n");
  folder.writeFile("unsaid.txt", "xqor zook or\nxqor zook ?!\n");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {folder.path("absent.txt"), "does not exist"},
      {folder.path(""), "is a directory"},
      {"/proc/self/mem", "cannot be read: Input/output error"},
      {folder.path("large.txt"), "is larger than 1 MiB"},
      {folder.path("latin1.txt"), "is not UTF-8 text (see line 2)"},
      {folder.path("nul.txt"), "has a NUL byte on line 3"},
      {folder.path("long.txt"), "has a line longer than 1000 bytes on line 2"},
      {folder.path("alone.txt"), "gives the word \"zephyrion\" no pronunciation on line 2"},
      {folder.path("unsaid.txt"),
       "gives the word \"xqor\" a pronunciation that cannot be said on line 2: \"?!\" has none"},
  };
  const std::string grammar = std::string(kTestData) + "/goforward.gram";
  for (const auto& [file, problem] : cases) {
    Answers answers;
    EXPECT_EQ(transcribe(goForward, grammar, answers, file), "error: The pronunciation file " + file + " " + problem);
    task.reset();  // joins the task's thread: nothing more can come
    EXPECT_EQ(answers.answers(), 1) << file;
  }
}

// "go forward ten meters" as a 48 kHz stereo microphone would deliver it.
std::vector<float> goForwardAt48kStereo() {
  std::vector<float> captured;
  for (const std::int16_t sample : fixtures::goForwardSamples()) {
    for (int copy = 0; copy < 6; ++copy) captured.push_back(sample / 32768.0f);
  }
  return captured;
}

TEST_F(PocketsphinxGrammarTest, LiveAudioUnderAGrammar) {
  const auto request = service.makeAudioBufferRequest();
  request->setGrammarFile(std::string(kTestData) + "/goforward.gram");
  Answers answers;
  task = service.recognizerForLocale("en-US")->recognitionTask(request, answers.handler());
  const std::vector<float> stereo = goForwardAt48kStereo();
  std::thread capture([&] {
    for (std::size_t at = 0; at < stereo.size(); at += 2048) {
      const auto frames = static_cast<std::uint32_t>(std::min<std::size_t>(2048, stereo.size() - at) / 2);
      request->appendAudioPcmBuffer(AudioPcmBuffer{stereo.data() + at, frames, {48000.0, 2}});
    }
  });
  capture.join();
  task->finish();
  EXPECT_EQ(answers.waitForEnd(), "go forward ten meters");
}

}  // namespace
}  // namespace speech_bridge
