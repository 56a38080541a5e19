// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pocketsphinx/audio_file_source.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/pocketsphinx/unreadable_file.h"

namespace speech_bridge {
namespace {

// About 0.1 s at 44.1 kHz: enough per read to keep libsndfile efficient,
// small enough that a long file never sits in memory.
constexpr sf_count_t kFramesPerRead = 4096;

}  // namespace

// The open file: a descriptor of our own, and libsndfile's handle, which
// owns another.
struct AudioFile {
  ~AudioFile() {
    if (sound) sf_close(sound);
    if (descriptor >= 0) ::close(descriptor);
  }
  int descriptor = -1;
  SNDFILE* sound = nullptr;
  SF_INFO info{};
};

AudioFileSource::AudioFileSource(std::string path) : path_(std::move(path)) {}

AudioFileSource::~AudioFileSource() = default;

std::optional<std::string> AudioFileSource::open(int sampleRate) {
  auto file = std::make_unique<AudioFile>();
  // Non-blocking, so that a named pipe cannot hold the open up; it is
  // refused below as no regular file.
  file->descriptor = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (file->descriptor < 0) {
    const int error = errno;
    if (error == ENOENT) return path_ + " does not exist";
    return path_ + " cannot be opened: " + std::strerror(error);
  }
  if (auto kind = nonAudioFileKind(path_, file->descriptor)) return kind;
  ::fcntl(file->descriptor, F_SETFL, ::fcntl(file->descriptor, F_GETFL) & ~O_NONBLOCK);

  // libsndfile closes the descriptor it is given when it fails, whatever it
  // is told, so it gets a duplicate and this one stays for a closer look.
  const int duplicate = ::fcntl(file->descriptor, F_DUPFD_CLOEXEC, 0);
  if (duplicate < 0) return path_ + " cannot be opened: " + std::strerror(errno);
  file->sound = sf_open_fd(duplicate, SFM_READ, &file->info, SF_TRUE);
  if (!file->sound) {
    // libsndfile says "Format not recognised." of text and directories alike.
    if (sf_error(nullptr) == SF_ERR_UNRECOGNISED_FORMAT) {
      return unrecognisedFileDescription(path_, file->descriptor);
    }
    return path_ + " is not a readable audio file: " + sf_strerror(nullptr);
  }
  if (file->info.channels < 1) return path_ + " has no audio channel";

  MonoResampler::Made made = MonoResampler::make(file->info.samplerate, sampleRate);
  if (!made.resampler) return path_ + " holds " + made.error;
  resampler_ = std::move(made.resampler);
  frames_.resize(static_cast<std::size_t>(kFramesPerRead) * static_cast<std::size_t>(file->info.channels));
  file_ = std::move(file);
  return std::nullopt;
}

AudioRead AudioFileSource::read(std::span<std::int16_t> out) {
  std::size_t filled = 0;
  while (filled < out.size()) {
    if (pendingRead_ < pending_.size()) {
      const std::size_t count = std::min(out.size() - filled, pending_.size() - pendingRead_);
      std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(pendingRead_), count, out.begin() + filled);
      pendingRead_ += count;
      filled += count;
      continue;
    }
    if (fileEnded_ || inputEnded_.load()) break;
    if (auto error = refill()) return AudioRead{0, std::move(error)};
  }
  return AudioRead{filled, std::nullopt};
}

std::optional<std::string> AudioFileSource::refill() {
  pending_.clear();
  pendingRead_ = 0;
  const sf_count_t frames = sf_readf_float(file_->sound, frames_.data(), kFramesPerRead);
  if (frames < kFramesPerRead && sf_error(file_->sound) != SF_ERR_NO_ERROR) {
    return path_ + " is damaged or cut short: " + sf_strerror(file_->sound);
  }
  if (frames > 0) {
    const std::size_t values = static_cast<std::size_t>(frames) * static_cast<std::size_t>(file_->info.channels);
    mixToMono(std::span<const float>(frames_.data(), values), static_cast<unsigned>(file_->info.channels), mono_);
    resampler_->process(mono_, pending_);
  } else {
    resampler_->flush(pending_);
    fileEnded_ = true;
  }
  return std::nullopt;
}

}  // namespace speech_bridge
