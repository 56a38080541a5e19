// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/event_writer.h"

#include <nlohmann/json.hpp>

#include "bridge/unicode_text.h"
#include "platform/standard_streams.h"

namespace speech_bridge {
namespace {

// nlohmann::json keeps object members in a std::map, so the dump is sorted by
// byte order at every level.
// Texts are made well-formed first, so that what is written parses back to
// what was meant, and two names can only collide when they read the same.
nlohmann::json toJson(const FieldValue& value) {
  struct Visitor {
    nlohmann::json operator()(const std::string& text) const { return decodeUtf8WithReplacement(text); }
    nlohmann::json operator()(bool flag) const { return flag; }
    nlohmann::json operator()(const std::vector<FieldRecord>& records) const {
      nlohmann::json array = nlohmann::json::array();
      for (const FieldRecord& record : records) {
        nlohmann::json object = nlohmann::json::object();
        for (const auto& [name, text] : record) object[decodeUtf8WithReplacement(name)] = decodeUtf8WithReplacement(text);
        array.push_back(std::move(object));
      }
      return array;
    }
  };
  return std::visit(Visitor{}, value);
}

}  // namespace

std::string serializeEvent(const std::string& kind, const EventFields& fields) {
  nlohmann::json object = nlohmann::json::object();
  for (const auto& [name, value] : fields) object[decodeUtf8WithReplacement(name)] = toJson(value);
  object["event"] = decodeUtf8WithReplacement(kind);

  const std::string json =
      object.dump(-1, ' ', /*ensure_ascii=*/false, nlohmann::json::error_handler_t::replace);

  // A "/" byte can only stand inside a string (UTF-8 never uses 0x2F within a
  // multi-byte sequence), so escaping every one of them is safe.
  std::string line;
  line.reserve(json.size() + 8);
  for (char c : json) {
    if (c == '/') line += '\\';
    line += c;
  }
  return line;
}

void writeEvent(StandardStreams& streams, const std::string& kind, const EventFields& fields) {
  // A host that has gone away cannot be told anything; the job still ends with
  // its recorded status.
  if (streams.writeOutput(serializeEvent(kind, fields))) streams.writeOutput("\n");
}

}  // namespace speech_bridge
