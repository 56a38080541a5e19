// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/audio_file_source.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "unit/recording_fixtures.h"

namespace speech_bridge {
namespace {

using fixtures::asFloat;
using fixtures::writeSoundFile;

class AudioFileSourceTest : public ::testing::Test {
 protected:
  // Everything the source yields at 16 kHz, read in pieces of `piece`.
  std::vector<std::int16_t> readAll(const std::string& path, std::size_t piece = 800) {
    AudioFileSource source(path);
    const std::optional<std::string> problem = source.open(16000);
    EXPECT_EQ(problem, std::nullopt);
    std::vector<std::int16_t> all;
    std::vector<std::int16_t> block(piece);
    for (;;) {
      const AudioRead got = source.read(block);
      EXPECT_EQ(got.error, std::nullopt);
      if (got.samples == 0 || got.error) break;
      all.insert(all.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got.samples));
    }
    return all;
  }

  std::string openProblem(const std::string& path) {
    return AudioFileSource(path).open(16000).value_or("opened");
  }

  fixtures::TemporaryFolder folder;
  const std::vector<std::int16_t> goForward = fixtures::goForwardSamples();
};

TEST_F(AudioFileSourceTest, SixteenKilohertzMonoPassesBitExact) {
  const std::string path = folder.path("go.wav");
  ASSERT_TRUE(writeSoundFile(path, asFloat(goForward), 16000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  EXPECT_EQ(readAll(path, 333), goForward);
}

TEST_F(AudioFileSourceTest, StereoAtAnotherRateIsMixedAndResampled) {
  const std::string path = folder.path("go-44k-stereo.flac");
  std::vector<float> stereo;
  // Left carries the recording, right silence: the mix is half as loud.
  for (std::size_t i = 0; i < 44100; ++i) {
    stereo.push_back(i % 100 < 50 ? 0.5f : -0.5f);
    stereo.push_back(0.0f);
  }
  ASSERT_TRUE(writeSoundFile(path, stereo, 44100, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
  const std::vector<std::int16_t> mono = readAll(path);
  EXPECT_NEAR(static_cast<double>(mono.size()), 16000.0, 2.0);
  std::int16_t loudest = 0;
  for (const std::int16_t sample : mono) loudest = std::max<std::int16_t>(loudest, static_cast<std::int16_t>(std::abs(sample)));
  EXPECT_GT(loudest, 7000);
  EXPECT_LT(loudest, 11000);
}

TEST_F(AudioFileSourceTest, ReadsOpusAndMp3WhereLibsndfileDoes) {
  int formatsTried = 0;
  for (const auto& [name, format] : {std::pair{"go.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS},
                                     std::pair{"go.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III}}) {
    const std::string path = folder.path(name);
    if (!writeSoundFile(path, asFloat(goForward), 16000, 1, format)) continue;
    ++formatsTried;
    const std::vector<std::int16_t> read = readAll(path);
    EXPECT_NEAR(static_cast<double>(read.size()), static_cast<double>(goForward.size()), 16000.0 * 0.1) << name;
  }
  EXPECT_GT(formatsTried, 0) << "this libsndfile writes neither Opus nor MP3";
}

TEST_F(AudioFileSourceTest, EndInputStopsAfterWhatWasAlreadyConverted) {
  const std::string path = folder.path("go.wav");
  ASSERT_TRUE(writeSoundFile(path, asFloat(goForward), 16000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  AudioFileSource source(path);
  ASSERT_EQ(source.open(16000), std::nullopt);
  std::vector<std::int16_t> block(100);
  ASSERT_EQ(source.read(block).samples, 100u);
  source.endInput();
  std::size_t rest = 0;
  for (AudioRead got = source.read(block); got.samples > 0; got = source.read(block)) rest += got.samples;
  EXPECT_LT(rest, 4096u) << "no more than one block of the file is read after the end";
  EXPECT_LT(rest + 100, goForward.size());
}

TEST_F(AudioFileSourceTest, SaysWhatAPathThatHoldsNoAudioReallyIs) {
  std::filesystem::create_directory(folder.path("recordings"));
  folder.writeFile("orders.txt", "go forward ten meters\nturn left\n");
  folder.writeFile("empty.wav", "");
  folder.writeFile("program", std::string("\x7f" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0", 18));
  ASSERT_EQ(::mkfifo(folder.path("pipe").c_str(), 0600), 0);

  EXPECT_EQ(openProblem(folder.path("recordings")), folder.path("recordings") + " is a directory, not an audio file");
  EXPECT_EQ(openProblem(folder.path("orders.txt")), folder.path("orders.txt") + " is a text file, not an audio file");
  EXPECT_EQ(openProblem(folder.path("empty.wav")), folder.path("empty.wav") + " is empty");
  EXPECT_EQ(openProblem(folder.path("program")), folder.path("program") + " is not an audio file libsndfile can read");
  EXPECT_EQ(openProblem(folder.path("pipe")), folder.path("pipe") + " is not a regular file, so it holds no recording");
  EXPECT_EQ(openProblem(folder.path("gone.wav")), folder.path("gone.wav") + " does not exist");
}

TEST_F(AudioFileSourceTest, TruncatedFilesEndInAnError) {
  const std::string wav = folder.path("go.wav");
  const std::string flac = folder.path("go.flac");
  ASSERT_TRUE(writeSoundFile(wav, asFloat(goForward), 16000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  ASSERT_TRUE(writeSoundFile(flac, asFloat(goForward), 16000, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
  std::filesystem::resize_file(wav, 20);  // inside the header
  EXPECT_EQ(openProblem(wav), wav + " is not a readable audio file: Error in WAV/W64/RF64 file. Malformed 'fmt ' chunk.");

  std::filesystem::resize_file(flac, std::filesystem::file_size(flac) / 4);
  AudioFileSource source(flac);
  ASSERT_EQ(source.open(16000), std::nullopt);
  std::vector<std::int16_t> block(800);
  AudioRead got;
  do {
    got = source.read(block);
  } while (!got.error && got.samples > 0);
  ASSERT_TRUE(got.error) << "a truncated FLAC file must not look like a complete one";
  const std::string& error = *got.error;
  EXPECT_EQ(error.rfind(flac + " is damaged or cut short: ", 0), 0u) << error;
}

TEST_F(AudioFileSourceTest, DamagedMp3IsAnErrorAndNotANoteOnStandardError) {
  const std::string path = folder.path("go.mp3");
  if (!writeSoundFile(path, asFloat(goForward), 16000, 1, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III)) {
    GTEST_SKIP() << "this libsndfile writes no MP3";
  }
  std::ifstream original(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(original)), std::istreambuf_iterator<char>());
  for (std::size_t i = 3000; i < 6000 && i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7919 % 251);
  folder.writeFile("damaged.mp3", bytes);

  ::testing::internal::CaptureStderr();
  AudioFileSource source(folder.path("damaged.mp3"));
  std::optional<std::string> problem = source.open(16000);
  std::vector<std::int16_t> block(800);
  for (AudioRead got; !problem; problem = got.error) {
    got = source.read(block);
    if (got.samples == 0 && !got.error) break;
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ASSERT_TRUE(problem) << "the damage goes unnoticed";
  EXPECT_EQ(*problem, folder.path("damaged.mp3") + " is damaged or cut short: Unspecified internal error.");
}

}  // namespace
}  // namespace speech_bridge
