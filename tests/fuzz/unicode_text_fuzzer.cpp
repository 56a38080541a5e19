// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes: decoding with replacement always yields well-formed UTF-8 that
// decodes to itself; trimming and counting never read out of bounds and
// agree with each other; validation and trimming agree with a plain second
// reading of the same bytes.
#include <cstdint>
#include <optional>
#include <string>

#include "bridge/unicode_text.h"
#include "fuzz_check.h"
#include "support/text_model.h"

using namespace speech_bridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = decodeUtf8WithReplacement(bytes);
  FUZZ_CHECK(isWellFormedUtf8(text));
  FUZZ_CHECK(decodeUtf8WithReplacement(text) == text);
  FUZZ_CHECK(isWellFormedUtf8(bytes) == (text == bytes));
  FUZZ_CHECK(isWellFormedUtf8(bytes) == fuzz::decodeStrictUtf8(bytes).has_value());

  const std::string_view trimmed = trimWhitespaceAndNewlines(text);
  FUZZ_CHECK(trimmed.size() <= text.size());
  FUZZ_CHECK(trimWhitespaceAndNewlines(trimmed) == trimmed);
  FUZZ_CHECK(fuzz::decodeStrictUtf8(trimmed) == fuzz::trimmed(*fuzz::decodeStrictUtf8(text)));
  FUZZ_CHECK(graphemeClusterCount(trimmed) <= graphemeClusterCount(text));
  FUZZ_CHECK(graphemeClusterCount(text) <= text.size());
  if (fuzz::isAscii(text)) FUZZ_CHECK(graphemeClusterCount(text) == fuzz::asciiCharacterCount(text));
  FUZZ_CHECK(canonicallyEquivalent(text, text));
  return 0;
}
