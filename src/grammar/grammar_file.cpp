// SPDX-License-Identifier: GPL-3.0-or-later
#include "grammar/grammar_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "grammar/grammar_text.h"
#include "grammar/jsgf_expansion.h"
#include "grammar/jsgf_parser.h"
#include "grammar/phrase_list.h"

namespace speech_bridge {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  ~Descriptor() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return descriptor_; }

 private:
  int descriptor_;
};

std::string reason(int error) { return std::strerror(error); }

// The file's bytes, or what is wrong with the file.
std::variant<std::string, GrammarProblem> readGrammarFile(const std::string& path) {
  // Non-blocking, so that a named pipe cannot hold the task: it is refused below.
  const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (file.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return GrammarProblem{"does not exist"};
    return GrammarProblem{"cannot be read: " + reason(errno)};
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return GrammarProblem{"cannot be read: " + reason(errno)};
  if (S_ISDIR(info.st_mode)) return GrammarProblem{"is a directory"};
  if (!S_ISREG(info.st_mode)) return GrammarProblem{"is not a regular file"};
  const GrammarProblem tooLarge{"is larger than 1 MiB"};
  if (static_cast<std::size_t>(info.st_size) > kMaxGrammarFileBytes) return tooLarge;
  std::string bytes;
  char block[65536];
  for (;;) {
    const ssize_t got = ::read(file.get(), block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return GrammarProblem{"cannot be read: " + reason(errno)};
    if (got == 0) break;
    bytes.append(block, static_cast<std::size_t>(got));
    if (bytes.size() > kMaxGrammarFileBytes) return tooLarge;  // it grew while being read
  }
  return bytes;
}

}  // namespace

std::variant<GrammarGraph, GrammarProblem> compileGrammarText(std::string_view text) {
  if (const std::optional<int> line = firstLineThatIsNotText(text)) {
    return GrammarProblem{"is not UTF-8 text (see line " + std::to_string(*line) + ")"};
  }
  std::string_view body = text;
  if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
  if (!body.starts_with("#JSGF")) return compilePhraseList(body);
  std::variant<JsgfGrammar, GrammarProblem> parsed = parseJsgf(text);
  if (const auto* problem = std::get_if<GrammarProblem>(&parsed)) return *problem;
  return expandJsgf(std::get<JsgfGrammar>(parsed));
}

std::string grammarFileSentence(const std::string& path, const GrammarProblem& problem) {
  return "The grammar file " + path + " " + problem.description;
}

CompiledGrammar compileGrammarFile(const std::string& path) {
  std::variant<std::string, GrammarProblem> read = readGrammarFile(path);
  if (const auto* problem = std::get_if<GrammarProblem>(&read))
    return {std::nullopt, grammarFileSentence(path, *problem)};
  std::variant<GrammarGraph, GrammarProblem> compiled = compileGrammarText(std::get<std::string>(read));
  if (const auto* problem = std::get_if<GrammarProblem>(&compiled)) {
    return {std::nullopt, grammarFileSentence(path, *problem)};
  }
  return {std::move(std::get<GrammarGraph>(compiled)), {}};
}

}  // namespace speech_bridge
