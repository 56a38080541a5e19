// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as an audio file, read the way --transcribe-file reads it:
// libsndfile's decoders, mixing to mono and resampling to the model's rate
// (the recognizer itself stays out, to keep runs fast). Reading must give a
// readable sentence or samples, never a crash or a hang, and keep no file
// open afterwards; the samples must not depend on how much is read at a time.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "platform/pocketsphinx/audio_file_source.h"

using namespace speech_bridge;

namespace {

constexpr int kModelRate = 16000;
// Enough to cross several of the reader's blocks; a recording that goes on
// beyond it is cut here to keep runs fast.
constexpr std::size_t kMostSamples = 4 * kModelRate;

std::string& filePath() {
  static std::string path;
  return path;
}

int& fileDescriptor() {
  static int descriptor = -1;
  return descriptor;
}

int& lowestFreeDescriptor() {
  static int descriptor = -1;
  return descriptor;
}

int nextDescriptor() {
  const int descriptor = ::dup(0);
  ::close(descriptor);
  return descriptor;
}

// Whether a descriptor still refers to the file read. Only asked when the
// cheap test sees a descriptor more than at the start, which may also be one
// that the sanitizers' or libFuzzer's own threads hold for a moment.
bool fileStillOpen() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    std::error_code unreadable;
    const std::filesystem::path target = std::filesystem::read_symlink(entry.path(), unreadable);
    if (!unreadable && target == filePath() &&
        entry.path().filename() != std::to_string(fileDescriptor())) {
      return true;
    }
  }
  return false;
}

void removeFile() { ::unlink(filePath().c_str()); }

bool isSentenceAboutFile(const std::string& text) {
  return text.size() > filePath().size() && text.rfind(filePath(), 0) == 0 && text.find('\n') == std::string::npos;
}

struct Reading {
  std::optional<std::string> openProblem;
  std::vector<std::int16_t> samples;
  std::optional<std::string> readError;
};

Reading readFile(std::size_t block) {
  Reading reading;
  AudioFileSource source(filePath());
  reading.openProblem = source.open(kModelRate);
  if (reading.openProblem) {
    FUZZ_CHECK(isSentenceAboutFile(*reading.openProblem));
    return reading;
  }
  std::vector<std::int16_t> out(block);
  while (reading.samples.size() < kMostSamples) {
    const AudioRead got = source.read(out);
    FUZZ_CHECK(got.samples <= out.size());
    if (got.error) {
      FUZZ_CHECK(got.samples == 0);
      FUZZ_CHECK(isSentenceAboutFile(*got.error));
      reading.readError = got.error;
      return reading;
    }
    if (got.samples == 0) {
      // The end stays the end.
      const AudioRead again = source.read(out);
      FUZZ_CHECK(again.samples == 0 && !again.error);
      return reading;
    }
    reading.samples.insert(reading.samples.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(got.samples));
  }
  return reading;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // In the working folder, beside libFuzzer's own findings: run_fuzzer.sh
  // runs each target in a scratch folder that it removes afterwards.
  std::string path = "audio-file-XXXXXX";
  fileDescriptor() = ::mkstemp(path.data());
  FUZZ_CHECK(fileDescriptor() >= 0);
  filePath() = std::filesystem::absolute(path).string();
  std::atexit(removeFile);
  lowestFreeDescriptor() = nextDescriptor();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FUZZ_CHECK(::ftruncate(fileDescriptor(), 0) == 0);
  FUZZ_CHECK(::pwrite(fileDescriptor(), data, size, 0) == static_cast<ssize_t>(size));

  const Reading large = readFile(1600);
  const Reading small = readFile(333);
  FUZZ_CHECK(large.openProblem == small.openProblem);
  FUZZ_CHECK(large.readError == small.readError);
  // A read that fails drops what it had gathered, so the samples before an
  // error depend on the block size; without one they are the same.
  const std::size_t common = std::min(large.samples.size(), small.samples.size());
  FUZZ_CHECK(std::equal(large.samples.begin(), large.samples.begin() + static_cast<std::ptrdiff_t>(common),
                        small.samples.begin()));
  if (!large.readError && large.samples.size() < kMostSamples && small.samples.size() < kMostSamples) {
    FUZZ_CHECK(large.samples.size() == small.samples.size());
  }
  FUZZ_CHECK(nextDescriptor() == lowestFreeDescriptor() || !fileStillOpen());
  return 0;
}
