// SPDX-License-Identifier: GPL-3.0-or-later
// Any strings as event fields: the line must be one line of JSON that parses
// back to the same values (ill-formed UTF-8 read as U+FFFD).
#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <string>

#include "bridge/event_writer.h"
#include "bridge/unicode_text.h"
#include "fuzz_check.h"

using namespace speech_bridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Input: kind \0 name \0 text \0 name \0 record-name \0 record-text ...
  std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = input.find('\0', start);
    parts.push_back(input.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  const std::string kind = parts[0];
  EventFields fields;
  std::vector<FieldRecord> records;
  for (std::size_t i = 1; i + 1 < parts.size(); i += 2) {
    if (parts[i].size() % 3 == 0) {
      records.push_back({{parts[i], parts[i + 1]}});
    } else if (parts[i].size() % 3 == 1) {
      fields[parts[i]] = parts[i + 1];
    } else {
      fields[parts[i]] = parts[i + 1].size() % 2 == 0;
    }
  }
  if (!records.empty()) fields["records"] = records;

  const std::string line = serializeEvent(kind, fields);
  FUZZ_CHECK(line.find('\n') == std::string::npos && line.find('\r') == std::string::npos);
  FUZZ_CHECK(isWellFormedUtf8(line));

  const nlohmann::json parsed = nlohmann::json::parse(line);
  FUZZ_CHECK(parsed.at("event") == decodeUtf8WithReplacement(kind));
  std::map<std::string, int> readings;  // names that read the same after replacement
  for (const auto& [name, value] : fields) ++readings[decodeUtf8WithReplacement(name)];
  for (const auto& [name, value] : fields) {
    if (decodeUtf8WithReplacement(name) == "event" || readings[decodeUtf8WithReplacement(name)] > 1) continue;
    const nlohmann::json& member = parsed.at(decodeUtf8WithReplacement(name));
    if (const auto* text = std::get_if<std::string>(&value)) FUZZ_CHECK(member == decodeUtf8WithReplacement(*text));
    if (const auto* flag = std::get_if<bool>(&value)) FUZZ_CHECK(member == *flag);
    if (const auto* list = std::get_if<std::vector<FieldRecord>>(&value)) FUZZ_CHECK(member.size() == list->size());
  }
  return 0;
}
