// SPDX-License-Identifier: GPL-3.0-or-later
// --listen over the computer's own sound, in a room: what the speaker plays
// reaches the microphone 120 ms late (the rig's --room). Game music, and the
// program's own --speak, are cancelled by default and not with
// --no-echo-cancel; a microphone with no such sound is heard as before; a source that is echo-cancelled already is left alone; a
// monitor that goes away mid-job leaves the job listening. Needs pulseaudio,
// pulseaudio-utils, pipewire, wireplumber, pipewire-pulse, dbus, flite, sox
// and the PocketSphinx model.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "e2e/pulse_server.h"
#include "e2e/sound_server_suite.h"
#include "e2e/wav_file.h"

namespace speech_bridge::e2e {
namespace {

using Lines = std::vector<std::string>;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr int kRoomMilliseconds = 120;
const std::string kGrammar = std::string(SPEECH_BRIDGE_SOURCE_DIR) + "/examples/ship_orders.gram";
const std::array<std::string, 3> kOrders = {"second ship set course north east", "fleet return to base",
                                            "fourth ship raise shields"};

void run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

double rms(const PcmAudio& audio) {
  double squares = 0.0;
  for (const std::int16_t sample : audio.samples) squares += double(sample) * sample;
  return std::sqrt(squares / std::max<std::size_t>(audio.samples.size(), 1)) / 32768.0;
}

class EchoCancelTest : public ::testing::TestWithParam<SoundServerKind> {
 protected:
  // The orders (Flite's slt voice, the silence before them cut: at 0.1 % of
  // full scale, for a cut at 1 % takes the quiet "f" of "fourth"), and game music
  // synthesised with sox (chords over a bass, bursts of noise, reverberant)
  // at 5 dB below the orders' loudness and as loud.
  static void SetUpTestSuite() {
    directory = std::filesystem::temp_directory_path() / ("speech-bridge-echo-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    double speech = 0.0;
    for (std::size_t i = 0; i < kOrders.size(); ++i) {
      run("flite -voice slt -t '" + kOrders[i] + "' -o " + directory + "/raw.wav && sox -q " + directory +
          "/raw.wav " + orderWav(i) + " silence 1 0.005 0.1%");
      speech += rms(readWav(orderWav(i))) / kOrders.size();
    }
    const std::string at = directory + "/";
    run("python3 " SPEECH_BRIDGE_SOURCE_DIR "/tests/tools/backgrounds.py music 45 " + at + "music.wav");
    const double music = rms(readWav(at + "music.wav"));
    for (const int decibels : {-30, -20}) {
      const double gain = 20 * std::log10(speech / music) + decibels;
      run("sox -q " + at + "music.wav " + musicWav(decibels) + " gain " + std::to_string(gain));
    }
  }
  static void TearDownTestSuite() {
    for (auto& slot : servers_) slot.reset();
    std::filesystem::remove_all(directory);
  }
  void SetUp() override {
    auto& slot = servers_[static_cast<std::size_t>(GetParam())];
    if (!slot) slot = std::make_unique<PulseServer>(GetParam(), PulseServer::Rendering::realTime, kRoomMilliseconds);
    server = slot.get();
  }

  static std::string orderWav(std::size_t i) { return directory + "/order" + std::to_string(i) + ".wav"; }
  static std::string musicWav(int decibels) { return directory + "/music" + std::to_string(decibels) + ".wav"; }

  // The final event of a --listen job under the ship grammar (with `extra`)
  // that hears `order` (or nothing) played into the microphone as it starts;
  // `during` runs while it listens, after the order.
  nlohmann::json listen(const Lines& extra, const std::string& order, const std::function<void()>& during = {}) {
    Lines arguments = {"--listen", "--grammar", kGrammar};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    RunningProgram program(arguments, server->childEnvironment());
    EXPECT_TRUE(program.waitForLines(1, seconds(10)));
    if (!order.empty()) {
      EXPECT_EQ(PulseServer::waitClient(server->startPlayingIntoMicrophone(order)), 0);
    }
    if (during) during();
    std::this_thread::sleep_for(milliseconds(300));
    program.writeInput("stop\n");
    const ProgramResult result = program.wait(seconds(10));
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.exitStatus, 0);
    if (result.lines.empty()) return nlohmann::json::object();
    return nlohmann::json::parse(result.lines.back());
  }

  // The speech-bridge recordings connected now, by their stream names.
  Lines programStreams() const {
    const std::string listing = server->clientOutput({"pactl", "list", "source-outputs"});
    Lines names;
    for (std::size_t at = 0; (at = listing.find("media.name = \"", at)) != std::string::npos;) {
      at += 14;
      const std::string name = listing.substr(at, listing.find('"', at) - at);
      if (name == "microphone" || name == "echo reference") names.push_back(name);
    }
    return names;
  }

  static inline std::string directory;
  PulseServer* server = nullptr;

