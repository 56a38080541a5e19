// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/unicode_text.h"

#include <utf8proc.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace speech_bridge {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct Decoded {
  char32_t codePoint;  // kReplacement for an ill-formed subsequence
  std::size_t length;  // bytes consumed, at least 1
  bool wellFormed;
};

// How far an ill-formed sequence starting at `at` reaches: its maximal
// subpart, the longest start of a well-formed sequence (at least the lead).
std::size_t illFormedLength(std::string_view bytes, std::size_t at) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
  if (lead < 0xC2 || lead > 0xF4) return 1;
  const std::size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  // The second byte's range narrows after E0, ED, F0 and F4.
  unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  std::size_t i = 1;
  for (; i < length && at + i < bytes.size(); ++i) {
    const auto next = static_cast<unsigned char>(bytes[at + i]);
    if (next < low || next > high) break;
    low = 0x80, high = 0xBF;
  }
  return i;
}

// One step of UTF-8 decoding, by utf8proc as the grammar reader decodes; an
// ill-formed sequence consumes its maximal subpart.
Decoded decodeOne(std::string_view bytes, std::size_t at) {
  utf8proc_int32_t codePoint = 0;
  const utf8proc_ssize_t length = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(bytes.data() + at),
                                                   static_cast<utf8proc_ssize_t>(bytes.size() - at), &codePoint);
  if (length > 0) return {static_cast<char32_t>(codePoint), static_cast<std::size_t>(length), true};
  return {kReplacement, illFormedLength(bytes, at), false};
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool isWhitespaceOrNewline(char32_t c) {
  if ((c >= 0x09 && c <= 0x0D) || c == 0x85) return true;
  const utf8proc_category_t category = utf8proc_category(static_cast<utf8proc_int32_t>(c));
  return category == UTF8PROC_CATEGORY_ZS || category == UTF8PROC_CATEGORY_ZL ||
         category == UTF8PROC_CATEGORY_ZP;
}

std::string composed(std::string_view text) {
  utf8proc_uint8_t* result = nullptr;
  const utf8proc_ssize_t length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                   static_cast<utf8proc_ssize_t>(text.size()), &result,
                   static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
  std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owner(result, &std::free);
  if (length < 0) return std::string(text);
  return std::string(reinterpret_cast<const char*>(result), static_cast<std::size_t>(length));
}

}  // namespace

bool isWellFormedUtf8(std::string_view bytes) {
  for (std::size_t at = 0; at < bytes.size();) {
    const Decoded d = decodeOne(bytes, at);
    if (!d.wellFormed) return false;
    at += d.length;
  }
  return true;
}

std::string decodeUtf8WithReplacement(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    const Decoded d = decodeOne(bytes, at);
    appendUtf8(out, d.codePoint);
    at += d.length;
  }
  return out;
}

std::size_t graphemeClusterCount(std::string_view text) {
  std::size_t count = 0;
  utf8proc_int32_t state = 0;
  char32_t previous = 0;
  for (std::size_t at = 0; at < text.size();) {
    const Decoded d = decodeOne(text, at);
    if (at == 0 || utf8proc_grapheme_break_stateful(static_cast<utf8proc_int32_t>(previous),
                                                    static_cast<utf8proc_int32_t>(d.codePoint), &state)) {
      ++count;
    }
    previous = d.codePoint;
    at += d.length;
  }
  return count;
}

std::string_view trimWhitespaceAndNewlines(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    const Decoded d = decodeOne(text, begin);
    if (!isWhitespaceOrNewline(d.codePoint)) break;
    begin += d.length;
  }
  // Scan forward, remembering where the last non-space character ended.
  std::size_t end = begin;
  for (std::size_t at = begin; at < text.size();) {
    const Decoded d = decodeOne(text, at);
    at += d.length;
    if (!isWhitespaceOrNewline(d.codePoint)) end = at;
  }
  return text.substr(begin, end - begin);
}

bool canonicallyEquivalent(std::string_view a, std::string_view b) {
  if (a == b) return true;
  return composed(a) == composed(b);
}

}  // namespace speech_bridge
