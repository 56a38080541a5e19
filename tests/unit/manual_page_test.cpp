// SPDX-License-Identifier: GPL-3.0-or-later
// The manual page and the program cannot drift apart: every message the
// program can write is in the page, and every failure goes through the
// catalogue of messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "bridge/messages.h"

namespace speech_bridge {
namespace {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The page's text with roff's escapes for "-" and "\" undone.
std::string manualPageText() {
  std::string page = readFile(SPEECH_BRIDGE_SOURCE_DIR "/docs/speech-bridge.1");
  page = std::regex_replace(page, std::regex(R"(\\-)"), "-");
  return std::regex_replace(page, std::regex(R"(\\e)"), "\\");
}

TEST(ManualPage, ListsEveryMessage) {
  const std::string page = manualPageText();
  ASSERT_FALSE(page.empty());
  for (const char* text : message::kAll) EXPECT_NE(page.find(text), std::string::npos) << text;
}

TEST(ManualPage, EveryFailureUsesTheCatalogue) {
  const std::regex literalFailure(R"(fail\(\s*")");
  for (const auto& entry : std::filesystem::recursive_directory_iterator(SPEECH_BRIDGE_SOURCE_DIR "/src")) {
    if (entry.path().extension() != ".cpp" && entry.path().extension() != ".h") continue;
    EXPECT_FALSE(std::regex_search(readFile(entry.path()), literalFailure))
        << entry.path() << " fails with a message that is not in the catalogue";
  }
}

}  // namespace
}  // namespace speech_bridge