 private:
  static inline std::array<std::unique_ptr<PulseServer>, 2> servers_;
};

// What is heard over the music depends on the canceller following the
// streams' timing, which the sanitizers' slowdown distorts: the normal build
// runs these.
class EchoCancelTimingTest : public EchoCancelTest {};

// Orders over game music on the speaker, already playing, and over none:
// with nothing playing every order is heard, cancelling or not; over the
// music, 30 and 20 dB below the speech, an order is heard or refused, never
// taken for another. (Louder music can still make one order another: see
// the echo cancelling bench.)
TEST_P(EchoCancelTimingTest, OrdersOverGameMusicAreHeardOrRefusedNeverMistaken) {
  struct Case {
    std::optional<int> decibels;  // the music's level from the speech's; none: silence
    bool cancel;
    bool allExact;
  };
  const std::vector<Case> cases = {{std::nullopt, true, true}, {std::nullopt, false, true}, {-30, true, false},
                                   {-20, true, false}, {-20, false, false}};
  for (const Case& c : cases) {
    const std::string label = (c.decibels ? std::to_string(*c.decibels) + " dB" : "no music") +
                              (c.cancel ? ", cancelling" : ", --no-echo-cancel");
    const pid_t music = c.decibels ? server->startPlayingOnSpeaker(musicWav(*c.decibels)) : 0;
    if (music) std::this_thread::sleep_for(seconds(1));
    std::size_t exact = 0;
    for (std::size_t i = 0; i < kOrders.size(); ++i) {
      const nlohmann::json final = listen(c.cancel ? Lines{} : Lines{"--no-echo-cancel"}, orderWav(i));
      const std::string text = final.value("text", "?");
      EXPECT_TRUE(text.empty() || text == kOrders[i]) << label << ": " << final.dump();
      exact += text == kOrders[i];
    }
    if (music) PulseServer::stopClient(music);
    if (c.allExact) {
      EXPECT_EQ(exact, kOrders.size()) << label;
    }
  }
}

// The ships' own spoken reply, heard through the room while nobody speaks,
// is no order, cancelled or not.
TEST_P(EchoCancelTest, TheShipsOwnReplyIsNoOrder) {
  for (const bool cancel : {true, false}) {
    const nlohmann::json final = listen(cancel ? Lines{} : Lines{"--no-echo-cancel"}, "", [this] {
      RunningProgram speaking({"--speak"}, server->childEnvironment());
      speaking.writeInput("Aye, second ship setting course north east.");
      speaking.closeInput();
      EXPECT_EQ(speaking.wait(seconds(30)).exitStatus, 0);
    });
    EXPECT_EQ(final.value("event", ""), "final") << cancel;
    EXPECT_EQ(final.value("text", "?"), "") << cancel;
  }
}

// Cancelling records the speaker's monitor beside the microphone; not with
// --no-echo-cancel, nor where the default source is a system echo
// canceller's, which is then what the job hears.
TEST_P(EchoCancelTest, ASecondRecordingOnlyWhereCancellingIsToBeDone) {
  struct Case {
    bool systemCanceller;
    Lines extra;
    Lines streams;
  };
  const std::vector<Case> cases = {
      {false, {}, {"microphone", "echo reference"}},
      {false, {"--no-echo-cancel"}, {"microphone"}},
      {true, {}, {"microphone"}},
  };
  for (const Case& c : cases) {
    if (c.systemCanceller) {
      ASSERT_EQ(server->runClient({"pactl", "load-module", "module-echo-cancel", "source_master=microphone.monitor",
                                   "sink_master=speaker", "source_name=echo-cancel-source",
                                   "sink_name=echo-cancel-sink"}),
                0);
      ASSERT_EQ(server->runClient({"pactl", "set-default-source", "echo-cancel-source"}), 0);
    }
    Lines seen;
    listen(c.extra, orderWav(0), [&] { seen = programStreams(); });
    EXPECT_EQ(seen, c.streams) << c.systemCanceller << " " << c.extra.size();
  }
  server->runClient({"pactl", "set-default-source", "microphone.monitor"});
  server->runClient({"pactl", "unload-module", "module-echo-cancel"});
}

// The monitor going away mid-job (its sink removed) leaves the microphone
// listening, uncancelled: the order said after it is heard.
TEST_P(EchoCancelTest, AMonitorThatGoesAwayLeavesTheJobListening) {
  PulseServer own(GetParam(), PulseServer::Rendering::realTime);
  Lines arguments = {"--listen", "--grammar", kGrammar};
  RunningProgram program(arguments, own.childEnvironment());
  ASSERT_TRUE(program.waitForLines(1, seconds(10)));
  ASSERT_TRUE(own.waitForRecordingStreams(2));
  // The speaker's module: "INDEX<tab>module-null-sink<tab>sink_name=speaker...".
  const std::string modules = own.clientOutput({"pactl", "list", "short", "modules"});
  const std::size_t named = modules.find("sink_name=speaker");
  ASSERT_NE(named, std::string::npos) << modules;
  const std::size_t line = modules.rfind('\n', named) + 1;  // npos + 1 is 0
  const std::string index = modules.substr(line, modules.find('\t', line) - line);
  ASSERT_EQ(own.runClient({"pactl", "unload-module", index}), 0);
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_EQ(PulseServer::waitClient(own.startPlayingIntoMicrophone(orderWav(0))), 0);
  std::this_thread::sleep_for(milliseconds(300));
  program.writeInput("stop\n");
  const ProgramResult result = program.wait(seconds(10));
  ASSERT_FALSE(result.lines.empty());
  EXPECT_EQ(nlohmann::json::parse(result.lines.back()).value("text", ""), kOrders[0]);
}

INSTANTIATE_TEST_SUITE_P(SoundServers, EchoCancelTest, kBothSoundServers, soundServerTestName);
INSTANTIATE_TEST_SUITE_P(SoundServers, EchoCancelTimingTest, kBothSoundServers, soundServerTestName);

}  // namespace
}  // namespace speech_bridge::e2e
