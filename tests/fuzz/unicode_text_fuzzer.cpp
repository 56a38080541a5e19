// Any bytes: decoding with replacement always yields well-formed UTF-8 that
// decodes to itself; trimming and counting never read out of bounds and
// agree with each other.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "bridge/unicode_text.h"

using namespace speech_bridge;

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = decodeUtf8WithReplacement(bytes);
  check(isWellFormedUtf8(text));
  check(decodeUtf8WithReplacement(text) == text);
  check(isWellFormedUtf8(bytes) == (text == bytes));

  const std::string_view trimmed = trimWhitespaceAndNewlines(text);
  check(trimmed.size() <= text.size());
  check(trimWhitespaceAndNewlines(trimmed) == trimmed);
  check(graphemeClusterCount(trimmed) <= graphemeClusterCount(text));
  check(graphemeClusterCount(text) <= text.size());
  check(canonicallyEquivalent(text, text));
  return 0;
}
